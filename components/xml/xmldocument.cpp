#include "components/xml/xmldocument.h"

#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/xml/xmlprivate.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>

using namespace xmlprivate;

void XmlDocument::Impl::reset(xmlDocPtr newDoc)
{
    release();
    doc = newDoc ? newDoc : xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (!doc)
        throw XmlError(QStringLiteral("No hay memoria suficiente para crear un documento."));
    doc->_private = this;
    form = InputForm();
    error = XmlParseError();
    hook.reset();
}

void XmlDocument::Impl::release()
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

void XmlDocument::Impl::track(xmlNodePtr node)
{
    if (created.size() >= compactAt) {
        std::erase_if(created, [](xmlNodePtr n) { return n->parent != nullptr; });
        compactAt = std::max<size_t>(1024, created.size() * 2);
    }
    created.push_back(node);
}

XmlDocument::XmlDocument()
{
    prepareLibxml();
    m_impl = std::make_unique<Impl>();
}

XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&& other) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept = default;

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
