#pragma once

#include "components/platform/engineerror.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct _xmlNode;
struct _xmlDoc;

class XmlDocument;
class XmlNodeList;
class XmlPartWriter;
class XmlRecordStore;

// A node of an XmlDocument. A handle only: it does not own the node and stays valid while its
// document lives and the node has not been removed. A null handle stands for "no node"; every
// operation on it but isNull() throws XmlError.
class XmlNode {
public:
    enum class Type { Element, Text, CData, Comment, ProcessingInstruction, Document, Other };

    XmlNode() = default;

    bool isNull() const { return m_node == nullptr; }
    explicit operator bool() const { return m_node != nullptr; }
    bool operator==(const XmlNode& other) const { return m_node == other.m_node; }

    Type type() const;
    // The element's name; for other nodes, the name libxml2 gives them ("text", "comment").
    QString name() const;

    // The text of the node and of all its descendants, run together in document order,
    // untrimmed. For a comment or processing instruction, its own content.
    QString text() const;
    // Replaces every child of the element with the given text ("" leaves it empty).
    void setText(const QString& text);

    XmlNode firstChild() const;
    XmlNodeList childNodes() const;

    // Nodes selected by an XPath expression evaluated with this node as context, in document
    // order. A plain name ("dato") selects the direct element children of that name.
    XmlNodeList selectNodes(const QString& xpath) const;
    // The first node that selectNodes would give, or a null node.
    XmlNode selectSingleNode(const QString& xpath) const;
    // What selectNodes(name) gives for a plain name, without making the list: how many direct
    // element children of that name there are, and the one at a position from 0 (a null node
    // past the end).
    int childElementCount(const QString& name) const;
    XmlNode childElement(const QString& name, int position) const;

    // The child becomes this node's last child (it leaves its earlier place first).
    void appendChild(XmlNode child);
    // Removes the child from this node and destroys it with everything under it; handles on
    // them must not be used afterwards.
    void removeChild(XmlNode child);

    // Attributes of an element, in the order they stand.
    QString attribute(const QString& name) const;
    QList<QPair<QString, QString>> attributes() const;
    // Sets an attribute; a new one is placed after the element's existing attributes.
    void setAttribute(const QString& name, const QString& value);
    void setAttribute(const QString& name, qint64 value);

private:
    friend class XmlDocument;
    friend class XmlNodeList;
    explicit XmlNode(_xmlNode* node) : m_node(node) {}
    _xmlNode* checked(const char* operation) const;
    _xmlNode* checkedElement(const char* operation) const;

    _xmlNode* m_node = nullptr;
};

// An ordered list of nodes, as selectNodes and childNodes give it.
class XmlNodeList {
public:
    XmlNodeList() = default;

    int length() const { return static_cast<int>(m_nodes.size()); }
    // The node at a position from 0; a null node at or past the end (or below 0).
    XmlNode item(int position) const;

    class const_iterator {
    public:
        explicit const_iterator(std::vector<_xmlNode*>::const_iterator it) : m_it(it) {}
        XmlNode operator*() const { return XmlNode(*m_it); }
        const_iterator& operator++()
        {
            ++m_it;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return m_it != other.m_it; }

    private:
        std::vector<_xmlNode*>::const_iterator m_it;
    };
    const_iterator begin() const { return const_iterator(m_nodes.begin()); }
    const_iterator end() const { return const_iterator(m_nodes.end()); }

private:
    friend class XmlNode;
    friend class XmlDocument;
    explicit XmlNodeList(std::vector<_xmlNode*> nodes) : m_nodes(std::move(nodes)) {}

    std::vector<_xmlNode*> m_nodes;
};

// Why a document could not be loaded: the parser's reason and where it stopped (line and
// column from 1; 0 when the file could not be read at all).
struct XmlParseError {
    QString reason;
    int line = 0;
    int column = 0;

    bool isNull() const { return reason.isEmpty(); }
    // "reason (línea N, columna M)", or the reason alone when there is no position.
    QString toString() const;
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

    // How much of a document to keep. A Yedra document names every value and record in
    // attributes that nobody reads; leaving them out makes a large document's tree far smaller.
    enum class Detail {
        Whole,
        GroupLevel, // attributes only on the root and the first two levels below it
        // As GroupLevel, and of /SERVICIO/BLOQUE_DATOS only its first child that is an
        // element or a text (with what stands before it): all a document written in place of
        // this one needs of it.
        Envelope,
        // As GroupLevel, but the records of /SERVICIO/BLOQUE_DATOS/grupo_datos (their
        // grupo_datos children) are not kept as nodes: the texts of their dato children go to a
        // compact store as each record is read, and everything below the groups is let go of.
        // A document with a DTD, whose entities could reach past the parser's callbacks, is
        // kept as GroupLevel keeps it, with no store.
        Records,
    };

    // Parses the file, replacing the document's content. Returns false when the file cannot
    // be read or is not well-formed XML: the document is then empty and parseError() says why.
    bool load(const QString& path, Detail detail = Detail::Whole);
    // The same for bytes already in memory.
    bool loadXml(const QByteArray& bytes);
    const XmlParseError& parseError() const;
    // What Detail::Records kept of the records; null for a document kept as nodes.
    const XmlRecordStore* recordStore() const;

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
    // into place, so a failure never leaves a half-written document. Throws XmlError.
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
    using Sink = std::function<bool(const char* data, qsizetype size)>;
    // The document's body in an encoding, handed to a sink.
    using Body = std::function<void(const char* encoding, const Sink& sink)>;
    void write(const Sink& sink, const Body& body) const;
    void save(const QString& path, const Body& body) const;
    bool parse(const QByteArray& head, Detail detail,
               const std::function<_xmlDoc*(struct _xmlParserCtxt*, int)>& read);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The records of a document loaded with XmlDocument::Detail::Records, in document order: for
// each, the texts of its values (its direct dato children) as XmlNode::text gives them.
class XmlRecordStore {
public:
    // The records of the groups whose seq is exactly `seq`, one group's after the other's: the
    // ranges [first, end) of their indexes in the store.
    std::vector<std::pair<qsizetype, qsizetype>> records(const QString& seq) const;
    int valueCount(qsizetype record) const;
    // The text of value `position` (from 0, below valueCount) of a record.
    QString value(qsizetype record, int position) const;

private:
    friend class XmlDocument;
    friend struct XmlRecordStoreFiller;
    struct Group {
        QByteArray seq; // UTF-8
        qsizetype firstRecord;
        qsizetype endRecord;
    };
    std::vector<Group> m_groups;
    // Grown piece by piece, never copied whole: a large document has millions of records.
    std::deque<qsizetype> m_recordStarts{0}; // the first value of each record, and one past
    std::deque<qsizetype> m_valueStarts{0};  // where each value's text starts, and one past
    QByteArray m_texts;                      // every value's text, in UTF-8, end to end
};

// Elements written straight into a document that is being saved (see XmlDocument::save): each
// call does what the same call on nodes would, with the same checks of names and texts.
class XmlPartWriter {
public:
    // A new element, inside the one open (or at the slot).
    void startElement(const QString& name);
    // An attribute of the element just started, before any text or child of it.
    void setAttribute(const QString& name, const QString& value);
    void setAttribute(const QString& name, qint64 value);
    // Text inside the open element ("" adds nothing).
    void addText(const QString& text);
    // Ends the open element.
    void endElement();

    XmlPartWriter(const XmlPartWriter&) = delete;
    XmlPartWriter& operator=(const XmlPartWriter&) = delete;

private:
    friend class XmlDocument;
    XmlPartWriter() = default;
    void put(const char* data, int size);
    void flush();
    void closeStartTag();

    struct _xmlOutputBuffer* m_out = nullptr; // writing bytes, or
    _xmlNode* m_node = nullptr;               // making nodes under this one
    std::vector<QByteArray> m_open;           // the names of the open elements
    bool m_startTagOpen = false;
    bool m_writeFailed = false;
    QByteArray m_pending; // written, not yet handed to the serializer's encoder
};
