#include "exchange/yedradocument.h"
#include "exchange/yedrawriter.h"
#include "tests/testsupport.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace yedra;

namespace {

QString str(const QJsonValue& value)
{
    return value.toString();
}

// The attributes of an element read by Python, as "name=value" in their order.
QStringList attributesOf(const QJsonValue& element)
{
    QStringList out;
    for (const QJsonValue& pair : element[QStringLiteral("attributes")].toArray())
        out << str(pair.toArray()[0]) + QLatin1Char('=') + str(pair.toArray()[1]);
    return out;
}

QJsonArray childrenOf(const QJsonValue& element)
{
    return element[QStringLiteral("children")].toArray();
}

const QByteArray chosenDocument =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<!-- Exportado por Yedra -->\n"
    "<?yedra-version 4.2?>\n"
    "<SERVICIO modulo=\"ORANEL\" tipo=\"E\" autor=\"YEDRA\" fecha=\"01/09/2026\">\n"
    "  <BLOQUE_DATOS>\n"
    "    <grupo_datos seq=\"ANNO_ACADEMICO\"><dato nombre_dato=\"C_ANNO\">2026</dato>"
    "</grupo_datos>\n"
    "    <grupo_datos seq=\"EMPLEADOS\" registros=\"1\"><grupo_datos seq=\"ID_EMPLEADO\">"
    "<dato>1</dato><dato>01/09/2020</dato><dato>Lengua</dato><dato>GARC\xCD"
    "A</dato>"
    "</grupo_datos></grupo_datos>\n"
    "  </BLOQUE_DATOS>\n"
    "</SERVICIO>\n"
    "<!-- fin -->\n";

} // namespace

TEST(YedraWriter, RebuildsTheEnvelopeInsideTheChosenDocument)
{
    XmlDocument document;
    ASSERT_TRUE(document.loadXml(chosenDocument));
    const std::optional<QString> year = academicYear(document);
    ASSERT_TRUE(year.has_value());

    XmlNode block = rebuildEnvelope(document, QStringLiteral("10/12/2026 9:05:07"));
    XmlNode anno = appendGroup(document, block, QStringLiteral("ANNO_ACADEMICO"));
    appendValue(document, anno, QStringLiteral("C_ANNO"), *year);
    XmlNode horarios = appendGroup(document, block, QStringLiteral("HORARIOS_REGULARES"), 1);
    XmlNode profesor =
        appendGroup(document, horarios, QStringLiteral("HORARIO_REGULAR_PROFESOR_1"), 1);
    appendValue(document, profesor, QStringLiteral("X_EMPLEADO"), QStringLiteral("0042"));
    appendValue(document, profesor, QStringLiteral("F_TOMAPOS"), QStringLiteral("01/09/2020"));
    XmlNode actividad = appendGroup(document, profesor, QStringLiteral("ACTIVIDAD_1"));
    appendValue(document, actividad, QStringLiteral("X_DEPENDENCIA"),
                QStringLiteral("Aula \"B\" & <Música> €"));
    appendValue(document, actividad, QStringLiteral("X_UNIDAD"), QString());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ResultadoOranelhorario.xml"));
    document.save(path);

    const QByteArray bytes = readFile(path);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                                 "<!-- Exportado por Yedra -->\n<?yedra-version 4.2?>\n"
                                 "<!-- fin -->\n<SERVICIO "));
    EXPECT_NE(bytes.indexOf("M\xFAsica"), -1); // in ISO-8859-1 ...
    EXPECT_NE(bytes.indexOf("&#8364;"), -1);   // ... which lacks the euro
    EXPECT_EQ(bytes.indexOf("EMPLEADOS"), -1); // nothing of the old block
    EXPECT_EQ(bytes.indexOf("ORANEL"), -1);    // nor of the old root
    EXPECT_EQ(bytes.count('\n'), 5);           // no line breaks inside the root
    EXPECT_NE(bytes.indexOf("<dato nombre_dato=\"X_UNIDAD\"/>"), -1);

    QString error;
    const QJsonObject read = readWithPython(path, &error);
    ASSERT_FALSE(read.isEmpty()) << error;
    EXPECT_EQ(str(read[QStringLiteral("declaration")][QStringLiteral("encoding")]),
              QStringLiteral("ISO-8859-1"));
    EXPECT_EQ(read[QStringLiteral("prolog")].toArray().size(), 3);
    const QJsonValue root = read[QStringLiteral("root")];
    EXPECT_EQ(str(root[QStringLiteral("name")]), QStringLiteral("SERVICIO"));
    EXPECT_EQ(
        attributesOf(root),
        (QStringList{QStringLiteral("modulo=HORARIOS"), QStringLiteral("tipo=I"),
                     QStringLiteral("autor=YEDRA"), QStringLiteral("fecha=10/12/2026 9:05:07")}));
    const QJsonArray rootChildren = childrenOf(root);
    ASSERT_EQ(rootChildren.size(), 1);
    EXPECT_EQ(str(rootChildren[0][QStringLiteral("name")]), QStringLiteral("BLOQUE_DATOS"));
    EXPECT_TRUE(attributesOf(rootChildren[0]).isEmpty());

    const QJsonArray groups = childrenOf(rootChildren[0]);
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(attributesOf(groups[0]), QStringList{QStringLiteral("seq=ANNO_ACADEMICO")});
    EXPECT_EQ(attributesOf(childrenOf(groups[0])[0]),
              QStringList{QStringLiteral("nombre_dato=C_ANNO")});
    EXPECT_EQ(str(childrenOf(childrenOf(groups[0])[0])[0]), QStringLiteral("2026"));
    EXPECT_EQ(attributesOf(groups[1]), (QStringList{QStringLiteral("seq=HORARIOS_REGULARES"),
                                                    QStringLiteral("registros=1")}));

    const QJsonValue teacher = childrenOf(groups[1])[0];
    EXPECT_EQ(attributesOf(teacher), (QStringList{QStringLiteral("seq=HORARIO_REGULAR_PROFESOR_1"),
                                                  QStringLiteral("registros=1")}));
    const QJsonArray teacherChildren = childrenOf(teacher);
    ASSERT_EQ(teacherChildren.size(), 3);
    EXPECT_EQ(str(childrenOf(teacherChildren[0])[0]), QStringLiteral("0042"));
    const QJsonValue activity = teacherChildren[2];
    EXPECT_EQ(attributesOf(activity), QStringList{QStringLiteral("seq=ACTIVIDAD_1")});
    const QJsonArray values = childrenOf(activity);
    ASSERT_EQ(values.size(), 2);
    EXPECT_EQ(str(childrenOf(values[0])[0]), QStringLiteral("Aula \"B\" & <Música> €"));
    EXPECT_TRUE(childrenOf(values[1]).isEmpty());
}

TEST(YedraWriter, RefusesADocumentWithoutTheYedraBlock)
{
    const QByteArray cases[] = {
        "<SERVICIO><OTRO/></SERVICIO>",
        "<OTRO><BLOQUE_DATOS/></OTRO>",
    };
    for (const QByteArray& bytes : cases) {
        XmlDocument document;
        ASSERT_TRUE(document.loadXml(bytes));
        const QByteArray before = document.toBytes();
        EXPECT_THROW(rebuildEnvelope(document, QStringLiteral("x")), XmlError);
        EXPECT_EQ(document.toBytes(), before);
    }
    XmlDocument unparsed;
    EXPECT_FALSE(unparsed.loadXml("<SERVICIO>"));
    EXPECT_THROW(rebuildEnvelope(unparsed, QStringLiteral("x")), XmlError);
}

TEST(YedraWriter, ADocumentWithoutDeclarationIsWrittenAsUtf8WithNone)
{
    XmlDocument document;
    ASSERT_TRUE(document.loadXml("<SERVICIO><BLOQUE_DATOS><grupo_datos seq=\"X\"/></BLOQUE_DATOS>"
                                 "</SERVICIO>"));
    XmlNode block = rebuildEnvelope(document, QStringLiteral("f"));
    appendValue(document, appendGroup(document, block, QStringLiteral("ANNO_ACADEMICO")),
                QStringLiteral("C_ANNO"), QStringLiteral("Año"));
    EXPECT_EQ(document.toBytes(),
              "<SERVICIO modulo=\"HORARIOS\" tipo=\"I\" autor=\"YEDRA\" fecha=\"f\"><BLOQUE_DATOS>"
              "<grupo_datos seq=\"ANNO_ACADEMICO\"><dato nombre_dato=\"C_ANNO\">Año</dato>"
              "</grupo_datos></BLOQUE_DATOS></SERVICIO>\n");
}

// A document loaded for its envelope only gives the same academic year and, rebuilt, the same
// document as one loaded whole, whatever stands in and around its block.
TEST(YedraEnvelope, LoadingTheEnvelopeOnlyChangesNothingWritten)
{
    const QByteArray groups = "<grupo_datos seq=\"MATERIAS\"><grupo_datos><dato>1</dato>"
                              "<dato>&amp;x</dato></grupo_datos></grupo_datos>"
                              "<!-- tras -->texto<grupo_datos seq=\"B\"/>";
    const QByteArray cases[] = {
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- antes --><SERVICIO a=\"1\">"
        "<BLOQUE_DATOS>\n  <grupo_datos seq=\"ANNO\"><grupo_datos><dato>2026</dato>"
        "<dato>x</dato></grupo_datos></grupo_datos>\n  " +
            groups + "</BLOQUE_DATOS></SERVICIO><?fin x?>",
        "<SERVICIO><BLOQUE_DATOS><!-- c --><?p x?>  2026 años<grupo_datos>9999</grupo_datos>" +
            groups + "</BLOQUE_DATOS></SERVICIO>",
        "<SERVICIO><BLOQUE_DATOS>  <![CDATA[ 20]]>26" + groups + "</BLOQUE_DATOS></SERVICIO>",
        "<SERVICIO><BLOQUE_DATOS><a><b>20</b><!-- x -->2<c/>6</a>" + groups +
            "</BLOQUE_DATOS><BLOQUE_DATOS>1999</BLOQUE_DATOS></SERVICIO>",
        "<SERVICIO xml:space=\"preserve\"><BLOQUE_DATOS>  <g>2026</g>" + groups +
            "</BLOQUE_DATOS></SERVICIO>",
        "<!DOCTYPE SERVICIO [<!ENTITY a \"<g>20</g>\">]><SERVICIO><BLOQUE_DATOS>&a;" + groups +
            "&a;</BLOQUE_DATOS></SERVICIO>",
        "<SERVICIO xmlns=\"urn:x\"><BLOQUE_DATOS>2026" + groups + "</BLOQUE_DATOS></SERVICIO>",
        "<x:SERVICIO xmlns:x=\"urn:x\"><BLOQUE_DATOS>2026" + groups +
            "</BLOQUE_DATOS></x:SERVICIO>",
        "<SERVICIO><OTRO>1</OTRO><BLOQUE_DATOS/><BLOQUE_DATOS>2026</BLOQUE_DATOS></SERVICIO>",
        "<SERVICIO><OTRO><BLOQUE_DATOS>1</BLOQUE_DATOS></OTRO></SERVICIO>",
        "<SERVICIO><BLOQUE_DATOS>" + groups + "</BLOQUE_DATOS>",
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.xml"));
    for (const QByteArray& bytes : cases) {
        writeFile(path, bytes);
        XmlDocument whole;
        XmlDocument envelope;
        const bool loaded = load(whole, path, Detail::GroupLevel);
        ASSERT_EQ(load(envelope, path, Detail::Envelope), loaded) << bytes.data();
        if (!loaded) {
            EXPECT_EQ(envelope.parseError().toString(), whole.parseError().toString());
            continue;
        }
        EXPECT_EQ(academicYear(envelope), academicYear(whole)) << bytes.data();
        if (bytes == cases[0]) {
            // Of the block, only its first group is kept.
            const QString blockElements = QStringLiteral("/SERVICIO/BLOQUE_DATOS/*");
            EXPECT_EQ(envelope.selectNodes(blockElements).length(), 1);
            EXPECT_EQ(whole.selectNodes(blockElements).length(), 3);
        }
        const auto rebuilt = [](XmlDocument& document) {
            try {
                rebuildEnvelope(document, QStringLiteral("10/12/2026 9:05:07"));
            } catch (const XmlError& error) {
                return QByteArray("error: ") + error.message().toUtf8();
            }
            return document.toBytes();
        };
        EXPECT_EQ(rebuilt(envelope), rebuilt(whole)) << bytes.data();
    }
}
