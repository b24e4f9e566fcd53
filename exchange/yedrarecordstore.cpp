#include "exchange/yedrarecordstore.h"

namespace yedra {

std::vector<std::pair<qsizetype, qsizetype>> RecordStore::records(const QString& seq) const
{
    const QByteArray utf8 = seq.toUtf8();
    std::vector<std::pair<qsizetype, qsizetype>> out;
    for (const Group& group : m_groups) {
        if (group.seq == utf8 && group.endRecord > group.firstRecord)
            out.emplace_back(group.firstRecord, group.endRecord);
    }
    return out;
}

int RecordStore::valueCount(qsizetype record) const
{
    return static_cast<int>(m_recordStarts.at(static_cast<size_t>(record) + 1) -
                            m_recordStarts.at(static_cast<size_t>(record)));
}

QString RecordStore::value(qsizetype record, int position) const
{
    if (position < 0 || position >= valueCount(record))
        throw XmlError(QStringLiteral("El registro no tiene el dato %1.").arg(position));
    const auto at = static_cast<size_t>(m_recordStarts.at(static_cast<size_t>(record)) + position);
    const qsizetype start = m_valueStarts[at];
    return XmlNode::fromUtf8Text(
        QByteArrayView(m_texts.constData() + start, m_valueStarts[at + 1] - start));
}

// A record (or any element in a group) that has ended is kept if it is one, then let go of
// with everything before it in the group; what a group holds after its last record goes when
// the group ends.
XmlParseHook::Afterwards RecordStoreFiller::endElement(XmlNode element, int depth)
{
    if (depth == 2)
        return Afterwards::Empty;
    if (depth != 3)
        return Afterwards::Keep;
    const XmlNode group = element.parent();
    if (group != m_group) {
        m_group = group;
        m_groupMatches = openGroup(group);
    }
    if (m_groupMatches && element.isPlainElement("grupo_datos"))
        keepRecord(element);
    return Afterwards::EmptyParent;
}

bool RecordStoreFiller::openGroup(XmlNode group)
{
    const XmlNode block = group.parent();
    const XmlNode root = block.parent();
    if (!group.isPlainElement("grupo_datos") || !block.isPlainElement("BLOQUE_DATOS") ||
        !root.isPlainElement("SERVICIO") || root.parent().isNull() ||
        root.parent().type() != XmlNode::Type::Document)
        return false;
    // The attribute as the path selects it: in no namespace.
    const XmlNode seq = group.selectSingleNode(QStringLiteral("@seq"));
    if (seq.isNull())
        return false;
    const auto recordCount = static_cast<qsizetype>(m_store.m_recordStarts.size()) - 1;
    m_store.m_groups.push_back({seq.text().toUtf8(), recordCount, recordCount});
    return true;
}

void RecordStoreFiller::keepRecord(XmlNode record)
{
    for (XmlNode value = record.firstChild(); !value.isNull(); value = value.nextSibling()) {
        if (!value.isPlainElement("dato"))
            continue;
        value.appendLoadedText(m_store.m_texts);
        m_store.m_valueStarts.push_back(m_store.m_texts.size());
    }
    m_store.m_recordStarts.push_back(static_cast<qsizetype>(m_store.m_valueStarts.size()) - 1);
    ++m_store.m_groups.back().endRecord;
}

} // namespace yedra
