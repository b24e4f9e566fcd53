#pragma once

#include "components/report/interaction.h"
#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/tablestaging.h"

#include <QString>
#include <vector>

// Putting back the tables a backup holds: the tables an exportar replaced return, all or
// nothing, through the same staging, journal and folder lock as an exportar; the tables there
// now go into a new backup first, so a restore can itself be undone.
namespace backuprestore {

// The backups that can be restored in `timetableFolder`: the program's own, newest first, then
// those of an older version. Throws EngineError when the folder does not exist.
std::vector<Backup> available(const QString& timetableFolder);

// Restores the backup named `backupName` ("2026-12-10_09-05-07") of `timetableFolder`. Every
// table it holds is checked first as an exportar checks the tables it writes (an ordinary file,
// not a link, whole as its header says). Returns where the tables it replaced were kept. Throws
// EngineError, the folder left as it was, when there is no such backup, a table of it is not
// whole, or anything stops the commit (a table another program holds, a full disk...).
QString restore(const QString& timetableFolder, const QString& backupName, Interaction& interaction,
                TableStaging::FileMover mover = {});

} // namespace backuprestore
