#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The names the program gives in the timetable folder. They are the only names it ever removes
// or moves there: a name read back from its own files (the journal, a backup's marker) is used
// only when it is one of these, never as a path.
namespace ownnames {

inline const QString StagingFolder = QStringLiteral("quelvana-preparando");
inline const QString BackupFolder = QStringLiteral("quelvana-copias");
inline const QString Marker = QStringLiteral(".quelvana"); // in each folder of the program's own
inline const QString Journal = QStringLiteral("quelvana-diario.txt"); // in the staging folder
// A run's report: in its backup and, the latest, in the timetable folder.
inline const QString Report = QStringLiteral("quelvana-informe.txt");

// The ten tables the exportar run writes, by name ("PROFT").
const QStringList& tables();
// A file of one of the ten tables or of its index ("PROFT.DBF", "proft.mdx"), in any letter
// case, with no folder part.
bool isTableFile(const QString& name);
// A table file or the report.
bool isOwnFile(const QString& name);

// The name of the backup a commit at `when` makes; `attempt` from 1 tells apart backups of the
// same second ("2026-12-10_09-05-07", "2026-12-10_09-05-07_002").
QString backupName(const QDateTime& when, int attempt = 1);
// A name backupName gives.
bool isBackupName(const QString& name);

// A folder of the program's own while it is being made (marked, then renamed into place): the
// name it has then, and whether a name is one such, left by a run that died meanwhile.
QString folderInTheMaking();
bool isFolderInTheMaking(const QString& name);

} // namespace ownnames
