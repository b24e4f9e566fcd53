// The platform layer on the systems other than Windows, where Oranel runs under Wine: holds are
// BSD locks and record locks of the open file, folders are reached through their descriptors.
#include "components/platform/platform.h"
#include "components/platform/platform_os.h"
#include "components/platform/systemerror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QVariant>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace os {

QString defaultTimetableFolder()
{
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::home().filePath(QStringLiteral(".wine"));
    return resolveLetterCase(prefix + QStringLiteral("/drive_c/OTEMP"));
}

QStringList temporaryFolders()
{
    QStringList candidates;
    if (const QString given = qEnvironmentVariable("TMPDIR"); !given.isEmpty())
        candidates << given;
    return candidates << QStringLiteral("/tmp") << QStringLiteral("/var/tmp");
}

QString programFile()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

} // namespace os

QString undecodableArgument(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(QByteArrayView(argv[i]));
        if (decoder.hasError())
            return text;
    }
    return QString();
}

QString regionalDateTime(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') +
           moment.toString(QStringLiteral("H:mm:ss"));
}

namespace {

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
    const QVariant earlier = file.property(os::HeldKind);
    int error = 0;
    if (takeHold(fd, kind, writable, &error)) {
        file.setProperty(os::HeldKind, int(kind));
        return true;
    }
    // A refused change of a BSD lock may already have let go of the earlier one.
    int ignored = 0;
    if (!earlier.isValid() || !takeHold(fd, LockKind(earlier.toInt()), writable, &ignored)) {
        dropHold(fd);
        file.setProperty(os::HeldKind, QVariant());
    }
    if (failure && !refusedByAnother(error))
        *failure = systemerror::lockReason(error);
    return false;
}

void unlockFile(QFile& file)
{
    file.setProperty(os::HeldKind, QVariant());
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
        m_failure = systemerror::lockReason(errno);
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
        m_failure = systemerror::lockReason(error);
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with it
}

// ----------------------------------------------------------------------------------------------
// Files and folders, never followed through a link where the program keeps its own.

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
    return os::notAFile(S_ISDIR(st.st_mode), S_ISFIFO(st.st_mode),
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

} // namespace platform
