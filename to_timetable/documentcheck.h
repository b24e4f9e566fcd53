#pragma once

#include "components/report/interaction.h"
#include "components/report/runreport.h"

#include <QString>

// A Yedra document read as the Yedra-to-timetable run reads it, to list at once everything that
// would stop that run or change what it writes: the document that cannot be read, the time
// frames, short records, every value that is not the whole number a step needs, records left
// out, codes shortened or numbered, text Windows 1252 cannot hold. The run's own steps do the
// reading, in a temporary folder removed at the end: the timetable folder is never looked at.
namespace documentcheck {

// The report of a check (its kind Comprobar): problems() empty when the document would convert.
// The time frames are asked through `interaction` as the run asks them.
RunReport check(const QString& documentPath, const QString& lookupTable, Interaction& interaction);

// After a run stopped at a value it could not convert (`stoppedBy`, its message): every other
// problem of the document, checked with the time frames the run took (`frames`; when it stopped
// before asking, the document's first one), each once. Empty when there is none.
QStringList otherProblems(const QString& documentPath, const QString& lookupTable,
                          const FrameChoice& frames, const QString& stoppedBy);

} // namespace documentcheck
