// The rooms (AULAT).

#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"
#include "to_timetable/tablecodes.h"

namespace {

// The code a room asks for: its key, or without one its name's first 10 characters.
QString roomCandidate(const yedra::Record& record)
{
    const QString code = record.value(0);
    return code.isEmpty() ? texts::leftCharacters(record.value(1), 10) : code;
}

} // namespace

void ExportarRun::TransformarDependencias()
{
    createTable(layouts::aulat);
    TableCodes codes(*this, CodeKeeping::Kind::Rooms, layouts::aulat,
                     CodeList::LetterCase::Ignored);
    const std::vector<yedra::Record> records =
        readRecords(yedra::Dependencias, layouts::aulat.name);
    if (codes.keeps()) {
        // A room is known by the code its key makes (a room without a key, by its name).
        const CodeList rule(CodeList::LetterCase::Ignored);
        std::vector<QStringList> keys;
        keys.reserve(records.size());
        for (const yedra::Record& record : records) {
            const QString key =
                record.value(0).isEmpty() ? QString() : rule.firstChoice(record.value(0));
            keys.push_back(CodeKeeping::roomKeys(key, record.value(1)));
        }
        codes.match(keys);
    }
    DbfTable aulat(tablePath(layouts::aulat));
    reportChanges(aulat, layouts::aulat.name);
    aulat.open();
    for (qsizetype i = 0; i < qsizetype(records.size()); ++i) {
        const yedra::Record& record = records[size_t(i)];
        const QString name = record.value(1);
        aulat.append();
        aulat.setText(layouts::codeField, codes.code(i, roomCandidate(record), record, name));
        aulat.setText(QStringLiteral("NOMBRE"), name);
        aulat.setText(QStringLiteral("DEPCENTRO"), QString());
        aulat.post();
    }
    aulat.close();
    codes.sayCodesLeft();
}
