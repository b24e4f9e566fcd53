#include "components/platform.h"

#include <QDir>
#include <QtGlobal>

namespace platform
{

QString timetableFolder()
{
    const QString chosen = qEnvironmentVariable("QUELVANA_TIMETABLE_FOLDER");
    if (!chosen.isEmpty())
        return QDir::cleanPath(chosen);
#ifdef Q_OS_WIN
    return QStringLiteral("C:/OTEMP");
#else
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::home().filePath(QStringLiteral(".wine"));
    return QDir::cleanPath(prefix + QStringLiteral("/drive_c/OTEMP"));
#endif
}

} // namespace platform
