#include "components/xml/xmlerrors.h"

#include "components/xml/xmlprivate.h"

#include <QRegularExpression>
#include <libxml/xmlerror.h>

QString XmlParseError::toString() const
{
    if (line > 0 && column > 0)
        return QStringLiteral("%1 (línea %2, columna %3)").arg(reason).arg(line).arg(column);
    if (line > 0)
        return QStringLiteral("%1 (línea %2)").arg(reason).arg(line);
    return reason;
}

namespace xmlprivate {

namespace {

// A part of the document past the parser's size limit (10 MB each, which it keeps unless told
// otherwise), by the parser's message: the reason names the limit, never what the parser goes on
// to report (out of memory, a comment not closed).
std::optional<QString> sizeLimitReason(const QString& message)
{
    static const struct {
        const char* says;
        const char16_t* part;
    } parts[] = {
        {"AttValue length too long", u"el valor de un atributo"},
        {"Comment too big", u"un comentario"},
        {"CData section too big", u"una sección CDATA"},
        {"too big found", u"una instrucción de procesamiento"}, // "PI name too big found"
        {"entity value too long", u"el valor de una entidad"},
    };
    for (const auto& part : parts) {
        if (message.contains(QLatin1String(part.says)))
            return QStringLiteral("%1 pasa del límite de tamaño del analizador XML (10 MB)")
                .arg(QString::fromUtf16(part.part));
    }
    return std::nullopt;
}

} // namespace

void noteParserError(ParserFailure& failure, const xmlError& error)
{
    // An undeclared parameter entity comes as a warning.
    if (error.level < XML_ERR_ERROR && error.code != XML_WAR_UNDECLARED_ENTITY)
        return;
    if (failure.decisive)
        return;
    if (error.code == XML_ERR_NO_MEMORY && failure.haveError &&
        sizeLimitReason(failure.libxmlMessage))
        return;
    const bool decisive =
        error.code == XML_WAR_UNDECLARED_ENTITY || error.code == XML_ERR_NO_MEMORY;
    if (!decisive && failure.haveError && !(error.level == XML_ERR_FATAL && failure.code == 0))
        return;
    failure.haveError = true;
    failure.decisive = decisive;
    failure.code = error.level == XML_ERR_FATAL || decisive ? error.code : 0;
    failure.libxmlMessage = fromXmlChars(error.message).trimmed();
    failure.detail1 = fromXmlChars(error.str1);
    failure.detail2 = fromXmlChars(error.str2);
    failure.line = error.line;
    failure.column = error.int2;
}

void noteRefusedResource(ParserFailure& failure, const char* url, const char* id, int line,
                         int column)
{
    if (!failure.refusedEntity.isEmpty())
        return;
    failure.refusedEntity = fromXmlChars(url ? url : id);
    if (failure.refusedEntity.isEmpty())
        failure.refusedEntity = QStringLiteral("?");
    failure.refusedLine = line;
    failure.refusedColumn = column;
}

namespace {

// The parser's limits, which it keeps unless told otherwise ("use XML_PARSE_HUGE option"):
// the reason for passing one, or nothing for another error.
std::optional<QString> limitReason(const QString& message)
{
    if (!message.contains(QLatin1String("XML_PARSE_HUGE")) &&
        !message.contains(QLatin1String("huge"), Qt::CaseInsensitive))
        return std::nullopt;
    if (message.contains(QLatin1String("depth"), Qt::CaseInsensitive)) {
        static const QRegularExpression number(QStringLiteral("\\d+"));
        const QRegularExpressionMatch limit = number.match(message);
        if (limit.hasMatch())
            return QStringLiteral("los elementos están anidados a demasiada profundidad "
                                  "(más de %1 niveles)")
                .arg(limit.captured());
        return QStringLiteral("los elementos están anidados a demasiada profundidad");
    }
    if (message.contains(QLatin1String("text"), Qt::CaseInsensitive))
        return QStringLiteral("un texto del documento es demasiado largo");
    if (message.contains(QLatin1String("Name"), Qt::CaseInsensitive))
        return QStringLiteral("un nombre del documento es demasiado largo");
    if (message.contains(QLatin1String("AttValue"), Qt::CaseInsensitive))
        return QStringLiteral("el valor de un atributo es demasiado largo");
    return QStringLiteral("el documento pasa de los límites de tamaño del analizador XML");
}

// The reasons that name what the parser found, or tell apart errors it gives one code.
std::optional<QString> detailedReason(const ParserFailure& c, bool blankInput)
{
    const auto messageHas = [&c](const char* text) {
        return c.libxmlMessage.contains(QLatin1String(text));
    };
    switch (c.code) {
    case XML_ERR_DOCUMENT_EMPTY:
        return blankInput ? QStringLiteral("el archivo está vacío")
                          : QStringLiteral("el archivo no contiene ningún elemento XML");
    case XML_ERR_TAG_NAME_MISMATCH:
        return QStringLiteral("la etiqueta de cierre </%1> no corresponde a la de apertura <%2>")
            .arg(c.detail2, c.detail1);
    case XML_ERR_TAG_NOT_FINISHED:
        return QStringLiteral("el archivo termina sin cerrar el elemento <%1>").arg(c.detail1);
    case XML_ERR_NAME_REQUIRED:
        if (messageHas("EntityRef"))
            return QStringLiteral("hay un «&» que no empieza una referencia válida "
                                  "(dentro de un texto se escribe «&amp;»)");
        return QStringLiteral("falta un nombre de elemento o de atributo");
    case XML_ERR_INVALID_CHAR:
        if (messageHas("encoding"))
            return QStringLiteral("el contenido no está en la codificación que declara el archivo");
        return QStringLiteral("hay un carácter no permitido en XML");
    case XML_ERR_UNSUPPORTED_ENCODING:
    case XML_ERR_UNKNOWN_ENCODING:
        if (!c.detail1.isEmpty())
            return QStringLiteral("la codificación declarada («%1») no está admitida")
                .arg(c.detail1);
        return QStringLiteral("la codificación declarada no está admitida");
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
        if (c.libxmlMessage.startsWith(QLatin1String("PEReference")))
            return QStringLiteral("se usa una entidad de parámetro no declarada (%%1;)")
                .arg(c.detail1);
        return QStringLiteral("se usa una entidad no declarada (&%1;)").arg(c.detail1);
    case XML_ERR_UNPARSED_ENTITY:
        return QStringLiteral("se usa una entidad no analizable (&%1;)").arg(c.detail1);
    case XML_ERR_ENTITY_IS_EXTERNAL:
    case XML_ERR_EXT_ENTITY_STANDALONE:
        return QStringLiteral("se usa una entidad externa (&%1;), lo que no se admite")
            .arg(c.detail1);
    case XML_ERR_ATTRIBUTE_REDEFINED:
    case XML_NS_ERR_ATTRIBUTE_REDEFINED:
        return QStringLiteral("un elemento repite el atributo «%1»").arg(c.detail1);
    case XML_ERR_NO_MEMORY:
        if (c.libxmlMessage.contains(QLatin1String("text"), Qt::CaseInsensitive))
            return QStringLiteral("un texto del documento es demasiado largo");
        return QStringLiteral("no hay memoria suficiente para leer el documento");
    default:
        return std::nullopt;
    }
}

// Every other reason, by the codes that give it.
struct FixedReason {
    std::initializer_list<int> codes;
    const char16_t* reason;
};

const FixedReason fixedReasons[] = {
    {{XML_ERR_DOCUMENT_START}, u"el archivo no empieza como un documento XML"},
    {{XML_ERR_DOCUMENT_END, XML_ERR_EXTRA_CONTENT},
     u"hay contenido después del final del elemento raíz"},
    {{XML_ERR_GT_REQUIRED}, u"falta «>» al final de una etiqueta"},
    {{XML_ERR_LTSLASH_REQUIRED}, u"falta la etiqueta de cierre"},
    {{XML_ERR_INVALID_HEX_CHARREF, XML_ERR_INVALID_CHARREF, XML_ERR_INVALID_DEC_CHARREF},
     u"hay un carácter no permitido en XML"},
    {{XML_ERR_INVALID_ENCODING, XML_ERR_ENTITY_CHAR_ERROR},
     u"el contenido no está en la codificación que declara el archivo"},
    {{XML_ERR_ENCODING_NAME, XML_ERR_MISSING_ENCODING},
     u"el nombre de la codificación de la declaración XML está mal escrito"},
    {{XML_ERR_ENTITY_IS_PARAMETER, XML_ERR_ENTITY_PE_INTERNAL},
     u"se usa una entidad de parámetro donde no se admite"},
    {{XML_ERR_ENTITY_LOOP},
     u"las entidades se expanden sin límite (referencias en bucle o expansión excesiva)"},
    {{XML_ERR_ENTITY_BOUNDARY, XML_ERR_ENTITY_PROCESSING, XML_ERR_ENTITY_NOT_STARTED,
      XML_ERR_ENTITY_NOT_FINISHED},
     u"la declaración o el contenido de una entidad está mal formado"},
    {{XML_ERR_CHARREF_AT_EOF, XML_ERR_ENTITYREF_AT_EOF, XML_ERR_PEREF_AT_EOF},
     u"el archivo termina en medio de una referencia"},
    {{XML_ERR_CHARREF_IN_PROLOG, XML_ERR_CHARREF_IN_EPILOG, XML_ERR_CHARREF_IN_DTD,
      XML_ERR_ENTITYREF_IN_PROLOG, XML_ERR_ENTITYREF_IN_EPILOG, XML_ERR_ENTITYREF_IN_DTD,
      XML_ERR_PEREF_IN_PROLOG, XML_ERR_PEREF_IN_EPILOG, XML_ERR_PEREF_IN_INT_SUBSET},
     u"hay una referencia fuera del lugar en que se admite"},
    {{XML_ERR_ENTITYREF_NO_NAME, XML_ERR_PEREF_NO_NAME},
     u"hay una referencia sin nombre (un «&» o un «%» sin escapar)"},
    {{XML_ERR_PEREF_SEMICOL_MISSING, XML_ERR_ENTITYREF_SEMICOL_MISSING},
     u"falta «;» tras una referencia (un «&» sin escapar)"},
    {{XML_ERR_ATTRIBUTE_WITHOUT_VALUE, XML_ERR_ATTRIBUTE_NOT_STARTED,
      XML_ERR_ATTRIBUTE_NOT_FINISHED, XML_ERR_EQUAL_REQUIRED, XML_ERR_STRING_NOT_STARTED,
      XML_ERR_STRING_NOT_CLOSED, XML_ERR_VALUE_REQUIRED},
     u"un atributo está mal escrito"},
    {{XML_ERR_LT_IN_ATTRIBUTE}, u"el valor de un atributo contiene «<»"},
    {{XML_ERR_COMMENT_NOT_FINISHED}, u"un comentario no está cerrado"},
    {{XML_ERR_HYPHEN_IN_COMMENT}, u"un comentario contiene «--»"},
    {{XML_ERR_PI_NOT_STARTED, XML_ERR_PI_NOT_FINISHED, XML_ERR_RESERVED_XML_NAME},
     u"una instrucción de procesamiento está mal escrita o mal situada"},
    {{XML_ERR_XMLDECL_NOT_STARTED, XML_ERR_XMLDECL_NOT_FINISHED, XML_ERR_VERSION_MISSING,
      XML_ERR_STANDALONE_VALUE, XML_ERR_UNKNOWN_VERSION, XML_ERR_VERSION_MISMATCH},
     u"la declaración XML del principio está mal escrita"},
    {{XML_ERR_CDATA_NOT_FINISHED}, u"una sección CDATA no está cerrada"},
    {{XML_ERR_MISPLACED_CDATA_END}, u"un texto contiene «]]>», que ha de escribirse «]]&gt;»"},
    {{XML_ERR_DOCTYPE_NOT_FINISHED,
      XML_ERR_EXT_SUBSET_NOT_FINISHED,
      XML_ERR_NOTATION_NOT_STARTED,
      XML_ERR_NOTATION_NOT_FINISHED,
      XML_ERR_NOTATION_PROCESSING,
      XML_ERR_ATTLIST_NOT_STARTED,
      XML_ERR_ATTLIST_NOT_FINISHED,
      XML_ERR_MIXED_NOT_STARTED,
      XML_ERR_MIXED_NOT_FINISHED,
      XML_ERR_ELEMCONTENT_NOT_STARTED,
      XML_ERR_ELEMCONTENT_NOT_FINISHED,
      XML_ERR_CONDSEC_NOT_STARTED,
      XML_ERR_CONDSEC_NOT_FINISHED,
      XML_ERR_CONDSEC_INVALID,
      XML_ERR_CONDSEC_INVALID_KEYWORD,
      XML_ERR_PCDATA_REQUIRED,
      XML_ERR_NMTOKEN_REQUIRED,
      XML_ERR_SEPARATOR_REQUIRED,
      XML_ERR_LITERAL_NOT_STARTED,
      XML_ERR_LITERAL_NOT_FINISHED,
      XML_ERR_URI_REQUIRED,
      XML_ERR_PUBID_REQUIRED,
      XML_ERR_INVALID_URI,
      XML_ERR_URI_FRAGMENT,
      XML_ERR_NO_DTD},
     u"la declaración de tipo de documento (DOCTYPE) está mal escrita"},
    {{XML_ERR_SPACE_REQUIRED}, u"falta un espacio en blanco en una etiqueta o declaración"},
    {{XML_ERR_LT_REQUIRED}, u"falta «<» al principio de una etiqueta"},
    {{XML_ERR_NOT_WELL_BALANCED}, u"las etiquetas de apertura y cierre no están equilibradas"},
    {{XML_ERR_NAME_TOO_LONG}, u"un nombre del documento es demasiado largo"},
    {{XML_ERR_NS_DECL_ERROR, XML_NS_ERR_XML_NAMESPACE, XML_NS_ERR_UNDEFINED_NAMESPACE,
      XML_NS_ERR_QNAME, XML_NS_ERR_EMPTY, XML_NS_ERR_COLON},
     u"un espacio de nombres está mal declarado o no está declarado"},
    {{XML_ERR_INTERNAL_ERROR}, u"el analizador XML no ha podido seguir leyendo el documento"},
    {{XML_ERR_USER_STOP}, u"la lectura del documento se ha interrumpido"},
};

// The parser's reason in Spanish, for every error libxml2 reports; its own English text is
// never shown.
QString reasonOf(const ParserFailure& c, bool blankInput)
{
    if (std::optional<QString> reason = sizeLimitReason(c.libxmlMessage))
        return *reason;
    if (std::optional<QString> reason = limitReason(c.libxmlMessage))
        return *reason;
    if (std::optional<QString> reason = detailedReason(c, blankInput))
        return *reason;
    for (const FixedReason& fixed : fixedReasons) {
        if (std::find(fixed.codes.begin(), fixed.codes.end(), c.code) != fixed.codes.end())
            return QString::fromUtf16(fixed.reason);
    }
    if (c.code != 0)
        return QStringLiteral("el documento no es XML bien formado (error %1 del analizador)")
            .arg(c.code);
    return QStringLiteral("el documento no es XML bien formado");
}

} // namespace

XmlParseError describeFailure(const ParserFailure& failure, bool blankInput)
{
    if (!failure.refusedEntity.isEmpty())
        return {
            QStringLiteral("el documento pide leer un recurso externo («%1»), lo que no se admite")
                .arg(failure.refusedEntity),
            failure.refusedLine, failure.refusedColumn};
    return {reasonOf(failure, blankInput), failure.line, failure.column};
}

} // namespace xmlprivate
