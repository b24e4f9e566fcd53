#include "components/text/texts.h"
#include "components/xml/xmldocument.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

XmlDocument loaded(const QByteArray& bytes)
{
    XmlDocument document;
    EXPECT_TRUE(document.loadXml(bytes)) << document.parseError().toString().toStdString();
    return document;
}

QByteArray utf16le(const char* text)
{
    QStringEncoder encoder(QStringEncoder::Utf16LE);
    return encoder.encode(QString::fromUtf8(text));
}

} // namespace

TEST(XmlDocumentLoad, DropsWhiteSpaceBetweenElementsAndKeepsTextUntrimmed)
{
    XmlDocument document = loaded("<SERVICIO>\n  <BLOQUE_DATOS>\r\n\t<dato>  Ana  </dato>\n"
                                  "  <dato>\n</dato>\n  <dato>a <b>b</b> c</dato>\n"
                                  "  <p xml:space=\"preserve\"> <q/> </p>\n"
                                  "</BLOQUE_DATOS>\n</SERVICIO>\n");
    const XmlNode block = document.documentElement().firstChild();
    EXPECT_EQ(block.name(), QStringLiteral("BLOQUE_DATOS"));
    const XmlNodeList children = block.childNodes();
    ASSERT_EQ(children.length(), 4);
    EXPECT_EQ(children.item(0).type(), XmlNode::Type::Element);
    EXPECT_EQ(children.item(0).text(), QStringLiteral("  Ana  "));
    EXPECT_EQ(children.item(1).text(), QString());
    EXPECT_EQ(children.item(1).childNodes().length(), 0);
    EXPECT_EQ(children.item(2).text(), QStringLiteral("a b c"));
    // Only under xml:space="preserve" does white space stay.
    EXPECT_EQ(children.item(3).childNodes().length(), 3);
}

TEST(XmlDocumentLoad, TextRunsDescendantsTogetherInDocumentOrder)
{
    XmlDocument document = loaded(
        "<r><dato>uno<x>dos<!-- no --><?pi no?><y> tres</y></x><![CDATA[ <cuatro> ]]>&amp;</dato>"
        "</r>");
    EXPECT_EQ(document.documentElement().text(), QStringLiteral("unodos tres <cuatro> &"));
    EXPECT_EQ(document.documentElement().firstChild().firstChild().type(), XmlNode::Type::Text);
}

TEST(XmlDocumentLoad, KeepsTheNodesOutsideTheRootInOrder)
{
    XmlDocument document = loaded("<?xml version=\"1.0\"?>\n<!-- primero -->\n"
                                  "<?yedra version=\"3\"?>\n<!-- segundo -->\n<SERVICIO/>\n"
                                  "<!-- final -->\n");
    const XmlNodeList nodes = document.childNodes();
    ASSERT_EQ(nodes.length(), 5);
    EXPECT_EQ(nodes.item(0).type(), XmlNode::Type::Comment);
    EXPECT_EQ(nodes.item(0).text(), QStringLiteral(" primero "));
    EXPECT_EQ(nodes.item(1).type(), XmlNode::Type::ProcessingInstruction);
    EXPECT_EQ(nodes.item(1).name(), QStringLiteral("yedra"));
    EXPECT_EQ(nodes.item(2).text(), QStringLiteral(" segundo "));
    EXPECT_EQ(nodes.item(3), document.documentElement());
    EXPECT_EQ(nodes.item(4).text(), QStringLiteral(" final "));
    EXPECT_EQ(document.firstChild(), nodes.item(0));
}

TEST(XmlDocumentLoad, SelectsNodesByPathAndByPlainName)
{
    XmlDocument document = loaded("<r><g seq=\"A\"><dato>1</dato><x><dato>no</dato></x>"
                                  "<dato>2</dato></g><g seq=\"B\"><dato>3</dato></g></r>");
    const XmlNode a = document.selectSingleNode(QStringLiteral("/r/g[@seq=\"A\"]"));
    ASSERT_FALSE(a.isNull());
    const XmlNodeList values = a.selectNodes(QStringLiteral("dato"));
    ASSERT_EQ(values.length(), 2);
    EXPECT_EQ(values.item(0).text(), QStringLiteral("1"));
    EXPECT_EQ(values.item(1).text(), QStringLiteral("2"));
    EXPECT_TRUE(values.item(2).isNull());
    EXPECT_TRUE(values.item(-1).isNull());
    EXPECT_EQ(document.selectNodes(QStringLiteral("//dato")).length(), 4);
    EXPECT_TRUE(document.selectSingleNode(QStringLiteral("/r/nada")).isNull());
    EXPECT_EQ(document.selectNodes(QStringLiteral("/R/g")).length(), 0);
    EXPECT_THROW(document.selectNodes(QStringLiteral("/r/g[")), XmlError);
    EXPECT_THROW(document.selectNodes(QStringLiteral("count(/r)")), XmlError);
    EXPECT_THROW(document.selectNodes(QStringLiteral("//namespace::*")), XmlError);
    EXPECT_EQ(document.selectSingleNode(QStringLiteral("/r/g[2]/@seq")).text(),
              QStringLiteral("B"));
}

TEST(XmlDocumentLoad, NullNodesRefuseEveryOperation)
{
    const XmlNode none;
    EXPECT_TRUE(none.isNull());
    EXPECT_THROW(none.text(), XmlError);
    EXPECT_THROW(none.firstChild(), XmlError);
    EXPECT_THROW(none.selectNodes(QStringLiteral("dato")), XmlError);
}

// Documents that cannot be read: the document stays empty and tells why, with the place.
TEST(XmlDocumentLoad, ReportsWhyAFileCannotBeRead)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* reasonPart;
        int line; // 0: no position expected
    };
    const Case cases[] = {
        {"empty file", "", "vacío", 0},
        {"tag mismatch", "<a>\n<b>\n</a>", "</a> no corresponde a la de apertura <b>", 3},
        {"truncated", "<SERVICIO><BLOQUE_DATOS>", "sin cerrar el elemento", 1},
        {"bad UTF-8",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>Garc\xED"
         "a</a>",
         "codificación", 2},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-nada\"?><a/>", "codificación", 1},
        {"text after root", "<a/>\n<b/>", "después del final", 2},
        {"bare ampersand", "<a>Lengua & Literatura</a>", "&amp;", 1},
        {"not XML", QByteArray("\x00\x01\x02 binario", 12), "ningún elemento", 0},
        {"plain text", "Nombre;Apellidos\n", "ningún elemento", 0},
        // A byte-order mark that contradicts the declaration.
        {"UTF-8 mark, Latin-1 declared",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>Garc\xC3\xAD"
         "a</a>",
         "marca de orden de bytes de UTF-8, pero su declaración XML dice que está en «ISO-8859-1»",
         1},
        {"UTF-16 mark, Windows-1252 declared",
         "\xFF\xFE" + utf16le("<?xml version=\"1.0\" encoding=\"windows-1252\"?><a/>"),
         "marca de orden de bytes de UTF-16, pero su declaración XML dice que está en "
         "«windows-1252»",
         1},
        // The parser's limits, in Spanish.
        {"too deep", QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300),
         "los elementos están anidados a demasiada profundidad (más de 256 niveles)", 1},
        {"a huge name", "<" + QByteArray(60'000, 'n') + "/>",
         "un nombre del documento es demasiado largo", 1},
        {"an unclosed comment", "<a><!-- sin cerrar</a>", "un comentario no está cerrado", 1},
        {"an unclosed CDATA", "<a><![CDATA[ sin cerrar</a>", "una sección CDATA no está cerrada",
         1},
        {"a bad declaration", "<?xml version=\"1.0\" standalone=\"quizá\"?><a/>",
         "la declaración XML del principio está mal escrita", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmlDocument document;
        EXPECT_FALSE(document.loadXml(c.bytes));
        const XmlParseError& error = document.parseError();
        EXPECT_FALSE(error.isNull());
        EXPECT_NE(error.reason.indexOf(QString::fromUtf8(c.reasonPart)), -1) << error.reason;
        // The reason is the program's own Spanish, never the parser's English.
        for (const char* english : {"XML_PARSE_HUGE", "error :", "xmlParse", "Extra content"})
            EXPECT_EQ(error.reason.indexOf(QLatin1String(english)), -1) << error.reason;
        if (c.line > 0) {
            EXPECT_EQ(error.line, c.line);
            EXPECT_GT(error.column, 0);
            EXPECT_NE(error.toString().indexOf(QStringLiteral("línea %1").arg(c.line)), -1);
        }
        EXPECT_TRUE(document.documentElement().isNull());
        EXPECT_EQ(document.selectNodes(QStringLiteral("/SERVICIO/BLOQUE_DATOS")).length(), 0);
    }

    // Parts past the parser's size limit (10,000,000 characters), read from a file as the runs
    // read them: the reason is the limit, never what the parser goes on to say (no memory left,
    // a comment not closed).
    const struct {
        const char* part;
        QByteArray before;
        qsizetype size;
        QByteArray after;
        const char* reason;
    } limits[] = {
        {"a text", "<a>", 10'000'001, "</a>", "un texto del documento es demasiado largo"},
        {"an attribute", "<a b=\"", 11'000'000, "\"/>",
         "el valor de un atributo pasa del límite de tamaño del analizador XML (10 MB)"},
        // Just past it, the parser stops before it has read the attribute.
        {"an attribute just past it", "<a b=\"", 10'000'001, "\"/>",
         "el documento pasa de los límites de tamaño del analizador XML"},
        {"a comment", "<a><!--", 11'000'000, "--></a>",
         "un comentario pasa del límite de tamaño del analizador XML (10 MB)"},
        {"a processing instruction", "<a><?pi ", 11'000'000, "?></a>",
         "una instrucción de procesamiento pasa del límite de tamaño del analizador XML (10 MB)"},
        {"a CDATA section", "<a><![CDATA[", 11'000'000, "]]></a>",
         "una sección CDATA pasa del límite de tamaño del analizador XML (10 MB)"},
    };
    QTemporaryDir hugeDir;
    for (const auto& limit : limits) {
        SCOPED_TRACE(limit.part);
        const QString huge = hugeDir.filePath(QStringLiteral("grande.xml"));
        writeFile(huge, limit.before + QByteArray(limit.size, 'x') + limit.after);
        XmlDocument large;
        EXPECT_FALSE(large.load(huge));
        EXPECT_EQ(large.parseError().reason, QString::fromUtf8(limit.reason));
    }

    XmlDocument missing;
    EXPECT_FALSE(missing.load(QStringLiteral("/no/existe/horario.xml")));
    EXPECT_NE(missing.parseError().reason.indexOf(QStringLiteral("/no/existe/horario.xml")), -1);
    QTemporaryDir dir;
    EXPECT_FALSE(missing.load(dir.path()));
    EXPECT_FALSE(missing.parseError().isNull());

    // A failed load empties a document that held something.
    XmlDocument reused = loaded("<a><b/></a>");
    EXPECT_FALSE(reused.loadXml("<a>"));
    EXPECT_TRUE(reused.documentElement().isNull());
}

TEST(XmlDocumentSafety, NeverReadsExternalEntitiesOrDtds)
{
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secreto.txt"));
    writeFile(secret, "CONTENIDO-SECRETO");
    const QString dtd = dir.filePath(QStringLiteral("yedra.dtd"));
    writeFile(dtd,
              "<!ENTITY s SYSTEM \"file://" + secret.toUtf8() + "\">\n<!ENTITY t \"TEXTO-DTD\">");

    const QByteArray cases[] = {
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret.toUtf8() + "\">]><r>&x;</r>",
        "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + secret.toUtf8() + "\"> %p;]><r/>",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"http://127.0.0.1:9/x\">]><r>&x;</r>",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + secret.toUtf8() + "\">]><r><![CDATA[a]]>&x;</r>",
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toStdString());
        XmlDocument document;
        EXPECT_FALSE(document.loadXml(bytes));
        EXPECT_NE(document.parseError().reason.indexOf(QStringLiteral("externo")), -1)
            << document.parseError().reason;
        EXPECT_EQ(document.toBytes().indexOf("CONTENIDO-SECRETO"), -1);
        EXPECT_EQ(document.toBytes().indexOf("root:"), -1);
    }

    // An external DTD is named, never read: what it declares is not there, and a reference to
    // it is refused as any undeclared entity is.
    XmlDocument withDtd;
    EXPECT_FALSE(
        withDtd.loadXml("<!DOCTYPE r SYSTEM \"file://" + dtd.toUtf8() + "\"><r>a&t;b</r>"));
    EXPECT_EQ(withDtd.parseError().reason, QStringLiteral("se usa una entidad no declarada (&t;)"));
    XmlDocument named;
    ASSERT_TRUE(named.loadXml("<!DOCTYPE r SYSTEM \"file://" + dtd.toUtf8() + "\"><r>ab</r>"))
        << named.parseError().toString();
    EXPECT_EQ(named.documentElement().text(), QStringLiteral("ab"));

    // Internal entities are expanded.
    XmlDocument internal = loaded("<!DOCTYPE r [<!ENTITY e \"Educación\">]><r>&e; Física</r>");
    EXPECT_EQ(internal.documentElement().text(), QStringLiteral("Educación Física"));
}

TEST(XmlDocumentSafety, RefusesEntityExpansionBombs)
{
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 10; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                  QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    laughs += "]><l>&l10;</l>";

    const QByteArray quadratic = "<!DOCTYPE r [<!ENTITY big \"" + QByteArray(100000, 'x') +
                                 "\">]><r>" + QByteArray("&big;").repeated(20000) + "</r>";

    for (const QByteArray& bytes : {laughs, quadratic}) {
        XmlDocument document;
        EXPECT_FALSE(document.loadXml(bytes));
        EXPECT_NE(document.parseError().reason.indexOf(QStringLiteral("entidades")), -1)
            << document.parseError().reason;
        EXPECT_TRUE(document.documentElement().isNull());
    }
}

TEST(XmlDocumentWrite, BuildsElementsAttributesAndText)
{
    XmlDocument document;
    XmlNode root = document.createElement(QStringLiteral("SERVICIO"));
    root.setAttribute(QStringLiteral("modulo"), QStringLiteral("HORARIOS"));
    root.setAttribute(QStringLiteral("registros"), qint64(42));
    root.setAttribute(QStringLiteral("autor"), QStringLiteral("a & b < \"c\" 'd'"));
    document.appendChild(root);
    XmlNode block =
        document.createNode(XmlNode::Type::Element, QStringLiteral("BLOQUE_DATOS"), QString());
    document.selectSingleNode(QStringLiteral("/SERVICIO")).appendChild(block);
    XmlNode value = document.createElement(QStringLiteral("dato"));
    value.setText(QStringLiteral("Lengua & Literatura <1º> &amp;"));
    block.appendChild(value);
    XmlNode empty = document.createElement(QStringLiteral("dato"));
    empty.setText(QString());
    block.appendChild(empty);
    XmlNode dropped = document.createElement(QStringLiteral("nunca_puesto"));
    dropped.setText(QStringLiteral("x"));

    const QList<QPair<QString, QString>> attributes = root.attributes();
    ASSERT_EQ(attributes.size(), 3);
    EXPECT_EQ(attributes[0].first, QStringLiteral("modulo"));
    EXPECT_EQ(attributes[1].second, QStringLiteral("42"));
    EXPECT_EQ(root.attribute(QStringLiteral("autor")), QStringLiteral("a & b < \"c\" 'd'"));

    const QByteArray bytes = document.toBytes();
    EXPECT_EQ(bytes, "<SERVICIO modulo=\"HORARIOS\" registros=\"42\" "
                     "autor=\"a &amp; b &lt; &quot;c&quot; 'd'\"><BLOQUE_DATOS>"
                     "<dato>Lengua &amp; Literatura &lt;1º&gt; &amp;amp;</dato><dato/>"
                     "</BLOQUE_DATOS></SERVICIO>\n");

    XmlDocument again = loaded(bytes);
    EXPECT_EQ(again.selectSingleNode(QStringLiteral("//dato")).text(),
              QStringLiteral("Lengua & Literatura <1º> &amp;"));
    EXPECT_EQ(again.documentElement().attribute(QStringLiteral("autor")),
              QStringLiteral("a & b < \"c\" 'd'"));

    // Setting text again replaces what was there; removing takes the node away.
    value.setText(QStringLiteral("otra"));
    block.removeChild(empty);
    EXPECT_EQ(block.text(), QStringLiteral("otra"));
    EXPECT_EQ(block.childNodes().length(), 1);
}

TEST(XmlDocumentWrite, RefusesMalformedStructures)
{
    XmlDocument document = loaded("<a><b/></a>");
    XmlNode root = document.documentElement();
    EXPECT_THROW(document.appendChild(document.createElement(QStringLiteral("otra"))), XmlError);
    EXPECT_THROW(document.createElement(QStringLiteral("no valido")), XmlError);
    EXPECT_THROW(root.firstChild().appendChild(root), XmlError);
    EXPECT_THROW(root.removeChild(root), XmlError);
    EXPECT_THROW(document.removeChild(root.firstChild()), XmlError);
    XmlDocument other;
    EXPECT_THROW(root.appendChild(other.createElement(QStringLiteral("ajena"))), XmlError);

    // Once the old root has gone, a new one can take its place.
    document.removeChild(root);
    EXPECT_TRUE(document.documentElement().isNull());
    document.appendChild(document.createElement(QStringLiteral("nueva")));
    EXPECT_EQ(document.documentElement().name(), QStringLiteral("nueva"));
}

// Each encoding is read by its declaration and written back in it, declaration and byte order
// mark as they stood; what the encoding cannot hold is written as character references.
TEST(XmlDocumentEncoding, RoundTripsEveryEncodingByItsDeclaration)
{
    const QString stored = QStringLiteral("GARCÍA Núñez, Educación Física");
    const QString added = QStringLiteral("Añadido: € “comillas” 中文 & <fin>");

    auto body = [](const QString& text) {
        return QStringLiteral("<!-- ficha -->\n<SERVICIO modulo=\"X\">\n  <BLOQUE_DATOS>\n"
                              "    <dato>%1</dato>\n  </BLOQUE_DATOS>\n</SERVICIO>\n")
            .arg(text);
    };
    auto utf16 = [](const QString& text, bool le) {
        QStringEncoder e(le ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE);
        return QByteArray(e.encode(text));
    };
    // windows-1252 for the few characters it adds to ISO-8859-1.
    auto cp1252 = [](const QString& text) {
        QByteArray out;
        for (QChar c : text) {
            if (c == QChar(0x20AC))
                out += '\x80';
            else if (c == QChar(0x201C))
                out += '\x93';
            else if (c == QChar(0x201D))
                out += '\x94';
            else
                out += char(c.unicode());
        }
        return out;
    };

    struct Case {
        const char* name;
        QByteArray prefix; // byte order mark and declaration, as they stand in the file
        QByteArray bytes;
        const char* declared; // the encoding Python reads from the declaration
        QString text;
    };
    const QString cpText = QStringLiteral("Ñandú “€”");
    const QByteArray declUtf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const QByteArray declLatin1 = "<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?>";
    const QByteArray declCp1252 = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>";
    const QString declUtf16 = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
    const Case cases[] = {
        {"UTF-8", declUtf8, declUtf8 + "\n" + body(stored).toUtf8(), "UTF-8", stored},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + declUtf8,
         "\xEF\xBB\xBF" + declUtf8 + "\r\n" + body(stored).toUtf8(), "UTF-8", stored},
        {"UTF-16LE with BOM", "\xFF\xFE" + utf16(declUtf16, true),
         "\xFF\xFE" + utf16(declUtf16 + QStringLiteral("\n") + body(stored), true), "UTF-16",
         stored},
        {"UTF-16BE with BOM", "\xFE\xFF" + utf16(declUtf16, false),
         "\xFE\xFF" + utf16(declUtf16 + QStringLiteral("\n") + body(stored), false), "UTF-16",
         stored},
        {"ISO-8859-1", declLatin1, declLatin1 + "\n" + body(stored).toLatin1(), "ISO-8859-1",
         stored},
        {"windows-1252", declCp1252, declCp1252 + "\n" + cp1252(body(cpText)), "windows-1252",
         cpText},
        {"no declaration", "", body(stored).toUtf8(), nullptr, stored},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XmlDocument document = loaded(c.bytes);
        XmlNode value = document.selectSingleNode(QStringLiteral("/SERVICIO/BLOQUE_DATOS/dato"));
        ASSERT_FALSE(value.isNull());
        EXPECT_EQ(value.text(), c.text);

        XmlNode extra = document.createElement(QStringLiteral("dato"));
        extra.setText(added);
        extra.setAttribute(QStringLiteral("nombre_dato"), added);
        value.selectSingleNode(QStringLiteral("..")).appendChild(extra);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("salida.xml"));
        document.save(path);
        const QByteArray saved = readFile(path);
        EXPECT_TRUE(saved.startsWith(c.prefix));
        if (c.prefix.isEmpty()) {
            EXPECT_TRUE(saved.startsWith("<!-- ficha -->"));
        }
        // No line breaks or indentation between elements.
        const QString asText = QString::fromUtf8(saved);
        EXPECT_EQ(asText.indexOf(QStringLiteral(">\n  <")), -1);

        QString pythonError;
        const QJsonObject read = readWithPython(path, &pythonError);
        ASSERT_FALSE(read.isEmpty()) << pythonError;
        if (c.declared) {
            EXPECT_EQ(read[QStringLiteral("declaration")][QStringLiteral("encoding")].toString(),
                      c.declared);
        } else {
            EXPECT_TRUE(read[QStringLiteral("declaration")].isNull());
        }
        const QJsonArray prolog = read[QStringLiteral("prolog")].toArray();
        ASSERT_EQ(prolog.size(), 1);
        EXPECT_EQ(prolog[0].toArray()[1].toString(), QStringLiteral(" ficha "));
        const QJsonArray block = read[QStringLiteral("root")][QStringLiteral("children")]
                                     .toArray()[0][QStringLiteral("children")]
                                     .toArray();
        ASSERT_EQ(block.size(), 2);
        EXPECT_EQ(block[0][QStringLiteral("children")].toArray()[0].toString(), c.text);
        EXPECT_EQ(block[1][QStringLiteral("children")].toArray()[0].toString(), added);
        EXPECT_EQ(block[1][QStringLiteral("attributes")].toArray()[0].toArray()[1].toString(),
                  added);

        // And our own reader gets the same back.
        XmlDocument again;
        ASSERT_TRUE(again.load(path)) << again.parseError().toString();
        EXPECT_EQ(again.selectNodes(QStringLiteral("//dato")).item(1).text(), added);
    }
}

TEST(XmlDocumentEncoding, WritesWhatASingleByteEncodingLacksAsCharacterReferences)
{
    XmlDocument document = loaded("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xF1</r>");
    document.documentElement().setText(QStringLiteral("ñ€"));
    const QByteArray bytes = document.toBytes();
    EXPECT_EQ(bytes, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\xF1&#8364;</r>\n");
}

TEST(XmlDocumentSave, ReplacesTheTargetWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("resultado.xml"));
    writeFile(target, QByteArray(100000, 'v'));

    XmlDocument document = loaded("<r>nuevo</r>");
    document.save(target);
    EXPECT_EQ(readFile(target), "<r>nuevo</r>\n");

    // A target that cannot be written: an error naming it, and nothing left behind.
    const QString folderInTheWay = dir.filePath(QStringLiteral("carpeta.xml"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("carpeta.xml")));
    try {
        document.save(folderInTheWay);
        FAIL() << "saving over a folder must fail";
    } catch (const XmlError& error) {
        EXPECT_NE(error.message().indexOf(QStringLiteral("carpeta.xml")), -1);
    }
    EXPECT_THROW(document.save(dir.filePath(QStringLiteral("no/existe/r.xml"))), XmlError);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("resultado.xml")});
}

// A document whose slot's children are made part by part while it is written is byte for byte
// the one they would make standing in it, in every form a document comes in.
TEST(XmlDocumentSave, WritesPartsMadeWhileSavingAsIfTheyStoodInTheDocument)
{
    const QByteArray inputs[] = {
        "<r><s/></r>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- <quelvana-parte-1/> -->"
        "<?pi x?><r a=\"\xF1\"><s/><t>\xF1</t></r><!-- fin -->",
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><s/></r>",
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><s/></r>",
        "\xFF\xFE" + utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r><s/></r>"),
    };
    // Three parts, the second empty: text that needs escaping, characters outside the
    // encoding, attributes with line breaks and quotes, an empty element. The same calls make
    // nodes for the document written whole and write the parts for the other.
    struct Maker {
        std::function<void(const QString&)> start;
        std::function<void(const QString&, const QString&)> attribute;
        std::function<void(const QString&)> text;
        std::function<void()> end;
    };
    auto makePart = [](const Maker& m, int number) {
        if (number == 2)
            return;
        for (int n = 0; n < 2; ++n) {
            m.start(QStringLiteral("grupo_datos"));
            m.attribute(QStringLiteral("seq"),
                        QStringLiteral("P%1 \"ñ\"\n\t€ <&>").arg(number * 10 + n));
            m.attribute(QStringLiteral("registros"), QString::number(n));
            m.start(QStringLiteral("dato"));
            m.text(QStringLiteral("a & b < c > d\r ñ € 中 \"'\t\n %1").arg(n));
            m.end();
            m.start(QStringLiteral("vacío"));
            m.text(QString());
            m.end();
            m.end();
        }
    };
    for (const QByteArray& input : inputs) {
        XmlDocument whole = loaded(input);
        std::vector<XmlNode> open{whole.selectSingleNode(QStringLiteral("/r/s"))};
        const Maker nodes{[&](const QString& name) {
                              XmlNode node = whole.createElement(name);
                              open.back().appendChild(node);
                              open.push_back(node);
                          },
                          [&](const QString& name, const QString& value) {
                              open.back().setAttribute(name, value);
                          },
                          [&](const QString& text) { open.back().setText(text); },
                          [&] { open.pop_back(); }};
        for (int number = 1; number <= 3; ++number)
            makePart(nodes, number);

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("r.xml"));
        XmlDocument streamed = loaded(input);
        int number = 0;
        streamed.save(target, streamed.selectSingleNode(QStringLiteral("/r/s")),
                      [&](XmlPartWriter& part) {
                          const Maker writer{[&](const QString& name) { part.startElement(name); },
                                             [&](const QString& name, const QString& value) {
                                                 part.setAttribute(name, value);
                                             },
                                             [&](const QString& text) { part.addText(text); },
                                             [&] { part.endElement(); }};
                          makePart(writer, ++number);
                          return number < 3;
                      });
        EXPECT_EQ(readFile(target), whole.toBytes()) << input.toStdString();
        EXPECT_EQ(number, 3);
        // The document itself is left as it was.
        EXPECT_EQ(streamed.toBytes(), loaded(input).toBytes());
    }
}

// A part that cannot be written ends the save with its own error, and nothing is written.
TEST(XmlDocumentSave, APartThatFailsLeavesTheTargetUntouched)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("r.xml"));
    writeFile(target, "antes");
    XmlDocument document = loaded("<r><s/></r>");
    int calls = 0;
    try {
        document.save(target, document.selectSingleNode(QStringLiteral("/r/s")),
                      [&](XmlPartWriter& part) {
                          part.startElement(QStringLiteral("p"));
                          part.endElement();
                          if (++calls == 2)
                              throw ConversionError(QStringLiteral("dato malo"));
                          return true;
                      });
        FAIL() << "the part's error must end the save";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("dato malo"));
    }
    EXPECT_EQ(readFile(target), "antes");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("r.xml")});
}

// Loading a large document may leave out the attributes below a depth, which nobody reads,
// and keep those of the root and the levels above it.
TEST(XmlDocumentLoad, CanLeaveOutTheAttributesBelowADepth)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("libro.xml"));
    writeFile(path, "<?xml version=\"1.0\"?><libro edicion=\"M\"><parte b=\"1\">"
                    "<capitulo n=\"UNO\" paginas=\"1\"><seccion n=\"ID\">"
                    "<linea k=\"X\">U1</linea><linea k=\"Y\">1º A</linea>"
                    "</seccion></capitulo></parte></libro>");
    XmlDocument lean;
    ASSERT_TRUE(lean.load(path, {.attributeDepth = 2}));
    EXPECT_EQ(lean.documentElement().attribute(QStringLiteral("edicion")), QStringLiteral("M"));
    const XmlNode chapter =
        lean.selectSingleNode(QStringLiteral("/libro/parte/capitulo[@n=\"UNO\"]"));
    ASSERT_FALSE(chapter.isNull());
    EXPECT_EQ(chapter.attributes().size(), 2);
    const XmlNode section = chapter.firstChild();
    EXPECT_TRUE(section.attributes().isEmpty());
    EXPECT_TRUE(section.firstChild().attributes().isEmpty());
    EXPECT_EQ(section.selectNodes(QStringLiteral("linea")).item(1).text(), QStringLiteral("1º A"));
    EXPECT_EQ(lean.parseHook(), nullptr);

    XmlDocument whole;
    ASSERT_TRUE(whole.load(path));
    EXPECT_EQ(whole.selectSingleNode(QStringLiteral("//linea")).attribute(QStringLiteral("k")),
              QStringLiteral("X"));
}

// A reference to an entity the document does not declare is refused, whether or not it names an
// external DTD; nothing external is read.
TEST(XmlDocumentSafety, RefusesEveryUndeclaredEntity)
{
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason; // empty: loaded, with the text given
        const char* text;
    } cases[] = {
        {"no DOCTYPE", "<SERVICIO>Aula &uno;</SERVICIO>", "se usa una entidad no declarada (&uno;)",
         ""},
        {"a SYSTEM DTD", "<!DOCTYPE SERVICIO SYSTEM \"x.dtd\"><SERVICIO>Aula &uno;</SERVICIO>",
         "se usa una entidad no declarada (&uno;)", ""},
        {"a PUBLIC DTD",
         "<!DOCTYPE SERVICIO PUBLIC \"-//Y//DTD//ES\" \"x.dtd\"><SERVICIO>&uno;</SERVICIO>",
         "se usa una entidad no declarada (&uno;)", ""},
        {"in an attribute", "<!DOCTYPE r SYSTEM \"x.dtd\"><r a=\"Aula &uno;\"/>",
         "se usa una entidad no declarada (&uno;)", ""},
        {"beside a declared one",
         "<!DOCTYPE r SYSTEM \"x.dtd\" [<!ENTITY dos \"2\">]><r>&dos;&uno;</r>",
         "se usa una entidad no declarada (&uno;)", ""},
        {"a parameter entity", "<!DOCTYPE r SYSTEM \"x.dtd\" [%pe;]><r/>",
         "se usa una entidad de parámetro no declarada (%pe;)", ""},
        {"declared in the document",
         "<!DOCTYPE r SYSTEM \"x.dtd\" [<!ENTITY e \"Educación\">]><r>&e; &amp; &#241;</r>", "",
         "Educación & ñ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XmlDocument document;
        const bool loadedOk = document.loadXml(c.bytes);
        EXPECT_EQ(loadedOk, !*c.reason);
        if (loadedOk)
            EXPECT_EQ(document.documentElement().text(), c.text);
        else
            EXPECT_EQ(document.parseError().reason, c.reason);
    }
}

// The document never takes a text that XML 1.0 does not allow: a saved document always reads.
TEST(XmlDocumentWrite, RefusesTextXmlDoesNotAllow)
{
    const struct {
        QString text;
        const char* refusal; // empty: taken
    } cases[] = {
        {QStringLiteral("Aula\x07"), "(U+0007)"},
        {QString(QChar(0)) + QStringLiteral("x"), "(U+0000)"},
        {QStringLiteral("\x1F"), "(U+001F)"},
        {QString(QChar(0xD800)), "(U+D800)"},
        {QString(QChar(0xFFFE)), "(U+FFFE)"},
        {QStringLiteral("\t\n\r dentro"), ""},
        {QStringLiteral("𝟘 \uFFFD \x7F"), ""},
        {QStringLiteral("\uFEFFal principio"), ""},
    };
    for (const auto& c : cases) {
        for (const bool asAttribute : {false, true}) {
            SCOPED_TRACE(c.text + (asAttribute ? QStringLiteral(" (attribute)")
                                               : QStringLiteral(" (text)")));
            XmlDocument document;
            XmlNode root = document.createElement(QStringLiteral("r"));
            document.appendChild(root);
            try {
                if (asAttribute)
                    root.setAttribute(QStringLiteral("a"), c.text);
                else
                    root.setText(c.text);
                EXPECT_STREQ(c.refusal, "");
                const XmlDocument again = loaded(document.toBytes());
                EXPECT_EQ(asAttribute ? again.documentElement().attribute(QStringLiteral("a"))
                                      : again.documentElement().text(),
                          c.text);
            } catch (const XmlError& error) {
                EXPECT_NE(error.message().indexOf(QLatin1String(c.refusal)), -1) << error.message();
                EXPECT_STRNE(c.refusal, "");
                EXPECT_EQ(root.text(), QString());
            }
        }
    }
}

namespace {

// Writes down what a parse shows it, and leaves out the elements named "fuera" and the texts
// "no"; the elements named "vaciar" and "soltar" let go of what they and their parents hold.
class RecordingHook : public XmlParseHook {
public:
    RecordingHook(unsigned calls, QStringList& events) : m_calls(calls), m_events(events) {}

    unsigned calls() const override { return m_calls; }

    bool startElement(const StartTag& tag, int depth) override
    {
        m_events << QStringLiteral("<%1 %2%3%4")
                        .arg(QString::fromUtf8(tag.name()))
                        .arg(depth)
                        .arg(tag.inNamespace() ? QStringLiteral(" ns") : QString())
                        .arg(tag.hasAttribute("xml", "space") ? QStringLiteral(" space")
                                                              : QString());
        return tag.name() != "fuera";
    }

    Afterwards endElement(XmlNode element, int depth) override
    {
        QByteArray text;
        element.appendLoadedText(text);
        m_events << QStringLiteral("/%1 %2 %3")
                        .arg(element.name())
                        .arg(depth)
                        .arg(XmlNode::fromUtf8Text(text));
        if (element.isPlainElement("vaciar"))
            return Afterwards::Empty;
        if (element.isPlainElement("soltar"))
            return Afterwards::EmptyParent;
        return Afterwards::Keep;
    }

    bool content(Content kind, QByteArrayView text, int depth) override
    {
        const char* kinds[] = {"text", "cdata", "comment", "pi"};
        m_events << QStringLiteral("%1 %2 %3")
                        .arg(QLatin1String(kinds[static_cast<int>(kind)]))
                        .arg(depth)
                        .arg(QString::fromUtf8(text));
        return text != "no";
    }

private:
    unsigned m_calls;
    QStringList& m_events;
};

constexpr unsigned AllCalls =
    XmlParseHook::StartCalls | XmlParseHook::EndCalls | XmlParseHook::ContentCalls;

} // namespace

// A hook hears the parse in document order, with depths from the root's 0, hears nothing of
// what it leaves out, and the tree keeps only what it let stand.
TEST(XmlParseHook, SeesTheParseAndLeavesOutWhatItRefuses)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.xml"));
    writeFile(path, "<?xml version=\"1.0\"?>\n<raíz xml:space=\"default\"><a>uno<fuera x=\"1\">"
                    "dentro<b/>más</fuera>dos<!--c--><?pi x?><![CDATA[no]]>no</a>"
                    "<n:e xmlns:n=\"u\"/><vaciar><b>tres</b></vaciar>"
                    "<c><soltar>x</soltar><soltar>y</soltar>z</c></raíz>");
    QStringList events;
    auto hook = std::make_unique<RecordingHook>(AllCalls, events);
    const XmlParseHook* kept = hook.get();
    XmlDocument document;
    ASSERT_TRUE(document.load(path, {.hook = std::move(hook)}));
    EXPECT_EQ(document.parseHook(), kept);
    const QStringList expected = {
        QStringLiteral("<raíz 0 space"),   QStringLiteral("<a 1"),
        QStringLiteral("text 2 uno"),      QStringLiteral("<fuera 2"),
        QStringLiteral("text 2 dos"),      QStringLiteral("comment 2 "),
        QStringLiteral("pi 2 "),           QStringLiteral("cdata 2 no"),
        QStringLiteral("text 2 no"),       QStringLiteral("/a 1 unodos"),
        QStringLiteral("<e 1 ns"),         QStringLiteral("/n:e 1 "),
        QStringLiteral("<vaciar 1"),       QStringLiteral("<b 2"),
        QStringLiteral("text 3 tres"),     QStringLiteral("/b 2 tres"),
        QStringLiteral("/vaciar 1 tres"),  QStringLiteral("<c 1"),
        QStringLiteral("<soltar 2"),       QStringLiteral("text 3 x"),
        QStringLiteral("/soltar 2 x"),     QStringLiteral("<soltar 2"),
        QStringLiteral("text 3 y"),        QStringLiteral("/soltar 2 y"),
        QStringLiteral("text 2 z"),        QStringLiteral("/c 1 z"),
        QStringLiteral("/raíz 0 unodosz"),
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(document.toBytes(), "<?xml version=\"1.0\"?>\n<raíz xml:space=\"default\"><a>unodos"
                                  "<!--c--><?pi x?></a><n:e xmlns:n=\"u\"/><vaciar/><c>z</c>"
                                  "</raíz>\n");
}

// A hook that asks only for the ends of elements hears nothing else; it reads each element as
// the loaded document will give it, blank texts gone but where xml:space keeps them (the blank
// after an element, before its parent's end, is never kept).
TEST(XmlParseHook, ReadsElementsAsTheLoadedDocumentGivesThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.xml"));
    writeFile(path, "<r><p xml:space=\"preserve\"><q> </q></p><q> </q><q> a <i>b</i> </q>"
                    "<q><![CDATA[ ]]></q></r>");
    QStringList events;
    XmlDocument document;
    ASSERT_TRUE(document.load(
        path, {.hook = std::make_unique<RecordingHook>(XmlParseHook::EndCalls, events)}));
    const QStringList expected = {
        QStringLiteral("/q 2  "),      QStringLiteral("/p 1  "),    QStringLiteral("/q 1 "),
        QStringLiteral("/i 2 b"),      QStringLiteral("/q 1  a b"), QStringLiteral("/q 1  "),
        QStringLiteral("/r 0   a b "),
    };
    EXPECT_EQ(events, expected);
    const XmlNode root = document.documentElement();
    EXPECT_EQ(root.text(), QStringLiteral("  a b "));
    const XmlNode first = root.firstChild();
    EXPECT_TRUE(first.isPlainElement("p"));
    EXPECT_FALSE(first.isPlainElement("q"));
    EXPECT_EQ(first.parent(), root);
    EXPECT_EQ(root.parent().type(), XmlNode::Type::Document);
    EXPECT_TRUE(root.parent().parent().isNull());
    EXPECT_EQ(first.nextSibling().text(), QString());
    EXPECT_TRUE(root.childNodes().item(3).nextSibling().isNull());
    EXPECT_THROW((void)XmlNode().parent(), XmlError);
}

// A document that declares a type is kept whole and never shown to the hook: its entities could
// put nodes in the tree that the hook would not see. Nor does a document that fails keep one.
TEST(XmlParseHook, IsNotShownADocumentWithADoctypeNorKeptByOneThatFails)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.xml"));
    writeFile(path, "<!DOCTYPE r [<!ENTITY e \"<fuera>uno</fuera>\">]><r><fuera/>&e;</r>");
    QStringList events;
    XmlDocument document;
    ASSERT_TRUE(document.load(path, {.hook = std::make_unique<RecordingHook>(AllCalls, events)}));
    EXPECT_EQ(document.parseHook(), nullptr);
    EXPECT_TRUE(events.isEmpty()) << events.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(document.selectNodes(QStringLiteral("/r/fuera")).length(), 2);

    writeFile(path, "<r><fuera/><a></r>");
    ASSERT_FALSE(document.load(path, {.hook = std::make_unique<RecordingHook>(AllCalls, events)}));
    EXPECT_EQ(document.parseHook(), nullptr);
    EXPECT_EQ(document.parseError().toString(),
              QStringLiteral("la etiqueta de cierre </r> no corresponde a la de apertura <a> "
                             "(línea 1, columna 19)"));
}
