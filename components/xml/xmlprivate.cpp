#include "components/xml/xmlprivate.h"

#include "components/text/texts.h"

#include <QStringEncoder>
#include <cstring>
#include <libxml/xmlsave.h>

namespace xmlprivate {

char createdMarker;

QString fromUtf8Text(const char* utf8, qsizetype size)
{
    const QString text = QString::fromUtf8(utf8, size);
    if (size >= 3 && std::memcmp(utf8, "\xEF\xBB\xBF", 3) == 0)
        return QChar(0xFEFF) + text;
    return text;
}

QString fromXmlChars(const char* chars)
{
    return chars ? fromUtf8Text(chars, static_cast<qsizetype>(std::strlen(chars))) : QString();
}

QString fromXmlChars(const xmlChar* chars)
{
    return fromXmlChars(reinterpret_cast<const char*>(chars));
}

namespace {

bool containsCreatedNode(xmlNodePtr root)
{
    bool found = false;
    walkSubtree(root, [&](xmlNodePtr n) {
        if (n->_private == &createdMarker)
            found = true;
        return !found;
    });
    return found;
}

} // namespace

void discardDetached(xmlNodePtr node, std::vector<xmlNodePtr>& deferred)
{
    if (containsCreatedNode(node))
        deferred.push_back(node);
    else
        xmlFreeNode(node);
}

// A document is built from a handful of names used again and again: each is checked once.
const xmlChar* validName(const QString& name, const char* what)
{
    thread_local std::vector<std::pair<QString, QByteArray>> known;
    // A name written in the code is the same string every time: its characters are compared
    // only when it is another copy.
    for (const auto& [text, utf8] : known) {
        if (text.size() == name.size() && (text.constData() == name.constData() || text == name))
            return reinterpret_cast<const xmlChar*>(utf8.constData());
    }
    QByteArray utf8 = name.toUtf8();
    if (xmlValidateName(reinterpret_cast<const xmlChar*>(utf8.constData()), 0) != 0)
        throw XmlError(QStringLiteral("«%1» no es un nombre de %2 válido.")
                           .arg(name, QString::fromLatin1(what)));
    if (known.size() >= 64)
        known.erase(known.begin());
    known.emplace_back(name, std::move(utf8));
    return reinterpret_cast<const xmlChar*>(known.back().second.constData());
}

void requireXmlText(const QString& text, const char* what)
{
    if (const std::optional<char32_t> c = texts::firstNonXmlCharacter(text))
        throw XmlError(
            QStringLiteral("El %1 «%2» contiene un carácter que XML no admite (%3).")
                .arg(QString::fromLatin1(what), texts::printable(text), texts::codePointName(*c)));
}

const xmlChar* utf8Of(const QString& text, int* length)
{
    thread_local std::vector<char> buffer;
    buffer.resize(static_cast<size_t>(text.size()) * 3 + 1);
    thread_local QStringEncoder encoder(QStringEncoder::Utf8);
    char* end = encoder.appendToBuffer(buffer.data(), text);
    *end = '\0';
    if (length)
        *length = static_cast<int>(end - buffer.data());
    return reinterpret_cast<const xmlChar*>(buffer.data());
}

void serializeBody(xmlDocPtr doc, const char* encoding, const Sink& sink)
{
    struct Output {
        const Sink* sink;
        bool failed = false;
    } output{&sink};
    xmlSaveCtxtPtr save = xmlSaveToIO(
        [](void* context, const char* buffer, int len) -> int {
            auto* o = static_cast<Output*>(context);
            if (!(*o->sink)(buffer, len)) {
                o->failed = true;
                return -1;
            }
            return len;
        },
        nullptr, &output, encoding, XML_SAVE_NO_DECL);
    if (!save)
        throw XmlError(QStringLiteral("No se puede escribir el documento en la codificación «%1».")
                           .arg(QString::fromLatin1(encoding)));
    const long written = xmlSaveDoc(save, doc);
    const int closed = xmlSaveClose(save);
    if (output.failed)
        throw XmlError(QStringLiteral("No se pudo escribir el documento."));
    if (written < 0 || closed < 0)
        throw XmlError(QStringLiteral("No se pudo convertir el documento a la codificación «%1».")
                           .arg(QString::fromLatin1(encoding)));
}

std::vector<xmlNodePtr> childrenOf(xmlNodePtr node)
{
    std::vector<xmlNodePtr> out;
    for (xmlNodePtr c = node->children; c; c = c->next)
        out.push_back(c);
    return out;
}

bool isPlainName(const QString& path)
{
    if (path.isEmpty())
        return false;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path.at(i);
        const bool ok = c.isLetter() || c == QLatin1Char('_') ||
                        (i > 0 && (c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.')));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace xmlprivate
