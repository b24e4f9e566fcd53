#pragma once

#include "components/platform/platform.h"
#include "components/report/interaction.h"
#include "components/timetablefolder/tablestaging.h"

#include <QString>
#include <memory>

// What every run does first on the timetable folder.
namespace folderhold {

// The folder must exist; it is held against any other run (the lock returned); a commit an
// exportar left unfinished there is put right, and the user told so. Throws EngineError with
// the message for the user.
std::unique_ptr<platform::FolderLock> hold(const QString& folder, Interaction& interaction,
                                           const TableStaging::FileMover& mover = {});
// The message for a folder lock not acquired: another run holds the folder, or the folder
// itself fails, named with the cause.
QString lockMessage(const platform::FolderLock& lock, const QString& folder);
// The message for a run refused because another one holds the timetable folder.
QString otherRunMessage(const QString& folder);

} // namespace folderhold
