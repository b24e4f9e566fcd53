#pragma once

class QString;
class QWidget;

// The program's help: the file "YEDRA.chm" beside the executable, shown through the platform's
// viewer; where the platform has none, the matching HTML topic opens in the default browser,
// and where there is no browser either, in the program's own help window.
namespace help {

// Where the program lies: its help is beside it, or in the installed data folder
// (../share/quelvana). By default the running program's own folder.
void setProgramFolder(const QString& folder);

// The help file at its contents.
void showContents(QWidget* parent);
// The topic of a context number (3: the main window and the time-frame dialog; 1: the teacher
// data dialog).
void showContext(QWidget* parent, int context);

} // namespace help
