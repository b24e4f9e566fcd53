#pragma once

// What the files of the XML layer share and no other folder sees: libxml2's types and the
// document's inside.

#include "components/xml/xmldocument.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <libxml/tree.h>
#include <memory>
#include <vector>

namespace xmlprivate {

// libxml2 set up for this program, once, and its messages silenced on the calling thread.
void prepareLibxml();

// Marks nodes made by createElement: they may stand outside the tree and are freed with the
// document, so a removal must not free them early.
extern char createdMarker;

// Text in UTF-8 as it stands: Qt takes a U+FEFF at the start for a byte-order mark and drops
// it, but inside a document it is a character of the text.
QString fromUtf8Text(const char* utf8, qsizetype size);
QString fromXmlChars(const char* chars);
QString fromXmlChars(const xmlChar* chars);

inline bool isXmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
inline bool isBlankText(const xmlChar* content)
{
    if (!content)
        return true;
    for (const xmlChar* p = content; *p; ++p) {
        if (!isXmlBlank(static_cast<char>(*p)))
            return false;
    }
    return true;
}
// Whether loading keeps a text node: one made only of blanks goes unless xml:space="preserve"
// stands over it.
inline bool keptText(xmlNodePtr text)
{
    return !isBlankText(text->content) || xmlNodeGetSpacePreserve(text->parent) == 1;
}

// Pre-order walk of a subtree without recursion (documents nest deeply on purpose). `visit`
// returns whether to go below the node.
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

// Frees a node that has left the tree, unless a node made by createElement lies inside it:
// such nodes are freed by the document at its end, so the subtree waits in `deferred`.
void discardDetached(xmlNodePtr node, std::vector<xmlNodePtr>& deferred);

// Element and attribute names as libxml2 takes them; a name XML does not allow throws
// XmlError ("«x y» no es un nombre de elemento válido.").
const xmlChar* validName(const QString& name, const char* what);
// A text the document is to hold: one with a character XML 1.0 does not allow would make the
// saved document unreadable, so it throws XmlError.
void requireXmlText(const QString& text, const char* what);
// A text in UTF-8, in a buffer reused from call to call; valid until the next call.
const xmlChar* utf8Of(const QString& text, int* length = nullptr);

// Where serialized bytes go: true when they were taken.
using Sink = std::function<bool(const char* data, qsizetype size)>;
// The document from its first node on, without a declaration, in the given encoding, handed to
// `sink` piece by piece. Throws XmlError.
void serializeBody(xmlDocPtr doc, const char* encoding, const Sink& sink);

inline xmlNodePtr docAsNode(xmlDocPtr doc)
{
    return reinterpret_cast<xmlNodePtr>(doc);
}
std::vector<xmlNodePtr> childrenOf(xmlNodePtr node);
// The nodes an XPath expression selects with `context` as its context node (see
// XmlNode::selectNodes). Throws XmlError.
std::vector<xmlNodePtr> evaluate(xmlDocPtr doc, xmlNodePtr context, const QString& xpath);
// A name as a query may give it alone: letters, digits, '_', '-' and '.', not starting with a
// digit, '-' or '.'.
bool isPlainName(const QString& path);

// How the input stood on disk, kept so that a save writes the same form again.
struct InputForm {
    enum class Family { Bytes, Utf16LE, Utf16BE };
    Family family = Family::Bytes;
    QByteArray bom;
    QByteArray declaration; // the XML declaration's bytes as they stood, in the input's encoding
    QByteArray encoding;    // the encoding the declaration names, empty when it names none
};
// The form of the input from its first bytes (1024 are enough).
InputForm inspectInput(const QByteArray& head);
// A byte-order mark says what the encoding is; a declaration naming another one leaves the
// document's characters in doubt, so it is refused: the reason, empty when they agree.
QString bomContradiction(const InputForm& form);

// What the parser reported of a failed parse, gathered as it reported it.
struct ParserFailure {
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
    // The first external resource the document asked for (refused), and where.
    QString refusedEntity;
    int refusedLine = 0;
    int refusedColumn = 0;
};
// Takes one error the parser reports: the first fatal one is the reason, and anything after it
// a consequence.
void noteParserError(ParserFailure& failure, const xmlError& error);
// Remembers the first external resource asked for.
void noteRefusedResource(ParserFailure& failure, const char* url, const char* id, int line,
                         int column);
// Why the parse failed, in Spanish, with where it stopped; `blankInput` when the input holds
// nothing but blanks.
XmlParseError describeFailure(const ParserFailure& failure, bool blankInput);

} // namespace xmlprivate

struct XmlDocument::Impl {
    xmlDocPtr doc = nullptr;
    XmlParseError error;
    xmlprivate::InputForm form;
    std::unique_ptr<XmlParseHook> hook;
    std::vector<xmlNodePtr> created;  // every node made by createElement
    std::vector<xmlNodePtr> deferred; // removed subtrees that hold some of them

    Impl() { reset(nullptr); }
    ~Impl() { release(); }

    // The document becomes `newDoc` (a new empty one for null), with no error, form or hook.
    void reset(xmlDocPtr newDoc);
    void release();

    static Impl* of(xmlNodePtr node) { return static_cast<Impl*>(node->doc->_private); }

    // Remembers a node made here until it has a place in a tree; the list is cleared of the
    // placed ones as it grows, so a large document does not keep a pointer per node.
    void track(xmlNodePtr node);
    size_t compactAt = 1024;
};
