// The platform layer on Windows, where Oranel runs natively: holds are the sharing of an open,
// as Oranel's own opens work, and a folder lock is a named mutex.
#include "components/platform/platform.h"
#include "components/platform/platform_os.h"
#include "components/platform/systemerror.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

namespace platform {

namespace os {

QString defaultTimetableFolder()
{
    return QStringLiteral("C:/OTEMP");
}

QStringList temporaryFolders()
{
    return {QDir::tempPath()};
}

QString programFile()
{
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length > 0 && length < 32768)
        return QString::fromWCharArray(path, int(length));
    return QString();
}

} // namespace os

QString undecodableArgument(int, char*[])
{
    return QString(); // Windows hands the arguments over as text
}

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

// A lock's reason: the common ones in the words of the table of error numbers, any other in the
// system's own words (in the user's language).
QString systemReason(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return systemerror::lockReason(ENOENT);
    case ERROR_ACCESS_DENIED:
        return systemerror::lockReason(EACCES);
    case ERROR_DIRECTORY:
        return systemerror::lockReason(ENOTDIR);
    case ERROR_TOO_MANY_OPEN_FILES:
        return systemerror::lockReason(EMFILE);
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
    const QVariant earlier = file.property(os::HeldKind);
    const LockKind before = earlier.isValid() ? LockKind(earlier.toInt()) : LockKind::Shared;
    if (earlier.isValid() && before == kind)
        return true;
    DWORD error = 0;
    if (reopenSharing(file, sharingFor(kind), &error)) {
        file.setProperty(os::HeldKind, int(kind));
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
    const QVariant earlier = file.property(os::HeldKind);
    file.setProperty(os::HeldKind, QVariant());
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

// ----------------------------------------------------------------------------------------------
// Files and folders, never followed through a link where the program keeps its own.

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
    return os::notAFile(info.isDir(), false, false, false);
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

} // namespace platform
