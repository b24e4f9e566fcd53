#pragma once

#include "components/xml/xmldocument.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <utility>
#include <vector>

namespace yedra {

// The records of a document loaded with Detail::Records (see yedra::load), in document order:
// for each, the texts of its values (its direct dato children) as XmlNode::text gives them.
class RecordStore {
public:
    // The records of the groups whose seq is exactly `seq`, one group's after the other's: the
    // ranges [first, end) of their indexes in the store.
    std::vector<std::pair<qsizetype, qsizetype>> records(const QString& seq) const;
    int valueCount(qsizetype record) const;
    // The text of value `position` (from 0, below valueCount) of a record; another position
    // throws XmlError.
    QString value(qsizetype record, int position) const;

private:
    friend class RecordStoreFiller;
    struct Group {
        QByteArray seq; // UTF-8
        qsizetype firstRecord;
        qsizetype endRecord;
    };
    std::vector<Group> m_groups;
    // Grown piece by piece, never copied whole: a large document has millions of records.
    std::deque<qsizetype> m_recordStarts{0}; // the first value of each record, and one past
    std::deque<qsizetype> m_valueStarts{0};  // where each value's text starts, and one past
    QByteArray m_texts;                      // every value's text, in UTF-8, end to end
};

// Fills a store as the parser reads the records of '/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq]':
// each record is built as a small tree of nodes (so that the parser treats its text exactly as
// in a whole tree), its values' texts are taken as the loaded document would give them, and
// its nodes are let go of, with everything else below the groups.
class RecordStoreFiller : public XmlParseHook {
public:
    unsigned calls() const override { return EndCalls; }
    Afterwards endElement(XmlNode element, int depth) override;

    const RecordStore& store() const { return m_store; }

private:
    // Whether the group's records are those of '/SERVICIO/BLOQUE_DATOS/grupo_datos[@seq]'; if
    // so, the group is opened in the store.
    bool openGroup(XmlNode group);
    void keepRecord(XmlNode record);

    RecordStore m_store;
    XmlNode m_group; // the group last seen
    bool m_groupMatches = false;
};

} // namespace yedra
