#pragma once

#include <QByteArray>
#include <QString>

namespace reportfile {

// Saves a run's report (ownnames::Report) in the backup the run made, when it made one, and as
// the latest in the timetable folder. Returns what could not be saved, naming each file and why
// ("" when both were). A report that cannot be written in the timetable folder is removed from
// it, so that the latest report there never tells of an older run.
QString save(const QString& timetableFolder, const QString& backup, const QByteArray& contents);

} // namespace reportfile
