#pragma once

#include "components/platform/platform.h"

#include <QByteArray>
#include <QString>

// The marker file (.quelvana) that makes a folder one of the program's own: the staging folder,
// the backup folder, each backup, a trial's temporary folder. A folder without its marker, or
// with one that says something else, is somebody else's and is never used or removed.
namespace markers {

// A marker is a few lines: one larger than this is not the program's.
constexpr qint64 Limit = 8 * 1024;

extern const QByteArray Staging;    // the staging folder's whole marker
extern const QByteArray BackupRoot; // the backup folder's whole marker
extern const QByteArray Backup;     // the first line of each backup's marker
extern const QByteArray Scratch;    // a trial's temporary folder's whole marker

// The marker of `folder`, read whole (at most Limit bytes), or false when it has none that can
// be read.
bool read(const platform::Folder& folder, QByteArray* contents);
// Whether `folder` carries exactly the marker `contents`.
bool carries(const platform::Folder& folder, const QByteArray& contents);

// Whether the entry `name` of one of the program's own folders may go with it: the marker, a
// table or the report, or one of these (or the journal) left half written by a run that died.
// The journal itself never goes: an interrupted commit needs it.
bool isDisposable(const platform::Folder& folder, const QString& name);

// Makes the folder `name` in `parent` with the marker `contents` in it, so that a crash leaves
// either no such folder or one with its whole marker: it is made and marked under a name of
// its own (ownnames::folderInTheMaking), synced and then renamed into place. False with the
// reason in `error`; `name` is then as it was.
bool makeMarkedFolder(platform::Folder& parent, const QString& name, const QByteArray& contents,
                      QString* error);

// Removes what a run that died inside makeMarkedFolder or removeOwnFolder left in `parent`:
// folders with the name of one in the making that hold nothing but the program's files (a
// marker, tables, the report, and these half written), and files of the program's own half
// written. Anything else is left alone.
void removeLeftovers(platform::Folder& parent);
// The same for the one entry `name`; true when it was such a leftover and is gone.
bool removeLeftover(platform::Folder& parent, const QString& name);

// Removes the folder `name` of `parent` when it is one of the program's own that holds nothing
// but files it can name: its marker, tables and the report (ownnames::isOwnFile), and these half
// written. It is first renamed to a name of one in the making, so that a crash meanwhile leaves
// a leftover removeLeftovers() finishes. Entries of any other name, the journal, and folders
// keep the folder (and everything in it) where it is. True when it is out of its place.
bool removeOwnFolder(platform::Folder& parent, const QString& name);

} // namespace markers
