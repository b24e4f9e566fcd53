#pragma once

#include "components/xml/xmlerrors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <vector>

struct _xmlNode;

class XmlDocument;
class XmlNodeList;

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
    // Whether the node is an element of this name (in UTF-8) in no namespace: a test made
    // again and again, with nothing converted.
    bool isPlainElement(const char* name) const;

    // The text of the node and of all its descendants, run together in document order,
    // untrimmed. For a comment or processing instruction, its own content.
    QString text() const;
    // Replaces every child of the element with the given text ("" leaves it empty).
    void setText(const QString& text);
    // The text that text() gives once the document is loaded, in UTF-8, appended to `utf8`:
    // for a hook reading a node while it is parsed, before the text nodes made only of blanks
    // that loading lets go of are gone (see XmlDocument::load).
    void appendLoadedText(QByteArray& utf8) const;
    // Text in UTF-8 as this layer gives it, as a QString: a U+FEFF at its start is a character
    // of the text, never a byte-order mark.
    static QString fromUtf8Text(QByteArrayView utf8);

    // The element or document the node stands in; a null node for one in no place.
    XmlNode parent() const;
    XmlNode firstChild() const;
    // The node after this one in its parent; a null node after the last.
    XmlNode nextSibling() const;
    XmlNodeList childNodes() const;

    // Nodes selected by an XPath expression evaluated with this node as context, in document
    // order. A plain name ("item") selects the direct element children of that name.
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
    friend struct XmlHookedParse;
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
