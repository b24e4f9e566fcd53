#pragma once

#include "components/timetablefolder/tablestaging.h"

#include <QString>

// Finishing what a commit that died half way left in the timetable folder, from its journal.
namespace recovery {

// Puts the folder back to one whole set of tables: the new one when every new table is in
// place, whole and the very file the commit put there; otherwise the old one, back from the
// backup the journal names. Returns what it did, for the user ("" when there was nothing to
// do). Throws EngineError, touching nothing, when the journal is damaged, names a backup that is
// not the commit's, or when putting the old tables back would need a backup that is missing:
// the new tables then stay where they are, and the message says what to do. Nothing but the
// program's own files inside the timetable folder is ever moved or removed. The caller holds
// the folder against other runs.
QString recover(const QString& timetableFolder, TableStaging::FileMover mover = {});

} // namespace recovery
