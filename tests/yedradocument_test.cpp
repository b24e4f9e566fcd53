#include "exchange/yedradocument.h"
#include "tests/testsupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace yedra;

namespace {

XmlDocument loaded(const QByteArray& bytes)
{
    XmlDocument document;
    EXPECT_TRUE(document.loadXml(bytes)) << document.parseError().toString();
    return document;
}

// A record as Yedra writes it: one dato per value, with the names Yedra gives them.
QByteArray record(std::initializer_list<const char*> values)
{
    QByteArray out = "\n      <grupo_datos seq=\"ID\">";
    int i = 0;
    for (const char* v : values)
        out += "\n        <dato nombre_dato=\"D" + QByteArray::number(i++) + "\">" + v + "</dato>";
    return out + "\n      </grupo_datos>";
}

QByteArray group(const char* seq, const QByteArray& records)
{
    return "\n    <grupo_datos seq=\"" + QByteArray(seq) + "\" registros=\"9\">" + records +
           "\n    </grupo_datos>";
}

QByteArray yedraDocument(const QByteArray& groups)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SERVICIO modulo=\"ORANEL\" tipo=\"E\" autor=\"YEDRA\">\n  <BLOQUE_DATOS>" +
           groups + "\n  </BLOQUE_DATOS>\n</SERVICIO>\n";
}

QStringList firstValues(const std::vector<Record>& records)
{
    QStringList out;
    for (const Record& r : records)
        out << r.value(0);
    return out;
}

} // namespace

TEST(YedraRecords, ThePathIsExactlyTheGroupsPath)
{
    EXPECT_EQ(recordsPath(Materias),
              QStringLiteral("/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq=\"MATERIAS\"]/grupo_datos"));
    EXPECT_EQ(
        recordsPath(TramosHorarios),
        QStringLiteral("/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq=\"TRAMOS_HORARIOS\"]/grupo_datos"));
}

TEST(YedraRecords, SelectsTheRecordsOfEveryGroupOfThatExactName)
{
    const XmlDocument document = loaded(
        yedraDocument(group("DEPENDENCIAS", record({"A01", "Aula 1"}) + record({"A02", "Aula 2"})) +
                      group("materias", record({"x", "minúsculas"})) +
                      group("MATERIAS", record({"1", "Lengua"})) + group("EMPLEADOS", "") +
                      group("DEPENDENCIAS", record({"LAB", "Laboratorio"}))));

    EXPECT_EQ(firstValues(records(document, Dependencias)),
              (QStringList{QStringLiteral("A01"), QStringLiteral("A02"), QStringLiteral("LAB")}));
    EXPECT_EQ(records(document, Dependencias).back().number(), 3);
    EXPECT_EQ(firstValues(records(document, Materias)), QStringList{QStringLiteral("1")});
    EXPECT_TRUE(records(document, Empleados).empty());
    EXPECT_TRUE(records(document, Unidades).empty());
}

TEST(YedraRecords, DocumentsWithoutTheEnvelopeGiveNoRecords)
{
    const QByteArray cases[] = {
        "<SERVICIO><grupo_datos seq=\"MATERIAS\"><grupo_datos><dato>a</dato><dato>b</dato>"
        "</grupo_datos></grupo_datos></SERVICIO>",
        "<OTRO><BLOQUE_DATOS><grupo_datos seq=\"MATERIAS\"><grupo_datos><dato>a</dato>"
        "<dato>b</dato></grupo_datos></grupo_datos></BLOQUE_DATOS></OTRO>",
    };
    for (const QByteArray& bytes : cases) {
        const XmlDocument document = loaded(bytes);
        EXPECT_TRUE(records(document, Materias).empty());
        EXPECT_FALSE(academicYear(document).has_value());
    }
    const XmlDocument empty;
    EXPECT_TRUE(guardedRecords(empty, Materias).empty());
}

TEST(YedraRecords, ValuesAreTheDirectDatoChildrenByPosition)
{
    const XmlDocument document = loaded(yedraDocument(group(
        "EMPLEADOS", "<grupo_datos><dato>  0042\n </dato><otro>no</otro><dato>01/09/2020</dato>"
                     "<dato><b>Depar</b>tamento <i>de</i> Lengua</dato>"
                     "<x><dato>anidado</dato></x><dato>\t GARCÍA\r\n</dato><dato> ctl\x7f</dato>"
                     "<dato>\xC2\xA0nbsp\xC2\xA0</dato></grupo_datos>")));
    const std::vector<Record> all = records(document, Empleados);
    ASSERT_EQ(all.size(), 1u);
    const Record& r = all.front();
    EXPECT_EQ(r.valueCount(), 6);
    EXPECT_EQ(r.rawValue(0), QStringLiteral("  0042\n "));
    EXPECT_EQ(r.value(0), QStringLiteral("0042"));
    EXPECT_EQ(r.value(1), QStringLiteral("01/09/2020"));
    EXPECT_EQ(r.value(2), QStringLiteral("Departamento de Lengua"));
    EXPECT_EQ(r.rawValue(3), QStringLiteral("\t GARCÍA\n")); // line ends arrive normalised
    EXPECT_EQ(r.value(3), QStringLiteral("GARCÍA"));
    EXPECT_EQ(r.value(4), QStringLiteral("ctl\x7f")); // only U+0020 and below are trimmed
    EXPECT_EQ(r.value(5), QStringLiteral("\u00A0nbsp\u00A0"));
    try {
        (void)r.rawValue(6);
        FAIL() << "a missing position must not give a value";
    } catch (const XmlError& error) {
        EXPECT_NE(error.message().indexOf(QStringLiteral("EMPLEADOS")), -1);
    }
}

TEST(YedraRecords, TheTrimmingRule)
{
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {QString(), QString()},
        {QStringLiteral(" \t\r\n"), QString()},
        {QStringLiteral("  Aula 1  "), QStringLiteral("Aula 1")},
        {QStringLiteral("\x01x\x1f"), QStringLiteral("x")},
        {QStringLiteral("\u3000x\u00A0"), QStringLiteral("\u3000x\u00A0")},
        {QStringLiteral("a  b"), QStringLiteral("a  b")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trimValue(c.in), c.out);
}

TEST(YedraRecords, TheGuardedWalkSkipsRecordsWithFewerThanTwoValues)
{
    const XmlDocument document = loaded(yedraDocument(
        group("DEPENDENCIAS", record({"A01", "Aula 1"}) + record({"solo uno"}) + record({}) +
                                  "<grupo_datos><x><dato>a</dato><dato>b</dato></x></grupo_datos>" +
                                  record({"A02", "Aula 2", "extra"}))));
    const std::vector<Record> walked = guardedRecords(document, Dependencias);
    EXPECT_EQ(firstValues(walked), (QStringList{QStringLiteral("A01"), QStringLiteral("A02")}));
    EXPECT_EQ(walked[0].number(), 1);
    EXPECT_EQ(walked[1].number(), 5);
}

TEST(YedraRecords, FindsEveryRecordShorterThanItsGroupNeeds)
{
    const XmlDocument document = loaded(yedraDocument(
        group("EMPLEADOS", record({"1", "01/09/2020", "Lengua", "GARCÍA", "LÓPEZ", "ANA", ""}) +
                               record({"2", "01/09/2021", "Lengua"}) + record({"solo"})) +
        group("JORNADAS_ESCOLARES",
              record({"M1", "Mañana", "01/09/2026", "30/06/2027"}) + record({"T1"}) + record({})) +
        group("DEPENDENCIAS", record({"A01", "Aula"}))));

    const QList<ShortRecord> found = findShortRecords(
        document, {{Empleados, 7}, {Dependencias, 2}, {JornadasEscolares, 4, false}});
    ASSERT_EQ(found.size(), 3);
    EXPECT_EQ(found[0].group, QStringLiteral("EMPLEADOS"));
    EXPECT_EQ(found[0].number, 2);
    EXPECT_EQ(found[0].found, 3);
    EXPECT_EQ(found[0].needed, 7);
    EXPECT_EQ(found[1].number, 2);
    EXPECT_EQ(found[1].found, 1);
    EXPECT_EQ(found[2].number, 3);
    EXPECT_EQ(found[2].found, 0);
    EXPECT_EQ(describeShortRecords(found),
              QStringLiteral("EMPLEADOS, registro 2: tiene 3 datos y necesita 7\n"
                             "JORNADAS_ESCOLARES, registro 2: tiene 1 dato y necesita 4\n"
                             "JORNADAS_ESCOLARES, registro 3: tiene 0 datos y necesita 4"));

    EXPECT_TRUE(findShortRecords(document, {{Dependencias, 2}, {Materias, 5}}).isEmpty());
}

// A long refusal lists the first records and counts the rest, so that its message stays short.
TEST(YedraRecords, DescribesTheFirstShortRecordsAndCountsTheRest)
{
    const struct {
        int records;
        int lines;
        QString last;
    } cases[] = {
        {1, 1, QStringLiteral("MATERIAS, registro 1: tiene 2 datos y necesita 5")},
        {25, 25, QStringLiteral("MATERIAS, registro 25: tiene 2 datos y necesita 5")},
        {26, 26, QStringLiteral("y 1 registro más")},
        {27, 26, QStringLiteral("y 2 registros más")},
        {200000, 26, QStringLiteral("y 199975 registros más")},
    };
    for (const auto& c : cases) {
        QList<ShortRecord> shortRecords;
        for (int n = 1; n <= c.records; ++n)
            shortRecords.append({Materias, n, 2, 5});
        const QStringList lines = describeShortRecords(shortRecords).split(QLatin1Char('\n'));
        EXPECT_EQ(lines.size(), c.lines) << c.records;
        EXPECT_EQ(lines.last(), c.last) << c.records;
        EXPECT_EQ(lines.first(),
                  QStringLiteral("MATERIAS, registro 1: tiene 2 datos y necesita 5"));
    }
}

// The first four characters of the first child of the block that is an element or a text.
TEST(YedraRecords, TheAcademicYearIsTheStartOfTheFirstGroupsText)
{
    const struct {
        QByteArray block;
        std::optional<std::string> year;
    } cases[] = {
        {group("ANNO", record({"2026", "2026/2027"})), "2026"},
        {group("CURSO", record({"25", ""})), "25"},
        {"<grupo_datos> 20</grupo_datos>", " 20"},
        // Comments and processing instructions are never values.
        {"<!-- nota -->" + group("ANNO", record({"2026", "x"})), "2026"},
        {"<?pi datos?><!-- nota -->texto suelto" + group("ANNO", record({"2026", "x"})), "text"},
        {"<!-- nota -->", std::nullopt},
        // Characters, not UTF-16 units: one outside the Basic Multilingual Plane counts as one.
        {group("ANNO", record({"123\xF0\x9D\x9F\x98x", "x"})), "123\xF0\x9D\x9F\x98"},
        {"<grupo_datos><![CDATA[\xF0\x9D\x9F\x98\xF0\x9D\x9F\x98"
         "ab]]></grupo_datos>",
         "\xF0\x9D\x9F\x98\xF0\x9D\x9F\x98"
         "ab"},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const XmlDocument document = loaded(yedraDocument(c.block));
        const std::optional<QString> year = academicYear(document);
        ASSERT_EQ(year.has_value(), c.year.has_value());
        if (year) {
            EXPECT_EQ(*year, QString::fromStdString(*c.year));
        }
    }
}

// A document loaded for its records only (its records kept in a store, not as nodes) gives the
// same records, values and short records as the same document kept as a tree, for every shape of
// text a value can take.
TEST(YedraRecords, TheRecordStoreGivesWhatTheTreeGives)
{
    const QByteArray dato300 = "<dato>" + QByteArray(300, 'a') + "  &amp;   \n  </dato>";
    const struct {
        const char* name;
        QByteArray bytes;
        bool stored; // false: the document is kept as a tree
    } cases[] = {
        {"plain",
         yedraDocument(group("MATERIAS", record({"1", "Lengua", " x ", "", "5"})) +
                       group("UNIDADES", record({"U1", "1º A", "4021"}))),
         true},
        {"blank text and markup inside values",
         yedraDocument(
             group("EMPLEADOS",
                   "<grupo_datos><dato>  0042\n </dato><otro>no</otro><dato>   </dato>"
                   "<dato> a<!-- c -->  <?pi x?> b </dato><dato><b>De</b> <i>x</i>\n<i>y</i></dato>"
                   "<dato><![CDATA[  ]]></dato><dato>&amp;  <!--c-->  </dato><dato>x&#32;</dato>"
                   "<dato>a&amp;   </dato>" +
                       dato300 +
                       "<x><dato>anidado</dato></x><dato/><dato>\xEF\xBB\xBFmarca</dato>"
                       "</grupo_datos>text between<!-- c --><grupo_datos><dato>1</dato>"
                       "</grupo_datos>")),
         true},
        {"xml:space on a group",
         yedraDocument("<grupo_datos seq=\"MATERIAS\" xml:space=\"preserve\"><grupo_datos>"
                       "<dato>  </dato><dato> <b> </b> </dato></grupo_datos></grupo_datos>"
                       "<grupo_datos seq=\"MATERIAS\"><grupo_datos xml:space=\"preserve\">"
                       "<dato xml:space=\"preserve\">  </dato><dato>a</dato></grupo_datos>"
                       "</grupo_datos>"),
         true},
        {"xml:space on the root",
         "<SERVICIO xml:space=\"preserve\"><BLOQUE_DATOS><grupo_datos seq=\"MATERIAS\" "
         "xml:space=\"default\"><grupo_datos><dato> </dato></grupo_datos></grupo_datos>"
         "<grupo_datos seq=\"MATERIAS\" xml:space=\"other\"><grupo_datos><dato> </dato>"
         "<dato>\n</dato></grupo_datos></grupo_datos></BLOQUE_DATOS></SERVICIO>",
         true},
        {"groups and records that do not count",
         "<SERVICIO><BLOQUE_DATOS><grupo_datos seq=\"MATERIAS\"><grupo_datos><dato>a</dato>"
         "<dato>b</dato></grupo_datos><otro><dato>c</dato></otro><n:grupo_datos xmlns:n=\"u\">"
         "<dato>d</dato></n:grupo_datos></grupo_datos><grupo_datos n:seq=\"MATERIAS\" "
         "xmlns:n=\"u\"><grupo_datos><dato>e</dato></grupo_datos></grupo_datos>"
         "<grupo_datos><grupo_datos><dato>f</dato></grupo_datos></grupo_datos>"
         "<grupo_datos seq=\"MATERIAS \"><grupo_datos><dato>g</dato></grupo_datos>"
         "</grupo_datos><grupo_datos seq=\"MATERIAS\"><grupo_datos><n:dato xmlns:n=\"u\">h"
         "</n:dato><dato>i</dato><grupo_datos><dato>j</dato></grupo_datos></grupo_datos>"
         "</grupo_datos></BLOQUE_DATOS><BLOQUE_DATOS><grupo_datos seq=\"MATERIAS\">"
         "<grupo_datos><dato>k</dato></grupo_datos></grupo_datos></BLOQUE_DATOS>"
         "<OTRO><grupo_datos seq=\"MATERIAS\"><grupo_datos><dato>l</dato></grupo_datos>"
         "</grupo_datos></OTRO></SERVICIO>",
         true},
        {"a namespace on every element",
         "<SERVICIO xmlns=\"u\"><BLOQUE_DATOS><grupo_datos seq=\"MATERIAS\"><grupo_datos>"
         "<dato>a</dato></grupo_datos></grupo_datos></BLOQUE_DATOS></SERVICIO>",
         true},
        {"entities of a DTD",
         "<!DOCTYPE SERVICIO [<!ENTITY e \"<b>uno</b> dos \"><!ENTITY f \"  \">]>"
         "<SERVICIO><BLOQUE_DATOS><grupo_datos seq=\"MATERIAS\"><grupo_datos><dato>&e;&f;</dato>"
         "<dato>&e;</dato></grupo_datos><grupo_datos><dato>&f;</dato><dato>&e;x</dato>"
         "</grupo_datos></grupo_datos></BLOQUE_DATOS></SERVICIO>",
         false},
    };
    const QList<QString> groups = {Materias, Empleados, Unidades, QStringLiteral("MATERIAS ")};
    QList<RecordNeed> needs;
    for (const QString& g : groups)
        needs += {{g, 3}, {g, 4, false}};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("yedra.xml"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.bytes);
        XmlDocument tree;
        ASSERT_TRUE(load(tree, path, Detail::GroupLevel));
        XmlDocument stored;
        ASSERT_TRUE(load(stored, path, Detail::Records));
        EXPECT_EQ(recordStore(stored) != nullptr, c.stored);
        EXPECT_EQ(recordStore(tree), nullptr);
        for (const QString& g : groups) {
            const std::vector<Record> expected = records(tree, g);
            const std::vector<Record> got = records(stored, g);
            ASSERT_EQ(got.size(), expected.size()) << g.toStdString();
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].number(), expected[i].number());
                EXPECT_EQ(got[i].group(), expected[i].group());
                ASSERT_EQ(got[i].valueCount(), expected[i].valueCount());
                for (int v = 0; v < got[i].valueCount(); ++v)
                    EXPECT_EQ(got[i].rawValue(v), expected[i].rawValue(v))
                        << g.toStdString() << " " << i << " " << v;
                EXPECT_THROW((void)got[i].rawValue(got[i].valueCount()), XmlError);
            }
            EXPECT_EQ(guardedRecords(stored, g).size(), guardedRecords(tree, g).size());
        }
        const QList<ShortRecord> expected = findShortRecords(tree, needs);
        const QList<ShortRecord> got = findShortRecords(stored, needs);
        ASSERT_EQ(got.size(), expected.size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].group, expected[i].group);
            EXPECT_EQ(got[i].number, expected[i].number);
            EXPECT_EQ(got[i].found, expected[i].found);
        }
    }
}

// A document that cannot be read is refused with the same reason, wherever the fault stands.
TEST(YedraRecords, TheRecordStoreRefusesAsTheTreeDoes)
{
    const QByteArray cases[] = {
        yedraDocument(group("MATERIAS", record({"1", "a&b"}))),
        yedraDocument(group("MATERIAS", record({"1", "<b>x</c>"}))),
        yedraDocument(group("MATERIAS", record({"1", "&nada;"}))),
        yedraDocument(group("MATERIAS", record({"1", "x"}) + "<grupo_datos><dato>")),
        yedraDocument(group("MATERIAS", "<grupo_datos a=\"1\" a=\"2\"><dato>x</dato>"
                                        "</grupo_datos>")),
        yedraDocument(group("MATERIAS", record({"1", "x"}))) + "<otro/>",
        "<!DOCTYPE SERVICIO SYSTEM \"http://x/y.dtd\"><SERVICIO/>",
        "<SERVICIO><BLOQUE_DATOS><grupo_datos seq=\"MATERIAS\"><grupo_datos><dato>" +
            QByteArray(11'000'000, 'a') +
            "</dato></grupo_datos></grupo_datos></BLOQUE_DATOS>"
            "</SERVICIO>",
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("yedra.xml"));
    for (const QByteArray& bytes : cases) {
        writeFile(path, bytes);
        XmlDocument tree;
        const bool treeLoaded = load(tree, path, Detail::GroupLevel);
        XmlDocument stored;
        EXPECT_EQ(load(stored, path, Detail::Records), treeLoaded);
        EXPECT_EQ(stored.parseError().toString(), tree.parseError().toString());
        if (!treeLoaded) {
            EXPECT_EQ(recordStore(stored), nullptr);
        }
    }
}

// Loading a large Yedra document keeps the attributes of the root, the block and the groups (the
// groups' seq names them) and leaves out those further down, which nobody reads.
TEST(YedraRecords, TheGroupLevelLeavesOutTheAttributesBelowTheGroups)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("yedra.xml"));
    writeFile(path, "<?xml version=\"1.0\"?><SERVICIO modulo=\"M\"><BLOQUE_DATOS b=\"1\">"
                    "<grupo_datos seq=\"UNIDADES\" registros=\"1\"><grupo_datos seq=\"ID\">"
                    "<dato nombre_dato=\"X\">U1</dato><dato nombre_dato=\"Y\">1º A</dato>"
                    "</grupo_datos></grupo_datos></BLOQUE_DATOS></SERVICIO>");
    XmlDocument lean;
    ASSERT_TRUE(load(lean, path, Detail::GroupLevel));
    EXPECT_EQ(lean.documentElement().attribute(QStringLiteral("modulo")), QStringLiteral("M"));
    const XmlNode group = lean.selectSingleNode(
        QStringLiteral("/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq=\"UNIDADES\"]"));
    ASSERT_FALSE(group.isNull());
    EXPECT_EQ(group.attributes().size(), 2);
    const XmlNode record = group.firstChild();
    EXPECT_TRUE(record.attributes().isEmpty());
    EXPECT_TRUE(record.firstChild().attributes().isEmpty());
    EXPECT_EQ(record.selectNodes(QStringLiteral("dato")).item(1).text(), QStringLiteral("1º A"));
    EXPECT_EQ(recordStore(lean), nullptr);

    XmlDocument whole;
    ASSERT_TRUE(whole.load(path));
    EXPECT_EQ(
        whole.selectSingleNode(QStringLiteral("//dato")).attribute(QStringLiteral("nombre_dato")),
        QStringLiteral("X"));
}
