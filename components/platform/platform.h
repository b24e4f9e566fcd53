#pragma once

// Errors of the platform layer: never exceptions. A failing operation returns false (or a
// state) and gives its reason in Spanish words a person can act on ("no queda espacio en el
// disco", "no tiene permiso para leerla"); a question about a path answers with that reason
// itself, "" when all is well (notOrdinaryFile). The caller decides what a failure means to its
// run. The one exception is ini::writeKey (inifile.h), which throws EngineError naming the file.

#include <QString>
#include <QStringList>

class QDateTime;
class QFile;
class QFileDevice;

// What differs between Windows, where Oranel runs natively, and the other systems, where it
// runs under Wine. Nothing else in the program asks which platform it is on.
namespace platform {

// The timetable folder: QUELVANA_TIMETABLE_FOLDER when it is set and not empty; otherwise
// "C:\OTEMP" on Windows and, elsewhere, drive_c/OTEMP in the Wine prefix ($WINEPREFIX, else
// ~/.wine). Found without regard to letter case; the folder may not exist.
QString timetableFolder();

// The path with each of its parts found without regard to letter case where the file system
// cares (an existing "otemp" serves for "OTEMP"); parts that do not exist stay as given.
QString resolveLetterCase(const QString& path);
// Every file of `folder` named `fileName` without regard to letter case ("proft.dbf" and
// "PROFT.DBF" can stand side by side where the file system cares), as full paths.
QStringList filesNamed(const QString& folder, const QString& fileName);

// A moment as the user's regional settings write it: the short date, a blank and the long time.
// On Windows, the user's own formats; elsewhere, where there are no such settings, the Spanish
// defaults "dd/MM/yyyy" and "H:mm:ss" (10/12/2026 9:05:07).
QString regionalDateTime(const QDateTime& moment);

enum class LockKind { Shared, Exclusive };

// Takes this program's hold on an open file without waiting, so that other programs see it:
// on Windows the open's sharing (none when exclusive; reading and writing when shared); elsewhere
// both a BSD lock and a record lock over the whole file (a write lock when exclusive, a read lock
// when shared or when the file is open for reading only), which native programs and Oranel
// under Wine check. The hold is the open file's own, never the process's: closing another
// descriptor of the same file does not let it go, and so one hold per file serves every object
// of this program. Taking it again changes its kind; when that is refused the earlier kind is
// kept. False when another program holds the file in a way that conflicts (`failure` then
// empty) or the platform cannot lock it (`failure` says why, in Spanish). The hold goes with
// the file's closing or with unlockFile().
bool tryLockFile(QFile& file, LockKind kind, QString* failure = nullptr);
void unlockFile(QFile& file);

// Whether any hold on the file at `path` shows, without taking one: a BSD lock or a record
// lock on any range elsewhere, an open without sharing on Windows. Holds of this program's own
// open tables count too. False when the file cannot be opened to look.
bool isFileHeld(const QString& path);

// Writes straight to an open file's descriptor, past Qt's write buffer (which copies every
// byte once more): for large files written in large pieces.
bool writeAll(QFileDevice& file, const char* data, qsizetype size, QString* error = nullptr);

// Hands a file being written from start to end on to the disk as it grows, and lets the system
// forget the part already on the disk: a file of a gigabyte then holds a few megabytes of the
// system's memory, not a gigabyte of it that must first be found. Told the file's size after each
// piece; does nothing where the system has no way to ask. Errors of the disk are left to the
// file's final sync, which reports them.
class WriteBehind {
public:
    explicit WriteBehind(QFileDevice& file) : m_file(file) {}
    void written(qint64 size);

private:
    QFileDevice& m_file;
    qint64 m_started = 0;   // what has been handed to the disk
    qint64 m_forgotten = 0; // what is on the disk and forgotten
};

// A lock on a folder, taken for as long as the object lives, that the operating system lets go
// of when the process ends however it ends: a crash never leaves it behind.
class FolderLock {
public:
    enum class State { Acquired, HeldByAnother, Failed };

    explicit FolderLock(const QString& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    State state() const { return m_state; }
    bool acquired() const { return m_state == State::Acquired; }
    // Why it could not be taken, when the reason is not another holder, in Spanish words about
    // the folder ("no existe", "no tiene permiso para leerla").
    QString failure() const { return m_failure; }

private:
    State m_state = State::Failed;
    QString m_failure;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace platform

namespace platform {

// What stands at a path. The last part is not followed when it is a link: a link is a Link
// whatever it points at (a junction or shortcut on Windows too); Other is a FIFO, a device or
// a socket.
enum class EntryKind { Missing, File, Folder, Link, Other };
EntryKind entryKind(const QString& path);

// Why `path` is not an ordinary file that can be read to its end (links followed): "" when it
// is one; otherwise "es una tubería (FIFO)", "es un dispositivo", "es una carpeta", ...
QString notOrdinaryFile(const QString& path);

// Writes a file's data and its size to the disk before returning: true when done; otherwise
// false with the reason in Spanish.
bool syncFile(const QString& path, QString* error);

// Whether `name` is one that Folder::writeFile gives the file `base` while it writes it: left
// behind only by a run that died meanwhile.
bool isTemporaryOf(const QString& name, const QString& base);

// A folder opened as it is, never through a link in its place: what is done through it happens
// in that very folder whatever is put at its path later, and never follows a link inside it
// (a link is removed, never what it points at). Names are of entries directly inside it.
class Folder {
public:
    enum class Link { Refused, Followed };
    // Opens `path` when it is a real folder; otherwise isOpen() is false and error() says why.
    // A link in its place is refused, unless `link` says to follow it (the timetable folder
    // itself may be a link the user made).
    explicit Folder(const QString& path, Link link = Link::Refused);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool isOpen() const { return m_open; }
    QString error() const { return m_error; }
    QString path() const { return m_path; }

    EntryKind kindOf(const QString& name) const;
    QStringList entries() const;
    // The contents of an ordinary file inside (never read through a link), or false when it is
    // not one or is larger than `maxBytes`.
    bool readFile(const QString& name, qint64 maxBytes, QByteArray* contents) const;
    // Writes the file whole and syncs it: written under a temporary name of its own (never one
    // that exists) and then renamed, so it is either the old file or the new one.
    bool writeFile(const QString& name, const QByteArray& contents, QString* error);
    // Removes a file or a link (never what it points at); a folder is refused.
    bool removeFile(const QString& name, QString* error);
    // Removes an empty folder inside.
    bool removeFolder(const QString& name, QString* error);
    bool makeFolder(const QString& name, QString* error);
    // Renames an entry inside, never over one that exists.
    bool rename(const QString& from, const QString& to, QString* error);
    // Copies the ordinary file `name` inside (never read through a link) to `toName` in `to`, a
    // file made new there and written to the disk before this returns.
    bool copyFile(const QString& name, Folder& to, const QString& toName, QString* error) const;
    // What tells a file apart from another of the same name later: its size and the time it was
    // last written, in milliseconds. Invalid (size -1) when `name` is not an ordinary file.
    struct Stamp {
        qint64 size = -1;
        qint64 modified = 0;
        bool valid() const { return size >= 0; }
        bool operator==(const Stamp&) const = default;
    };
    Stamp stampOf(const QString& name) const;
    // Writes the folder's list of entries to the disk (a rename or a new file in it survives a
    // power cut once this returns true).
    bool sync(QString* error);

private:
    QString m_path;
    QString m_error;
    bool m_open = false;
#ifndef Q_OS_WIN
    int m_fd = -1;
#endif
};

} // namespace platform

namespace platform {

// A file the program installs with it (NIVELCAN.DBF, the help): beside the program, as on
// Windows and in a portable copy, or else in the installed data folder ../share/quelvana. The
// path beside the program when it is in neither.
QString dataFile(const QString& executableFolder, const QString& name);

// The system's folder for temporary files that this user can write in: TMPDIR when it is one,
// else the system's own. Empty, with the reason in `problem`, when there is none.
QString temporaryFolder(QString* problem = nullptr);

// The first command-line argument (from 1) that is not text in the system's encoding, as best it
// can be shown; "" when every one is. Elsewhere than on Windows, an argument is the bytes of a
// file name, which may be written in another encoding (an old USB stick): such a name cannot be
// opened through Qt, which holds names as text.
QString undecodableArgument(int argc, char* argv[]);

// The folder of the running program, known before any Qt application object exists;
// `argv0` is the fallback where the system does not say.
QString executableFolder(const char* argv0);

// Asks the processor to bring the memory at `address` into its cache ahead of its use, where
// the compiler has a way to ask; nothing else.
inline void prefetch(const void* address)
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

} // namespace platform
