#pragma once

#include <QString>

// What differs between Windows, where Oranel runs natively, and the other systems, where it
// runs under Wine. Nothing else in the program asks which platform it is on.
namespace platform
{

// The timetable folder: QUELVANA_TIMETABLE_FOLDER when it is set and not empty; otherwise
// "C:\OTEMP" on Windows and, elsewhere, drive_c/OTEMP in the Wine prefix ($WINEPREFIX, else
// ~/.wine). The folder may not exist.
QString timetableFolder();

} // namespace platform
