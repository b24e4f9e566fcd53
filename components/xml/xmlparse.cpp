#include "components/platform/systemerror.h"
#include "components/xml/xmldocument.h"
#include "components/xml/xmlprivate.h"

#include <QFile>
#include <QFileInfo>
#include <climits>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <mutex>

using namespace xmlprivate;

namespace {

// What one parse needs beside libxml2's context, reached through its _private.
struct ParseState {
    ParserFailure failure;
    int attributeDepth = -1;
    // Null when there is none, or once the hook may no longer be shown the document.
    XmlParseHook* hook = nullptr;
    unsigned calls = 0;
    bool hookWithdrawn = false;
    int depth = 0;   // of the next element to start, counting only those the tree keeps
    int skipped = 0; // the elements open inside one left out, itself counted; 0 outside
};

ParseState& stateOf(void* context)
{
    return *static_cast<ParseState*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

void silentGenericError(void*, const char*, ...) {}
void silentStructuredError(void*, xmlErrorPtr) {}

// The loader libxml2 calls for every external resource (entities, DTDs). The document itself
// is read into memory first, so nothing external is ever legitimate: refuse and remember it.
xmlParserInputPtr refuseExternalResource(const char* url, const char* id, xmlParserCtxtPtr ctxt)
{
    if (ctxt && ctxt->_private) {
        const int line = ctxt->input ? ctxt->input->line : 0;
        const int column = ctxt->input ? ctxt->input->col : 0;
        noteRefusedResource(stateOf(ctxt).failure, url, id, line, column);
    }
    return nullptr;
}

void captureParseError(void* userData, xmlErrorPtr error)
{
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    if (ctxt && ctxt->_private && error)
        noteParserError(stateOf(ctxt).failure, *error);
}

// White space between elements is not content: every text node made only of blanks goes,
// except where xml:space="preserve" asks to keep it.
void dropBlankText(xmlDocPtr doc)
{
    std::vector<xmlNodePtr> blank;
    walkSubtree(docAsNode(doc), [&](xmlNodePtr n) {
        if (n->type == XML_TEXT_NODE && !keptText(n))
            blank.push_back(n);
        return n->type == XML_DOCUMENT_NODE || n->type == XML_ELEMENT_NODE;
    });
    for (xmlNodePtr n : blank) {
        xmlUnlinkNode(n);
        xmlFreeNode(n);
    }
}

void freeChildren(xmlNodePtr node)
{
    xmlFreeNodeList(node->children);
    node->children = node->last = nullptr;
}

bool isXmlName(const xmlChar* name, QByteArrayView wanted)
{
    return name ? QByteArrayView(reinterpret_cast<const char*>(name)) == wanted : wanted.isEmpty();
}

} // namespace

void xmlprivate::prepareLibxml()
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

bool XmlParseHook::StartTag::hasAttribute(QByteArrayView prefix, QByteArrayView name) const
{
    for (int i = 0; i < m_attributeCount; ++i) {
        if (isXmlName(m_attributes[i * 5], name) && isXmlName(m_attributes[i * 5 + 1], prefix))
            return true;
    }
    return false;
}

// libxml2's tree builder, with the attributes below a depth left out and a hook, when there is
// one, shown the parse and obeyed.
struct XmlHookedParse {
    // An element goes into the tree: its depth is followed for the hook, and its attributes
    // are left out below the depth asked.
    static void startElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes)
    {
        ParseState& state = stateOf(context);
        if (state.hook)
            ++state.depth;
        // The depth of the tree being built: an entity's content is built in a tree of its own.
        if (state.attributeDepth >= 0 &&
            static_cast<xmlParserCtxtPtr>(context)->nodeNr > state.attributeDepth) {
            attributeCount = 0;
            defaultedCount = 0;
        }
        xmlSAX2StartElementNs(context, localname, prefix, uri, namespaceCount, namespaces,
                              attributeCount, defaultedCount, attributes);
    }

    // The same for a hook that is asked first whether the element is kept.
    static void startElementAsked(void* context, const xmlChar* localname, const xmlChar* prefix,
                                  const xmlChar* uri, int namespaceCount,
                                  const xmlChar** namespaces, int attributeCount,
                                  int defaultedCount, const xmlChar** attributes)
    {
        ParseState& state = stateOf(context);
        if (state.hook && state.skipped > 0) {
            ++state.skipped;
            return;
        }
        if (state.hook && !state.hook->startElement(
                              XmlParseHook::StartTag(reinterpret_cast<const char*>(localname),
                                                     uri != nullptr || prefix != nullptr,
                                                     attributes, attributeCount),
                              state.depth)) {
            state.skipped = 1;
            return;
        }
        startElement(context, localname, prefix, uri, namespaceCount, namespaces, attributeCount,
                     defaultedCount, attributes);
    }

    static void endElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                           const xmlChar* uri)
    {
        ParseState& state = stateOf(context);
        if (!state.hook) {
            xmlSAX2EndElementNs(context, localname, prefix, uri);
            return;
        }
        if (state.skipped > 0) {
            --state.skipped;
            return;
        }
        const int depth = --state.depth;
        xmlNodePtr ended = static_cast<xmlParserCtxtPtr>(context)->node;
        xmlSAX2EndElementNs(context, localname, prefix, uri);
        if (!(state.calls & XmlParseHook::EndCalls) || !ended)
            return;
        switch (state.hook->endElement(XmlNode(ended), depth)) {
        case XmlParseHook::Afterwards::Keep:
            break;
        case XmlParseHook::Afterwards::Empty:
            freeChildren(ended);
            break;
        case XmlParseHook::Afterwards::EmptyParent:
            freeChildren(ended->parent);
            break;
        }
    }

    static bool keep(void* context, XmlParseHook::Content kind, const xmlChar* text, int length)
    {
        ParseState& state = stateOf(context);
        if (!state.hook)
            return true;
        if (state.skipped > 0)
            return false;
        return !(state.calls & XmlParseHook::ContentCalls) ||
               state.hook->content(kind, QByteArrayView(text, length), state.depth);
    }

    static void characters(void* context, const xmlChar* chars, int length)
    {
        if (keep(context, XmlParseHook::Content::Text, chars, length))
            xmlSAX2Characters(context, chars, length);
    }

    static void cdata(void* context, const xmlChar* chars, int length)
    {
        if (keep(context, XmlParseHook::Content::CData, chars, length))
            xmlSAX2CDataBlock(context, chars, length);
    }

    static void comment(void* context, const xmlChar* value)
    {
        if (keep(context, XmlParseHook::Content::Comment, nullptr, 0))
            xmlSAX2Comment(context, value);
    }

    static void instruction(void* context, const xmlChar* target, const xmlChar* data)
    {
        if (keep(context, XmlParseHook::Content::ProcessingInstruction, nullptr, 0))
            xmlSAX2ProcessingInstruction(context, target, data);
    }

    // Entities could put nodes in the tree past the hook, and a first reference to one hands
    // its own nodes to the tree: a document with a DTD is built whole, without the hook.
    static void internalSubset(void* context, const xmlChar* name, const xmlChar* externalId,
                               const xmlChar* systemId)
    {
        ParseState& state = stateOf(context);
        if (state.hook) {
            state.hook = nullptr;
            state.hookWithdrawn = true;
        }
        xmlSAX2InternalSubset(context, name, externalId, systemId);
    }

    // Sets the parser's callbacks for what the options ask.
    static void install(xmlSAXHandler& sax, const ParseState& state)
    {
        if (state.attributeDepth >= 0 || state.hook)
            sax.startElementNs =
                state.calls & XmlParseHook::StartCalls ? startElementAsked : startElement;
        if (!state.hook)
            return;
        sax.endElementNs = endElement;
        sax.internalSubset = internalSubset;
        if (state.calls & (XmlParseHook::StartCalls | XmlParseHook::ContentCalls)) {
            sax.characters = characters;
            sax.cdataBlock = cdata;
            sax.comment = comment;
            sax.processingInstruction = instruction;
        }
    }
};

bool XmlDocument::load(const QString& path, XmlLoadOptions options)
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
    const bool parsed = parse(head, options, [&file](xmlParserCtxtPtr ctxt, int parseOptions) {
        return xmlCtxtReadIO(
            ctxt,
            [](void* context, char* buffer, int len) -> int {
                auto* f = static_cast<QFile*>(context);
                const qint64 n = f->read(buffer, len);
                return n < 0 ? -1 : static_cast<int>(n);
            },
            nullptr, &file, nullptr, nullptr, parseOptions);
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
    XmlLoadOptions whole;
    return parse(bytes.left(1024), whole, [&bytes](xmlParserCtxtPtr ctxt, int parseOptions) {
        return xmlCtxtReadMemory(ctxt, bytes.constData(), static_cast<int>(bytes.size()), nullptr,
                                 nullptr, parseOptions);
    });
}

bool XmlDocument::parse(const QByteArray& head, XmlLoadOptions& options,
                        const std::function<xmlDocPtr(xmlParserCtxtPtr, int)>& read)
{
    if (const QString contradiction = bomContradiction(inspectInput(head));
        !contradiction.isEmpty()) {
        m_impl->error = {contradiction, 1, 1};
        return false;
    }
    ParseState state;
    state.attributeDepth = options.attributeDepth;
    state.hook = options.hook.get();
    state.calls = state.hook ? state.hook->calls() : 0;
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt(xmlNewParserCtxt(),
                                                                      xmlFreeParserCtxt);
    if (!ctxt) {
        m_impl->error.reason = QStringLiteral("no hay memoria suficiente para leer el documento");
        return false;
    }
    ctxt->_private = &state;
    ctxt->sax->serror = captureParseError;
    XmlHookedParse::install(*ctxt->sax, state);
    // Entities are replaced by their text; external ones never load (see the loader above),
    // the network is never used, and libxml2's limits on depth and expansion stay in force.
    // Blank text between elements is left out as it is read, and short texts are kept inside
    // their nodes: a large document's tree stays small.
    const int parseOptions =
        XML_PARSE_NONET | XML_PARSE_NOENT | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;
    xmlDocPtr doc = read(ctxt.get(), parseOptions);
    const ParserFailure& failure = state.failure;
    if (!doc || !ctxt->wellFormed || !failure.refusedEntity.isEmpty() || failure.decisive) {
        if (doc)
            xmlFreeDoc(doc);
        m_impl->error = describeFailure(failure, head.trimmed().isEmpty());
        return false;
    }
    if (!xmlDocGetRootElement(doc)) {
        xmlFreeDoc(doc);
        m_impl->error.reason = QStringLiteral("el documento no tiene elemento raíz");
        return false;
    }
    m_impl->reset(doc);
    m_impl->form = inspectInput(head);
    if (!state.hookWithdrawn)
        m_impl->hook = std::move(options.hook);
    dropBlankText(doc);
    return true;
}

const XmlParseError& XmlDocument::parseError() const
{
    return m_impl->error;
}

const XmlParseHook* XmlDocument::parseHook() const
{
    return m_impl->hook.get();
}
