// The courses (CURSOST), with their levels from the lookup table, and the class groups
// (GRUPOST).

#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"
#include "to_timetable/tablecodes.h"

#include <QHash>

namespace {

struct Level {
    QString abbreviation; // NIVEL_ABREV
    QString name;         // NIVEL
};

// The lookup table's rows by course offer key, the first row of a key winning. A key that is
// not a whole number equals no course offer key, and neither does a blank one.
QHash<qint64, Level> readLevels(const QString& path)
{
    DbfTable lookup(path);
    lookup.open(DbfTable::Access::Shared);
    lookup.requireAllRows();
    // A missing field, or one of a type that does not fit, is named before anything is read.
    const QString& keyField = layouts::nivelcanKey;
    const QString& abbreviationField = layouts::nivelcan.fields.at(1).name;
    const QString& levelField = layouts::nivelcan.fields.at(2).name;
    lookup.requireField(keyField, {DbfTable::FieldUse::Number});
    lookup.requireField(abbreviationField, {DbfTable::FieldUse::Text});
    lookup.requireField(levelField, {DbfTable::FieldUse::Text});
    QHash<qint64, Level> levels;
    for (lookup.first(); !lookup.eof(); lookup.next()) {
        const QString key = lookup.text(keyField);
        bool whole = false;
        const qint64 value = key.toLongLong(&whole);
        if (!whole || levels.contains(value))
            continue;
        levels.insert(value, {lookup.text(abbreviationField), lookup.text(levelField)});
    }
    return levels;
}

// A course as its CURSOST row reads back.
struct Course {
    QString level;
    QString course;
    QString study;
};

// The group code: the unit name's first 10 characters that are not blanks, trimmed.
QString groupCode(const QString& name)
{
    QString code;
    int taken = 0;
    for (char32_t c : name.toUcs4()) {
        if (taken == 10)
            break;
        if (c == U' ')
            continue;
        code += QString::fromUcs4(&c, 1);
        ++taken;
    }
    return texts::trimmed(code);
}

} // namespace

void ExportarRun::TransformarCursosUnidades()
{
    createTable(layouts::grupost);
    createTable(layouts::cursost);
    TableCodes codes(*this, CodeKeeping::Kind::Groups, layouts::grupost,
                     CodeList::LetterCase::Ignored);

    // Courses.
    const std::vector<yedra::Record> courseRecords =
        readRecords(yedra::CursosDelCentro, layouts::cursost.name);
    const QHash<qint64, Level> levels = readLevels(m_lookupTable);
    QHash<QString, Course> coursesByKey; // CLAVE as read back; the first row wins
    DbfTable cursost(tablePath(layouts::cursost));
    reportChanges(cursost, layouts::cursost.name);
    cursost.open();
    for (const yedra::Record& record : courseRecords) {
        const QString key = record.value(0);
        const int number =
            integerValue(key, record, 0, QStringLiteral("la clave de la oferta de curso"));
        QString name = record.value(1);
        const QString course = texts::leftCharacters(name, 1);
        QString level = QStringLiteral("Niv");
        if (const auto found = levels.constFind(number); found != levels.constEnd()) {
            level = found->abbreviation;
            name += QStringLiteral(" (") + found->name + QLatin1Char(')');
        } else {
            noteRecord(layouts::cursost.name, record,
                       QStringLiteral("la oferta de curso «%1» no está en la tabla de niveles: "
                                      "queda con el nivel «Niv»")
                           .arg(key));
        }
        if (level.isEmpty())
            level = QStringLiteral("Niv");

        cursost.append();
        cursost.setText(QStringLiteral("CLAVE"), key);
        cursost.setText(QStringLiteral("NIVEL"), level);
        cursost.setText(QStringLiteral("CURSO"), course);
        cursost.setText(QStringLiteral("ESTUD"), name);
        cursost.setText(layouts::codeField, texts::leftCharacters(level, 1) + course);
        cursost.post();
        const QString keyAsRead = cursost.text(QStringLiteral("CLAVE"));
        if (!coursesByKey.contains(keyAsRead))
            coursesByKey.insert(keyAsRead, {cursost.text(QStringLiteral("NIVEL")),
                                            cursost.text(QStringLiteral("CURSO")),
                                            cursost.text(QStringLiteral("ESTUD"))});
    }

    // Groups.
    const std::vector<yedra::Record> unitRecords =
        readRecords(yedra::Unidades, layouts::grupost.name);
    if (codes.keeps()) {
        std::vector<QStringList> keys;
        keys.reserve(unitRecords.size());
        for (const yedra::Record& record : unitRecords)
            keys.push_back(CodeKeeping::groupKeys(record.value(0)));
        codes.match(keys);
    }
    DbfTable grupost(tablePath(layouts::grupost));
    reportChanges(grupost, layouts::grupost.name);
    grupost.open();
    for (qsizetype i = 0; i < qsizetype(unitRecords.size()); ++i) {
        const yedra::Record& record = unitRecords[size_t(i)];
        const QString unitKey = record.value(0);
        const QString name = record.value(1);
        const QString offerKey = record.value(2);
        // The key as CURSOST stores it: the course whose row holds it.
        const QString storedOfferKey = textAsRead(offerKey, 10);
        const Course course = coursesByKey.value(storedOfferKey);
        if (!coursesByKey.contains(storedOfferKey))
            noteRecord(layouts::grupost.name, record,
                       QStringLiteral("la unidad «%1» tiene la oferta de curso «%2», que no está "
                                      "en CURSOS_DEL_CENTRO: queda sin nivel ni curso")
                           .arg(name, offerKey));
        const QString letter = texts::rightCharacters(name, 1);
        const QString descrip = course.study.isEmpty()
                                    ? QLatin1Char(' ') + course.level + QLatin1Char(' ') +
                                          course.course + QLatin1Char(' ') + letter
                                    : QLatin1Char('(') + name + QStringLiteral(") ") + course.study;

        grupost.append();
        grupost.setText(layouts::codeField, codes.code(i, groupCode(name), record, name));
        grupost.setText(QStringLiteral("TURNO"), QString());
        grupost.setText(QStringLiteral("NIVEL"), course.level);
        grupost.setText(QStringLiteral("CURSO"), course.course);
        grupost.setText(QStringLiteral("GRUPO"), letter);
        grupost.setText(QStringLiteral("CLAVE"), unitKey);
        grupost.setText(QStringLiteral("CLAVECURSO"), offerKey);
        grupost.setText(QStringLiteral("DESCRIP"), descrip);
        grupost.post();
    }
    grupost.close();
    codes.sayCodesLeft();
    cursost.close();
}
