// The cursor of a table: walking its rows in order, with or without a filter, and finding one.
#include "components/dbase/codepage.h"
#include "components/dbase/dbffile.h"
#include "components/dbase/dbftable.h"
#include "components/dbase/dbfvalues.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using dbf::fail;

namespace {

// The records in ascending order of a numeric field, equal values in natural order.
std::vector<int> orderedBy(TableFile& t, const DbfField& f)
{
    std::vector<std::pair<long double, int>> keyed;
    keyed.reserve(static_cast<size_t>(t.recordCount));
    for (int r = 0; r < t.recordCount; ++r) {
        const char* p = dbf::rowAt(t, r) + f.offset;
        QByteArray plain;
        long double key = 0;
        if (dbf::plainNumber(QByteArray(p, f.width), &plain))
            key = std::strtold(plain.constData(), nullptr);
        keyed.emplace_back(key, r);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<int> order;
    order.reserve(keyed.size());
    for (const auto& k : keyed)
        order.push_back(k.second);
    return order;
}

// One field's value that a locate looks for.
struct Condition {
    int field;
    QString text;      // the value as text
    QByteArray stored; // for text fields: the bytes the field would hold
    QByteArray plain;  // for numbers: the plain number, empty for a blank value
    bool possible = true;
};

Condition condition(const TableFile& t, int field, const QVariant& value)
{
    Condition c;
    c.field = field;
    const DbfField& f = t.fields[field];
    c.text = value.toString();
    if (f.type == 'C') {
        c.stored = QByteArray(f.width, ' ');
        t.codePage->encodeInto(c.text, c.stored.data(), f.width);
        c.stored.truncate(dbf::rightTrimmedLength(c.stored.constData(), f.width));
    } else if (dbf::isNumericType(f.type) && !c.text.trimmed().isEmpty()) {
        c.possible = dbf::plainNumber(c.text.toLatin1(), &c.plain);
    }
    return c;
}

bool matches(const TableFile& t, const Condition& c, const char* record)
{
    if (!c.possible)
        return false;
    const DbfField& f = t.fields[c.field];
    const char* p = record + f.offset;
    if (f.type == 'C') {
        // Pad blanks and zero bytes at the end do not count, as reading drops them.
        return dbf::rightTrimmedLength(p, f.width) == c.stored.size() &&
               std::memcmp(p, c.stored.constData(), static_cast<size_t>(c.stored.size())) == 0;
    }
    if (dbf::isNumericType(f.type)) {
        if (dbf::isBlankBytes(p, f.width))
            return c.plain.isEmpty();
        QByteArray plain;
        return dbf::plainNumber(QByteArray(p, f.width), &plain) && plain == c.plain;
    }
    return dbf::fieldText(*t.codePage, f, record) == c.text;
}

} // namespace

bool DbfTable::visible(int record) const
{
    TableFile& t = *m_file;
    const char* p = dbf::rowAt(t, record);
    if (*p == '*')
        return false;
    if (m_filterField < 0)
        return true;
    const DbfField& f = t.fields[m_filterField];
    const int length = dbf::rightTrimmedLength(p + f.offset, f.width);
    return length == m_filterValue.size() &&
           std::memcmp(p + f.offset, m_filterValue.constData(), static_cast<size_t>(length)) == 0;
}

void DbfTable::setOrderByField(const QString& field)
{
    requireOpen("setOrderByField");
    m_orderField = field.isEmpty() ? -1 : fieldIndex(field);
    first();
}

void DbfTable::moveFrom(int start)
{
    if (m_orderField >= 0) {
        for (int i = start; i < static_cast<int>(m_order.size()); ++i) {
            if (visible(m_order[static_cast<size_t>(i)])) {
                m_orderPosition = i;
                m_current = m_order[static_cast<size_t>(i)];
                m_eof = false;
                return;
            }
        }
    } else {
        for (int r = start; r < m_file->recordCount; ++r) {
            if (visible(r)) {
                m_current = r;
                m_eof = false;
                return;
            }
        }
    }
    m_eof = true;
}

void DbfTable::first()
{
    requireOpen("first");
    postIfEditing();
    m_current = -1;
    m_orderPosition = -1;
    if (m_orderField >= 0)
        m_order = orderedBy(*m_file, m_file->fields[m_orderField]);
    moveFrom(0);
}

void DbfTable::next()
{
    requireOpen("next");
    postIfEditing();
    if (m_eof)
        return;
    const int current = m_current;
    moveFrom(m_orderField >= 0 ? m_orderPosition + 1 : m_current + 1);
    if (m_eof)
        m_current = current; // past the end the cursor stays on the last row
}

int DbfTable::recordNumber() const
{
    return m_eof ? -1 : m_current;
}

void DbfTable::goToRecord(int record)
{
    requireOpen("goToRecord");
    postIfEditing();
    if (record < 0 || record >= m_file->recordCount)
        throw TableError(
            QStringLiteral("La tabla %1 no tiene la fila %2.").arg(m_fileName).arg(record + 1));
    m_current = record;
    m_eof = false;
}

bool DbfTable::eof() const
{
    return !m_file || m_eof;
}

void DbfTable::setFilter(const QString& field, const QString& value)
{
    requireOpen("setFilter");
    const int index = fieldIndex(field);
    if (m_file->fields[index].type != 'C')
        fail(m_file->path,
             QStringLiteral("solo se filtra por campos de texto, y %1 no lo es").arg(field));
    QString wanted = value;
    while (wanted.endsWith(QLatin1Char(' ')))
        wanted.chop(1);
    const QByteArray encoded = m_file->codePage->encode(wanted);
    m_filterField = index;
    // A value the table's code page cannot hold matches no row.
    const bool representable =
        m_file->codePage->decode(encoded.constData(), encoded.size()) == wanted;
    m_filterValue = representable ? encoded : QByteArray(m_file->fields[index].width + 1, ' ');
    first();
}

void DbfTable::clearFilter()
{
    requireOpen("clearFilter");
    m_filterField = -1;
    m_filterValue.clear();
}

bool DbfTable::locate(std::initializer_list<std::pair<QString, QVariant>> fieldValues)
{
    requireOpen("locate");
    postIfEditing();
    TableFile& t = *m_file;
    std::vector<Condition> conditions;
    for (const auto& [name, value] : fieldValues)
        conditions.push_back(condition(t, fieldIndex(name), value));

    for (int r = 0; r < t.recordCount; ++r) {
        if (!visible(r))
            continue;
        const char* record = dbf::rowAt(t, r);
        const bool all = std::all_of(conditions.begin(), conditions.end(),
                                     [&](const Condition& c) { return matches(t, c, record); });
        if (!all)
            continue;
        m_current = r;
        m_eof = false;
        if (m_orderField >= 0) {
            const auto it = std::find(m_order.begin(), m_order.end(), r);
            m_orderPosition = it == m_order.end() ? -1 : int(it - m_order.begin());
        }
        return true;
    }
    return false;
}

QByteArrayView DbfTable::storedRow() const
{
    const char* record = currentRecord();
    return record ? QByteArrayView(record, m_file->recordLength) : QByteArrayView();
}

bool DbfTable::sameLayout(const DbfTable& other) const
{
    requireOpen("sameLayout");
    other.requireOpen("sameLayout");
    const TableFile& a = *m_file;
    const TableFile& b = *other.m_file;
    if (a.codePage != b.codePage || a.recordLength != b.recordLength ||
        a.fields.size() != b.fields.size())
        return false;
    for (qsizetype i = 0; i < a.fields.size(); ++i) {
        const DbfField& f = a.fields.at(i);
        const DbfField& g = b.fields.at(i);
        if (f.name.compare(g.name, Qt::CaseInsensitive) != 0 || f.type != g.type ||
            f.width != g.width || f.decimals != g.decimals || f.offset != g.offset)
            return false;
    }
    return true;
}
