#pragma once

#include <QString>
#include <QStringList>

// What the file of each operating system (platform_posix.cpp, platform_windows.cpp) gives the
// platform files common to both. Inside the platform layer only.
namespace platform::os {

// The timetable folder when nothing chooses another: "C:/OTEMP" on Windows and, elsewhere,
// drive_c/OTEMP in the Wine prefix ($WINEPREFIX, else ~/.wine), found without regard to case.
QString defaultTimetableFolder();

// Where temporary files may go, in the order to try them.
QStringList temporaryFolders();

// The running program's file as the system gives it; "" where the system does not say.
QString programFile();

// The hold a file carries, kept on the file object so that a refused change can put it back.
inline constexpr char HeldKind[] = "quelvana-hold";

// Why what stands at a path is not an ordinary file: "es una carpeta, no un archivo", ...
inline QString notAFile(bool isDir, bool isFifo, bool isDevice, bool isSocket)
{
    if (isDir)
        return QStringLiteral("es una carpeta, no un archivo");
    if (isFifo)
        return QStringLiteral("es una tubería (FIFO), no un archivo");
    if (isDevice)
        return QStringLiteral("es un dispositivo, no un archivo");
    if (isSocket)
        return QStringLiteral("es un socket, no un archivo");
    return QStringLiteral("no es un archivo normal");
}

} // namespace platform::os
