#include "components/platform.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#endif

namespace platform {

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

#ifdef Q_OS_WIN

bool tryLockFile(QFile& file, LockKind kind)
{
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    OVERLAPPED whole = {};
    UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (kind == LockKind::Exclusive)
        flags |= LOCKFILE_EXCLUSIVE_LOCK;
    return LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

void unlockFile(QFile& file)
{
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    OVERLAPPED whole = {};
    UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
}

#else

bool tryLockFile(QFile& file, LockKind kind)
{
    const int operation = (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    return flock(file.handle(), operation) == 0;
}

void unlockFile(QFile& file)
{
    flock(file.handle(), LOCK_UN);
}

#endif

} // namespace platform
