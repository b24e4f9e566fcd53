#pragma once

#include "components/report/interaction.h"
#include "components/timetablefolder/tablestaging.h"

#include <QString>

// Putting back the tables a backup holds: the tables an exportar replaced return, all or
// nothing, through the same staging, journal and folder lock as an exportar; the tables there
// now go into a new backup first, so a restore can itself be undone.
namespace backuprestore {

// Restores the backup named `backupName` ("2026-12-10_09-05-07") of `timetableFolder`. Returns
// where the tables it replaced were kept. Throws EngineError, the folder left as it was, when
// there is no such backup or anything stops the commit (a table another program holds, a full
// disk...).
QString restore(const QString& timetableFolder, const QString& backupName, Interaction& interaction,
                TableStaging::FileMover mover = {});

} // namespace backuprestore
