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

// Takes the platform's lock on an open file without waiting: false when another program holds
// a lock that conflicts. Taking a lock again changes its kind. The lock goes with the file's
// closing or with unlockFile().
bool tryLockFile(QFile& file, LockKind kind);
void unlockFile(QFile& file);

// Writes straight to an open file's descriptor, past Qt's write buffer (which copies every
// byte once more): for large files written in large pieces.
bool writeAll(QFileDevice& file, const char* data, qsizetype size);

// A lock on a folder, taken for as long as the object lives, that the operating system lets go
// of when the process ends however it ends: a crash never leaves it behind.
class FolderLock {
public:
    explicit FolderLock(const QString& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // False when another process holds the folder.
    bool acquired() const { return m_acquired; }

private:
    bool m_acquired = false;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace platform
