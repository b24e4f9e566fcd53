// The teachers (PROFT).

#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"

void ExportarRun::TransformarEmpleados()
{
    createTable(layouts::proft);
    // Teacher codes are compared as stored, without regard to letter case; a code from the
    // document over 10 characters is left for the table to cut.
    CodeList codes(CodeList::LetterCase::Ignored, CodeList::LongCodes::CutByTheTable);
    const std::vector<yedra::Record> records = readRecords(yedra::Empleados, layouts::proft.name);
    DbfTable proft(tablePath(layouts::proft));
    reportChanges(proft, layouts::proft.name);
    proft.open();
    for (const yedra::Record& record : records) {
        // The initials come from the values as read: a name part beginning with a blank gives a
        // blank initial.
        QString code;
        for (int part : {3, 4, 5})
            code += texts::leftCharacters(record.rawValue(part), 1);
        const QString nombre = record.value(3) + QLatin1Char(' ') + record.value(4) +
                               QStringLiteral(", ") + record.value(5);
        if (const QString own = record.value(6); !own.isEmpty())
            code = own;
        code = giveCode(codes, code, layouts::proft.name, record, nombre);

        proft.append();
        proft.setText(layouts::codeField, code);
        proft.setText(QStringLiteral("NOMBRE"), nombre);
        proft.setText(QStringLiteral("DEPART"), record.value(2));
        proft.setText(QStringLiteral("X_EMPLEADO"), record.value(0));
        proft.setText(QStringLiteral("F_TOMAPOS"), record.value(1));
        proft.post();
    }
    proft.close();
}
