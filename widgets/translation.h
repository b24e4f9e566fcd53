#pragma once

class QString;

namespace translation {

// The program speaks Spanish whatever the system's locale: the numbers, dates and file types
// Qt's widgets show as well. Before the application object is made.
void setSpanishLocale();

// Puts Qt's own texts (the file dialog, the message boxes' buttons, the editors' menus) in
// Spanish: Qt's Spanish catalogue from beside the program (translations/), from the installed
// data folder (../share/quelvana/translations) or from the system's Qt, with the few texts that
// catalogue lacks. False when no catalogue is found; the program then shows Qt's texts in
// English.
bool installSpanish(const QString& programFolder);

} // namespace translation
