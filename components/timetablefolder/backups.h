#pragma once

#include "components/platform/platform.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

// The backups in the backup folder (quelvana-copias): each commit moves the tables it replaces
// into a backup of its own, a folder whose marker says what it holds. A backup is the program's
// only when its marker is whole and names that very folder: a copy the user makes of one under
// another name is the user's, and is never pruned.
struct Backup {
    QString name;         // the folder's name in the backup folder
    qint64 sequence = 0;  // its place in the order of backups
    QDateTime date;       // when it was made
    QString origin;       // the run that made it ("exportar", "restaurar 2026-...")
    QStringList files;    // the tables it holds
    QStringList replaced; // every table its commit replaced (those it holds, and new ones)
    // Made by an older version of the program, which wrote no markers: listed and restored, but
    // never pruned.
    bool olderVersion = false;
};

namespace backups {

constexpr int Kept = 5; // the newest backups of the program's own that pruning keeps
// The highest sequence a marker may hold: sequences are counted from 1 and never overflow.
constexpr qint64 LastSequence = 999'999'999'999'999;

// A backup's marker, as the commit writes it.
QByteArray markerText(const Backup& backup);
// A backup's marker read strictly: every line known, each name one of the program's own tables,
// the sequence in range, the folder named in it `folderName`. A marker of an older version names
// no folder; it is accepted for a folder with a name the program gives. Otherwise nothing, with
// the reason in `problem`.
std::optional<Backup> parseMarker(const QByteArray& text, const QString& folderName,
                                  QString* problem);

// What stands in the place of the backup folder.
enum class RootState {
    Missing,
    Own,          // a folder with the program's marker
    OlderVersion, // a folder without a marker holding only backups of an older version
    Stranger,     // anything else: a link, a file, a folder of somebody else's
};
RootState rootState(const QString& timetableFolder, QString* what = nullptr);

struct Listing {
    std::vector<Backup> own;          // the program's own, oldest first
    std::vector<Backup> olderVersion; // an older version's, by name
    // Folders with a marker that does not make them the program's, and why.
    std::vector<std::pair<QString, QString>> others;
};
// The backups in the backup folder `root` (opened without following a link).
Listing list(const platform::Folder& root);
// The sequence the next backup gets.
qint64 nextSequence(const Listing& listing);
// The backup named `name`: the program's own or an older version's; nothing with the reason in
// `problem` when there is none such.
std::optional<Backup> find(const QString& timetableFolder, const QString& name, QString* problem);

// Removes the oldest of the program's own backups until Kept are left; never `keep` (the one
// the run has just made), never an older version's or a user's. A backup that cannot be removed
// now (something else was put in it) is left where it is.
void prune(const QString& timetableFolder, const QString& keep = QString());

} // namespace backups
