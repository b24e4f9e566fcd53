#include "components/platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>
#include <algorithm>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <QCryptographicHash>

namespace platform {

QString timetableFolder()
{
    const QString chosen = qEnvironmentVariable("QUELVANA_TIMETABLE_FOLDER");
    if (!chosen.isEmpty())
        return resolveLetterCase(chosen);
#ifdef Q_OS_WIN
    return QStringLiteral("C:/OTEMP");
#else
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::home().filePath(QStringLiteral(".wine"));
    return resolveLetterCase(prefix + QStringLiteral("/drive_c/OTEMP"));
#endif
}

QStringList filesNamed(const QString& folder, const QString& fileName)
{
    QStringList out;
    const QDir dir(folder);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            out << dir.filePath(entry);
    }
    return out;
}

QString resolveLetterCase(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    QStringList parts = clean.split(QLatin1Char('/'));
    QString resolved = parts.takeFirst(); // "" for an absolute path, a drive, or a first name
    if (resolved.isEmpty() && clean.startsWith(QLatin1Char('/')))
        resolved = QStringLiteral("/");
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        const QDir parent(resolved.isEmpty() ? QStringLiteral(".") : resolved);
        QString found = part;
        if (!QFileInfo::exists(parent.filePath(part))) {
            const QStringList entries = parent.entryList(QDir::AllEntries | QDir::Hidden |
                                                         QDir::System | QDir::NoDotAndDotDot);
            const auto match = std::find_if(entries.begin(), entries.end(), [&](const QString& e) {
                return e.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (match == entries.end()) {
                // Nothing further down can exist: the rest stays as given.
                QStringList rest = parts.mid(i);
                return QDir::cleanPath(parent.filePath(rest.join(QLatin1Char('/'))));
            }
            found = *match;
        }
        resolved = resolved.isEmpty() ? found : QDir(resolved).filePath(found);
    }
    return QDir::cleanPath(resolved);
}

#ifdef Q_OS_WIN

QString regionalDateTime(const QDateTime& moment)
{
    const QDate d = moment.date();
    const QTime t = moment.time();
    SYSTEMTIME st = {};
    st.wYear = WORD(d.year());
    st.wMonth = WORD(d.month());
    st.wDay = WORD(d.day());
    st.wHour = WORD(t.hour());
    st.wMinute = WORD(t.minute());
    st.wSecond = WORD(t.second());
    wchar_t date[128] = {};
    wchar_t time[128] = {};
    if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128,
                         nullptr) ||
        !GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, time, 128))
        return moment.toString(QStringLiteral("dd/MM/yyyy H:mm:ss"));
    return QString::fromWCharArray(date) + QLatin1Char(' ') + QString::fromWCharArray(time);
}

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

bool writeAll(QFileDevice& file, const char* data, qsizetype size)
{
    while (size > 0) {
        const int written =
            _write(file.handle(), data, static_cast<unsigned>(std::min<qsizetype>(size, 1 << 30)));
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// A named mutex per folder: its name comes from the folder's path, whatever its letter case.
FolderLock::FolderLock(const QString& folder)
{
    const QByteArray key = QCryptographicHash::hash(
        QDir::cleanPath(QDir(folder).absolutePath()).toLower().toUtf8(), QCryptographicHash::Sha1);
    const QString name = QStringLiteral("Local\\Quelvana-") + QString::fromLatin1(key.toHex());
    m_handle = CreateMutexW(nullptr, TRUE, reinterpret_cast<LPCWSTR>(name.utf16()));
    m_acquired = m_handle && GetLastError() != ERROR_ALREADY_EXISTS;
}

FolderLock::~FolderLock()
{
    if (m_handle) {
        if (m_acquired)
            ReleaseMutex(m_handle);
        CloseHandle(m_handle);
    }
}

#else

QString regionalDateTime(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') +
           moment.toString(QStringLiteral("H:mm:ss"));
}

bool tryLockFile(QFile& file, LockKind kind)
{
    const int operation = (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    return flock(file.handle(), operation) == 0;
}

void unlockFile(QFile& file)
{
    flock(file.handle(), LOCK_UN);
}

bool writeAll(QFileDevice& file, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(file.handle(), data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

FolderLock::FolderLock(const QString& folder)
{
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_acquired = m_fd >= 0 && flock(m_fd, LOCK_EX | LOCK_NB) == 0;
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with it
}

#endif

} // namespace platform
