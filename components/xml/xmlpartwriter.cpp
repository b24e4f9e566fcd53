#include "components/xml/xmlpartwriter.h"

#include "components/xml/xmldocument.h"
#include "components/xml/xmlprivate.h"

#include <QRandomGenerator>
#include <exception>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

using namespace xmlprivate;

// A save with parts (see XmlDocument::save): the document written around its slot, and the
// parts in the slot.
struct XmlPartSave {
    using WritePart = std::function<bool(XmlPartWriter& part)>;

    static bool writeFailed(const XmlPartWriter& part) { return part.m_writeFailed; }

    // The document is serialized around a mark that stands in the slot: the bytes, and where
    // the mark stands in them (-1 when the encoding does not write it as ASCII).
    struct Around {
        QByteArray bytes;
        qsizetype at = -1;
        qsizetype markSize = 0;
    };
    static Around serializeAroundMark(xmlDocPtr doc, xmlNodePtr slot, const char* encoding)
    {
        // The mark's name is new every time, so nothing in the document can look like it.
        const QByteArray markName =
            "quelvana-parte-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        xmlNodePtr mark = xmlNewDocNode(
            doc, nullptr, reinterpret_cast<const xmlChar*>(markName.constData()), nullptr);
        if (!mark || !xmlAddChild(slot, mark))
            throw XmlError(QStringLiteral("No hay memoria suficiente para escribir el documento."));
        Around around;
        try {
            serializeBody(doc, encoding, [&around](const char* data, qsizetype size) {
                around.bytes.append(data, size);
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
        around.at = around.bytes.lastIndexOf(markText);
        around.markSize = markText.size();
        return around;
    }

    // The parts made as nodes in the slot, written with the document, and let go of.
    static void writeAsNodes(xmlDocPtr doc, xmlNodePtr slot, const char* encoding, const Sink& sink,
                             const WritePart& writeNext)
    {
        XmlPartWriter part;
        part.m_node = slot;
        try {
            while (writeNext(part)) {
            }
            serializeBody(doc, encoding, sink);
        } catch (...) {
            xmlFreeNodeList(slot->children);
            slot->children = slot->last = nullptr;
            throw;
        }
        xmlFreeNodeList(slot->children);
        slot->children = slot->last = nullptr;
    }

    // The parts written as bytes through the encoder the serializer uses, so that a character
    // the encoding lacks becomes the same character reference.
    static void writeEncoded(const char* encoding, const Sink& sink, const WritePart& writeNext)
    {
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
        XmlPartWriter part;
        part.m_out = out.get();
        while (writeNext(part)) {
        }
        if (!part.m_open.empty())
            throw XmlError(QStringLiteral("Una parte del documento deja elementos sin cerrar."));
        part.flush();
        if (xmlOutputBufferFlush(out.get()) < 0)
            throw XmlError(QStringLiteral("No se pudo escribir el documento."));
    }

    static void write(xmlDocPtr doc, xmlNodePtr slot, const char* encoding, const Sink& sink,
                      const WritePart& writeNext)
    {
        const Around around = serializeAroundMark(doc, slot, encoding);
        if (around.at < 0) {
            writeAsNodes(doc, slot, encoding, sink, writeNext);
            return;
        }
        auto put = [&sink](const char* data, qsizetype size) {
            if (size > 0 && !sink(data, size))
                throw XmlError(QStringLiteral("No se pudo escribir el documento."));
        };
        put(around.bytes.constData(), around.at);
        writeEncoded(encoding, sink, writeNext);
        const qsizetype after = around.at + around.markSize;
        put(around.bytes.constData() + after, around.bytes.size() - after);
    }
};

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
            if (XmlPartSave::writeFailed(part))
                throw;
            partFailure = std::current_exception();
            throw XmlError(QString());
        }
    };
    try {
        save(path, [&](const char* encoding, const Sink& sink) {
            XmlPartSave::write(m_impl->doc, slotNode, encoding, sink, writeNext);
        });
    } catch (const XmlError&) {
        if (partFailure)
            std::rethrow_exception(partFailure);
        throw;
    }
}

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
