// The current row of a table: its fields found by name, its values read and set, and the row
// appended or changed in place. Every value a run reads or writes passes here.
#include "components/dbase/codepage.h"
#include "components/dbase/dbffile.h"
#include "components/dbase/dbftable.h"
#include "components/dbase/dbfvalues.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

using dbf::fail;

int DbfTable::fieldIndex(const QString& name) const
{
    requireOpen("field");
    // A field named in the code is the same string every time: found by its address first,
    // its characters compared only for another copy. A row is mostly set field after field in
    // the same order each time, so the search starts after the name found last.
    const auto& names = m_file->fieldNames;
    const size_t count = names.size();
    if (m_nameHint < count) {
        const auto& [known, index] = names[m_nameHint];
        if (known.constData() == name.constData() && known.size() == name.size()) {
            ++m_nameHint;
            return index;
        }
    }
    for (size_t at = 0; at < count; ++at) {
        const auto& [known, index] = names[at];
        if (known.constData() == name.constData() && known.size() == name.size()) {
            m_nameHint = at + 1;
            return index;
        }
    }
    for (const auto& [known, index] : names) {
        if (known.size() == name.size() && known == name)
            return index;
    }
    const QList<DbfField>& fields = m_file->fields;
    auto find = [&](const QString& wanted, Qt::CaseSensitivity cs) {
        for (int i = 0; i < fields.size(); ++i) {
            if (fields[i].name.compare(wanted, cs) == 0)
                return i;
        }
        return -1;
    };
    int i = find(name, Qt::CaseSensitive);
    if (i < 0 && m_file->level7)
        i = find(name, Qt::CaseInsensitive);
    // dBase III/IV names hold at most 11 characters, and most tools keep only 10.
    if (i < 0 && !m_file->level7 && name.size() > 10) {
        i = find(name.left(11), Qt::CaseSensitive);
        if (i < 0)
            i = find(name.left(10), Qt::CaseSensitive);
    }
    if (i < 0)
        fail(m_file->path, QStringLiteral("no tiene el campo %1").arg(name));
    if (m_file->fieldNames.size() < 256)
        m_file->fieldNames.emplace_back(name, i);
    return i;
}

// ----------------------------------------------------------------------------------------------
// Reading.

const char* DbfTable::currentRecord() const
{
    if (m_pending != Pending::None)
        return m_buffer.constData();
    if (m_current < 0)
        return nullptr;
    return dbf::rowAt(*m_file, m_current);
}

bool DbfTable::isBlank(const QString& field) const
{
    const int index = fieldIndex(field);
    const char* record = currentRecord();
    return !record || dbf::fieldIsBlank(m_file->fields[index], record);
}

QString DbfTable::text(const QString& field) const
{
    const int index = fieldIndex(field);
    return dbf::fieldText(*m_file->codePage, m_file->fields[index], currentRecord());
}

qint64 DbfTable::integer(const QString& field) const
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    const char* record = currentRecord();
    if (!record || dbf::fieldIsBlank(f, record))
        return 0;
    const char* p = record + f.offset;
    if (dbf::isNumericType(f.type)) {
        if (const std::optional<qint64> whole = dbf::simpleWholeNumber(p, f.width))
            return *whole;
    }
    if (dbf::isBinaryInteger(f))
        return dbf::levelSevenInteger(p);
    if (f.type == 'L')
        return boolean(field) ? 1 : 0;
    if (dbf::isBinaryDouble(f))
        return std::llround(dbf::levelSevenDouble(qFromBigEndian<quint64>(p)));
    const QString shownText = text(field);
    QByteArray plain;
    if (!dbf::plainNumber(shownText.toLatin1(), &plain))
        fail(m_file->path, QStringLiteral("el campo %1 no contiene un número entero («%2»)")
                               .arg(f.name, shownText));
    if (plain.contains('.'))
        return std::llround(plain.toDouble());
    bool ok = false;
    const qint64 value = plain.toLongLong(&ok);
    if (!ok)
        fail(m_file->path, QStringLiteral("el número «%1» del campo %2 es demasiado grande")
                               .arg(shownText, f.name));
    return value;
}

double DbfTable::toFloat(const QString& field) const
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    const char* record = currentRecord();
    if (!record || isBlank(field))
        return 0;
    if (dbf::isBinaryDouble(f))
        return dbf::levelSevenDouble(qFromBigEndian<quint64>(record + f.offset));
    if (dbf::isBinaryInteger(f) || f.type == 'L')
        return static_cast<double>(integer(field));
    const QString shownText = text(field);
    QByteArray plain;
    if (!dbf::plainNumber(shownText.toLatin1(), &plain))
        fail(m_file->path,
             QStringLiteral("el campo %1 no contiene un número («%2»)").arg(f.name, shownText));
    return plain.toDouble();
}

bool DbfTable::boolean(const QString& field) const
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    const char* record = currentRecord();
    if (!record || isBlank(field))
        return false;
    const char c = record[f.offset];
    if (f.type == 'L' || f.type == 'C')
        return c == 'T' || c == 't' || c == 'Y' || c == 'y';
    return integer(field) != 0;
}

// ----------------------------------------------------------------------------------------------
// Changing rows.

void DbfTable::append()
{
    requireOpen("append");
    postIfEditing();
    requireWritable();
    m_buffer.fill(' ', m_file->recordLength); // the buffer of the last row, when it is free
    m_pending = Pending::Append;
}

void DbfTable::requireWritable() const
{
    if (!m_file->writable)
        fail(m_file->path, QStringLiteral("es de solo lectura"));
    if (m_file->level7)
        fail(m_file->path, QStringLiteral("es de dBase 7 y solo se puede leer"));
    if (!m_file->indexMaintainable)
        fail(m_file->path, QStringLiteral("tiene un índice que este programa no sabe mantener, "
                                          "así que solo se puede leer"));
}

void DbfTable::edit()
{
    requireOpen("edit");
    postIfEditing();
    requireWritable();
    if (m_current < 0)
        fail(m_file->path, QStringLiteral("no hay ninguna fila que modificar"));
    m_buffer = QByteArray(dbf::rowAt(*m_file, m_current), m_file->recordLength);
    m_pending = Pending::Edit;
}

void DbfTable::post()
{
    requireOpen("post");
    TableFile& t = *m_file;
    if (m_pending == Pending::Append) {
        // New rows reach the file in batches (every object of this program sees them at once).
        t.records.append(m_buffer);
        m_current = t.recordCount;
        ++t.recordCount;
        m_eof = false;
        if (qsizetype(t.recordCount - t.writtenCount) * t.recordLength >= dbf::AppendBatchBytes)
            dbf::writeAppendedRows(t, true);
    } else if (m_pending == Pending::Edit) {
        dbf::writeAppendedRows(t);
        dbf::writeAt(t, t.headerLength + qint64(m_current) * t.recordLength, m_buffer);
        dbf::writeHeaderCount(t, t.recordCount);
        std::memcpy(dbf::rowAt(t, m_current), m_buffer.constData(),
                    static_cast<size_t>(t.recordLength));
    } else {
        return;
    }
    if (t.indexedField >= 0)
        t.indexDirty = true;
    m_pending = Pending::None;
}

void DbfTable::cancel()
{
    m_pending = Pending::None;
}

bool DbfTable::isEditing() const
{
    return m_pending != Pending::None;
}

void DbfTable::postIfEditing()
{
    if (m_pending != Pending::None)
        post();
}

char* DbfTable::editableValue(int field, const char* operation)
{
    if (m_pending == Pending::None)
        fail(m_file->path, QStringLiteral("no se está añadiendo ni modificando una fila (%1)")
                               .arg(QLatin1String(operation)));
    return m_buffer.data() + std::as_const(m_file->fields)[field].offset;
}

void DbfTable::setText(const QString& field, const QString& value)
{
    setText(field, QStringView(value));
}

void DbfTable::setText(const QString& field, QStringView value)
{
    const int index = fieldIndex(field);
    const DbfField& f = std::as_const(m_file->fields)[index];
    char* p = editableValue(index, "setText");
    if (f.type == 'C' || f.type == 'D') {
        bool held = true;
        m_file->codePage->encodeInto(value, p, f.width, &held);
        if (m_textChangeObserver && !held) {
            const int row = m_pending == Pending::Append ? m_file->recordCount + 1 : m_current + 1;
            m_textChangeObserver(
                {f.name, row, value.toString(),
                 m_file->codePage->decode(p, dbf::rightTrimmedLength(p, f.width))});
        }
        return;
    }
    QByteArray bytes;
    if (dbf::isNumericType(f.type))
        bytes = dbf::encodedNumberText(m_file->path, f, value);
    else if (f.type == 'L')
        bytes = dbf::encodedLogical(m_file->path, f, value);
    else
        fail(m_file->path, QStringLiteral("el campo %1 no se puede escribir").arg(f.name));
    std::memcpy(p, bytes.constData(), static_cast<size_t>(f.width));
}

void DbfTable::setInteger(const QString& field, qint64 value)
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    if (dbf::isNumericType(f.type)) {
        char* p = editableValue(index, "setInteger");
        if (dbf::putWholeNumber(p, f, value))
            return;
        const QByteArray bytes = dbf::encodedNumber(m_file->path, f, dbf::integerDigits(f, value));
        std::memcpy(p, bytes.constData(), static_cast<size_t>(f.width));
    } else {
        setText(field, QString::number(value));
    }
}

void DbfTable::setFloat(const QString& field, double value)
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    if (dbf::isNumericType(f.type)) {
        char* p = editableValue(index, "setFloat");
        // A whole value (the commonest) is written as its digits and the decimals' zeros, which
        // is what the fixed-point form of the general way gives it.
        if (std::trunc(value) == value && std::abs(value) < 1e15 &&
            dbf::putWholeNumber(p, f, static_cast<qint64>(value)))
            return;
        const QByteArray bytes =
            dbf::encodedNumber(m_file->path, f, dbf::floatDigits(m_file->path, f, value));
        std::memcpy(p, bytes.constData(), static_cast<size_t>(f.width));
    } else {
        setText(field, QString::number(value, 'g', 15));
    }
}

void DbfTable::setBoolean(const QString& field, bool value)
{
    const int index = fieldIndex(field);
    const DbfField& f = m_file->fields[index];
    if (f.type == 'L')
        *editableValue(index, "setBoolean") = value ? 'T' : 'F';
    else if (dbf::isNumericType(f.type))
        setInteger(field, value ? 1 : 0);
    else
        setText(field, value ? QStringLiteral("T") : QStringLiteral("F"));
}
