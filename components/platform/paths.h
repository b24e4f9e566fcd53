#pragma once

#include <QDir>
#include <QString>

namespace platform {

// A path as the user's system writes it, for a message ("C:\OTEMP\PROFT.DBF" on Windows).
inline QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace platform
