// The subjects (ASIGNOMT, ASIGNOMT2) and the activities added to them as task rows.

#include "components/text/textrows.h"
#include "components/text/texts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"
#include "to_timetable/tablecodes.h"

namespace {

void appendOffering(DbfTable& asignomt2, const QString& code, const QString& longCode,
                    const QString& name, const QString& subjectKey, const QString& offerKey)
{
    asignomt2.append();
    asignomt2.setText(QStringLiteral("COD"), code);
    asignomt2.setText(QStringLiteral("CODLARGO"), longCode);
    asignomt2.setText(QStringLiteral("NOMBRE"), name);
    asignomt2.setText(QStringLiteral("MATERIA"), subjectKey);
    asignomt2.setText(QStringLiteral("OFERTAMATRI"), offerKey);
    asignomt2.setBoolean(QStringLiteral("ESTAREA"), false);
    asignomt2.post();
}

// The long code a subject record stands for: its own, or its name's first 10 characters.
QString longCodeOf(const yedra::Record& record)
{
    const QString longCode = record.value(3);
    return longCode.isEmpty() ? texts::leftCharacters(record.value(2), 10) : longCode;
}

} // namespace

std::vector<bool> ExportarRun::firstRecordsOfSubjects(const std::vector<yedra::Record>& records)
{
    // The lists start empty on every run, also after one that ended early.
    m_subjectLists = std::make_unique<SubjectLists>();
    SubjectLists& lists = *m_subjectLists;
    lists.names.reserve(records.size());
    lists.longCodes.reserve(records.size());
    lists.codesAndNames.reserve(records.size());
    std::vector<bool> first(records.size(), false);
    for (size_t i = 0; i < records.size(); ++i) {
        // The lists hold the texts whole, in the form the tables store their letters: a name
        // Windows 1252 cannot hold is the subject whose name it stores.
        const QString fittedName = fittedText(records[i].value(2));
        const QString fittedLongCode = fittedText(longCodeOf(records[i]));
        const QString upperName = texts::upperAsciiLetters(fittedName);
        const QString codeAndName = fittedLongCode + fittedName;
        if (lists.names.contains(upperName) && lists.longCodes.contains(fittedLongCode) &&
            lists.codesAndNames.contains(codeAndName))
            continue;
        lists.names.insert(upperName);
        lists.longCodes.insert(fittedLongCode);
        lists.codesAndNames.insert(codeAndName);
        first[i] = true;
    }
    return first;
}

void ExportarRun::TransformarMaterias()
{
    createTable(layouts::asignomt);
    createTable(layouts::asignomt2);
    const std::vector<yedra::Record> records = readRecords(yedra::Materias, layouts::asignomt.name);
    // A record repeats a subject when an earlier one has its name, its long code and both
    // together: only the first of a subject gets an ASIGNOMT row and a code.
    const std::vector<bool> firstOfSubject = firstRecordsOfSubjects(records);
    TableCodes codes(*this, CodeKeeping::Kind::Subjects, layouts::asignomt,
                     CodeList::LetterCase::Sensitive);
    if (codes.keeps()) {
        std::vector<QStringList> keys(records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            if (firstOfSubject[i])
                keys[i] = CodeKeeping::subjectKeys(longCodeOf(records[i]), records[i].value(2));
        }
        codes.match(keys);
    }
    DbfTable asignomt(tablePath(layouts::asignomt));
    reportChanges(asignomt, layouts::asignomt.name);
    asignomt.open();
    DbfTable asignomt2(tablePath(layouts::asignomt2));
    reportChanges(asignomt2, layouts::asignomt2.name);
    asignomt2.open();

    // What the step has written, keyed by the fields as stored, so that finding a row costs no
    // walk: the first row written wins, as a locate from the first row finds it.
    TextRows offerings(2, 0); // MATERIA, OFERTAMATRI
    TextRows subjects(2, 1);  // CODLARGO, NOMBRE -> COD
    const auto count = static_cast<qsizetype>(records.size());
    offerings.reserve(count);
    subjects.reserve(count);

    for (qsizetype i = 0; i < count; ++i) {
        const yedra::Record& record = records[size_t(i)];
        const QString offerKey = record.value(0);
        const QString subjectKey = record.value(1);
        const QString name = record.value(2);
        const QString longCode = longCodeOf(record);
        const QString offering[] = {textAsRead(subjectKey, 20), textAsRead(offerKey, 20)};

        if (!firstOfSubject[size_t(i)]) {
            if (offerings.find({offering[0], offering[1]}) >= 0) {
                noteRecord(layouts::asignomt2.name, record,
                           QStringLiteral("repite la materia «%1» con la misma oferta de curso "
                                          "«%2»: no se escribe otra vez")
                               .arg(name, offerKey));
                continue;
            }
            const qsizetype subject =
                subjects.find({textAsRead(longCode, 10), textAsRead(name, 80)});
            if (subject < 0) {
                noteRecord(layouts::asignomt2.name, record,
                           QStringLiteral("la materia «%1» (código largo «%2») se repite pero no "
                                          "se encuentra en ASIGNOMT: se deja fuera")
                               .arg(name, longCode));
                continue;
            }
            appendOffering(asignomt2, subjects.value(subject, 0), longCode, name, subjectKey,
                           offerKey);
            offerings.add({offering[0], offering[1]}, {});
            continue;
        }

        const QString code = codes.code(i, texts::leftCharacters(longCode, 10), record, name);

        asignomt.append();
        asignomt.setText(QStringLiteral("COD"), code);
        asignomt.setText(QStringLiteral("CODLARGO"), longCode);
        asignomt.setText(QStringLiteral("NOMBRE"), name);
        asignomt.setBoolean(QStringLiteral("ESTAREA"), false);
        asignomt.post();
        // The first row written wins.
        subjects.add({textAsRead(longCode, 10), textAsRead(name, 80)}, {code});

        appendOffering(asignomt2, code, longCode, name, subjectKey, offerKey);
        offerings.add({offering[0], offering[1]}, {});
    }
    asignomt.close();
    asignomt2.close();
    codes.sayCodesLeft();
}

void ExportarRun::TransformarActividades()
{
    hayActividad513 = 0;
    const std::vector<yedra::Record> records =
        readRecords(yedra::Actividades, layouts::asignomt.name);
    DbfTable asignomt(tablePath(layouts::asignomt));
    reportChanges(asignomt, layouts::asignomt.name);
    asignomt.open();
    for (const yedra::Record& record : records) {
        const QString name = record.value(2);
        const QString code = record.value(1);
        asignomt.append();
        asignomt.setText(QStringLiteral("COD"), code);
        asignomt.setText(QStringLiteral("CODLARGO"), texts::leftCharacters(name, 10));
        asignomt.setText(QStringLiteral("NOMBRE"), name);
        asignomt.setText(QStringLiteral("CODTAREA"), code);
        asignomt.setBoolean(QStringLiteral("ESTAREA"), true);
        asignomt.post();
        if (code == QLatin1String("513"))
            hayActividad513 = 1;
    }
    asignomt.close();
    m_subjectLists.reset();
}
