#pragma once

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
bool writeAll(QFileDevice& file, const char* data, qsizetype size);

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
