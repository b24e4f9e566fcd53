#pragma once

#include <QString>

// Where the window program leaves its result status for the program that started it: the key
// Transformado of section Transformadores in "Oranel.ini" beside the executable, where Oranel
// reads it (on Windows, and from the portable folder unpacked beside it under Wine).
//
// Errors: writeStatus throws EngineError; its message names the file, says why and which
// folder to use instead.
namespace oranelini {

// A folder of the system's own programs (/usr and all below it, /bin, /sbin, /lib...), as
// where the Debian package puts the program: the package manager owns it, and a file left
// there would outlive the package. Never such a folder on Windows.
bool isSystemFolder(const QString& folder);

// Writes `status` into Oranel.ini in `executableFolder`. Refuses a system folder without
// touching it, even when it could be written.
void writeStatus(const QString& executableFolder, int status);

} // namespace oranelini
