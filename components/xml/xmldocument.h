#pragma once

// Errors of the XML layer: an operation that fails throws XmlError (see xmlerrors.h); loading
// a document returns false instead, and parseError() says why.

#include "components/xml/xmlerrors.h"
#include "components/xml/xmlnode.h"
#include "components/xml/xmlparsehook.h"
#include "components/xml/xmlpartwriter.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

struct _xmlDoc;

// What of a document XmlDocument::load keeps as nodes: all of it unless told otherwise.
struct XmlLoadOptions {
    // Attributes stay on the elements down to this depth (the root's is 0) and are left out
    // below it; all of them stay when it is negative.
    int attributeDepth = -1;
    // Sees the document as it is parsed and may leave parts of it out (see XmlParseHook).
    std::unique_ptr<XmlParseHook> hook = nullptr;
};

// An XML document held in memory.
//
// Loading never reaches the network and never reads an external entity or DTD; entity
// expansion is bounded. Text made only of white space is not kept, except under
// xml:space="preserve". The nodes outside the root (comments, processing instructions, the
// document type) are kept in order, and the XML declaration as it stood.
//
// Saving writes that declaration again, in the encoding it names (UTF-8 when the input had
// none, and then no declaration), the kept nodes, then the root; no indentation is added.
class XmlDocument {
public:
    // An empty document, with no root.
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument&& other) noexcept;
    XmlDocument& operator=(XmlDocument&& other) noexcept;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Parses the file, replacing the document's content. Returns false when the file cannot
    // be read or is not well-formed XML: the document is then empty and parseError() says why.
    bool load(const QString& path, XmlLoadOptions options = {});
    // The same for bytes already in memory, kept whole.
    bool loadXml(const QByteArray& bytes);
    const XmlParseError& parseError() const;
    // The hook the document was loaded with, kept with it (and with whatever it gathered) until
    // the next load. Null when there was none, when loading failed, or when the document
    // declares a type, which the hook was not shown whole.
    const XmlParseHook* parseHook() const;

    XmlNode documentElement() const;
    XmlNode firstChild() const;
    XmlNodeList childNodes() const;
    XmlNodeList selectNodes(const QString& xpath) const;
    XmlNode selectSingleNode(const QString& xpath) const;

    // A new element of this document, in no place yet.
    XmlNode createElement(const QString& name);
    // A new node of the given type in no place yet; only elements are made. An empty
    // namespace gives an element in no namespace.
    XmlNode createNode(XmlNode::Type type, const QString& name, const QString& namespaceUri);

    // The child becomes the document's last child. A second root element is refused.
    void appendChild(XmlNode child);
    // Removes a node that stands directly in the document and destroys it.
    void removeChild(XmlNode child);

    // The whole document as saved to a file.
    QByteArray toBytes() const;
    // The same, handed piece by piece to `sink`, which returns false when it cannot take them.
    void write(const std::function<bool(const char* data, qsizetype size)>& sink) const;
    // Atomic save: the file is written under a temporary name beside the target and renamed
    // into place, so a failure never leaves a half-written document.
    void save(const QString& path) const;

    // The same save, with the children of `slot` (an element of this document, empty) written
    // by `writePart` while the document is written: it is called again and again, writes the
    // next children, and returns false once it has written the last ones. Nothing of them is
    // held, so a large document is never in memory whole; the bytes are those the same
    // children would give standing in the document. An exception from `writePart` ends the
    // save as it stands and leaves the target untouched. The document itself is not changed.
    void save(const QString& path, XmlNode slot,
              const std::function<bool(XmlPartWriter& part)>& writePart);

private:
    friend class XmlNode;
    friend struct XmlHookedParse;
    using Sink = std::function<bool(const char* data, qsizetype size)>;
    // The document's body in an encoding, handed to a sink.
    using Body = std::function<void(const char* encoding, const Sink& sink)>;
    void write(const Sink& sink, const Body& body) const;
    void save(const QString& path, const Body& body) const;
    bool parse(const QByteArray& head, XmlLoadOptions& options,
               const std::function<_xmlDoc*(struct _xmlParserCtxt*, int)>& read);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
