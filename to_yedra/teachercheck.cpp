#include "to_yedra/teachercheck.h"

#include "components/dbase/dbftable.h"
#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"

namespace {

bool incomplete(const DbfTable& proft)
{
    return texts::trimmed(proft.text(QStringLiteral("X_EMPLEADO"))).isEmpty() ||
           texts::trimmed(proft.text(QStringLiteral("F_TOMAPOS"))).isEmpty();
}

} // namespace

bool hasIncompleteTeacher(DbfTable& proft)
{
    for (proft.first(); !proft.eof(); proft.next()) {
        if (incomplete(proft))
            return true;
    }
    return false;
}

QStringList incompleteTeachers(DbfTable& proft)
{
    QStringList out;
    for (proft.first(); !proft.eof(); proft.next()) {
        if (incomplete(proft))
            out << QStringLiteral("%1 (%2)").arg(proft.text(layouts::codeField),
                                                 proft.text(QStringLiteral("NOMBRE")));
    }
    return out;
}
