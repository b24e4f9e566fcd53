#include "components/xml/xmlprivate.h"

#include <QRegularExpression>

namespace xmlprivate {

namespace {

// The byte-order mark, or the first characters of a declaration, say in which family of
// encodings the input is; returns where the text starts after the mark.
qsizetype readFamily(const QByteArray& bytes, InputForm& form)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        form.bom = bytes.left(3);
        return 3;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        form.family = InputForm::Family::Utf16LE;
        form.bom = bytes.left(2);
        return 2;
    }
    if (bytes.startsWith("\xFE\xFF")) {
        form.family = InputForm::Family::Utf16BE;
        form.bom = bytes.left(2);
        return 2;
    }
    if (bytes.startsWith(QByteArray("<\0?\0", 4)))
        form.family = InputForm::Family::Utf16LE;
    else if (bytes.startsWith(QByteArray("\0<\0?", 4)))
        form.family = InputForm::Family::Utf16BE;
    return 0;
}

// The declaration of an input in a single-byte encoding or UTF-8: kept in `form`, and
// returned decoded (empty when there is none).
QString readBytesDeclaration(const QByteArray& bytes, qsizetype start, InputForm& form)
{
    const QByteArray rest = bytes.mid(start, 1024);
    if (!rest.startsWith("<?xml") || rest.size() <= 5 || !isXmlBlank(rest.at(5)))
        return QString();
    const qsizetype end = rest.indexOf("?>");
    if (end <= 0)
        return QString();
    form.declaration = rest.left(end + 2);
    return QString::fromLatin1(form.declaration);
}

// The same for an input in UTF-16.
QString readUtf16Declaration(const QByteArray& bytes, qsizetype start, InputForm& form)
{
    const bool le = form.family == InputForm::Family::Utf16LE;
    QString decoded;
    for (qsizetype i = start; i + 1 < bytes.size() && decoded.size() < 512; i += 2) {
        const auto lo = static_cast<unsigned char>(bytes.at(le ? i : i + 1));
        const auto hi = static_cast<unsigned char>(bytes.at(le ? i + 1 : i));
        decoded.append(QChar(static_cast<char16_t>(hi << 8 | lo)));
        if (decoded.endsWith(QStringLiteral("?>")))
            break;
    }
    if (!decoded.startsWith(QStringLiteral("<?xml")) || decoded.size() <= 5 ||
        decoded.at(5).unicode() >= 128 || !isXmlBlank(char(decoded.at(5).unicode())) ||
        !decoded.endsWith(QStringLiteral("?>")))
        return QString();
    form.declaration = bytes.mid(start, decoded.size() * 2);
    return decoded;
}

} // namespace

InputForm inspectInput(const QByteArray& head)
{
    InputForm form;
    const qsizetype start = readFamily(head, form);
    const QString declaration = form.family == InputForm::Family::Bytes
                                    ? readBytesDeclaration(head, start, form)
                                    : readUtf16Declaration(head, start, form);
    if (!declaration.isEmpty()) {
        static const QRegularExpression encodingAttribute(
            QStringLiteral("encoding\\s*=\\s*([\"'])([^\"']*)\\1"));
        const auto match = encodingAttribute.match(declaration);
        if (match.hasMatch())
            form.encoding = match.captured(2).toLatin1();
    }
    return form;
}

QString bomContradiction(const InputForm& form)
{
    if (form.bom.isEmpty() || form.encoding.isEmpty())
        return QString();
    const QByteArray declared = form.encoding.toUpper();
    const bool utf8 = form.family == InputForm::Family::Bytes;
    const bool agrees = utf8 ? (declared == "UTF-8" || declared == "UTF8")
                             : (declared.startsWith("UTF-16") || declared.startsWith("UTF16") ||
                                declared == "UCS-2" || declared == "ISO-10646-UCS-2");
    if (agrees)
        return QString();
    return QStringLiteral("el archivo empieza con la marca de orden de bytes de %1, pero su "
                          "declaración XML dice que está en «%2»")
        .arg(utf8 ? QStringLiteral("UTF-8") : QStringLiteral("UTF-16"),
             QString::fromLatin1(form.encoding));
}

} // namespace xmlprivate
