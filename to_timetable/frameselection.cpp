#include "to_timetable/frameselection.h"

#include "components/text/texts.h"

QString frameSelectionString(const QStringList& entries, const QList<bool>& selected)
{
    QString out;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i < selected.size() && selected.at(i))
            out += texts::leftCharacters(entries.at(i) + QString(10, QLatin1Char(' ')), 10);
    }
    return out;
}
