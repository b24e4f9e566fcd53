#include "exchange/yedradocument.h"

#include "components/text/texts.h"
#include "exchange/yedraenvelope.h"
#include "exchange/yedrarecordstore.h"

namespace yedra {

bool load(XmlDocument& document, const QString& path, Detail detail)
{
    XmlLoadOptions options;
    options.attributeDepth = 2;
    if (detail == Detail::Envelope)
        options.hook = std::make_unique<EnvelopeFilter>();
    else if (detail == Detail::Records)
        options.hook = std::make_unique<RecordStoreFiller>();
    return document.load(path, std::move(options));
}

const RecordStore* recordStore(const XmlDocument& document)
{
    const auto* filler = dynamic_cast<const RecordStoreFiller*>(document.parseHook());
    return filler ? &filler->store() : nullptr;
}

QString trimValue(const QString& value)
{
    return texts::trimmed(value);
}

QString recordsPath(const QString& group)
{
    return QStringLiteral("/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq=\"%1\"]/grupo_datos").arg(group);
}

XmlNodeList selectRecords(const XmlDocument& document, const QString& group)
{
    if (group.contains(QLatin1Char('"')))
        throw XmlError(QStringLiteral("Nombre de grupo no válido: %1").arg(group));
    return document.selectNodes(recordsPath(group));
}

namespace {
const QString valueName = QStringLiteral("dato");
}

// The values are counted, not listed: a large document has millions of records.
Record::Record(XmlNode record, QString group, int number)
    : m_record(record), m_group(std::move(group)), m_number(number),
      m_valueCount(record.childElementCount(valueName))
{
}

Record::Record(const RecordStore& store, qsizetype index, QString group, int number)
    : m_store(&store), m_index(index), m_group(std::move(group)), m_number(number),
      m_valueCount(store.valueCount(index))
{
}

QString Record::rawValue(int position) const
{
    if (m_store && position >= 0 && position < m_valueCount)
        return m_store->value(m_index, position);
    const XmlNode value = !m_store && position < m_valueCount
                              ? m_record.childElement(valueName, position)
                              : XmlNode();
    if (value.isNull())
        throw XmlError(
            QStringLiteral("El registro %1 del grupo %2 tiene %3 datos y se necesita el dato %4.")
                .arg(m_number)
                .arg(m_group)
                .arg(m_valueCount)
                .arg(position));
    return value.text();
}

QString Record::place(int position) const
{
    return QStringLiteral("el grupo %1, registro %2, dato %3")
        .arg(m_group)
        .arg(m_number)
        .arg(position);
}

namespace {

// The records of a group in a document's store, as ranges of indexes: what selectRecords gives
// of a tree.
std::vector<std::pair<qsizetype, qsizetype>> storedRecords(const RecordStore& store,
                                                           const QString& group)
{
    if (group.contains(QLatin1Char('"')))
        throw XmlError(QStringLiteral("Nombre de grupo no válido: %1").arg(group));
    return store.records(group);
}

} // namespace

std::vector<Record> records(const XmlDocument& document, const QString& group)
{
    if (const RecordStore* store = recordStore(document)) {
        const auto ranges = storedRecords(*store, group);
        size_t count = 0;
        for (const auto& [first, end] : ranges)
            count += static_cast<size_t>(end - first);
        std::vector<Record> out;
        out.reserve(count);
        int number = 0;
        for (const auto& [first, end] : ranges) {
            for (qsizetype index = first; index < end; ++index)
                out.emplace_back(*store, index, group, ++number);
        }
        return out;
    }
    const XmlNodeList nodes = selectRecords(document, group);
    std::vector<Record> out;
    out.reserve(static_cast<size_t>(nodes.length()));
    int number = 0;
    for (XmlNode node : nodes)
        out.emplace_back(node, group, ++number);
    return out;
}

// The records skipped are never kept, not even for a while.
std::vector<Record> guardedRecords(const XmlDocument& document, const QString& group)
{
    if (const RecordStore* store = recordStore(document)) {
        // Counted first, so that the list is made once at its size.
        const auto ranges = storedRecords(*store, group);
        size_t count = 0;
        for (const auto& [first, end] : ranges) {
            for (qsizetype index = first; index < end; ++index)
                count += store->valueCount(index) >= 2 ? 1 : 0;
        }
        std::vector<Record> out;
        out.reserve(count);
        int number = 0;
        for (const auto& [first, end] : ranges) {
            for (qsizetype index = first; index < end; ++index) {
                ++number;
                if (store->valueCount(index) >= 2)
                    out.emplace_back(*store, index, group, number);
            }
        }
        return out;
    }
    const XmlNodeList nodes = selectRecords(document, group);
    std::vector<Record> out;
    int number = 0;
    for (XmlNode node : nodes) {
        ++number;
        if (node.childElementCount(valueName) >= 2)
            out.emplace_back(node, group, number);
    }
    return out;
}

QList<ShortRecord> findShortRecords(const XmlDocument& document, const QList<RecordNeed>& needs)
{
    QList<ShortRecord> out;
    for (const RecordNeed& need : needs) {
        int number = 0;
        auto check = [&](int found) {
            ++number;
            if ((!need.guarded || found >= 2) && found < need.needed)
                out.append({need.group, number, found, need.needed});
        };
        if (const RecordStore* store = recordStore(document)) {
            for (const auto& [first, end] : storedRecords(*store, need.group)) {
                for (qsizetype index = first; index < end; ++index)
                    check(store->valueCount(index));
            }
            continue;
        }
        for (XmlNode node : selectRecords(document, need.group))
            check(node.childElementCount(valueName));
    }
    return out;
}

QString describeShortRecords(const QList<ShortRecord>& shortRecords)
{
    QStringList lines;
    for (const ShortRecord& r :
         shortRecords.first(std::min<qsizetype>(shortRecords.size(), ListedShortRecords))) {
        lines.append(QStringLiteral("%1, registro %2: tiene %3 %4 y necesita %5")
                         .arg(r.group)
                         .arg(r.number)
                         .arg(r.found)
                         .arg(r.found == 1 ? QStringLiteral("dato") : QStringLiteral("datos"))
                         .arg(r.needed));
    }
    if (const qsizetype rest = shortRecords.size() - ListedShortRecords; rest > 0)
        lines.append(rest == 1 ? QStringLiteral("y 1 registro más")
                               : QStringLiteral("y %1 registros más").arg(rest));
    return lines.join(QLatin1Char('\n'));
}

QString unreadableDocumentMessage(const XmlParseError& error)
{
    if (error.line > 0)
        return QStringLiteral("El archivo XML no es válido: %1 (línea %2).")
            .arg(error.reason)
            .arg(error.line);
    return QStringLiteral("El archivo XML no es válido: %1.").arg(error.reason);
}

std::optional<QString> academicYear(const XmlDocument& document)
{
    const XmlNode block = document.selectSingleNode(QStringLiteral("/SERVICIO/BLOQUE_DATOS"));
    if (block.isNull())
        return std::nullopt;
    // Comments and processing instructions are never values: the first child is the first
    // element or text.
    for (const XmlNode child : block.childNodes()) {
        const XmlNode::Type type = child.type();
        if (type == XmlNode::Type::Element || type == XmlNode::Type::Text ||
            type == XmlNode::Type::CData)
            return texts::leftCharacters(child.text(), 4);
    }
    return std::nullopt;
}

} // namespace yedra
