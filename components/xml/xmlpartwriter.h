#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

struct _xmlNode;
struct _xmlOutputBuffer;

// Elements written straight into a document that is being saved (see XmlDocument::save): each
// call does what the same call on nodes would, with the same checks of names and texts, and
// throws XmlError where that call would.
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
    friend struct XmlPartSave;
    XmlPartWriter() = default;
    void put(const char* data, int size);
    void flush();
    void closeStartTag();

    _xmlOutputBuffer* m_out = nullptr; // writing bytes, or
    _xmlNode* m_node = nullptr;        // making nodes under this one
    std::vector<QByteArray> m_open;    // the names of the open elements
    bool m_startTagOpen = false;
    bool m_writeFailed = false;
    QByteArray m_pending; // written, not yet handed to the serializer's encoder
};
