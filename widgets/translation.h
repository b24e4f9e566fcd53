#pragma once

class QString;

namespace translation {

// Puts Qt's own texts (the file dialog, the message boxes' buttons, the editors' menus) in
// Spanish: Qt's Spanish catalogue from beside the program (translations/), from the installed
// data folder (../share/quelvana/translations) or from the system's Qt. False when none is
// found; the program then shows Qt's texts in English.
bool installSpanish(const QString& programFolder);

} // namespace translation
