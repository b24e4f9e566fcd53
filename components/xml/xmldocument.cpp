#include "components/xml/xmldocument.h"

#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/text/texts.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <mutex>

namespace {

// Marks nodes made by createElement: they may stand outside the tree and are freed with the
// document, so a removal must not free them early.
char createdMarker;

// What one parse collects through libxml2's callbacks.
struct ParseCapture {
    bool haveError = false;
    // An error that decides the outcome though libxml2 does not count it fatal: a reference to
    // an entity the document does not declare (libxml2 lets it pass when the document names an
    // external DTD), or a limit of the parser that stopped it.
    bool decisive = false;
    int code = 0;
    QString libxmlMessage;
    QString detail1;
    QString detail2;
    int line = 0;
    int column = 0;
    QString refusedEntity;
    int refusedLine = 0;
    int refusedColumn = 0;

    // Detail::Envelope: what of the document the tree is built from.
    struct Envelope {
        bool active = false;
        int depth = 0;     // of the next element to start; the root's is 0
        int skipFrom = -1; // the depth of the element being left out, -1 for none
        bool rootIsServicio = false;
        bool blockSeen = false; // the first BLOQUE_DATOS under SERVICIO has started
        bool inBlock = false;
        bool textStarted = false; // a text that is not blank stands in the block
        bool firstDone = false;   // the block's first element or text is complete
    } envelope;

    // Detail::Records: where the records go, and the group last seen.
    struct Records {
        bool active = false;
        XmlRecordStore* store = nullptr;
        _xmlNode* group = nullptr;
        bool groupMatches = false;
    } records;
};

void silentGenericError(void*, const char*, ...) {}
void silentStructuredError(void*, xmlErrorPtr) {}

// Text in UTF-8 as it stands: Qt takes a U+FEFF at the start for a byte-order mark and drops
// it, but inside a document it is a character of the text.
QString fromUtf8Text(const char* utf8, qsizetype size)
{
    const QString text = QString::fromUtf8(utf8, size);
    if (size >= 3 && std::memcmp(utf8, "\xEF\xBB\xBF", 3) == 0)
        return QChar(0xFEFF) + text;
    return text;
}

QString fromXmlChars(const char* chars)
{
    return chars ? fromUtf8Text(chars, static_cast<qsizetype>(std::strlen(chars))) : QString();
}

QString fromXmlChars(const xmlChar* chars)
{
    return fromXmlChars(reinterpret_cast<const char*>(chars));
}

// The loader libxml2 calls for every external resource (entities, DTDs). The document itself
// is read into memory first, so nothing external is ever legitimate: refuse and remember it.
xmlParserInputPtr refuseExternalResource(const char* url, const char* id, xmlParserCtxtPtr ctxt)
{
    if (ctxt && ctxt->_private) {
        auto* capture = static_cast<ParseCapture*>(ctxt->_private);
        if (capture->refusedEntity.isEmpty()) {
            capture->refusedEntity = fromXmlChars(url ? url : id);
            if (capture->refusedEntity.isEmpty())
                capture->refusedEntity = QStringLiteral("?");
            if (ctxt->input) {
                capture->refusedLine = ctxt->input->line;
                capture->refusedColumn = ctxt->input->col;
            }
        }
    }
    return nullptr;
}

// An element's attributes are kept on the root and the two levels below it (a Yedra
// document's block and its groups, whose seq names them) and left out further down.
void startElementKeepingGroupAttributes(void* context, const xmlChar* localname,
                                        const xmlChar* prefix, const xmlChar* uri,
                                        int namespaceCount, const xmlChar** namespaces,
                                        int attributeCount, int defaultedCount,
                                        const xmlChar** attributes)
{
    const auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    if (ctxt->nodeNr >= 3) {
        attributeCount = 0;
        defaultedCount = 0;
    }
    xmlSAX2StartElementNs(context, localname, prefix, uri, namespaceCount, namespaces,
                          attributeCount, defaultedCount, attributes);
}

bool isXmlBlank(char c);

ParseCapture::Envelope* envelopeOf(void* context)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
    auto* capture = ctxt ? static_cast<ParseCapture*>(ctxt->_private) : nullptr;
    return capture && capture->envelope.active ? &capture->envelope : nullptr;
}

bool isXmlName(const xmlChar* name, const char* wanted)
{
    return xmlStrEqual(name, reinterpret_cast<const xmlChar*>(wanted));
}

// Whether content directly in the block, at this point, is past its first element or text:
// content that is left out. Markup after a text ends that text.
bool pastTheFirst(ParseCapture::Envelope& e, bool markup)
{
    if (!e.inBlock || e.depth != 2)
        return false;
    if (markup && e.textStarted)
        e.firstDone = true;
    return e.firstDone;
}

void envelopeStartElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                          const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                          int attributeCount, int defaultedCount, const xmlChar** attributes)
{
    ParseCapture::Envelope* e = envelopeOf(context);
    if (e) {
        if (e->skipFrom >= 0) {
            ++e->depth;
            return;
        }
        // xml:space="preserve" above the block would make blank text count: nothing is left
        // out then.
        if (e->depth <= 1) {
            for (int i = 0; i < attributeCount; ++i) {
                if (isXmlName(attributes[i * 5], "space") && attributes[i * 5 + 1] &&
                    isXmlName(attributes[i * 5 + 1], "xml"))
                    e->active = false;
            }
        }
        const bool plain = uri == nullptr && prefix == nullptr;
        if (e->depth == 0)
            e->rootIsServicio = plain && isXmlName(localname, "SERVICIO");
        if (e->depth == 1 && e->rootIsServicio && !e->blockSeen && plain &&
            isXmlName(localname, "BLOQUE_DATOS")) {
            e->blockSeen = true;
            e->inBlock = true;
        }
        if (e->active && pastTheFirst(*e, true)) {
            e->skipFrom = e->depth++;
            return;
        }
        ++e->depth;
    }
    startElementKeepingGroupAttributes(context, localname, prefix, uri, namespaceCount, namespaces,
                                       attributeCount, defaultedCount, attributes);
}

void envelopeEndElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                        const xmlChar* uri)
{
    ParseCapture::Envelope* e = envelopeOf(context);
    if (e) {
        --e->depth;
        if (e->skipFrom >= 0) {
            if (e->depth == e->skipFrom)
                e->skipFrom = -1;
            return;
        }
        if (e->inBlock && e->depth == 2)
            e->firstDone = true;
        if (e->inBlock && e->depth == 1)
            e->inBlock = false;
    }
    xmlSAX2EndElementNs(context, localname, prefix, uri);
}

bool leftOut(void* context, bool markup)
{
    ParseCapture::Envelope* e = envelopeOf(context);
    return e && (e->skipFrom >= 0 || pastTheFirst(*e, markup));
}

void envelopeCharacters(void* context, const xmlChar* chars, int length)
{
    if (leftOut(context, false))
        return;
    if (ParseCapture::Envelope* e = envelopeOf(context); e && e->inBlock && e->depth == 2) {
        for (int i = 0; i < length && !e->textStarted; ++i)
            e->textStarted = !isXmlBlank(static_cast<char>(chars[i]));
    }
    xmlSAX2Characters(context, chars, length);
}

void envelopeCdata(void* context, const xmlChar* chars, int length)
{
    if (leftOut(context, true))
        return;
    xmlSAX2CDataBlock(context, chars, length);
    if (ParseCapture::Envelope* e = envelopeOf(context); e && e->inBlock && e->depth == 2)
        e->firstDone = true;
}

void envelopeComment(void* context, const xmlChar* value)
{
    if (leftOut(context, true))
        return;
    xmlSAX2Comment(context, value);
}

void envelopeInstruction(void* context, const xmlChar* target, const xmlChar* data)
{
    if (leftOut(context, true))
        return;
    xmlSAX2ProcessingInstruction(context, target, data);
}

void envelopeInternalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                            const xmlChar* systemId)
{
    // Entities could put nodes in the tree past these callbacks: a document with a DTD is
    // built whole.
    if (ParseCapture::Envelope* e = envelopeOf(context))
        e->active = false;
    xmlSAX2InternalSubset(context, name, externalId, systemId);
}

void captureParseError(void* userData, xmlErrorPtr error)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    // An undeclared parameter entity comes as a warning.
    if (!ctxt || !ctxt->_private || !error ||
        (error->level < XML_ERR_ERROR && error->code != XML_WAR_UNDECLARED_ENTITY))
        return;
    auto* capture = static_cast<ParseCapture*>(ctxt->_private);
    if (capture->decisive)
        return;
    const bool decisive =
        error->code == XML_WAR_UNDECLARED_ENTITY || error->code == XML_ERR_NO_MEMORY;
    // The first fatal error is the reason; anything after it is a consequence.
    if (!decisive && capture->haveError && !(error->level == XML_ERR_FATAL && capture->code == 0))
        return;
    capture->haveError = true;
    capture->decisive = decisive;
    capture->code = error->level == XML_ERR_FATAL || decisive ? error->code : 0;
    capture->libxmlMessage = fromXmlChars(error->message).trimmed();
    capture->detail1 = fromXmlChars(error->str1);
    capture->detail2 = fromXmlChars(error->str2);
    capture->line = error->line;
    capture->column = error->int2;
}

void prepareLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalResource);
    });
    // libxml2 keeps its error handlers per thread; nothing of it is ever printed.
    xmlSetGenericErrorFunc(nullptr, silentGenericError);
    xmlSetStructuredErrorFunc(nullptr, silentStructuredError);
}

// The parser's reason in Spanish, for every error libxml2 reports; its own English text is
// never shown.
QString reasonOf(const ParseCapture& c, bool blankInput)
{
    // The limits libxml2 keeps unless told otherwise ("use XML_PARSE_HUGE option").
    if (c.libxmlMessage.contains(QLatin1String("XML_PARSE_HUGE")) ||
        c.libxmlMessage.contains(QLatin1String("huge"), Qt::CaseInsensitive)) {
        if (c.libxmlMessage.contains(QLatin1String("depth"), Qt::CaseInsensitive)) {
            static const QRegularExpression number(QStringLiteral("\\d+"));
            const QRegularExpressionMatch limit = number.match(c.libxmlMessage);
            if (limit.hasMatch())
                return QStringLiteral("los elementos están anidados a demasiada profundidad "
                                      "(más de %1 niveles)")
                    .arg(limit.captured());
            return QStringLiteral("los elementos están anidados a demasiada profundidad");
        }
        if (c.libxmlMessage.contains(QLatin1String("text"), Qt::CaseInsensitive))
            return QStringLiteral("un texto del documento es demasiado largo");
        if (c.libxmlMessage.contains(QLatin1String("Name"), Qt::CaseInsensitive))
            return QStringLiteral("un nombre del documento es demasiado largo");
        if (c.libxmlMessage.contains(QLatin1String("AttValue"), Qt::CaseInsensitive))
            return QStringLiteral("el valor de un atributo es demasiado largo");
        return QStringLiteral("el documento pasa de los límites de tamaño del analizador XML");
    }
    switch (c.code) {
    case XML_ERR_DOCUMENT_EMPTY:
        if (blankInput)
            return QStringLiteral("el archivo está vacío");
        return QStringLiteral("el archivo no contiene ningún elemento XML");
    case XML_ERR_DOCUMENT_START:
        return QStringLiteral("el archivo no empieza como un documento XML");
    case XML_ERR_DOCUMENT_END:
    case XML_ERR_EXTRA_CONTENT:
        return QStringLiteral("hay contenido después del final del elemento raíz");
    case XML_ERR_TAG_NAME_MISMATCH:
        return QStringLiteral("la etiqueta de cierre </%1> no corresponde a la de apertura <%2>")
            .arg(c.detail2, c.detail1);
    case XML_ERR_TAG_NOT_FINISHED:
        return QStringLiteral("el archivo termina sin cerrar el elemento <%1>").arg(c.detail1);
    case XML_ERR_GT_REQUIRED:
        return QStringLiteral("falta «>» al final de una etiqueta");
    case XML_ERR_LTSLASH_REQUIRED:
        return QStringLiteral("falta la etiqueta de cierre");
    case XML_ERR_NAME_REQUIRED:
        if (c.libxmlMessage.contains(QLatin1String("EntityRef")))
            return QStringLiteral("hay un «&» que no empieza una referencia válida "
                                  "(dentro de un texto se escribe «&amp;»)");
        return QStringLiteral("falta un nombre de elemento o de atributo");
    case XML_ERR_INVALID_CHAR:
        if (c.libxmlMessage.contains(QLatin1String("encoding")))
            return QStringLiteral("el contenido no está en la codificación que declara el archivo");
        return QStringLiteral("hay un carácter no permitido en XML");
    case XML_ERR_INVALID_HEX_CHARREF:
    case XML_ERR_INVALID_CHARREF:
    case XML_ERR_INVALID_DEC_CHARREF:
        return QStringLiteral("hay un carácter no permitido en XML");
    case XML_ERR_INVALID_ENCODING:
    case XML_ERR_ENTITY_CHAR_ERROR:
        return QStringLiteral("el contenido no está en la codificación que declara el archivo");
    case XML_ERR_UNSUPPORTED_ENCODING:
    case XML_ERR_UNKNOWN_ENCODING:
        if (!c.detail1.isEmpty())
            return QStringLiteral("la codificación declarada («%1») no está admitida")
                .arg(c.detail1);
        return QStringLiteral("la codificación declarada no está admitida");
    case XML_ERR_ENCODING_NAME:
    case XML_ERR_MISSING_ENCODING:
        return QStringLiteral(
            "el nombre de la codificación de la declaración XML está mal escrito");
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
        if (c.libxmlMessage.startsWith(QLatin1String("PEReference")))
            return QStringLiteral("se usa una entidad de parámetro no declarada (%%1;)")
                .arg(c.detail1);
        return QStringLiteral("se usa una entidad no declarada (&%1;)").arg(c.detail1);
    case XML_ERR_UNPARSED_ENTITY:
        return QStringLiteral("se usa una entidad no analizable (&%1;)").arg(c.detail1);
    case XML_ERR_ENTITY_IS_EXTERNAL:
    case XML_ERR_EXT_ENTITY_STANDALONE:
        return QStringLiteral("se usa una entidad externa (&%1;), lo que no se admite")
            .arg(c.detail1);
    case XML_ERR_ENTITY_IS_PARAMETER:
    case XML_ERR_ENTITY_PE_INTERNAL:
        return QStringLiteral("se usa una entidad de parámetro donde no se admite");
    case XML_ERR_ENTITY_LOOP:
        return QStringLiteral(
            "las entidades se expanden sin límite (referencias en bucle o expansión excesiva)");
    case XML_ERR_ENTITY_BOUNDARY:
    case XML_ERR_ENTITY_PROCESSING:
    case XML_ERR_ENTITY_NOT_STARTED:
    case XML_ERR_ENTITY_NOT_FINISHED:
        return QStringLiteral("la declaración o el contenido de una entidad está mal formado");
    case XML_ERR_CHARREF_AT_EOF:
    case XML_ERR_ENTITYREF_AT_EOF:
    case XML_ERR_PEREF_AT_EOF:
        return QStringLiteral("el archivo termina en medio de una referencia");
    case XML_ERR_CHARREF_IN_PROLOG:
    case XML_ERR_CHARREF_IN_EPILOG:
    case XML_ERR_CHARREF_IN_DTD:
    case XML_ERR_ENTITYREF_IN_PROLOG:
    case XML_ERR_ENTITYREF_IN_EPILOG:
    case XML_ERR_ENTITYREF_IN_DTD:
    case XML_ERR_PEREF_IN_PROLOG:
    case XML_ERR_PEREF_IN_EPILOG:
    case XML_ERR_PEREF_IN_INT_SUBSET:
        return QStringLiteral("hay una referencia fuera del lugar en que se admite");
    case XML_ERR_ENTITYREF_NO_NAME:
    case XML_ERR_PEREF_NO_NAME:
        return QStringLiteral("hay una referencia sin nombre (un «&» o un «%» sin escapar)");
    case XML_ERR_PEREF_SEMICOL_MISSING:
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
        return QStringLiteral("falta «;» tras una referencia (un «&» sin escapar)");
    case XML_ERR_ATTRIBUTE_REDEFINED:
    case XML_NS_ERR_ATTRIBUTE_REDEFINED:
        return QStringLiteral("un elemento repite el atributo «%1»").arg(c.detail1);
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
    case XML_ERR_ATTRIBUTE_NOT_FINISHED:
    case XML_ERR_EQUAL_REQUIRED:
    case XML_ERR_STRING_NOT_STARTED:
    case XML_ERR_STRING_NOT_CLOSED:
    case XML_ERR_VALUE_REQUIRED:
        return QStringLiteral("un atributo está mal escrito");
    case XML_ERR_LT_IN_ATTRIBUTE:
        return QStringLiteral("el valor de un atributo contiene «<»");
    case XML_ERR_COMMENT_NOT_FINISHED:
        return QStringLiteral("un comentario no está cerrado");
    case XML_ERR_HYPHEN_IN_COMMENT:
        return QStringLiteral("un comentario contiene «--»");
    case XML_ERR_PI_NOT_STARTED:
    case XML_ERR_PI_NOT_FINISHED:
    case XML_ERR_RESERVED_XML_NAME:
        return QStringLiteral("una instrucción de procesamiento está mal escrita o mal situada");
    case XML_ERR_XMLDECL_NOT_STARTED:
    case XML_ERR_XMLDECL_NOT_FINISHED:
    case XML_ERR_VERSION_MISSING:
    case XML_ERR_STANDALONE_VALUE:
    case XML_ERR_UNKNOWN_VERSION:
    case XML_ERR_VERSION_MISMATCH:
        return QStringLiteral("la declaración XML del principio está mal escrita");
    case XML_ERR_CDATA_NOT_FINISHED:
        return QStringLiteral("una sección CDATA no está cerrada");
    case XML_ERR_MISPLACED_CDATA_END:
        return QStringLiteral("un texto contiene «]]>», que ha de escribirse «]]&gt;»");
    case XML_ERR_DOCTYPE_NOT_FINISHED:
    case XML_ERR_EXT_SUBSET_NOT_FINISHED:
    case XML_ERR_NOTATION_NOT_STARTED:
    case XML_ERR_NOTATION_NOT_FINISHED:
    case XML_ERR_NOTATION_PROCESSING:
    case XML_ERR_ATTLIST_NOT_STARTED:
    case XML_ERR_ATTLIST_NOT_FINISHED:
    case XML_ERR_MIXED_NOT_STARTED:
    case XML_ERR_MIXED_NOT_FINISHED:
    case XML_ERR_ELEMCONTENT_NOT_STARTED:
    case XML_ERR_ELEMCONTENT_NOT_FINISHED:
    case XML_ERR_CONDSEC_NOT_STARTED:
    case XML_ERR_CONDSEC_NOT_FINISHED:
    case XML_ERR_CONDSEC_INVALID:
    case XML_ERR_CONDSEC_INVALID_KEYWORD:
    case XML_ERR_PCDATA_REQUIRED:
    case XML_ERR_NMTOKEN_REQUIRED:
    case XML_ERR_SEPARATOR_REQUIRED:
    case XML_ERR_LITERAL_NOT_STARTED:
    case XML_ERR_LITERAL_NOT_FINISHED:
    case XML_ERR_URI_REQUIRED:
    case XML_ERR_PUBID_REQUIRED:
    case XML_ERR_INVALID_URI:
    case XML_ERR_URI_FRAGMENT:
    case XML_ERR_NO_DTD:
        return QStringLiteral("la declaración de tipo de documento (DOCTYPE) está mal escrita");
    case XML_ERR_SPACE_REQUIRED:
        return QStringLiteral("falta un espacio en blanco en una etiqueta o declaración");
    case XML_ERR_LT_REQUIRED:
        return QStringLiteral("falta «<» al principio de una etiqueta");
    case XML_ERR_NOT_WELL_BALANCED:
        return QStringLiteral("las etiquetas de apertura y cierre no están equilibradas");
    case XML_ERR_NAME_TOO_LONG:
        return QStringLiteral("un nombre del documento es demasiado largo");
    case XML_ERR_NS_DECL_ERROR:
    case XML_NS_ERR_XML_NAMESPACE:
    case XML_NS_ERR_UNDEFINED_NAMESPACE:
    case XML_NS_ERR_QNAME:
    case XML_NS_ERR_EMPTY:
    case XML_NS_ERR_COLON:
        return QStringLiteral("un espacio de nombres está mal declarado o no está declarado");
    case XML_ERR_NO_MEMORY:
        if (c.libxmlMessage.contains(QLatin1String("text"), Qt::CaseInsensitive))
            return QStringLiteral("un texto del documento es demasiado largo");
        return QStringLiteral("no hay memoria suficiente para leer el documento");
    case XML_ERR_INTERNAL_ERROR:
        return QStringLiteral("el analizador XML no ha podido seguir leyendo el documento");
    case XML_ERR_USER_STOP:
        return QStringLiteral("la lectura del documento se ha interrumpido");
    default:
        break;
    }
    if (c.code != 0)
        return QStringLiteral("el documento no es XML bien formado (error %1 del analizador)")
            .arg(c.code);
    return QStringLiteral("el documento no es XML bien formado");
}

bool isXmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlankText(const xmlChar* content)
{
    if (!content)
        return true;
    for (const xmlChar* p = content; *p; ++p) {
        if (!isXmlBlank(static_cast<char>(*p)))
            return false;
    }
    return true;
}

bool containsCreatedNode(xmlNodePtr root);

// Frees a node that has left the tree, unless a node made by createElement lies inside it:
// such nodes are freed by the document at its end, so the subtree waits until then.
void discardDetached(xmlNodePtr node, std::vector<xmlNodePtr>& deferred)
{
    if (containsCreatedNode(node))
        deferred.push_back(node);
    else
        xmlFreeNode(node);
}

// Pre-order walk of a subtree without recursion (documents nest deeply on purpose).
template <typename Visit> void walkSubtree(xmlNodePtr root, Visit&& visit)
{
    xmlNodePtr node = root;
    while (node) {
        const bool descend = visit(node);
        if (descend && node->children && node->type != XML_ENTITY_REF_NODE &&
            node->type != XML_ATTRIBUTE_NODE) {
            node = node->children;
            continue;
        }
        while (node && node != root && !node->next)
            node = node->parent;
        if (!node || node == root)
            break;
        node = node->next;
    }
}

bool containsCreatedNode(xmlNodePtr root)
{
    bool found = false;
    walkSubtree(root, [&](xmlNodePtr n) {
        if (n->_private == &createdMarker)
            found = true;
        return !found;
    });
    return found;
}

// White space between elements is not content: every text node made only of blanks goes,
// except where xml:space="preserve" asks to keep it.
void dropBlankText(xmlDocPtr doc)
{
    std::vector<xmlNodePtr> blank;
    walkSubtree(reinterpret_cast<xmlNodePtr>(doc), [&](xmlNodePtr n) {
        if (n->type == XML_TEXT_NODE && isBlankText(n->content) &&
            xmlNodeGetSpacePreserve(n->parent) != 1)
            blank.push_back(n);
        return n->type == XML_DOCUMENT_NODE || n->type == XML_ELEMENT_NODE;
    });
    for (xmlNodePtr n : blank) {
        xmlUnlinkNode(n);
        xmlFreeNode(n);
    }
}

// How the input stood on disk, kept so that a save writes the same form again.
struct InputForm {
    enum class Family { Bytes, Utf16LE, Utf16BE };
    Family family = Family::Bytes;
    QByteArray bom;
    QByteArray declaration; // the XML declaration's bytes as they stood, in the input's encoding
    QByteArray encoding;    // the encoding the declaration names, empty when it names none
};

InputForm inspectInput(const QByteArray& bytes)
{
    InputForm form;
    qsizetype start = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        form.bom = bytes.left(3);
        start = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        form.family = InputForm::Family::Utf16LE;
        form.bom = bytes.left(2);
        start = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        form.family = InputForm::Family::Utf16BE;
        form.bom = bytes.left(2);
        start = 2;
    } else if (bytes.startsWith(QByteArray("<\0?\0", 4))) {
        form.family = InputForm::Family::Utf16LE;
    } else if (bytes.startsWith(QByteArray("\0<\0?", 4))) {
        form.family = InputForm::Family::Utf16BE;
    }

    QString head; // the declaration, decoded
    if (form.family == InputForm::Family::Bytes) {
        const QByteArray rest = bytes.mid(start, 1024);
        if (rest.startsWith("<?xml") && rest.size() > 5 && isXmlBlank(rest.at(5))) {
            const qsizetype end = rest.indexOf("?>");
            if (end > 0) {
                form.declaration = rest.left(end + 2);
                head = QString::fromLatin1(form.declaration);
            }
        }
    } else {
        const bool le = form.family == InputForm::Family::Utf16LE;
        QString decoded;
        for (qsizetype i = start; i + 1 < bytes.size() && decoded.size() < 512; i += 2) {
            const auto lo = static_cast<unsigned char>(bytes.at(le ? i : i + 1));
            const auto hi = static_cast<unsigned char>(bytes.at(le ? i + 1 : i));
            decoded.append(QChar(static_cast<char16_t>(hi << 8 | lo)));
            if (decoded.endsWith(QStringLiteral("?>")))
                break;
        }
        if (decoded.startsWith(QStringLiteral("<?xml")) && decoded.size() > 5 &&
            decoded.at(5).unicode() < 128 && isXmlBlank(char(decoded.at(5).unicode())) &&
            decoded.endsWith(QStringLiteral("?>"))) {
            form.declaration = bytes.mid(start, decoded.size() * 2);
            head = decoded;
        }
    }
    if (!head.isEmpty()) {
        static const QRegularExpression encodingAttribute(
            QStringLiteral("encoding\\s*=\\s*([\"'])([^\"']*)\\1"));
        const auto match = encodingAttribute.match(head);
        if (match.hasMatch())
            form.encoding = match.captured(2).toLatin1();
    }
    return form;
}

// A byte-order mark says what the encoding is; a declaration naming another one leaves the
// document's characters in doubt, so it is refused. Empty when they agree.
QString bomContradiction(const InputForm& form)
{
    if (form.bom.isEmpty() || form.encoding.isEmpty())
        return QString();
    const QByteArray declared = form.encoding.toUpper();
    const bool utf8 = form.family == InputForm::Family::Bytes;
    const bool agrees = utf8 ? (declared == "UTF-8" || declared == "UTF8")
                             : (declared.startsWith("UTF-16") || declared.startsWith("UTF16") ||
                                declared == "UCS-2" || declared == "ISO-10646-UCS-2");
    if (agrees)
        return QString();
    return QStringLiteral("el archivo empieza con la marca de orden de bytes de %1, pero su "
                          "declaración XML dice que está en «%2»")
        .arg(utf8 ? QStringLiteral("UTF-8") : QStringLiteral("UTF-16"),
             QString::fromLatin1(form.encoding));
}

// Element and attribute names as libxml2 takes them, checked once: a document is built from a
// handful of names used again and again.
const xmlChar* validName(const QString& name, const char* what)
{
    thread_local std::vector<std::pair<QString, QByteArray>> known;
    // A name written in the code is the same string every time: its characters are compared
    // only when it is another copy.
    for (const auto& [text, utf8] : known) {
        if (text.size() == name.size() && (text.constData() == name.constData() || text == name))
            return reinterpret_cast<const xmlChar*>(utf8.constData());
    }
    QByteArray utf8 = name.toUtf8();
    if (xmlValidateName(reinterpret_cast<const xmlChar*>(utf8.constData()), 0) != 0)
        throw XmlError(QStringLiteral("«%1» no es un nombre de %2 válido.")
                           .arg(name, QString::fromLatin1(what)));
    if (known.size() >= 64)
        known.erase(known.begin());
    known.emplace_back(name, std::move(utf8));
    return reinterpret_cast<const xmlChar*>(known.back().second.constData());
}

// A text the document is to hold: one with a character XML 1.0 does not allow would make the
// saved document unreadable, so it is refused.
void requireXmlText(const QString& text, const char* what)
{
    if (const std::optional<char32_t> c = texts::firstNonXmlCharacter(text))
        throw XmlError(
            QStringLiteral("El %1 «%2» contiene un carácter que XML no admite (%3).")
                .arg(QString::fromLatin1(what), texts::printable(text), texts::codePointName(*c)));
}

// A text in UTF-8, in a buffer reused from call to call; valid until the next call.
const xmlChar* utf8Of(const QString& text, int* length = nullptr)
{
    thread_local std::vector<char> buffer;
    buffer.resize(static_cast<size_t>(text.size()) * 3 + 1);
    thread_local QStringEncoder encoder(QStringEncoder::Utf8);
    char* end = encoder.appendToBuffer(buffer.data(), text);
    *end = '\0';
    if (length)
        *length = static_cast<int>(end - buffer.data());
    return reinterpret_cast<const xmlChar*>(buffer.data());
}

// Where serialized bytes go: true when they were taken.
using Sink = std::function<bool(const char* data, qsizetype size)>;

// The document from its first node on, without a declaration, in the given encoding, handed to
// `sink` piece by piece.
void serializeBody(xmlDocPtr doc, const char* encoding, const Sink& sink)
{
    struct Output {
        const Sink* sink;
        bool failed = false;
    } output{&sink};
    xmlSaveCtxtPtr save = xmlSaveToIO(
        [](void* context, const char* buffer, int len) -> int {
            auto* o = static_cast<Output*>(context);
            if (!(*o->sink)(buffer, len)) {
                o->failed = true;
                return -1;
            }
            return len;
        },
        nullptr, &output, encoding, XML_SAVE_NO_DECL);
    if (!save)
        throw XmlError(QStringLiteral("No se puede escribir el documento en la codificación «%1».")
                           .arg(QString::fromLatin1(encoding)));
    const long written = xmlSaveDoc(save, doc);
    const int closed = xmlSaveClose(save);
    if (output.failed)
        throw XmlError(QStringLiteral("No se pudo escribir el documento."));
    if (written < 0 || closed < 0)
        throw XmlError(QStringLiteral("No se pudo convertir el documento a la codificación «%1».")
                           .arg(QString::fromLatin1(encoding)));
}

xmlNodePtr docAsNode(xmlDocPtr doc)
{
    return reinterpret_cast<xmlNodePtr>(doc);
}

std::vector<xmlNodePtr> childrenOf(xmlNodePtr node)
{
    std::vector<xmlNodePtr> out;
    for (xmlNodePtr c = node->children; c; c = c->next)
        out.push_back(c);
    return out;
}

bool isPlainName(const QString& path)
{
    if (path.isEmpty())
        return false;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path.at(i);
        const bool ok = c.isLetter() || c == QLatin1Char('_') ||
                        (i > 0 && (c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.')));
        if (!ok)
            return false;
    }
    return true;
}

std::vector<xmlNodePtr> evaluate(xmlDocPtr doc, xmlNodePtr context, const QString& xpath)
{
    // A plain name is the commonest query (a record's values): answer it by walking the children.
    // The same query comes for record after record, so what it is is worked out once.
    thread_local struct {
        QString xpath;
        bool plain = false;
        QByteArray name;
    } last;
    if (last.xpath != xpath) {
        last.xpath = xpath;
        last.plain = isPlainName(xpath);
        last.name = xpath.toUtf8();
    }
    if (last.plain) {
        const auto* name = reinterpret_cast<const xmlChar*>(last.name.constData());
        std::vector<xmlNodePtr> out;
        for (xmlNodePtr c = context->children; c; c = c->next) {
            if (c->type == XML_ELEMENT_NODE && c->ns == nullptr && xmlStrEqual(c->name, name))
                out.push_back(c);
        }
        return out;
    }

    struct XPathCapture {
        QString message;
    } capture;
    std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> ctx(xmlXPathNewContext(doc),
                                                                         xmlXPathFreeContext);
    if (!ctx)
        throw XmlError(QStringLiteral("No hay memoria suficiente para consultar el documento."));
    ctx->node = context;
    ctx->userData = &capture;
    ctx->error = [](void* data, xmlErrorPtr error) {
        auto* c = static_cast<XPathCapture*>(data);
        if (c->message.isEmpty() && error)
            c->message = fromXmlChars(error->message).trimmed();
    };
    const QByteArray expression = xpath.toUtf8();
    std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
        xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.constData()), ctx.get()),
        xmlXPathFreeObject);
    if (!result)
        throw XmlError(
            QStringLiteral("La expresión XPath «%1» no es válida: %2")
                .arg(xpath, capture.message.isEmpty() ? QStringLiteral("error") : capture.message));
    if (result->type != XPATH_NODESET)
        throw XmlError(QStringLiteral("La expresión XPath «%1» no selecciona nodos.").arg(xpath));
    std::vector<xmlNodePtr> out;
    if (result->nodesetval) {
        out.reserve(result->nodesetval->nodeNr);
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            // Namespace nodes live only as long as the XPath result: they cannot be handed out.
            if (result->nodesetval->nodeTab[i]->type == XML_NAMESPACE_DECL)
                throw XmlError(
                    QStringLiteral("La expresión XPath «%1» selecciona espacios de nombres, "
                                   "que no se admiten.")
                        .arg(xpath));
            out.push_back(result->nodesetval->nodeTab[i]);
        }
    }
    return out;
}

} // namespace

// ----------------------------------------------------------------------------------------------

// Fills the store of Detail::Records as the parser reads: each record is built as a small tree
// of nodes (so that libxml2 treats its text exactly as in a whole tree), its values' texts are
// taken as XmlNode::text would give them once blank text is dropped, and its nodes are freed.
struct XmlRecordStoreFiller {
    static ParseCapture::Records* recordsOf(void* context)
    {
        auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
        auto* capture = ctxt ? static_cast<ParseCapture*>(ctxt->_private) : nullptr;
        return capture && capture->records.active ? &capture->records : nullptr;
    }

    static bool isPlain(xmlNodePtr node, const char* name)
    {
        return node && node->type == XML_ELEMENT_NODE && node->ns == nullptr &&
               xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name));
    }

    // Whether the group's records are those of '/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq]';
    // if so, the group is opened in the store.
    static bool openGroup(XmlRecordStore& store, xmlNodePtr group)
    {
        xmlNodePtr block = group->parent;
        xmlNodePtr root = block ? block->parent : nullptr;
        if (!isPlain(group, "grupo_datos") || !isPlain(block, "BLOQUE_DATOS") ||
            !isPlain(root, "SERVICIO") || !root->parent || root->parent->type != XML_DOCUMENT_NODE)
            return false;
        xmlChar* seq = xmlGetNoNsProp(group, reinterpret_cast<const xmlChar*>("seq"));
        if (!seq)
            return false;
        const auto recordCount = static_cast<qsizetype>(store.m_recordStarts.size()) - 1;
        store.m_groups.push_back(
            {QByteArray(reinterpret_cast<const char*>(seq)), recordCount, recordCount});
        xmlFree(seq);
        return true;
    }

    static void keepRecord(XmlRecordStore& store, xmlNodePtr group, xmlNodePtr record)
    {
        // Below the groups no attribute is kept, so xml:space is decided above the records.
        const bool preserve = xmlNodeGetSpacePreserve(group) == 1;
        for (xmlNodePtr value = record->children; value; value = value->next) {
            if (!isPlain(value, "dato"))
                continue;
            walkSubtree(value, [&](xmlNodePtr n) {
                if (n->content &&
                    (n->type == XML_CDATA_SECTION_NODE ||
                     (n->type == XML_TEXT_NODE && (preserve || !isBlankText(n->content)))))
                    store.m_texts.append(reinterpret_cast<const char*>(n->content));
                return n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE;
            });
            store.m_valueStarts.push_back(store.m_texts.size());
        }
        store.m_recordStarts.push_back(static_cast<qsizetype>(store.m_valueStarts.size()) - 1);
        ++store.m_groups.back().endRecord;
    }

    static void freeChildren(xmlNodePtr node)
    {
        xmlFreeNodeList(node->children);
        node->children = node->last = nullptr;
    }

    static void endElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                           const xmlChar* uri)
    {
        xmlSAX2EndElementNs(context, localname, prefix, uri);
        ParseCapture::Records* r = recordsOf(context);
        auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
        if (!r || !ctxt->node || ctxt->node->type != XML_ELEMENT_NODE)
            return;
        xmlNodePtr ended = ctxt->node->last;
        if (!ended || ended->type != XML_ELEMENT_NODE)
            return;
        if (ctxt->nodeNr == 3) {
            // A record (or any element in a group) has ended: kept if it is one, then let go
            // of with everything before it in the group.
            xmlNodePtr group = ctxt->node;
            if (group != r->group) {
                r->group = group;
                r->groupMatches = openGroup(*r->store, group);
            }
            if (r->groupMatches && isPlain(ended, "grupo_datos"))
                keepRecord(*r->store, group, ended);
            freeChildren(group);
        } else if (ctxt->nodeNr == 2) {
            freeChildren(ended); // what a group holds after its last record
        }
    }

    static void internalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                               const xmlChar* systemId)
    {
        // Entities could put nodes in the tree past these callbacks, and a first reference to
        // one hands its own nodes to the tree: a document with a DTD is kept whole.
        if (ParseCapture::Records* r = recordsOf(context))
            r->active = false;
        xmlSAX2InternalSubset(context, name, externalId, systemId);
    }
};

std::vector<std::pair<qsizetype, qsizetype>> XmlRecordStore::records(const QString& seq) const
{
    const QByteArray utf8 = seq.toUtf8();
    std::vector<std::pair<qsizetype, qsizetype>> out;
    for (const Group& group : m_groups) {
        if (group.seq == utf8 && group.endRecord > group.firstRecord)
            out.emplace_back(group.firstRecord, group.endRecord);
    }
    return out;
}

int XmlRecordStore::valueCount(qsizetype record) const
{
    return static_cast<int>(m_recordStarts.at(static_cast<size_t>(record) + 1) -
                            m_recordStarts.at(static_cast<size_t>(record)));
}

QString XmlRecordStore::value(qsizetype record, int position) const
{
    if (position < 0 || position >= valueCount(record))
        throw XmlError(QStringLiteral("El registro no tiene el dato %1.").arg(position));
    const auto at = static_cast<size_t>(m_recordStarts.at(static_cast<size_t>(record)) + position);
    const qsizetype start = m_valueStarts[at];
    return fromUtf8Text(m_texts.constData() + start, m_valueStarts[at + 1] - start);
}

struct XmlDocument::Impl {
    xmlDocPtr doc = nullptr;
    XmlParseError error;
    InputForm form;
    std::unique_ptr<XmlRecordStore> store;
    std::vector<xmlNodePtr> created;  // every node made by createElement
    std::vector<xmlNodePtr> deferred; // removed subtrees that hold some of them

    Impl() { reset(nullptr); }
    ~Impl() { release(); }

    void reset(xmlDocPtr newDoc)
    {
        release();
        doc = newDoc ? newDoc : xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
        if (!doc)
            throw XmlError(QStringLiteral("No hay memoria suficiente para crear un documento."));
        doc->_private = this;
        form = InputForm();
        error = XmlParseError();
        store.reset();
    }

    void release()
    {
        if (!doc)
            return;
        // Free what stands outside the tree; decide for every node before freeing any.
        std::vector<xmlNodePtr> loose;
        for (xmlNodePtr n : created)
            if (!n->parent)
                loose.push_back(n);
        for (xmlNodePtr n : deferred)
            if (!n->parent)
                loose.push_back(n);
        std::sort(loose.begin(), loose.end());
        loose.erase(std::unique(loose.begin(), loose.end()), loose.end());
        for (xmlNodePtr n : loose)
            xmlFreeNode(n);
        created.clear();
        deferred.clear();
        xmlFreeDoc(doc);
        doc = nullptr;
    }

    static Impl* of(xmlNodePtr node) { return static_cast<Impl*>(node->doc->_private); }

    // Remembers a node made here until it has a place in a tree; the list is cleared of the
    // placed ones as it grows, so a large document does not keep a pointer per node.
    void track(xmlNodePtr node)
    {
        if (created.size() >= compactAt) {
            std::erase_if(created, [](xmlNodePtr n) { return n->parent != nullptr; });
            compactAt = std::max<size_t>(1024, created.size() * 2);
        }
        created.push_back(node);
    }
    size_t compactAt = 1024;
};

QString XmlParseError::toString() const
{
    if (line > 0 && column > 0)
        return QStringLiteral("%1 (línea %2, columna %3)").arg(reason).arg(line).arg(column);
    if (line > 0)
        return QStringLiteral("%1 (línea %2)").arg(reason).arg(line);
    return reason;
}

XmlDocument::XmlDocument()
{
    prepareLibxml();
    m_impl = std::make_unique<Impl>();
}

XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&& other) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept = default;

bool XmlDocument::load(const QString& path, Detail detail)
{
    prepareLibxml();
    m_impl->reset(nullptr);
    QFile file(path);
    if (!file.exists()) {
        m_impl->error.reason = QStringLiteral("no existe el archivo «%1»").arg(path);
        return false;
    }
    if (QFileInfo(path).isDir()) {
        m_impl->error.reason = QStringLiteral("«%1» es una carpeta, no un archivo").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_impl->error.reason = QStringLiteral("no se puede leer el archivo «%1»: %2")
                                   .arg(path, systemerror::reason(file.errorString()));
        return false;
    }
    // The file is handed to the parser piece by piece, never held whole beside its tree.
    const QByteArray head = file.peek(1024);
    const bool parsed = parse(head, detail, [&file](xmlParserCtxtPtr ctxt, int options) {
        return xmlCtxtReadIO(
            ctxt,
            [](void* context, char* buffer, int len) -> int {
                auto* f = static_cast<QFile*>(context);
                const qint64 n = f->read(buffer, len);
                return n < 0 ? -1 : static_cast<int>(n);
            },
            nullptr, &file, nullptr, nullptr, options);
    });
    if (file.error() != QFileDevice::NoError) {
        m_impl->reset(nullptr);
        m_impl->error.reason = QStringLiteral("no se puede leer el archivo «%1»: %2")
                                   .arg(path, systemerror::reason(file.errorString()));
        return false;
    }
    return parsed;
}

bool XmlDocument::loadXml(const QByteArray& bytes)
{
    prepareLibxml();
    m_impl->reset(nullptr);
    if (bytes.size() >= INT_MAX) {
        m_impl->error.reason = QStringLiteral("el documento es demasiado grande para leerlo");
        return false;
    }
    return parse(bytes.left(1024), Detail::Whole, [&bytes](xmlParserCtxtPtr ctxt, int options) {
        return xmlCtxtReadMemory(ctxt, bytes.constData(), static_cast<int>(bytes.size()), nullptr,
                                 nullptr, options);
    });
}

bool XmlDocument::parse(const QByteArray& head, Detail detail,
                        const std::function<xmlDocPtr(xmlParserCtxtPtr, int)>& read)
{
    if (const QString contradiction = bomContradiction(inspectInput(head));
        !contradiction.isEmpty()) {
        m_impl->error.reason = contradiction;
        m_impl->error.line = 1;
        m_impl->error.column = 1;
        return false;
    }
    ParseCapture capture;
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt(xmlNewParserCtxt(),
                                                                      xmlFreeParserCtxt);
    if (!ctxt) {
        m_impl->error.reason = QStringLiteral("no hay memoria suficiente para leer el documento");
        return false;
    }
    ctxt->_private = &capture;
    ctxt->sax->serror = captureParseError;
    if (detail == Detail::GroupLevel || detail == Detail::Records)
        ctxt->sax->startElementNs = startElementKeepingGroupAttributes;
    auto store = std::make_unique<XmlRecordStore>();
    if (detail == Detail::Records) {
        capture.records.active = true;
        capture.records.store = store.get();
        ctxt->sax->endElementNs = XmlRecordStoreFiller::endElement;
        ctxt->sax->internalSubset = XmlRecordStoreFiller::internalSubset;
    }
    if (detail == Detail::Envelope) {
        capture.envelope.active = true;
        ctxt->sax->startElementNs = envelopeStartElement;
        ctxt->sax->endElementNs = envelopeEndElement;
        ctxt->sax->characters = envelopeCharacters;
        ctxt->sax->cdataBlock = envelopeCdata;
        ctxt->sax->comment = envelopeComment;
        ctxt->sax->processingInstruction = envelopeInstruction;
        ctxt->sax->internalSubset = envelopeInternalSubset;
    }
    // Entities are replaced by their text; external ones never load (see the loader above),
    // the network is never used, and libxml2's limits on depth and expansion stay in force.
    // Blank text between elements is left out as it is read, and short texts are kept inside
    // their nodes: a large document's tree stays small.
    const int options = XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;
    xmlDocPtr doc = read(ctxt.get(), options);
    const bool wellFormed =
        doc && ctxt->wellFormed && capture.refusedEntity.isEmpty() && !capture.decisive;
    if (!wellFormed) {
        if (doc)
            xmlFreeDoc(doc);
        if (!capture.refusedEntity.isEmpty()) {
            m_impl->error.reason =
                QStringLiteral(
                    "el documento pide leer un recurso externo («%1»), lo que no se admite")
                    .arg(capture.refusedEntity);
            m_impl->error.line = capture.refusedLine;
            m_impl->error.column = capture.refusedColumn;
        } else {
            m_impl->error.reason = reasonOf(capture, head.trimmed().isEmpty());
            m_impl->error.line = capture.line;
            m_impl->error.column = capture.column;
        }
        return false;
    }
    if (!xmlDocGetRootElement(doc)) {
        xmlFreeDoc(doc);
        m_impl->error.reason = QStringLiteral("el documento no tiene elemento raíz");
        return false;
    }
    m_impl->reset(doc);
    m_impl->form = inspectInput(head);
    if (capture.records.active)
        m_impl->store = std::move(store);
    dropBlankText(doc);
    return true;
}

const XmlParseError& XmlDocument::parseError() const
{
    return m_impl->error;
}

const XmlRecordStore* XmlDocument::recordStore() const
{
    return m_impl->store.get();
}

XmlNode XmlDocument::documentElement() const
{
    return XmlNode(xmlDocGetRootElement(m_impl->doc));
}

XmlNode XmlDocument::firstChild() const
{
    return XmlNode(m_impl->doc->children);
}

XmlNodeList XmlDocument::childNodes() const
{
    return XmlNodeList(childrenOf(docAsNode(m_impl->doc)));
}

XmlNodeList XmlDocument::selectNodes(const QString& xpath) const
{
    return XmlNodeList(evaluate(m_impl->doc, docAsNode(m_impl->doc), xpath));
}

XmlNode XmlDocument::selectSingleNode(const QString& xpath) const
{
    return selectNodes(xpath).item(0);
}

XmlNode XmlDocument::createElement(const QString& name)
{
    return createNode(XmlNode::Type::Element, name, QString());
}

XmlNode XmlDocument::createNode(XmlNode::Type type, const QString& name,
                                const QString& namespaceUri)
{
    if (type != XmlNode::Type::Element)
        throw XmlError(QStringLiteral("Solo se pueden crear nodos de tipo elemento."));
    xmlNodePtr node = xmlNewDocNode(m_impl->doc, nullptr, validName(name, "elemento"), nullptr);
    if (!node)
        throw XmlError(QStringLiteral("No hay memoria suficiente para crear un elemento."));
    node->_private = &createdMarker;
    m_impl->track(node);
    if (!namespaceUri.isEmpty()) {
        const QByteArray uri = namespaceUri.toUtf8();
        xmlNsPtr ns = xmlNewNs(node, reinterpret_cast<const xmlChar*>(uri.constData()), nullptr);
        xmlSetNs(node, ns);
    }
    return XmlNode(node);
}

void XmlDocument::appendChild(XmlNode child)
{
    xmlNodePtr node = child.checked("appendChild");
    if (node->doc != m_impl->doc)
        throw XmlError(QStringLiteral("El nodo pertenece a otro documento."));
    if (node->type == XML_ELEMENT_NODE) {
        xmlNodePtr root = xmlDocGetRootElement(m_impl->doc);
        if (root && root != node)
            throw XmlError(QStringLiteral("El documento ya tiene un elemento raíz."));
    } else if (node->type != XML_COMMENT_NODE && node->type != XML_PI_NODE) {
        throw XmlError(QStringLiteral("Ese tipo de nodo no puede estar fuera del elemento raíz."));
    }
    xmlUnlinkNode(node);
    if (!xmlAddChild(docAsNode(m_impl->doc), node))
        throw XmlError(QStringLiteral("No se pudo añadir el nodo al documento."));
}

void XmlDocument::removeChild(XmlNode child)
{
    xmlNodePtr node = child.checked("removeChild");
    if (node->parent != docAsNode(m_impl->doc))
        throw XmlError(QStringLiteral("El nodo que se quiere quitar no está en el documento."));
    xmlUnlinkNode(node);
    discardDetached(node, m_impl->deferred);
}

void XmlDocument::write(const std::function<bool(const char*, qsizetype)>& sink) const
{
    write(sink, [this](const char* encoding, const Sink& bodySink) {
        serializeBody(m_impl->doc, encoding, bodySink);
    });
}

void XmlDocument::write(const Sink& sink, const Body& body) const
{
    const InputForm& form = m_impl->form;
    auto put = [&](const QByteArray& bytes) {
        if (!bytes.isEmpty() && !sink(bytes.constData(), bytes.size()))
            throw XmlError(QStringLiteral("No se pudo escribir el documento."));
    };
    if (form.declaration.isEmpty()) {
        put(form.family == InputForm::Family::Bytes ? form.bom : QByteArray());
        body("UTF-8", sink);
        return;
    }
    if (form.family == InputForm::Family::Bytes) {
        put(form.bom + form.declaration + '\n');
        const QByteArray encoding = form.encoding.isEmpty() ? QByteArray("UTF-8") : form.encoding;
        body(encoding.constData(), sink);
        return;
    }
    // UTF-16: converted piece by piece from the UTF-8 form, which holds every character.
    QStringEncoder encoder(form.family == InputForm::Family::Utf16LE ? QStringEncoder::Utf16LE
                                                                     : QStringEncoder::Utf16BE);
    QStringDecoder decoder(QStringDecoder::Utf8);
    put(form.bom + form.declaration + QByteArray(encoder.encode(QStringLiteral("\n"))));
    body("UTF-8", [&](const char* data, qsizetype size) {
        const QByteArray encoded = encoder.encode(decoder.decode(QByteArrayView(data, size)));
        return sink(encoded.constData(), encoded.size());
    });
}

QByteArray XmlDocument::toBytes() const
{
    QByteArray out;
    write([&out](const char* data, qsizetype size) {
        out.append(data, size);
        return true;
    });
    return out;
}

void XmlDocument::save(const QString& path) const
{
    save(path, [this](const char* encoding, const Sink& sink) {
        serializeBody(m_impl->doc, encoding, sink);
    });
}

void XmlDocument::save(const QString& path, XmlNode slot,
                       const std::function<bool(XmlPartWriter& part)>& writePart)
{
    xmlNodePtr slotNode = slot.checkedElement("save");
    if (slotNode->doc != m_impl->doc || slotNode->children)
        throw XmlError(QStringLiteral("El lugar de las partes ha de ser un elemento vacío del "
                                      "documento."));
    // The parts' failures are the caller's own, never a failure to save.
    std::exception_ptr partFailure;
    auto writeNext = [&](XmlPartWriter& part) {
        try {
            return writePart(part);
        } catch (...) {
            if (part.m_writeFailed)
                throw;
            partFailure = std::current_exception();
            throw XmlError(QString());
        }
    };
    const Body body = [&](const char* encoding, const Sink& sink) {
        // The document is written around a mark that stands in the slot; the parts take its
        // place. The mark's name is new every time, so nothing in the document can look like it.
        const QByteArray markName =
            "quelvana-parte-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        xmlNodePtr mark = xmlNewDocNode(
            m_impl->doc, nullptr, reinterpret_cast<const xmlChar*>(markName.constData()), nullptr);
        if (!mark || !xmlAddChild(slotNode, mark))
            throw XmlError(QStringLiteral("No hay memoria suficiente para escribir el documento."));
        QByteArray around;
        try {
            serializeBody(m_impl->doc, encoding, [&around](const char* data, qsizetype size) {
                around.append(data, size);
                return true;
            });
        } catch (...) {
            xmlUnlinkNode(mark);
            xmlFreeNode(mark);
            throw;
        }
        xmlUnlinkNode(mark);
        xmlFreeNode(mark);
        const QByteArray markText = '<' + markName + "/>";
        const qsizetype at = around.lastIndexOf(markText);
        XmlPartWriter part;
        if (at < 0) {
            // An encoding that does not write the mark's characters as ASCII: the parts are
            // made as nodes in the slot, written with the document, and let go of.
            part.m_node = slotNode;
            try {
                while (writeNext(part)) {
                }
                serializeBody(m_impl->doc, encoding, sink);
            } catch (...) {
                xmlFreeNodeList(slotNode->children);
                slotNode->children = slotNode->last = nullptr;
                throw;
            }
            xmlFreeNodeList(slotNode->children);
            slotNode->children = slotNode->last = nullptr;
            return;
        }
        auto put = [&sink](const char* data, qsizetype size) {
            if (size > 0 && !sink(data, size))
                throw XmlError(QStringLiteral("No se pudo escribir el documento."));
        };
        put(around.constData(), at);
        // The parts go through the encoder the serializer uses, so that a character the
        // encoding lacks becomes the same character reference.
        struct Output {
            const Sink* sink;
        } output{&sink};
        xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding);
        if (!handler)
            throw XmlError(QStringLiteral("No se puede escribir el documento en la codificación "
                                          "«%1».")
                               .arg(QString::fromLatin1(encoding)));
        std::unique_ptr<xmlOutputBuffer, int (*)(xmlOutputBufferPtr)> out(
            xmlOutputBufferCreateIO(
                [](void* context, const char* buffer, int len) -> int {
                    auto* o = static_cast<Output*>(context);
                    return (*o->sink)(buffer, len) ? len : -1;
                },
                nullptr, &output, handler),
            xmlOutputBufferClose);
        if (!out)
            throw XmlError(QStringLiteral("No hay memoria suficiente para escribir el documento."));
        part.m_out = out.get();
        while (writeNext(part)) {
        }
        if (!part.m_open.empty())
            throw XmlError(QStringLiteral("Una parte del documento deja elementos sin cerrar."));
        part.flush();
        if (xmlOutputBufferFlush(out.get()) < 0)
            throw XmlError(QStringLiteral("No se pudo escribir el documento."));
        put(around.constData() + at + markText.size(), around.size() - at - markText.size());
    };
    try {
        save(path, body);
    } catch (const XmlError&) {
        if (partFailure)
            std::rethrow_exception(partFailure);
        throw;
    }
}

void XmlDocument::save(const QString& path, const Body& body) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw XmlError(
            QStringLiteral("No se puede crear el archivo «%1»: %2")
                .arg(QFileInfo(path).absoluteFilePath(), systemerror::reason(file.errorString())));
    try {
        // The serializer's small pieces are gathered and written a megabyte at a time.
        constexpr qsizetype Chunk = 1 << 20;
        QByteArray pending;
        pending.reserve(Chunk);
        QString writeError;
        platform::WriteBehind behind(file);
        qint64 size = 0;
        auto flush = [&] {
            const bool written =
                platform::writeAll(file, pending.constData(), pending.size(), &writeError);
            size += pending.size();
            pending.resize(0);
            behind.written(size);
            return written;
        };
        write(
            [&](const char* data, qsizetype size) {
                pending.append(data, size);
                return pending.size() < Chunk || flush();
            },
            body);
        if (!flush())
            throw XmlError(QStringLiteral("No se pudo escribir el documento: %1.").arg(writeError));
    } catch (const XmlError& error) {
        throw XmlError(QStringLiteral("No se pudo guardar el archivo «%1»: %2")
                           .arg(QFileInfo(path).absoluteFilePath(), error.message()));
    }
    if (!file.commit())
        throw XmlError(
            QStringLiteral("No se pudo guardar el archivo «%1»: %2")
                .arg(QFileInfo(path).absoluteFilePath(), systemerror::reason(file.errorString())));
}

// ----------------------------------------------------------------------------------------------

xmlNodePtr XmlNode::checked(const char* operation) const
{
    if (!m_node)
        throw XmlError(QStringLiteral("Operación «%1» sobre un nodo que no existe.")
                           .arg(QLatin1String(operation)));
    return m_node;
}

xmlNodePtr XmlNode::checkedElement(const char* operation) const
{
    xmlNodePtr node = checked(operation);
    if (node->type != XML_ELEMENT_NODE)
        throw XmlError(QStringLiteral("Operación «%1» sobre un nodo que no es un elemento.")
                           .arg(QLatin1String(operation)));
    return node;
}

XmlNode::Type XmlNode::type() const
{
    switch (checked("type")->type) {
    case XML_ELEMENT_NODE:
        return Type::Element;
    case XML_TEXT_NODE:
        return Type::Text;
    case XML_CDATA_SECTION_NODE:
        return Type::CData;
    case XML_COMMENT_NODE:
        return Type::Comment;
    case XML_PI_NODE:
        return Type::ProcessingInstruction;
    case XML_DOCUMENT_NODE:
        return Type::Document;
    default:
        return Type::Other;
    }
}

QString XmlNode::name() const
{
    xmlNodePtr node = checked("name");
    if (node->type == XML_ELEMENT_NODE && node->ns && node->ns->prefix)
        return fromXmlChars(node->ns->prefix) + QLatin1Char(':') + fromXmlChars(node->name);
    return fromXmlChars(node->name);
}

QString XmlNode::text() const
{
    xmlNodePtr node = checked("text");
    switch (node->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return fromXmlChars(node->content);
    case XML_ATTRIBUTE_NODE: {
        xmlChar* value = xmlNodeGetContent(node);
        const QString out = fromXmlChars(value);
        xmlFree(value);
        return out;
    }
    default:
        break;
    }
    // A value is most often an element holding one text.
    if (node->children && !node->children->next && node->children->type == XML_TEXT_NODE)
        return fromXmlChars(node->children->content);
    QByteArray utf8;
    walkSubtree(node, [&](xmlNodePtr n) {
        if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content)
            utf8.append(reinterpret_cast<const char*>(n->content));
        return n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE;
    });
    return fromUtf8Text(utf8.constData(), utf8.size());
}

void XmlNode::setText(const QString& text)
{
    xmlNodePtr node = checkedElement("text");
    requireXmlText(text, "texto");
    if (node->children) {
        XmlDocument::Impl* impl = XmlDocument::Impl::of(node);
        for (xmlNodePtr child : childrenOf(node)) {
            xmlUnlinkNode(child);
            discardDetached(child, impl->deferred);
        }
    }
    if (text.isEmpty())
        return;
    int length = 0;
    const xmlChar* utf8 = utf8Of(text, &length);
    xmlNodePtr textNode = xmlNewDocTextLen(node->doc, utf8, length);
    if (!textNode || !xmlAddChild(node, textNode))
        throw XmlError(QStringLiteral("No hay memoria suficiente para escribir un texto."));
}

XmlNode XmlNode::firstChild() const
{
    return XmlNode(checked("firstChild")->children);
}

XmlNodeList XmlNode::childNodes() const
{
    return XmlNodeList(childrenOf(checked("childNodes")));
}

XmlNodeList XmlNode::selectNodes(const QString& xpath) const
{
    xmlNodePtr node = checked("selectNodes");
    return XmlNodeList(evaluate(node->doc, node, xpath));
}

XmlNode XmlNode::selectSingleNode(const QString& xpath) const
{
    return selectNodes(xpath).item(0);
}

namespace {

// A plain element name in UTF-8, worked out once for the same name asked again and again.
const xmlChar* plainName(const QString& name)
{
    thread_local QString last;
    thread_local QByteArray utf8;
    if (last.size() != name.size() || last != name) {
        if (!isPlainName(name))
            throw XmlError(QStringLiteral("«%1» no es un nombre de elemento.").arg(name));
        last = name;
        utf8 = name.toUtf8();
    }
    return reinterpret_cast<const xmlChar*>(utf8.constData());
}

bool isPlainElement(xmlNodePtr node, const xmlChar* name)
{
    return node->type == XML_ELEMENT_NODE && node->ns == nullptr && xmlStrEqual(node->name, name);
}

} // namespace

int XmlNode::childElementCount(const QString& name) const
{
    xmlNodePtr node = checked("childElementCount");
    const xmlChar* wanted = plainName(name);
    int count = 0;
    for (xmlNodePtr c = node->children; c; c = c->next)
        count += isPlainElement(c, wanted) ? 1 : 0;
    return count;
}

XmlNode XmlNode::childElement(const QString& name, int position) const
{
    xmlNodePtr node = checked("childElement");
    const xmlChar* wanted = plainName(name);
    for (xmlNodePtr c = node->children; c && position >= 0; c = c->next) {
        if (isPlainElement(c, wanted) && position-- == 0)
            return XmlNode(c);
    }
    return XmlNode();
}

void XmlNode::appendChild(XmlNode child)
{
    xmlNodePtr parent = checkedElement("appendChild");
    xmlNodePtr node = child.checked("appendChild");
    if (node->doc != parent->doc)
        throw XmlError(QStringLiteral("El nodo pertenece a otro documento."));
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_ATTRIBUTE_NODE)
        throw XmlError(QStringLiteral("Ese tipo de nodo no puede ser hijo de un elemento."));
    for (xmlNodePtr a = parent; a; a = a->parent) {
        if (a == node)
            throw XmlError(QStringLiteral("Un nodo no puede ser hijo de sí mismo."));
    }
    xmlUnlinkNode(node);
    if (node->type == XML_TEXT_NODE) {
        // libxml2 merges a text node into a neighbouring one and frees it; keep it whole.
        xmlNodePtr copy = xmlNewDocTextLen(parent->doc, node->content, xmlStrlen(node->content));
        XmlDocument::Impl::of(parent)->deferred.push_back(node);
        node = copy;
    }
    if (!node || !xmlAddChild(parent, node))
        throw XmlError(QStringLiteral("No se pudo añadir el nodo."));
}

void XmlNode::removeChild(XmlNode child)
{
    xmlNodePtr parent = checked("removeChild");
    xmlNodePtr node = child.checked("removeChild");
    if (node->parent != parent)
        throw XmlError(QStringLiteral("El nodo que se quiere quitar no es hijo de este nodo."));
    xmlUnlinkNode(node);
    discardDetached(node, XmlDocument::Impl::of(parent)->deferred);
}

QString XmlNode::attribute(const QString& name) const
{
    xmlNodePtr node = checkedElement("getAttribute");
    const QByteArray utf8 = name.toUtf8();
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(utf8.constData()));
    const QString out = fromXmlChars(value);
    xmlFree(value);
    return out;
}

QList<QPair<QString, QString>> XmlNode::attributes() const
{
    xmlNodePtr node = checkedElement("attributes");
    QList<QPair<QString, QString>> out;
    for (xmlAttrPtr a = node->properties; a; a = a->next) {
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
        out.append({fromXmlChars(a->name), fromXmlChars(value)});
        xmlFree(value);
    }
    return out;
}

void XmlNode::setAttribute(const QString& name, const QString& value)
{
    xmlNodePtr node = checkedElement("setAttribute");
    const xmlChar* utf8Name = validName(name, "atributo");
    requireXmlText(value, "valor de atributo");
    // The value is stored as plain text: the serializer escapes it.
    if (!xmlSetProp(node, utf8Name, utf8Of(value)))
        throw XmlError(QStringLiteral("No se pudo poner el atributo «%1».").arg(name));
}

void XmlNode::setAttribute(const QString& name, qint64 value)
{
    setAttribute(name, QString::number(value));
}

// ----------------------------------------------------------------------------------------------

XmlNode XmlNodeList::item(int position) const
{
    if (position < 0 || position >= length())
        return XmlNode();
    return XmlNode(m_nodes[static_cast<size_t>(position)]);
}

// ----------------------------------------------------------------------------------------------

namespace {

// Text as the serializer escapes it: inside an element '<', '>', '&' and CR; inside an
// attribute's quotes also '"', LF and tab.
void escapeText(const char* in, int length, QByteArray& out, bool attribute = false)
{
    const auto escaped = [attribute](char c) -> const char* {
        switch (c) {
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '&':
            return "&amp;";
        case '\r':
            return "&#13;";
        case '"':
            return attribute ? "&quot;" : nullptr;
        case '\n':
            return attribute ? "&#10;" : nullptr;
        case '\t':
            return attribute ? "&#9;" : nullptr;
        default:
            return nullptr;
        }
    };
    for (const char* end = in + length; in < end; ++in) {
        const char* plain = in;
        const char* replacement = nullptr;
        while (in < end && !(replacement = escaped(*in)))
            ++in;
        out.append(plain, in - plain);
        if (in == end)
            break;
        out.append(replacement);
    }
}

} // namespace

void XmlPartWriter::put(const char* data, int size)
{
    m_pending.append(data, size);
}

void XmlPartWriter::flush()
{
    if (m_pending.isEmpty())
        return;
    const int written =
        xmlOutputBufferWrite(m_out, static_cast<int>(m_pending.size()), m_pending.constData());
    m_pending.resize(0);
    if (written < 0) {
        m_writeFailed = true;
        throw XmlError(QStringLiteral("No se pudo escribir el documento."));
    }
}

void XmlPartWriter::closeStartTag()
{
    if (m_startTagOpen) {
        put(">", 1);
        m_startTagOpen = false;
    }
}

void XmlPartWriter::startElement(const QString& name)
{
    const xmlChar* utf8 = validName(name, "elemento");
    if (m_out) {
        closeStartTag();
        m_open.emplace_back(reinterpret_cast<const char*>(utf8));
        put("<", 1);
        put(m_open.back().constData(), static_cast<int>(m_open.back().size()));
        m_startTagOpen = true;
        return;
    }
    xmlNodePtr node = xmlNewDocNode(m_node->doc, nullptr, utf8, nullptr);
    if (!node || !xmlAddChild(m_node, node)) {
        xmlFreeNode(node);
        throw XmlError(QStringLiteral("No hay memoria suficiente para crear un elemento."));
    }
    m_open.emplace_back(reinterpret_cast<const char*>(utf8));
    m_node = node;
}

void XmlPartWriter::setAttribute(const QString& name, const QString& value)
{
    if (m_open.empty() || (m_out && !m_startTagOpen))
        throw XmlError(QStringLiteral("Un atributo ha de escribirse justo tras su elemento."));
    const xmlChar* utf8Name = validName(name, "atributo");
    requireXmlText(value, "valor de atributo");
    if (!m_out) {
        if (!xmlSetProp(m_node, utf8Name, utf8Of(value)))
            throw XmlError(QStringLiteral("No se pudo poner el atributo «%1».").arg(name));
        return;
    }
    m_pending.append(' ');
    m_pending.append(reinterpret_cast<const char*>(utf8Name));
    m_pending.append("=\"");
    int length = 0;
    const xmlChar* utf8 = utf8Of(value, &length);
    escapeText(reinterpret_cast<const char*>(utf8), length, m_pending, true);
    m_pending.append('"');
}

void XmlPartWriter::setAttribute(const QString& name, qint64 value)
{
    setAttribute(name, QString::number(value));
}

void XmlPartWriter::addText(const QString& text)
{
    if (m_open.empty())
        throw XmlError(QStringLiteral("Un texto ha de estar dentro de un elemento."));
    requireXmlText(text, "texto");
    if (text.isEmpty())
        return;
    int length = 0;
    const xmlChar* utf8 = utf8Of(text, &length);
    if (!m_out) {
        xmlNodePtr textNode = xmlNewDocTextLen(m_node->doc, utf8, length);
        if (!textNode || !xmlAddChild(m_node, textNode))
            throw XmlError(QStringLiteral("No hay memoria suficiente para escribir un texto."));
        return;
    }
    closeStartTag();
    escapeText(reinterpret_cast<const char*>(utf8), length, m_pending);
}

void XmlPartWriter::endElement()
{
    if (m_open.empty())
        throw XmlError(QStringLiteral("No hay ningún elemento abierto."));
    if (!m_out) {
        m_node = m_node->parent;
        m_open.pop_back();
        return;
    }
    if (m_startTagOpen) {
        m_pending.append("/>");
        m_startTagOpen = false;
    } else {
        m_pending.append("</");
        m_pending.append(m_open.back());
        m_pending.append('>');
    }
    m_open.pop_back();
    // The serializer takes the bytes in pieces that end between elements, never inside a
    // character.
    if (m_pending.size() >= (1 << 16))
        flush();
}
