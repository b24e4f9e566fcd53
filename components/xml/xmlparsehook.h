#pragma once

#include "components/xml/xmlnode.h"

#include <QByteArrayView>

// Sees a document while XmlDocument::load parses it, and may keep parts of it out of the tree:
// a reader that takes what it needs as the parse goes keeps a large document's tree small.
//
// Depths count from the root element's 0; content other than elements stands at the depth an
// element would have in its place. Of a part left out the hook hears nothing more. A document
// that declares a type (DOCTYPE) is not shown to the hook past that point and is kept whole:
// its entities could put nodes in the tree that the hook never sees.
//
// The nodes the hook is handed may be read, never changed; what becomes of them is said by
// what the hook returns.
class XmlParseHook {
public:
    virtual ~XmlParseHook() = default;

    // The calls a hook wants, one bit each: the parse reports only these, and runs as fast as
    // it would without a hook for everything else.
    enum Call : unsigned {
        StartCalls = 1,   // startElement; content inside a left-out element is left out too
        EndCalls = 2,     // endElement
        ContentCalls = 4, // content
    };
    virtual unsigned calls() const = 0;

    // An element's start tag as it stands.
    class StartTag {
    public:
        // The local name, in UTF-8.
        QByteArrayView name() const { return m_name; }
        // Whether the element is in a namespace (a prefix, or a default namespace in force).
        bool inNamespace() const { return m_inNamespace; }
        // Whether the tag has the attribute prefix:name ("" for no prefix), whatever its value.
        bool hasAttribute(QByteArrayView prefix, QByteArrayView name) const;

    private:
        friend struct XmlHookedParse;
        StartTag(QByteArrayView name, bool inNamespace, const unsigned char** attributes,
                 int attributeCount)
            : m_name(name), m_inNamespace(inNamespace), m_attributes(attributes),
              m_attributeCount(attributeCount)
        {
        }

        QByteArrayView m_name;
        bool m_inNamespace;
        const unsigned char** m_attributes; // as libxml2 hands them: five pointers each
        int m_attributeCount;
    };
    // Returns false to leave the element out of the tree with everything in it.
    virtual bool startElement(const StartTag& tag, int depth)
    {
        (void)tag;
        (void)depth;
        return true;
    }

    // What becomes of an element once the hook has seen it whole.
    enum class Afterwards {
        Keep,
        Empty,       // everything in it is let go of; the element stays, empty
        EmptyParent, // everything in its parent so far is let go of, this element with it
    };
    // `element` stands in the tree with all its content, its parent's last child.
    virtual Afterwards endElement(XmlNode element, int depth)
    {
        (void)element;
        (void)depth;
        return Afterwards::Keep;
    }

    enum class Content { Text, CData, Comment, ProcessingInstruction };
    // Content that is not an element, before it is put in the tree; `text` is what a text or
    // CDATA section holds, in UTF-8 (a text may come in several pieces), and empty for the
    // others. Returns false to leave it out. Text that the parser takes for blank space between
    // elements never comes here: it is not kept.
    virtual bool content(Content kind, QByteArrayView text, int depth)
    {
        (void)kind;
        (void)text;
        (void)depth;
        return true;
    }
};
