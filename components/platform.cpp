#include "components/platform.h"

#include "components/systemerror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtGlobal>
#include <algorithm>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

bool writeAll(QFileDevice& file, const char* data, qsizetype size, QString* error)
{
    while (size > 0) {
        const int written =
            _write(file.handle(), data, static_cast<unsigned>(std::min<qsizetype>(size, 1 << 30)));
        if (written <= 0) {
            if (error)
                *error = systemerror::reason(written < 0 ? errno : ENOSPC);
            return false;
        }
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

bool writeAll(QFileDevice& file, const char* data, qsizetype size, QString* error)
{
    while (size > 0) {
        const ssize_t written = ::write(file.handle(), data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (error)
                *error = systemerror::reason(written < 0 ? errno : ENOSPC);
            return false;
        }
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

// ----------------------------------------------------------------------------------------------
// Files and folders, never followed through a link where the program keeps its own.

namespace platform {

namespace {

QString describeMode(bool isDir, bool isFifo, bool isDevice, bool isSocket)
{
    if (isDir)
        return QStringLiteral("es una carpeta, no un archivo");
    if (isFifo)
        return QStringLiteral("es una tubería (FIFO), no un archivo");
    if (isDevice)
        return QStringLiteral("es un dispositivo, no un archivo");
    if (isSocket)
        return QStringLiteral("es un socket, no un archivo");
    return QStringLiteral("no es un archivo normal");
}

} // namespace

#ifdef Q_OS_WIN

EntryKind entryKind(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction() || info.isShortcut())
        return EntryKind::Link;
    if (!info.exists())
        return EntryKind::Missing;
    if (info.isDir())
        return EntryKind::Folder;
    return info.isFile() ? EntryKind::File : EntryKind::Other;
}

QString notOrdinaryFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return QString();
    if (!info.exists())
        return info.isSymLink() ? QStringLiteral("es un enlace que no lleva a ningún archivo")
                                : QStringLiteral("no existe");
    return describeMode(info.isDir(), false, false, false);
}

bool syncFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        *error = systemerror::reason(file.errorString());
        return false;
    }
    if (!FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())))) {
        *error = QStringLiteral("no se pudo escribir en el disco");
        return false;
    }
    return true;
}

Folder::Folder(const QString& path, Link link) : m_path(path)
{
    EntryKind kind = entryKind(path);
    if (kind == EntryKind::Link && link == Link::Followed && QFileInfo(path).isDir())
        kind = EntryKind::Folder;
    switch (kind) {
    case EntryKind::Folder:
        m_open = true;
        break;
    case EntryKind::Missing:
        m_error = QStringLiteral("no existe");
        break;
    case EntryKind::Link:
        m_error = QStringLiteral("es un enlace, no una carpeta");
        break;
    default:
        m_error = QStringLiteral("no es una carpeta");
    }
}

Folder::~Folder() = default;

EntryKind Folder::kindOf(const QString& name) const
{
    return entryKind(QDir(m_path).filePath(name));
}

QStringList Folder::entries() const
{
    return QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

bool Folder::readFile(const QString& name, qint64 maxBytes, QByteArray* contents) const
{
    if (kindOf(name) != EntryKind::File)
        return false;
    QFile file(QDir(m_path).filePath(name));
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
        return false;
    *contents = file.readAll();
    return file.error() == QFileDevice::NoError;
}

bool Folder::writeFile(const QString& name, const QByteArray& contents, QString* error)
{
    QSaveFile file(QDir(m_path).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit()) {
        *error = systemerror::reason(file.errorString());
        return false;
    }
    return true;
}

bool Folder::removeFile(const QString& name, QString* error)
{
    const QString path = QDir(m_path).filePath(name);
    const EntryKind kind = kindOf(name);
    if (kind == EntryKind::Missing)
        return true;
    if (kind == EntryKind::Folder) {
        *error = QStringLiteral("es una carpeta");
        return false;
    }
    if (kind == EntryKind::Link && QFileInfo(path).isJunction())
        return QDir().rmdir(path) || (*error = QStringLiteral("no se pudo borrar"), false);
    QFile file(path);
    if (!file.remove()) {
        *error = systemerror::reason(file.errorString());
        return false;
    }
    return true;
}

bool Folder::removeFolder(const QString& name, QString* error)
{
    if (kindOf(name) != EntryKind::Folder || !QDir(m_path).rmdir(name)) {
        *error = QStringLiteral("no se pudo borrar la carpeta");
        return false;
    }
    return true;
}

bool Folder::makeFolder(const QString& name, QString* error)
{
    if (!QDir(m_path).mkdir(name)) {
        *error = QStringLiteral("no se pudo crear la carpeta");
        return false;
    }
    return true;
}

bool Folder::sync(QString*)
{
    return true; // NTFS keeps its directories in its journal
}

#else

namespace {

QByteArray native(const QString& text)
{
    return QFile::encodeName(text);
}

EntryKind kindOfMode(mode_t mode)
{
    if (S_ISLNK(mode))
        return EntryKind::Link;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISREG(mode))
        return EntryKind::File;
    return EntryKind::Other;
}

bool fail(QString* error, int number)
{
    if (error)
        *error = systemerror::reason(number);
    return false;
}

} // namespace

EntryKind entryKind(const QString& path)
{
    struct stat st;
    if (::lstat(native(path).constData(), &st) != 0)
        return EntryKind::Missing;
    return kindOfMode(st.st_mode);
}

QString notOrdinaryFile(const QString& path)
{
    struct stat st;
    if (::stat(native(path).constData(), &st) != 0) {
        const int number = errno;
        if (number == ELOOP)
            return QStringLiteral("es un enlace simbólico que forma un bucle");
        if (number == ENOENT && entryKind(path) == EntryKind::Link)
            return QStringLiteral("es un enlace que no lleva a ningún archivo");
        return systemerror::reason(number);
    }
    if (S_ISREG(st.st_mode))
        return QString();
    return describeMode(S_ISDIR(st.st_mode), S_ISFIFO(st.st_mode),
                        S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode), S_ISSOCK(st.st_mode));
}

bool syncFile(const QString& path, QString* error)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return fail(error, errno);
    const bool done = ::fsync(fd) == 0;
    const int number = errno;
    ::close(fd);
    return done || fail(error, number);
}

Folder::Folder(const QString& path, Link link) : m_path(path)
{
    const int noFollow = link == Link::Refused ? O_NOFOLLOW : 0;
    m_fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | noFollow | O_CLOEXEC);
    if (m_fd >= 0) {
        m_open = true;
        return;
    }
    const int number = errno;
    switch (entryKind(path)) {
    case EntryKind::Link:
        m_error = QStringLiteral("es un enlace, no una carpeta");
        break;
    case EntryKind::File:
    case EntryKind::Other:
        m_error = QStringLiteral("no es una carpeta");
        break;
    default:
        m_error = systemerror::reason(number);
    }
}

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

EntryKind Folder::kindOf(const QString& name) const
{
    struct stat st;
    if (!m_open || ::fstatat(m_fd, native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Missing;
    return kindOfMode(st.st_mode);
}

QStringList Folder::entries() const
{
    QStringList out;
    if (!m_open)
        return out;
    const int fd = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return out;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return out;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            out << name;
    }
    ::closedir(dir);
    out.sort();
    return out;
}

bool Folder::readFile(const QString& name, qint64 maxBytes, QByteArray* contents) const
{
    if (!m_open)
        return false;
    const int fd =
        ::openat(m_fd, native(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes;
    if (ok) {
        contents->resize(static_cast<qsizetype>(st.st_size));
        qsizetype at = 0;
        while (ok && at < contents->size()) {
            const ssize_t got = ::read(fd, contents->data() + at, size_t(contents->size() - at));
            if (got < 0 && errno == EINTR)
                continue;
            ok = got > 0;
            at += ok ? got : 0;
        }
    }
    ::close(fd);
    return ok;
}

bool Folder::writeFile(const QString& name, const QByteArray& contents, QString* error)
{
    if (!m_open)
        return fail(error, EBADF);
    const QByteArray temporary = native(name + QStringLiteral(".nuevo"));
    ::unlinkat(m_fd, temporary.constData(), 0);
    const int fd = ::openat(m_fd, temporary.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(error, errno);
    const char* data = contents.constData();
    qsizetype left = contents.size();
    int number = 0;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            number = written < 0 ? errno : ENOSPC;
            break;
        }
        data += written;
        left -= written;
    }
    if (number == 0 && ::fsync(fd) != 0)
        number = errno;
    if (::close(fd) != 0 && number == 0)
        number = errno;
    if (number == 0 && ::renameat(m_fd, temporary.constData(), m_fd, native(name).constData()) != 0)
        number = errno;
    if (number != 0) {
        ::unlinkat(m_fd, temporary.constData(), 0);
        return fail(error, number);
    }
    return sync(error);
}

bool Folder::removeFile(const QString& name, QString* error)
{
    if (!m_open)
        return fail(error, EBADF);
    if (::unlinkat(m_fd, native(name).constData(), 0) == 0 || errno == ENOENT)
        return true;
    return fail(error, errno);
}

bool Folder::removeFolder(const QString& name, QString* error)
{
    if (!m_open)
        return fail(error, EBADF);
    if (::unlinkat(m_fd, native(name).constData(), AT_REMOVEDIR) == 0 || errno == ENOENT)
        return true;
    return fail(error, errno);
}

bool Folder::makeFolder(const QString& name, QString* error)
{
    if (!m_open)
        return fail(error, EBADF);
    if (::mkdirat(m_fd, native(name).constData(), 0755) == 0)
        return true;
    return fail(error, errno);
}

bool Folder::sync(QString* error)
{
    if (!m_open)
        return fail(error, EBADF);
    return ::fsync(m_fd) == 0 || fail(error, errno);
}

#endif

} // namespace platform

namespace platform {

QString executableFolder(const char* argv0)
{
#ifdef Q_OS_WIN
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length > 0 && length < 32768)
        return QFileInfo(QString::fromWCharArray(path, int(length))).absolutePath();
#else
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (!self.isEmpty())
        return QFileInfo(self).absolutePath();
#endif
    return QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath();
}

} // namespace platform
