// The rooms (AULAT).

#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"

void ExportarRun::TransformarDependencias()
{
    createTable(layouts::aulat);
    CodeList codes(CodeList::LetterCase::Ignored);
    const std::vector<yedra::Record> records =
        readRecords(yedra::Dependencias, layouts::aulat.name);
    DbfTable aulat(tablePath(layouts::aulat));
    reportChanges(aulat, layouts::aulat.name);
    aulat.open();
    for (const yedra::Record& record : records) {
        const QString name = record.value(1);
        QString code = record.value(0);
        if (code.isEmpty())
            code = texts::leftCharacters(name, 10);
        aulat.append();
        aulat.setText(layouts::codeField, giveCode(codes, code, layouts::aulat.name, record, name));
        aulat.setText(QStringLiteral("NOMBRE"), name);
        aulat.setText(QStringLiteral("DEPCENTRO"), QString());
        aulat.post();
    }
    aulat.close();
}
