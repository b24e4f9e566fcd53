// The teachers (PROFT).

#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"
#include "to_timetable/tablecodes.h"

namespace {

// "Apellido1 Apellido2, Nombre".
QString teacherName(const yedra::Record& record)
{
    return record.value(3) + QLatin1Char(' ') + record.value(4) + QStringLiteral(", ") +
           record.value(5);
}

} // namespace

void ExportarRun::TransformarEmpleados()
{
    createTable(layouts::proft);
    // Teacher codes are compared as stored, without regard to letter case; a code from the
    // document over 10 characters is left for the table to cut.
    TableCodes codes(*this, CodeKeeping::Kind::Teachers, layouts::proft,
                     CodeList::LetterCase::Ignored, CodeList::LongCodes::CutByTheTable);
    const std::vector<yedra::Record> records = readRecords(yedra::Empleados, layouts::proft.name);
    std::vector<QString> names;
    names.reserve(records.size());
    for (const yedra::Record& record : records)
        names.push_back(teacherName(record));
    if (codes.keeps()) {
        std::vector<QStringList> keys;
        keys.reserve(records.size());
        for (size_t i = 0; i < records.size(); ++i)
            keys.push_back(CodeKeeping::teacherKeys(records[i].value(0), names[i]));
        codes.match(keys);
    }
    DbfTable proft(tablePath(layouts::proft));
    reportChanges(proft, layouts::proft.name);
    proft.open();
    for (qsizetype i = 0; i < qsizetype(records.size()); ++i) {
        const yedra::Record& record = records[size_t(i)];
        // The initials come from the values as read: a name part beginning with a blank gives a
        // blank initial.
        QString code;
        for (int part : {3, 4, 5})
            code += texts::leftCharacters(record.rawValue(part), 1);
        const QString& nombre = names[size_t(i)];
        if (const QString own = record.value(6); !own.isEmpty())
            code = own;
        code = codes.code(i, code, record, nombre);

        proft.append();
        proft.setText(layouts::codeField, code);
        proft.setText(QStringLiteral("NOMBRE"), nombre);
        proft.setText(QStringLiteral("DEPART"), record.value(2));
        proft.setText(QStringLiteral("X_EMPLEADO"), record.value(0));
        proft.setText(QStringLiteral("F_TOMAPOS"), record.value(1));
        proft.post();
    }
    proft.close();
    codes.sayCodesLeft();
}
