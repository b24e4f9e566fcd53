#pragma once

class QWidget;

// Windows the user reads beside the program's forms, the help and a saved report: never modal,
// and usable while a modal dialog is up. Qt's modality blocks every window outside the modal
// dialog's own family, so such a window belongs to the window that asked for it while that one
// is up, and goes over to its owner when it hides, staying where the user left it.
namespace toolwindow {

// Shows `window` (a widget with the Qt::Window flag) for `requester`, raised and active: the
// first time beside the requester's window (or over it, a little down and right, where the
// screen has no room beside), within the screen and no larger than it.
void show(QWidget* window, QWidget* requester);

// Escape, Ctrl+W and the platform's close keys close `window`.
void addCloseKeys(QWidget* window);

} // namespace toolwindow
