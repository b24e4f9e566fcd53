// The sample school in examples/: the lookup table the build writes beside the programs, the
// tool that writes it, and the Yedra document of the school.

#include "components/dbase/dbftable.h"
#include "components/xml/xmldocument.h"
#include "exchange/yedradocument.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString binPath(const QString& name)
{
    return QDir(QStringLiteral(QUELVANA_BIN_DIR)).filePath(name);
}

QString examplesPath(const QString& name)
{
    return QDir(QStringLiteral(QUELVANA_EXAMPLES_DIR)).filePath(name);
}

struct LookupRow {
    qint64 key;
    QString abbreviation;
    QString level;
    bool operator==(const LookupRow&) const = default;
};

void PrintTo(const LookupRow& row, std::ostream* os)
{
    *os << row.key << ", " << row.abbreviation << ", " << row.level;
}

// The rows of a lookup CSV as Python's csv module reads them, independently of the tool.
QList<LookupRow> csvRowsByPython(const QString& path)
{
    const QString script =
        QStringLiteral("import csv, json, sys\n"
                       "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                       "    rows = [r for r in csv.reader(f) if r]\n"
                       "json.dump(rows[1:], sys.stdout)\n");
    int code = 0;
    QByteArray error;
    const QByteArray out = runProgram(QStringLiteral(QUELVANA_PYTHON),
                                      {QStringLiteral("-c"), script, path}, &code, &error);
    if (code != 0)
        throw std::runtime_error("Python could not read " + path.toStdString() + ": " +
                                 error.toStdString());
    QList<LookupRow> rows;
    for (const QJsonValue& r : QJsonDocument::fromJson(out).array()) {
        const QJsonArray a = r.toArray();
        rows.push_back({a.at(0).toString().toLongLong(), a.at(1).toString(), a.at(2).toString()});
    }
    return rows;
}

// Every row through our table layer, by the field names the course step asks for.
QList<LookupRow> lookupRows(const QString& folder)
{
    DbfTable table(folder, QStringLiteral("NIVELCAN"));
    table.open();
    QList<LookupRow> rows;
    for (table.first(); !table.eof(); table.next())
        rows.push_back({table.integer(QStringLiteral("X_OFERTAMATRIG")),
                        table.text(QStringLiteral("NIVEL_ABREV")),
                        table.text(QStringLiteral("NIVEL"))});
    return rows;
}

struct ToolRun {
    int exitCode = 0;
    QString errorOutput;
};

ToolRun makeLookup(const QString& csvPath, const QString& folder)
{
    ToolRun run;
    QByteArray error;
    runProgram(QStringLiteral(QUELVANA_MAKE_LOOKUP), {csvPath, folder}, &run.exitCode, &error);
    run.errorOutput = QString::fromUtf8(error);
    return run;
}

const QByteArray lookupHeader = "X_OFERTAMATRIG,NIVEL_ABREV,NIVEL\n";

XmlDocument sampleSchool()
{
    XmlDocument document;
    EXPECT_TRUE(document.load(examplesPath(QStringLiteral("ies-ejemplo.xml"))))
        << document.parseError().toString();
    return document;
}

QStringList values(const XmlDocument& document, const QString& group, int position)
{
    QStringList out;
    for (const yedra::Record& r : yedra::records(document, group))
        out << r.value(position);
    return out;
}

} // namespace

// Debian's python3-dbf reads the built table as a dBase table of the three fields, in Windows
// 1252, holding the CSV's rows in its order.
TEST(LookupTable, PythonDbfReadsTheRowsOfTheCsv)
{
    const QJsonObject table = readTableWithPython(binPath(QStringLiteral("NIVELCAN.DBF")));
    EXPECT_EQ(table.value(QStringLiteral("codepage")).toString(), QStringLiteral("cp1252"));
    const QJsonArray expectedFields = {
        QJsonArray{QStringLiteral("X_OFERTAMAT"), QStringLiteral("N"), 11, 0},
        QJsonArray{QStringLiteral("NIVEL_ABREV"), QStringLiteral("C"), 5, 0},
        QJsonArray{QStringLiteral("NIVEL"), QStringLiteral("C"), 60, 0},
    };
    EXPECT_EQ(table.value(QStringLiteral("fields")).toArray(), expectedFields);

    QList<LookupRow> read;
    for (const QJsonValue& r : table.value(QStringLiteral("records")).toArray()) {
        const QJsonArray a = r.toArray();
        // python3-dbf gives text fields with their pad blanks.
        auto unpadded = [](const QJsonValue& v) {
            QString text = v.toString();
            while (text.endsWith(QLatin1Char(' ')))
                text.chop(1);
            return text;
        };
        read.push_back({a.at(0).toInteger(), unpadded(a.at(1)), unpadded(a.at(2))});
    }
    const QList<LookupRow> csv = csvRowsByPython(examplesPath(QStringLiteral("nivelcan.csv")));
    ASSERT_GE(csv.size(), 6);
    EXPECT_EQ(read, csv);
}

// Our table layer finds the key under the name the course step uses, X_OFERTAMATRIG, and
// reads the quoted level with its comma and accent as the CSV holds it.
TEST(LookupTable, OurTableLayerReadsTheCsvRowsUnderTheCourseStepsNames)
{
    const QList<LookupRow> rows = lookupRows(QStringLiteral(QUELVANA_BIN_DIR));
    EXPECT_EQ(rows, csvRowsByPython(examplesPath(QStringLiteral("nivelcan.csv"))));
    EXPECT_TRUE(rows.contains(LookupRow{4571, QStringLiteral("BACH"),
                                        QStringLiteral("Bachillerato, modalidad de Ciencias y "
                                                       "Tecnología")}));
}

// A malformed line stops the tool with status 1 and a message naming the line, and no table
// is written.
TEST(LookupTool, AMalformedLineFailsNamingItsLineAndWritesNothing)
{
    const struct {
        QByteArray line;
        const char* reason;
    } cases[] = {
        {"4023,ESO,\"Educación Secundaria Obligatoria\n", "closing quote missing"},
        {"4023,ESO,Educación,Secundaria\n", "four fields"},
        {"4023,ESO\n", "two fields"},
        {"40A3,ESO,Educación Secundaria Obligatoria\n", "key not a whole number"},
        {"4023,SECUND,Educación Secundaria Obligatoria\n", "abbreviation over 5 characters"},
        {"4023,ESO,\"Educación\" Secundaria\n", "text after the closing quote"},
        {"4023,E\"SO,Educación Secundaria Obligatoria\n", "quote in an unquoted field"},
        {"4021,ESO,Educación Secundaria Obligatoria\n", "key already on line 2"},
        {"4023,ESO,Educación Secundaria Obligatoria \n", "blank at the end"},
        {"4023,ESO,Educación Secundaria Obligatoria ≥ 16\n", "not in Windows 1252"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("nivelcan.csv"));
        writeFile(csv, lookupHeader + "4021,ESO,Educación Secundaria Obligatoria\n" + c.line +
                           "4024,ESO,Educación Secundaria Obligatoria\n");
        const QString out = dir.filePath(QStringLiteral("bin"));
        const ToolRun run = makeLookup(csv, out);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errorOutput.contains(QStringLiteral("línea 3:"))) << run.errorOutput;
        EXPECT_FALSE(QFileInfo::exists(QDir(out).filePath(QStringLiteral("NIVELCAN.DBF"))));
    }
}

// Quoted fields keep their commas and doubled quotes; a byte-order mark, Windows line ends and
// empty lines are taken in stride; a table already there is replaced.
TEST(LookupTool, WritesQuotedFieldsWholeAndReplacesTheTable)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("nivelcan.csv"));
    writeFile(csv, "\xEF\xBB\xBF" + lookupHeader + "4021,ESO,Educación Secundaria Obligatoria\n");
    ASSERT_EQ(makeLookup(csv, dir.path()).exitCode, 0);

    writeFile(csv, "\xEF\xBB\xBFX_OFERTAMATRIG,NIVEL_ABREV,NIVEL\r\n"
                   "\r\n"
                   "4591,BACH,\"Bachillerato, modalidad de Artes\"\r\n"
                   "\"7001\",\"CE\",\"Curso de especialización \"\"Ciberseguridad\"\"\"\r\n"
                   "7002,,\r\n"
                   "\r\n");
    const ToolRun run = makeLookup(csv, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.errorOutput;
    const QList<LookupRow> expected = {
        {4591, QStringLiteral("BACH"), QStringLiteral("Bachillerato, modalidad de Artes")},
        {7001, QStringLiteral("CE"), QStringLiteral("Curso de especialización \"Ciberseguridad\"")},
        {7002, QString(), QString()},
    };
    EXPECT_EQ(lookupRows(dir.path()), expected);
    EXPECT_EQ(csvRowsByPython(csv), expected);
}

// The committed document is what the generator writes: the two never drift apart.
TEST(SampleSchool, TheGeneratorWritesTheCommittedDocument)
{
    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("ies-ejemplo.xml"));
    int code = 0;
    QByteArray error;
    runProgram(QStringLiteral(QUELVANA_PYTHON),
               {examplesPath(QStringLiteral("generate_school.py")), written}, &code, &error);
    ASSERT_EQ(code, 0) << error.toStdString();
    EXPECT_TRUE(readFile(written) == readFile(examplesPath(QStringLiteral("ies-ejemplo.xml"))));
}

// The document is ISO-8859-1 as it declares, and loads with its accents.
TEST(SampleSchool, IsIso88591AndLoadsWithItsAccents)
{
    const QByteArray bytes = readFile(examplesPath(QStringLiteral("ies-ejemplo.xml")));
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!--"));
    EXPECT_TRUE(bytes.contains("N\xFA\xF1"
                               "ez"));    // Núñez, one byte per letter
    EXPECT_FALSE(bytes.contains("\xC3")); // no UTF-8 sequence of an accented letter

    const XmlDocument document = sampleSchool();
    EXPECT_TRUE(values(document, yedra::Empleados, 3).contains(QStringLiteral("Núñez")));
    EXPECT_TRUE(values(document, yedra::Materias, 2).contains(QStringLiteral("Educación Física")));
    EXPECT_TRUE(values(document, yedra::TramosHorarios, 1).contains(QStringLiteral("1ª hora")));
}

// Every record carries the values the steps read; the groups hold the school's numbers and the
// first group starts with the academic year.
TEST(SampleSchool, EveryRecordCarriesTheValuesTheStepsRead)
{
    const XmlDocument document = sampleSchool();
    const QList<yedra::ShortRecord> shortRecords =
        yedra::findShortRecords(document, {{yedra::Materias, 5},
                                           {yedra::Actividades, 3},
                                           {yedra::Empleados, 7},
                                           {yedra::Dependencias, 2},
                                           {yedra::CursosDelCentro, 2},
                                           {yedra::Unidades, 3},
                                           {yedra::TramosHorarios, 5},
                                           {yedra::JornadasEscolares, 4, false}});
    EXPECT_TRUE(shortRecords.isEmpty()) << yedra::describeShortRecords(shortRecords);

    const std::pair<QString, size_t> counts[] = {
        {yedra::Materias, 43},         {yedra::Actividades, 8},     {yedra::Empleados, 25},
        {yedra::Dependencias, 8},      {yedra::CursosDelCentro, 7}, {yedra::Unidades, 12},
        {yedra::JornadasEscolares, 2}, {yedra::TramosHorarios, 13},
    };
    for (const auto& [group, count] : counts)
        EXPECT_EQ(yedra::records(document, group).size(), count) << group;
    EXPECT_EQ(yedra::academicYear(document), QStringLiteral("2026"));
}

// The course offer key ties courses, units, subjects and the lookup table: every unit and
// subject belongs to a course with a lookup row, and one course has none, for the "Niv" level.
// Slots belong to the time frames, and the teaching activity 513 is there.
TEST(SampleSchool, KeysTieTheGroupsAndTheLookupTable)
{
    const XmlDocument document = sampleSchool();
    QSet<QString> lookupKeys;
    for (const LookupRow& row : lookupRows(QStringLiteral(QUELVANA_BIN_DIR)))
        lookupKeys << QString::number(row.key);

    QSet<QString> courses;
    QStringList withoutLookupRow;
    for (const QString& key : values(document, yedra::CursosDelCentro, 0)) {
        bool whole = false;
        key.toInt(&whole);
        EXPECT_TRUE(whole) << key;
        courses << key;
        if (!lookupKeys.contains(key))
            withoutLookupRow << key;
    }
    EXPECT_EQ(withoutLookupRow.size(), 1) << withoutLookupRow.join(QLatin1Char(' '));

    const QStringList offers =
        values(document, yedra::Unidades, 2) + values(document, yedra::Materias, 0);
    for (const QString& offer : offers) {
        EXPECT_TRUE(courses.contains(offer)) << offer;
        EXPECT_TRUE(lookupKeys.contains(offer)) << offer;
    }
    EXPECT_EQ(QSet<QString>(offers.begin(), offers.end()).size(), 6);

    for (const QString& minutes : values(document, yedra::Materias, 4)) {
        bool whole = minutes.isEmpty();
        if (!whole)
            minutes.toInt(&whole);
        EXPECT_TRUE(whole) << minutes;
    }

    const QStringList frames = values(document, yedra::JornadasEscolares, 0);
    for (const yedra::Record& slot : yedra::records(document, yedra::TramosHorarios)) {
        EXPECT_TRUE(frames.contains(slot.value(4))) << slot.value(0);
        EXPECT_LT(slot.value(2).toInt(), slot.value(3).toInt()) << slot.value(0);
    }

    EXPECT_TRUE(values(document, yedra::Actividades, 1).contains(QStringLiteral("513")));
}
