#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The selection string of the time frames taken: for each selected entry of the frame list, in
// list order, the entry's text followed by ten blanks and cut to its first ten characters.
QString frameSelectionString(const QStringList& entries, const QList<bool>& selected);
