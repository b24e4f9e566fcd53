#pragma once

#include "components/platform/platform.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The moves of a commit, written down in the staging folder before the first move and removed
// after the last: a run that dies in between leaves it for the next run, which puts the folder
// back to one whole set of tables with it. It is read back strictly, as input from anywhere: a
// damaged or altered journal is refused whole, never half followed.
struct Journal {
    // A file moved into the timetable folder, and what it was like when it was moved: a file
    // of that name there that is not like it is not the commit's.
    struct Placed {
        QString name;
        platform::Folder::Stamp stamp;
    };

    QString origin = QStringLiteral("exportar"); // "exportar" or "restaurar 2026-..."
    QString backup;             // the backup folder's name, "" when nothing was replaced
    qint64 sequence = 0;        // the backup's sequence, as its marker says it
    QStringList saved;          // old files moved from the timetable folder into the backup
    std::vector<Placed> placed; // staged files moved into the timetable folder

    bool isRestore() const { return origin != QLatin1String("exportar"); }
};

namespace journal {

// A journal as the commit writes it, ending with a checksum of its lines.
QByteArray text(const Journal& journal);
// A journal read back: every line known, every name one of the program's own files with no
// folder part, the backup a name the program gives, the checksum right. Otherwise nothing,
// with what is wrong in `problem`.
std::optional<Journal> parse(const QByteArray& text, QString* problem);

} // namespace journal
