#pragma once

#include <QStringList>

// What the window program does before it has a window: its own options, and whether a window
// can be opened at all.
//
// Errors: nothing here throws; a start that cannot go on ends the process with NoDisplayExit.
namespace startup {

// The exit status of a start where no window can be opened.
inline constexpr int NoDisplayExit = 3;

// "quelvana --help" (or -h) and "quelvana --version": the text to print, or "" when the
// arguments ask for neither. Only a start outside command-line mode asks: a caller's two
// arguments are always a run.
QString optionText(const QStringList& arguments);

// Whether a window system can be asked for a window: a display for X11 or Wayland, or another
// platform named (offscreen, for instance) in QT_QPA_PLATFORM or by -platform in `qtArguments`.
bool displayNamed(const QStringList& qtArguments);

// Tells the user that the program needs a graphical session, and why on stderr.
void reportNoDisplay();

// While it lives, a Qt platform that cannot start ends the process with reportNoDisplay() and
// NoDisplayExit instead of Qt's abort; Qt's own messages are held back, and passed on once the
// application has started.
class PlatformGuard {
public:
    PlatformGuard();
    ~PlatformGuard();
    PlatformGuard(const PlatformGuard&) = delete;
    PlatformGuard& operator=(const PlatformGuard&) = delete;
};

} // namespace startup
