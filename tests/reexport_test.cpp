// A second exportar over a folder where Oranel has solved the timetable: whoever holds a code
// keeps it, so that the solved timetable stays with its owners. Each case changes the sample
// school the way a school changes between two exports, then exports again and imports: every
// teacher of both documents keeps her code and her own classes (counted here from SOLUC and the
// result document), and the classes of whoever left are reported, never handed to another.

#include "components/dbase/dbftable.h"
#include "tests/clisupport.h"
#include "tests/tablesupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace {

const QString sampleDocument = QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml");
const QString sampleSoluc = QStringLiteral(QUELVANA_EXAMPLES_DIR "/SOLUC.DBF");

QByteArray latin1(const char* text)
{
    return QString::fromUtf8(text).toLatin1();
}

// The record of `group` that holds `needle`: where it starts (its line) and ends.
std::pair<qsizetype, qsizetype> recordWith(const QByteArray& document, const char* group,
                                           const QByteArray& needle)
{
    const qsizetype start = document.indexOf("seq=\"" + QByteArray(group) + "\"");
    const qsizetype end = document.indexOf("\n    </grupo_datos>", start);
    const qsizetype at = document.indexOf(needle, start);
    if (start < 0 || at < 0 || at > end)
        return {-1, -1};
    const qsizetype from = document.lastIndexOf("\n      <grupo_datos", at) + 1;
    const qsizetype to = document.indexOf("</grupo_datos>\n", at) + 15;
    return {from, to};
}

QByteArray withoutRecord(QByteArray document, const char* group, const char* needle)
{
    const auto [from, to] = recordWith(document, group, latin1(needle));
    EXPECT_GE(from, 0) << needle;
    return from < 0 ? document : document.remove(from, to - from);
}

QByteArray withRecordFirst(QByteArray document, const char* group, const char* record)
{
    const qsizetype start = document.indexOf("seq=\"" + QByteArray(group) + "\"");
    const qsizetype line = document.indexOf('\n', start) + 1;
    return document.insert(line, latin1(record));
}

QByteArray withValue(QByteArray document, const char* group, const char* from, const char* to)
{
    const auto [start, end] = recordWith(document, group, latin1(from));
    EXPECT_GE(start, 0) << from;
    if (start >= 0)
        document.replace(document.indexOf(latin1(from), start), latin1(from).size(), latin1(to));
    return document;
}

// A table's values of `value` by those of `key` (its first row for each key).
QMap<QString, QString> column(const QString& table, const QString& key, const QString& value)
{
    QMap<QString, QString> out;
    DbfTable t(table);
    t.open();
    for (t.first(); !t.eof(); t.next()) {
        if (!out.contains(t.text(key)))
            out.insert(t.text(key), t.text(value));
    }
    return out;
}

// The placed rows of the solved timetable by teacher code, and all of its rows by teacher code.
std::pair<QMap<QString, int>, QMap<QString, int>> solucRows(const QString& soluc)
{
    QMap<QString, int> placed;
    QMap<QString, int> all;
    DbfTable t(soluc);
    t.open();
    for (t.first(); !t.eof(); t.next()) {
        ++all[t.text(QStringLiteral("PROF"))];
        const QString dia = t.text(QStringLiteral("DIA"));
        if (!dia.isEmpty() && dia.toInt() != 0)
            ++placed[t.text(QStringLiteral("PROF"))];
    }
    return {placed, all};
}

// The activities of each teacher in a result document, by X_EMPLEADO.
QMap<QString, int> activitiesOf(const QString& result)
{
    const QString text = QString::fromLatin1(readFile(result));
    static const QRegularExpression teacher(
        QStringLiteral("seq=\"HORARIO_REGULAR_PROFESOR_\\d+\" registros=\"(\\d+)\"><dato "
                       "nombre_dato=\"X_EMPLEADO\">([^<]*)<"));
    QMap<QString, int> out;
    for (auto it = teacher.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out[m.captured(2)] += m.captured(1).toInt();
    }
    return out;
}

struct Change {
    const char* name;
    std::function<QByteArray(QByteArray)> apply;
};

} // namespace

TEST(Reexport, EveryOwnerKeepsItsCodeAndItsClasses)
{
    const auto leaves = [](QByteArray d) {
        return withoutRecord(d, "EMPLEADOS", "<dato nombre_dato=\"X_EMPLEADO\">204517<");
    };
    const auto arrivesFirst = [](QByteArray d) {
        return withRecordFirst(d, "EMPLEADOS",
                               "      <grupo_datos seq=\"ID_EMPLEADO\">\n"
                               "        <dato nombre_dato=\"X_EMPLEADO\">299001</dato>\n"
                               "        <dato nombre_dato=\"F_TOMAPOS\">01/09/2026</dato>\n"
                               "        <dato nombre_dato=\"D_DEPARTAMENTO\">Música</dato>\n"
                               "        <dato nombre_dato=\"D_APELLIDO1\">Gómez</dato>\n"
                               "        <dato nombre_dato=\"D_APELLIDO2\">Luque</dato>\n"
                               "        <dato nombre_dato=\"D_NOMBRE\">Andrés</dato>\n"
                               "        <dato nombre_dato=\"C_ABREV\"></dato>\n"
                               "      </grupo_datos>\n");
    };
    const auto roomsRenamed = [](QByteArray d) {
        d = withValue(d, "DEPENDENCIAS", ">Aula 101<", ">Aula 101 (reformada)<");
        return withValue(d, "DEPENDENCIAS", ">Laboratorio de Biología y Geología<",
                         ">Laboratorio de Ciencias<");
    };
    const auto groupRemoved = [](QByteArray d) {
        return withoutRecord(d, "UNIDADES", "<dato nombre_dato=\"X_UNIDAD\">70101<");
    };
    const auto subjectRemoved = [](QByteArray d) {
        return withoutRecord(d, "MATERIAS", "<dato nombre_dato=\"X_MATERIAOMG\">310001<");
    };
    const Change changes[] = {
        {"a teacher leaves", leaves},
        {"a teacher arrives before the others, with a leaver's initials", arrivesFirst},
        {"two rooms renamed", roomsRenamed},
        {"a group removed", groupRemoved},
        {"a subject removed", subjectRemoved},
        {"all of it at once",
         [&](QByteArray d) {
             return subjectRemoved(groupRemoved(roomsRenamed(arrivesFirst(leaves(d)))));
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("OTEMP"));
        QDir().mkpath(folder);
        const QString first = dir.filePath(QStringLiteral("antes.xml"));
        const QString second = dir.filePath(QStringLiteral("despues.xml"));
        writeFile(first, readFile(sampleDocument));
        writeFile(second, change.apply(readFile(sampleDocument)));
        const QStringList frames = {QStringLiteral("--frames"), QStringLiteral("1,2")};
        const QStringList at = {QStringLiteral("--timetable-folder"), folder};
        ASSERT_EQ(runCli(QStringList{QStringLiteral("exportar"), first} + at + frames).code, 0);
        const QString proft = QDir(folder).filePath(QStringLiteral("PROFT.DBF"));
        const QMap<QString, QString> codeBefore =
            column(proft, QStringLiteral("X_EMPLEADO"), QStringLiteral("ABREV"));
        const QMap<QString, QString> groupsBefore =
            column(QDir(folder).filePath(QStringLiteral("GRUPOST.DBF")), QStringLiteral("CLAVE"),
                   QStringLiteral("ABREV"));
        writeFile(QDir(folder).filePath(QStringLiteral("SOLUC.DBF")), readFile(sampleSoluc));
        const auto [placed, rows] = solucRows(QDir(folder).filePath(QStringLiteral("SOLUC.DBF")));

        const CliOutcome again =
            runCli(QStringList{QStringLiteral("exportar"), second} + at + frames);
        ASSERT_EQ(again.code, 0) << again.err;
        const QMap<QString, QString> codeAfter =
            column(proft, QStringLiteral("X_EMPLEADO"), QStringLiteral("ABREV"));
        const CliOutcome imported =
            runCli(QStringList{QStringLiteral("importar"), second, QStringLiteral("--json")} + at);
        ASSERT_EQ(imported.code, 0) << imported.err;
        const QMap<QString, int> activities =
            activitiesOf(dir.filePath(QStringLiteral("ResultadoOraneldespues.xml")));

        // Each teacher of both documents: her code, and as many activities as SOLUC places for
        // that code.
        for (auto it = codeBefore.cbegin(); it != codeBefore.cend(); ++it) {
            const QString& employee = it.key();
            const QString& code = it.value();
            if (!codeAfter.contains(employee))
                continue;
            EXPECT_EQ(codeAfter.value(employee), code) << employee;
            EXPECT_EQ(activities.value(employee), placed.value(code)) << employee << " " << code;
        }
        // Whoever arrived has a code no one had and SOLUC does not use, and no classes.
        for (auto it = codeAfter.cbegin(); it != codeAfter.cend(); ++it) {
            if (codeBefore.contains(it.key()))
                continue;
            EXPECT_FALSE(rows.contains(it.value())) << it.value();
            EXPECT_FALSE(codeBefore.values().contains(it.value())) << it.value();
            EXPECT_EQ(activities.value(it.key()), 0);
        }
        // The leaver's rows are said, with any other row of a code no teacher has: a teacher
        // who is not in PROFT.
        int unknownRows = 0;
        const QList<QString> codesAfter = codeAfter.values();
        for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
            if (!codesAfter.contains(it.key()))
                unknownRows += it.value();
        }
        const QJsonObject soluc = QJsonDocument::fromJson(imported.out.toUtf8())
                                      .object()
                                      .value(QStringLiteral("soluc"))
                                      .toObject();
        EXPECT_EQ(soluc.value(QStringLiteral("profesorDesconocido")).toInt(), unknownRows);
        // Groups keep theirs by unit key.
        const QMap<QString, QString> groupsAfter =
            column(QDir(folder).filePath(QStringLiteral("GRUPOST.DBF")), QStringLiteral("CLAVE"),
                   QStringLiteral("ABREV"));
        for (auto it = groupsAfter.cbegin(); it != groupsAfter.cend(); ++it)
            EXPECT_EQ(it.value(), groupsBefore.value(it.key())) << it.key();
    }
}

namespace {

// The sample school exported into `folder`, with the solved timetable beside its tables.
void exportSample(const QTemporaryDir& dir, const QString& folder, bool solved)
{
    QDir().mkpath(folder);
    const QString document = dir.filePath(QStringLiteral("antes.xml"));
    writeFile(document, readFile(sampleDocument));
    ASSERT_EQ(runCli({QStringLiteral("exportar"), document, QStringLiteral("--timetable-folder"),
                      folder, QStringLiteral("--frames"), QStringLiteral("1,2")})
                  .code,
              0);
    if (solved)
        writeFile(QDir(folder).filePath(QStringLiteral("SOLUC.DBF")), readFile(sampleSoluc));
}

// A value typed into a row of PROFT, as Oranel would.
void typeInProft(const QString& folder, const char* code, const char* field, const char* value)
{
    DbfTable proft(QDir(folder).filePath(QStringLiteral("PROFT.DBF")));
    proft.open();
    ASSERT_TRUE(proft.locate({{QStringLiteral("ABREV"), QString::fromUtf8(code)}})) << code;
    proft.edit();
    proft.setText(QString::fromUtf8(field), QString::fromUtf8(value));
    proft.post();
    proft.close();
}

} // namespace

// The preview names each value now in PROFT that the new table replaces or empties, with both
// values, and says that data would be lost; the folder is left as it was.
TEST(Reexport, ThePreviewNamesEveryValueReplacedOrEmptied)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    exportSample(dir, folder, false);
    // Typed in Oranel: another employee number for García López, Ana (the document keeps
    // 204517), and for Gil Lara, Alba one the document then leaves empty.
    typeInProft(folder, "GLA", "X_EMPLEADO", "987654");
    const QString second = dir.filePath(QStringLiteral("despues.xml"));
    writeFile(second, withValue(readFile(sampleDocument), "EMPLEADOS",
                                "<dato nombre_dato=\"X_EMPLEADO\">211093<",
                                "<dato nombre_dato=\"X_EMPLEADO\"><"));
    const QMap<QString, QByteArray> before = snapshot(folder);

    const CliOutcome preview =
        runCli({QStringLiteral("exportar"), second, QStringLiteral("--timetable-folder"), folder,
                QStringLiteral("--frames"), QStringLiteral("1,2"), QStringLiteral("--dry-run")});
    ASSERT_EQ(preview.code, 0) << preview.err;
    EXPECT_EQ(snapshot(folder), before);
    const QString& text = preview.out;
    EXPECT_FALSE(text.contains(QStringLiteral("No se pierde ningún dato"))) << text;
    EXPECT_TRUE(text.contains(QStringLiteral("2 datos de las tablas actuales se perderían")))
        << text;
    for (const char* line : {
             "PROFT «GLA»: X_EMPLEADO «987654» → «204517»",
             "PROFT «GLA1»: X_EMPLEADO «211093» → «»",
             "PROFT, profesor «GLA», campo X_EMPLEADO: «987654» se perdería (la tabla nueva pone "
             "«204517»).",
             "PROFT, profesor «GLA1», campo X_EMPLEADO: «211093» se perdería (ahora tiene valor y "
             "la tabla nueva lo deja vacío).",
         })
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text;
}

// With new codes asked for, every code is the rule's, as on an empty folder, and each code that
// passes to someone else is named with the rows of the solved timetable it carries; without,
// whoever stays keeps hers and the leaver's rows are said to be left without an owner.
TEST(Reexport, NewCodesNameEveryCodeThatChangesOwner)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    exportSample(dir, folder, true);
    const QString second = dir.filePath(QStringLiteral("despues.xml"));
    writeFile(second, withoutRecord(readFile(sampleDocument), "EMPLEADOS",
                                    "<dato nombre_dato=\"X_EMPLEADO\">204517<"));
    // The rule's codes: those of an export into an empty folder.
    const QString empty = dir.filePath(QStringLiteral("VACIA"));
    QDir().mkpath(empty);
    ASSERT_EQ(runCli({QStringLiteral("exportar"), second, QStringLiteral("--timetable-folder"),
                      empty, QStringLiteral("--frames"), QStringLiteral("1,2")})
                  .code,
              0);
    const int ana = solucRows(QDir(folder).filePath(QStringLiteral("SOLUC.DBF")))
                        .second.value(QStringLiteral("GLA"));
    const int alba = solucRows(QDir(folder).filePath(QStringLiteral("SOLUC.DBF")))
                         .second.value(QStringLiteral("GLA1"));
    ASSERT_GT(ana, 0);

    const QStringList run = {QStringLiteral("exportar"),
                             second,
                             QStringLiteral("--timetable-folder"),
                             folder,
                             QStringLiteral("--frames"),
                             QStringLiteral("1,2"),
                             QStringLiteral("--json")};
    const CliOutcome kept = runCli(run + QStringList{QStringLiteral("--dry-run")});
    ASSERT_EQ(kept.code, 0) << kept.err;
    const QJsonObject keptJson = QJsonDocument::fromJson(kept.out.toUtf8()).object();
    EXPECT_TRUE(keptJson.value(QStringLiteral("codigosQueCambianDeDueno")).toArray().isEmpty());
    EXPECT_EQ(
        keptJson.value(QStringLiteral("codigosSinDueno")).toArray(),
        (QJsonArray{QJsonObject{{QStringLiteral("tabla"), QStringLiteral("PROFT")},
                                {QStringLiteral("codigo"), QStringLiteral("GLA")},
                                {QStringLiteral("antes"), QStringLiteral("García López, Ana")},
                                {QStringLiteral("filasSoluc"), ana}}}));
    EXPECT_EQ(keptJson.value(QStringLiteral("codigosConservados")).toArray().size(), 2);

    const CliOutcome renewed = runCli(run + QStringList{QStringLiteral("--codigos-nuevos")});
    ASSERT_EQ(renewed.code, 0) << renewed.err;
    for (const QString& table : {QStringLiteral("PROFT.DBF"), QStringLiteral("AULAT.DBF"),
                                 QStringLiteral("GRUPOST.DBF"), QStringLiteral("ASIGNOMT.DBF")})
        EXPECT_EQ(tableRows(QDir(folder).filePath(table)), tableRows(QDir(empty).filePath(table)))
            << table;
    const QJsonArray owners = QJsonDocument::fromJson(renewed.out.toUtf8())
                                  .object()
                                  .value(QStringLiteral("codigosQueCambianDeDueno"))
                                  .toArray();
    ASSERT_EQ(owners.size(), 2);
    EXPECT_EQ(owners.at(0).toObject(),
              (QJsonObject{{QStringLiteral("tabla"), QStringLiteral("PROFT")},
                           {QStringLiteral("codigo"), QStringLiteral("GLA")},
                           {QStringLiteral("antes"), QStringLiteral("García López, Ana")},
                           {QStringLiteral("despues"), QStringLiteral("Gil Lara, Alba")},
                           {QStringLiteral("filasSoluc"), ana}}));
    EXPECT_EQ(owners.at(1).toObject().value(QStringLiteral("filasSoluc")).toInt(), alba);
    const QString report =
        QString::fromUtf8(readFile(QDir(folder).filePath(QStringLiteral("quelvana-informe.txt"))));
    EXPECT_TRUE(report.contains(
        QStringLiteral("GLA era de «García López, Ana» y pasa a «Gil Lara, Alba»: %1 filas de "
                       "SOLUC con GLA")
            .arg(ana)))
        << report;
}

namespace {

// What identifies each row of a kind's table, and its code.
struct Owners {
    const char* table;
    QStringList identity; // fields that say who a row is
    const char* code;
    const char* solucField;
};

const Owners owners[] = {
    {"PROFT.DBF", {QStringLiteral("X_EMPLEADO")}, "ABREV", "PROF"},
    {"AULAT.DBF", {QStringLiteral("NOMBRE")}, "ABREV", "AULA"},
    {"GRUPOST.DBF", {QStringLiteral("CLAVE")}, "ABREV", "CODGRUPO"},
    {"ASIGNOMT.DBF", {QStringLiteral("CODLARGO"), QStringLiteral("NOMBRE")}, "COD", "ASIG"},
};

QMap<QString, QString> codesByOwner(const QString& folder, const Owners& kind)
{
    QMap<QString, QString> out;
    DbfTable t(QDir(folder).filePath(QString::fromLatin1(kind.table)));
    t.open();
    for (t.first(); !t.eof(); t.next()) {
        if (t.hasField(QStringLiteral("ESTAREA")) && t.boolean(QStringLiteral("ESTAREA")))
            continue;
        QStringList who;
        for (const QString& field : kind.identity)
            who << t.text(field);
        out.insert(who.join(QLatin1Char('|')), t.text(QString::fromLatin1(kind.code)));
    }
    return out;
}

QSet<QString> solucCodes(const QString& soluc, const char* field)
{
    QSet<QString> out;
    DbfTable t(soluc);
    t.open();
    for (t.first(); !t.eof(); t.next())
        out.insert(t.text(QString::fromLatin1(field)).toCaseFolded());
    return out;
}

// The sample school changed at random: each teacher, room, unit and subject record left out
// with one chance in five, and with one in five a newcomer put before it whose code the rule
// makes the same (a teacher with the same initials, a unit with the same name, a subject with
// the same long code) or a room with a key of its own.
QByteArray changedAtRandom(const QByteArray& document, std::mt19937& random)
{
    struct Group {
        QByteArray seq;
        std::function<QByteArray(QByteArray, int)> newcomer;
    };
    const auto replaced = [](QByteArray record, const QByteArray& from, const QByteArray& to) {
        const qsizetype at = record.indexOf(from);
        return at < 0 ? record : record.replace(at, from.size(), to);
    };
    const Group groups[] = {
        {"ID_EMPLEADO",
         [&](QByteArray r, int n) {
             r = replaced(r, "\"X_EMPLEADO\">", "\"X_EMPLEADO\">9" + QByteArray::number(n));
             return replaced(r, "\"D_NOMBRE\">",
                             "\"D_NOMBRE\">" + r.mid(r.indexOf("\"D_NOMBRE\">") + 11, 1) + "ita ");
         }},
        {"ID_DEPENDENCIA",
         [&](QByteArray r, int n) {
             r = replaced(r, "\"X_DEPENDENCIA\">", "\"X_DEPENDENCIA\">N" + QByteArray::number(n));
             return replaced(r, "\"D_DEPENDENCIA\">", "\"D_DEPENDENCIA\">Nueva ");
         }},
        {"ID_UNIDAD",
         [&](QByteArray r, int n) {
             return replaced(r, "\"X_UNIDAD\">", "\"X_UNIDAD\">9" + QByteArray::number(n));
         }},
        {"ID_MATERIA",
         [&](QByteArray r, int n) {
             return replaced(r, "\"D_MATERIAC\">",
                             "\"D_MATERIAC\">Nueva " + QByteArray::number(n) + ' ');
         }},
    };
    std::bernoulli_distribution oneInFive(0.2);
    QByteArray out;
    qsizetype at = 0;
    int count = 0;
    while (true) {
        const qsizetype start = document.indexOf("      <grupo_datos seq=\"ID_", at);
        if (start < 0)
            break;
        const qsizetype end = document.indexOf("</grupo_datos>\n", start) + 15;
        out += document.mid(at, start - at);
        const QByteArray record = document.mid(start, end - start);
        at = end;
        const Group* group = nullptr;
        for (const Group& g : groups) {
            if (record.startsWith("      <grupo_datos seq=\"" + g.seq + "\">"))
                group = &g;
        }
        if (!group) {
            out += record;
            continue;
        }
        if (oneInFive(random))
            out += group->newcomer(record, ++count);
        if (!oneInFive(random))
            out += record;
    }
    return out + document.mid(at);
}

} // namespace

// Whatever changes between two exports, everyone in both keeps the code she had, and whoever
// arrives gets a code that nobody who stays has and the solved timetable does not use; one that
// someone who left had is said as a code that changes owner.
TEST(Reexport, ASecondExportKeepsEveryOwnersCode)
{
    // The sample school with its solved timetable, and a generated school (whose teachers bring
    // their own codes and whose rooms have no key) with one made for its tables.
    QTemporaryDir generated;
    const QString generatedDocument = generated.filePath(QStringLiteral("centro-S.xml"));
    int code = 0;
    QByteArray error;
    runProgram(QStringLiteral(QUELVANA_PYTHON),
               {QStringLiteral(QUELVANA_EXAMPLES_DIR "/../bench/generate_school.py"),
                QStringLiteral("S"), generatedDocument},
               &code, &error);
    ASSERT_EQ(code, 0) << error.constData();
    const struct {
        const char* name;
        QString document;
        const char* frames;
        unsigned seeds;
    } schools[] = {{"the sample school", sampleDocument, "1,2", 30},
                   {"a generated school of size S", generatedDocument, "1,2,3,4,5", 6}};
    for (const auto& school : schools) {
        for (unsigned seed = 1; seed <= school.seeds; ++seed) {
            SCOPED_TRACE(school.name);
            SCOPED_TRACE(seed);
            std::mt19937 random(seed);
            QTemporaryDir dir;
            const QString folder = dir.filePath(QStringLiteral("OTEMP"));
            const QString soluc = QDir(folder).filePath(QStringLiteral("SOLUC.DBF"));
            const QStringList frames = {QStringLiteral("--frames"),
                                        QString::fromLatin1(school.frames)};
            QDir().mkpath(folder);
            ASSERT_EQ(runCli(QStringList{QStringLiteral("exportar"), school.document,
                                         QStringLiteral("--timetable-folder"), folder} +
                             frames)
                          .code,
                      0);
            if (school.document == sampleDocument) {
                writeFile(soluc, readFile(sampleSoluc));
            } else {
                runProgram(QStringLiteral(QUELVANA_PYTHON),
                           {QStringLiteral(QUELVANA_EXAMPLES_DIR "/../bench/make_soluc.py"), folder,
                            QStringLiteral("2000")},
                           &code, &error);
                ASSERT_EQ(code, 0) << error.constData();
            }
            const QString second = dir.filePath(QStringLiteral("despues.xml"));
            writeFile(second, changedAtRandom(readFile(school.document), random));
            std::vector<QMap<QString, QString>> before;
            for (const Owners& kind : owners)
                before.push_back(codesByOwner(folder, kind));

            const CliOutcome again = runCli(QStringList{QStringLiteral("exportar"), second,
                                                        QStringLiteral("--timetable-folder"),
                                                        folder, QStringLiteral("--json")} +
                                            frames);
            ASSERT_EQ(again.code, 0) << again.err;
            QSet<QString> ownerChanges;
            for (const QJsonValue& change : QJsonDocument::fromJson(again.out.toUtf8())
                                                .object()
                                                .value(QStringLiteral("codigosQueCambianDeDueno"))
                                                .toArray())
                ownerChanges.insert(change.toObject().value(QStringLiteral("tabla")).toString() +
                                    u'|' +
                                    change.toObject().value(QStringLiteral("codigo")).toString());
            for (size_t k = 0; k < std::size(owners); ++k) {
                const Owners& kind = owners[k];
                SCOPED_TRACE(kind.table);
                const QMap<QString, QString> after = codesByOwner(folder, kind);
                const QSet<QString> used = solucCodes(soluc, kind.solucField);
                QSet<QString> held;     // by whoever stays
                QSet<QString> heldGone; // by whoever left
                for (auto it = before[k].cbegin(); it != before[k].cend(); ++it)
                    (after.contains(it.key()) ? held : heldGone).insert(it.value().toCaseFolded());
                for (auto it = after.cbegin(); it != after.cend(); ++it) {
                    if (before[k].contains(it.key())) {
                        EXPECT_EQ(it.value(), before[k].value(it.key())) << it.key();
                    } else {
                        EXPECT_FALSE(held.contains(it.value().toCaseFolded()))
                            << it.key() << " " << it.value();
                        EXPECT_FALSE(used.contains(it.value().toCaseFolded()))
                            << it.key() << " " << it.value();
                        if (heldGone.contains(it.value().toCaseFolded())) {
                            EXPECT_TRUE(ownerChanges.contains(
                                QString::fromLatin1(kind.table).chopped(4) + u'|' + it.value()))
                                << it.value();
                        }
                    }
                }
            }
        }
    }
}
