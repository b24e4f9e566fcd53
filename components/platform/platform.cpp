#include "components/platform/platform.h"

#include "components/platform/systemerror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QVariant>
#include <QtGlobal>
#include <algorithm>
#include <vector>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QCryptographicHash>

namespace platform {

namespace {

// The hold a file carries, kept on the file object so that a refused change can put it back.
const char* const HeldKind = "quelvana-hold";

} // namespace

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

namespace {

// The name the file was opened by: reopening through a handle leaves QFile without one.
const char* const OpenedName = "quelvana-name";

QString systemReason(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("no existe");
    case ERROR_ACCESS_DENIED:
        return QStringLiteral("no tiene permiso para leerla");
    case ERROR_DIRECTORY:
        return QStringLiteral("no es una carpeta");
    case ERROR_TOO_MANY_OPEN_FILES:
        return QStringLiteral("hay demasiados archivos abiertos");
    default:
        break;
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString reason = length ? QString::fromWCharArray(text, int(length)).trimmed()
                            : QStringLiteral("error del sistema %1").arg(error);
    LocalFree(text);
    return reason;
}

DWORD sharingFor(LockKind kind)
{
    return kind == LockKind::Exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
}

// Opens the file again, in the same mode, with this sharing. False with the system's error when
// the file cannot be opened so; it is then closed.
bool reopenSharing(QFile& file, DWORD sharing, DWORD* error)
{
    if (!file.property(OpenedName).isValid())
        file.setProperty(OpenedName, file.fileName());
    const QString name = file.property(OpenedName).toString();
    const QIODevice::OpenMode mode = file.openMode();
    const bool writable = mode.testFlag(QIODevice::WriteOnly);
    file.close();
    const std::wstring native = QDir::toNativeSeparators(name).toStdWString();
    const HANDLE handle =
        CreateFileW(native.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0), sharing, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   (writable ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        *error = ERROR_INVALID_HANDLE;
        CloseHandle(handle);
        return false;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        *error = ERROR_INVALID_HANDLE;
        _close(fd);
        return false;
    }
    return true;
}

} // namespace

// What other programs see of a hold is the sharing of the open, as Oranel's own exclusive opens
// (no sharing) work; a byte-range lock over the whole file would stop this program's own writes.
bool tryLockFile(QFile& file, LockKind kind, QString* failure)
{
    if (failure)
        failure->clear();
    const QVariant earlier = file.property(HeldKind);
    const LockKind before = earlier.isValid() ? LockKind(earlier.toInt()) : LockKind::Shared;
    if (earlier.isValid() && before == kind)
        return true;
    DWORD error = 0;
    if (reopenSharing(file, sharingFor(kind), &error)) {
        file.setProperty(HeldKind, int(kind));
        return true;
    }
    DWORD ignored = 0;
    reopenSharing(file, sharingFor(before), &ignored);
    if (failure && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION)
        *failure = systemReason(error);
    return false;
}

void unlockFile(QFile& file)
{
    const QVariant earlier = file.property(HeldKind);
    file.setProperty(HeldKind, QVariant());
    DWORD ignored = 0;
    if (earlier.isValid() && LockKind(earlier.toInt()) == LockKind::Exclusive)
        reopenSharing(file, sharingFor(LockKind::Shared), &ignored);
}

bool isFileHeld(const QString& path)
{
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE handle = CreateFileW(native.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(handle);
    return false;
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

void WriteBehind::written(qint64) {}

// A named mutex per folder: its name comes from the folder's path, whatever its letter case.
FolderLock::FolderLock(const QString& folder)
{
    const std::wstring native = QDir::toNativeSeparators(folder).toStdWString();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        m_failure = systemReason(GetLastError());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_failure = systemReason(ERROR_DIRECTORY);
        return;
    }
    const QByteArray key = QCryptographicHash::hash(
        QDir::cleanPath(QDir(folder).absolutePath()).toLower().toUtf8(), QCryptographicHash::Sha1);
    const QString name = QStringLiteral("Local\\Quelvana-") + QString::fromLatin1(key.toHex());
    m_handle = CreateMutexW(nullptr, TRUE, reinterpret_cast<LPCWSTR>(name.utf16()));
    const DWORD error = GetLastError();
    if (!m_handle)
        m_failure = systemReason(error);
    else if (error == ERROR_ALREADY_EXISTS)
        m_state = State::HeldByAnother;
    else
        m_state = State::Acquired;
}

FolderLock::~FolderLock()
{
    if (m_handle) {
        if (m_state == State::Acquired)
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

namespace {

QString systemReason(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("no existe");
    case ENOTDIR:
        return QStringLiteral("no es una carpeta");
    case EACCES:
    case EPERM:
        return QStringLiteral("no tiene permiso para leerla");
    case ELOOP:
        return QStringLiteral("la ruta tiene demasiados enlaces simbólicos");
    case ENAMETOOLONG:
        return QStringLiteral("la ruta es demasiado larga");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("hay demasiados archivos abiertos");
    case ENOMEM:
        return QStringLiteral("no queda memoria");
    case EIO:
        return QStringLiteral("el disco da un error de lectura");
    case ENOLCK:
        return QStringLiteral("el sistema no admite más bloqueos");
    case EOPNOTSUPP:
    case EINVAL:
    case ENOSYS:
        return QStringLiteral("su sistema de archivos no admite bloqueos");
    default:
        return QStringLiteral("error del sistema %1 (%2)")
            .arg(error)
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

bool refusedByAnother(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EACCES;
}

// A record lock range from the first byte to the end of any file, however far it grows: a
// Windows program's lock far past the data (database engines lock there) lies inside it.
struct flock wholeFile(short type)
{
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;
    return range;
}

// Record locks of the open file itself (not of the process): they are never let go by closing
// another descriptor of the file, and they conflict with the locks of other processes, classic
// or not, whatever range those cover.
bool takeHold(int fd, LockKind kind, bool writable, int* error)
{
    if (flock(fd, (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        *error = errno;
        return false;
    }
    const bool writeLock = kind == LockKind::Exclusive && writable;
    if (kind == LockKind::Exclusive && !writable) {
        // A write lock needs a descriptor open for writing: the read lock taken instead keeps
        // writers out, and no lock of another may stand when the hold starts.
        struct flock probe = wholeFile(F_WRLCK);
        if (fcntl(fd, F_OFD_GETLK, &probe) != 0) {
            *error = errno;
            return false;
        }
        if (probe.l_type != F_UNLCK) {
            *error = EAGAIN;
            return false;
        }
    }
    struct flock range = wholeFile(writeLock ? F_WRLCK : F_RDLCK);
    if (fcntl(fd, F_OFD_SETLK, &range) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

void dropHold(int fd)
{
    struct flock range = wholeFile(F_UNLCK);
    fcntl(fd, F_OFD_SETLK, &range);
    flock(fd, LOCK_UN);
}

} // namespace

bool tryLockFile(QFile& file, LockKind kind, QString* failure)
{
    if (failure)
        failure->clear();
    const int fd = file.handle();
    if (fd < 0) {
        if (failure)
            *failure = QStringLiteral("no está abierta");
        return false;
    }
    const bool writable = (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
    const QVariant earlier = file.property(HeldKind);
    int error = 0;
    if (takeHold(fd, kind, writable, &error)) {
        file.setProperty(HeldKind, int(kind));
        return true;
    }
    // A refused change of a BSD lock may already have let go of the earlier one.
    int ignored = 0;
    if (!earlier.isValid() || !takeHold(fd, LockKind(earlier.toInt()), writable, &ignored)) {
        dropHold(fd);
        file.setProperty(HeldKind, QVariant());
    }
    if (failure && !refusedByAnother(error))
        *failure = systemReason(error);
    return false;
}

void unlockFile(QFile& file)
{
    file.setProperty(HeldKind, QVariant());
    if (file.handle() >= 0)
        dropHold(file.handle());
}

bool isFileHeld(const QString& path)
{
    // Not blocking on a FIFO that stands where a table should be.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct flock probe = wholeFile(F_WRLCK);
    bool held = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    if (!held) {
        // A BSD lock cannot be looked at without taking one: this one lasts an instant.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            flock(fd, LOCK_UN);
        else
            held = errno == EWOULDBLOCK;
    }
    ::close(fd);
    return held;
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

void WriteBehind::written(qint64 size)
{
#ifdef Q_OS_LINUX
    // Pieces of 8 MiB: each is handed to the disk when written, and the one before it, which the
    // disk has had the while to take, is waited for and forgotten. A piece ends where a memory
    // page does: a page still being filled would go to the disk again, and be waited for.
    constexpr qint64 Piece = 8 << 20;
    const qint64 end = size & ~qint64(0xFFFF);
    if (end - m_started < Piece)
        return;
    const int fd = m_file.handle();
    sync_file_range(fd, m_started, end - m_started, SYNC_FILE_RANGE_WRITE);
    if (m_started > m_forgotten) {
        sync_file_range(fd, m_forgotten, m_started - m_forgotten,
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                            SYNC_FILE_RANGE_WAIT_AFTER);
        posix_fadvise(fd, m_forgotten, m_started - m_forgotten, POSIX_FADV_DONTNEED);
        m_forgotten = m_started;
    }
    m_started = end;
#else
    (void)size;
#endif
}

FolderLock::FolderLock(const QString& folder)
{
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_failure = systemReason(errno);
        return;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_state = State::Acquired;
        return;
    }
    const int error = errno;
    ::close(m_fd);
    m_fd = -1;
    if (error == EWOULDBLOCK)
        m_state = State::HeldByAnother;
    else
        m_failure = systemReason(error);
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

bool Folder::rename(const QString& from, const QString& to, QString* error)
{
    const std::wstring source =
        QDir::toNativeSeparators(QDir(m_path).filePath(from)).toStdWString();
    const std::wstring target = QDir::toNativeSeparators(QDir(m_path).filePath(to)).toStdWString();
    if (MoveFileExW(source.c_str(), target.c_str(), 0))
        return true;
    *error = GetLastError() == ERROR_ALREADY_EXISTS
                 ? QStringLiteral("ya existe «%1»").arg(to)
                 : QStringLiteral("no se pudo cambiar el nombre");
    return false;
}

bool Folder::copyFile(const QString& name, Folder& to, const QString& toName, QString* error) const
{
    if (kindOf(name) != EntryKind::File) {
        *error = QStringLiteral("no es un archivo normal");
        return false;
    }
    const QString target = QDir(to.path()).filePath(toName);
    const std::wstring source =
        QDir::toNativeSeparators(QDir(m_path).filePath(name)).toStdWString();
    if (!CopyFileW(source.c_str(), QDir::toNativeSeparators(target).toStdWString().c_str(), TRUE)) {
        *error = QStringLiteral("no se pudo copiar");
        return false;
    }
    return syncFile(target, error);
}

Folder::Stamp Folder::stampOf(const QString& name) const
{
    if (kindOf(name) != EntryKind::File)
        return {};
    const QFileInfo info(QDir(m_path).filePath(name));
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
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

// Makes a new file for writing `name` in the folder `dirFd`: hidden, named after it with a
// random part, never one that exists (a file of the user's is never taken for it).
int createTemporary(int dirFd, const QString& name, QByteArray* temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = native(QLatin1Char('.') + name + QLatin1Char('.') +
                            QString::number(QRandomGenerator::global()->generate64(), 36) +
                            QStringLiteral(".nuevo"));
        const int fd = ::openat(dirFd, temporary->constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
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
    QByteArray temporary;
    const int fd = createTemporary(m_fd, name, &temporary);
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

bool Folder::rename(const QString& from, const QString& to, QString* error)
{
    if (!m_open)
        return fail(error, EBADF);
    const QByteArray source = native(from);
    const QByteArray target = native(to);
#ifdef __linux__
    if (::renameat2(m_fd, source.constData(), m_fd, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return fail(error, errno);
#endif
    // Where the system cannot refuse to replace, the target is looked for first.
    struct stat st;
    if (::fstatat(m_fd, target.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return fail(error, EEXIST);
    return ::renameat(m_fd, source.constData(), m_fd, target.constData()) == 0 ||
           fail(error, errno);
}

bool Folder::copyFile(const QString& name, Folder& to, const QString& toName, QString* error) const
{
    if (!m_open || !to.m_open)
        return fail(error, EBADF);
    const int in =
        ::openat(m_fd, native(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return fail(error, errno == ELOOP ? EINVAL : errno);
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return fail(error, EINVAL);
    }
    const int out = ::openat(to.m_fd, native(toName).constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
        const int number = errno;
        ::close(in);
        return fail(error, number);
    }
    int number = 0;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            number = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < got && number == 0;) {
            const ssize_t written = ::write(out, buffer.data() + done, size_t(got - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                number = written < 0 ? errno : ENOSPC;
            else
                done += written;
        }
        if (number != 0)
            break;
    }
    if (number == 0 && ::fsync(out) != 0)
        number = errno;
    if (::close(out) != 0 && number == 0)
        number = errno;
    ::close(in);
    if (number != 0) {
        ::unlinkat(to.m_fd, native(toName).constData(), 0);
        return fail(error, number);
    }
    return true;
}

Folder::Stamp Folder::stampOf(const QString& name) const
{
    struct stat st;
    if (!m_open || ::fstatat(m_fd, native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return {};
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000};
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

bool isTemporaryOf(const QString& name, const QString& base)
{
    const QString start = QLatin1Char('.') + base + QLatin1Char('.');
    const QString end = QStringLiteral(".nuevo");
    if (!name.startsWith(start) || !name.endsWith(end) || name.size() <= start.size() + end.size())
        return false;
    for (const QChar c :
         QStringView(name).mid(start.size(), name.size() - start.size() - end.size()))
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('z')))
            return false;
    return true;
}

QString temporaryFolder(QString* problem)
{
#ifdef Q_OS_WIN
    const QStringList candidates = {QDir::tempPath()};
#else
    QStringList candidates;
    if (const QString given = qEnvironmentVariable("TMPDIR"); !given.isEmpty())
        candidates << given;
    candidates << QStringLiteral("/tmp") << QStringLiteral("/var/tmp");
#endif
    for (const QString& candidate : candidates) {
        const QFileInfo folder(candidate);
        if (folder.isAbsolute() && folder.isDir() && folder.isWritable() && folder.isExecutable())
            return QDir::cleanPath(folder.absoluteFilePath());
    }
    if (problem)
        *problem = QStringLiteral("no hay ninguna carpeta temporal en la que se pueda escribir "
                                  "(%1)")
                       .arg(candidates.join(QStringLiteral(", ")));
    return QString();
}

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

QString dataFile(const QString& executableFolder, const QString& name)
{
    const QString beside = resolveLetterCase(QDir(executableFolder).filePath(name));
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = resolveLetterCase(
        QDir(executableFolder).filePath(QStringLiteral("../share/quelvana/") + name));
    return QFileInfo::exists(installed) ? QDir::cleanPath(installed) : beside;
}

} // namespace platform
