#pragma once

class QWidget;

// The program's help: the file "YEDRA.chm" beside the executable, shown through the platform's
// viewer; where the platform has none, the matching HTML topic opens in the default browser.
namespace help {

// The help file at its contents.
void showContents(QWidget* parent);
// The topic of a context number (3: the main window and the time-frame dialog; 1: the teacher
// data dialog).
void showContext(QWidget* parent, int context);

} // namespace help
