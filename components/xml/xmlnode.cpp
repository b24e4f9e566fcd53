#include "components/xml/xmlnode.h"

#include "components/xml/xmlprivate.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

using namespace xmlprivate;

std::vector<xmlNodePtr> xmlprivate::evaluate(xmlDocPtr doc, xmlNodePtr context,
                                             const QString& xpath)
{
    // A plain name is the commonest query: answer it by walking the children. The same query
    // comes for element after element, so what it is is worked out once.
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
    return xmlprivate::fromUtf8Text(utf8.constData(), utf8.size());
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

void XmlNode::appendLoadedText(QByteArray& utf8) const
{
    walkSubtree(checked("appendLoadedText"), [&utf8](xmlNodePtr n) {
        if (n->content &&
            (n->type == XML_CDATA_SECTION_NODE || (n->type == XML_TEXT_NODE && keptText(n))))
            utf8.append(reinterpret_cast<const char*>(n->content));
        return n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE;
    });
}

QString XmlNode::fromUtf8Text(QByteArrayView utf8)
{
    return xmlprivate::fromUtf8Text(utf8.data(), utf8.size());
}

bool XmlNode::isPlainElement(const char* name) const
{
    xmlNodePtr node = checked("isPlainElement");
    return node->type == XML_ELEMENT_NODE && node->ns == nullptr &&
           xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name));
}

XmlNode XmlNode::parent() const
{
    return XmlNode(checked("parent")->parent);
}

XmlNode XmlNode::nextSibling() const
{
    return XmlNode(checked("nextSibling")->next);
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

bool isNamedElement(xmlNodePtr node, const xmlChar* name)
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
        count += isNamedElement(c, wanted) ? 1 : 0;
    return count;
}

XmlNode XmlNode::childElement(const QString& name, int position) const
{
    xmlNodePtr node = checked("childElement");
    const xmlChar* wanted = plainName(name);
    for (xmlNodePtr c = node->children; c && position >= 0; c = c->next) {
        if (isNamedElement(c, wanted) && position-- == 0)
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
