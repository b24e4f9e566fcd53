#include "components/timetablefolder/tablecomparison.h"

#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/text/texthash.h"
#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <QtEndian>
#include <memory>

namespace tablecomparison {

namespace {

QString rowNoun(const QString& table)
{
    for (const layouts::RowCode& known : layouts::rowCodes) {
        if (table.compare(known.table->name, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(known.rowNoun);
    }
    return QStringLiteral("fila");
}

QString bareName(const QString& name)
{
    if (name.endsWith(QStringLiteral(".DBF"), Qt::CaseInsensitive))
        return name.left(name.size() - 4).toUpper();
    return name.toUpper();
}

// Empty as the teacher check sees it: nothing but blanks and control characters.
bool isEmptyValue(const QString& value)
{
    for (const QChar c : value) {
        if (c.unicode() > 0x20)
            return false;
    }
    return true;
}

// A table whose file ends before the rows its header counts: the table layer reads the rows
// that are whole, and the rest would look removed.
QString cutShort(const QString& path)
{
    const QString problem = DbfTable::missingRows(path);
    return problem.isEmpty()
               ? QString()
               : QStringLiteral("Tabla «%1»: %2").arg(QDir::toNativeSeparators(path), problem);
}

// A table open for the comparison, read one row at a time: a large table is never held whole.
struct OpenTable {
    std::unique_ptr<DbfTable> table;
    QStringList fields; // upper case, in the table's order
    QStringList names;  // as the table spells them
    int columnOf(const QString& field) const { return int(fields.indexOf(field)); }
    // The current row's value of a field; "" for a field the table lacks.
    QString value(int column) const
    {
        return column < 0 ? QString() : table->text(names.at(column));
    }
};

// Opens a table shared, refusing one cut short. Throws EngineError.
OpenTable openTable(const QString& folder, const QString& name)
{
    OpenTable out;
    out.table = std::make_unique<DbfTable>(folder, name);
    out.table->open(DbfTable::Access::Shared);
    if (const QString problem = cutShort(out.table->path()); !problem.isEmpty())
        throw EngineError(problem);
    for (const DbfField& field : out.table->fields()) {
        out.fields << field.name.toUpper();
        out.names << field.name;
    }
    return out;
}

// The codes of a table's rows, in order: a repeated code gets "#2", "#3" on its later rows
// and is listed once in `repeated`. Rows are matched by a key of their code; between tables of
// one layout the key is the code fields' stored bytes, no text decoded, and a row's code is
// read as text only when it is said.
class RowCodes {
public:
    RowCodes(const OpenTable& table, const QStringList& codeFields, bool stored,
             QStringList& repeated)
        : m_table(table), m_stored(stored), m_repeated(repeated)
    {
        for (const QString& field : codeFields) {
            const int column = table.columnOf(field);
            m_columns << column;
            const DbfField f = table.table->field(table.names.at(column));
            m_slices << std::pair(f.offset, f.width);
        }
        m_seen.reserve(table.table->rowCount());
        for (const QString& code : std::as_const(repeated))
            m_listed.insert(code);
    }

    // The current row's key (its occurrence counted: call it once for each row, in order): a
    // hash of its code, which sameCode() confirms.
    quint64 key()
    {
        quint64 base = 0x51C0FFEE;
        if (m_stored) {
            const QByteArrayView row = m_table.table->storedRow();
            for (const auto& [offset, width] : std::as_const(m_slices))
                base = mix(base, texthash::bytes(row.data() + offset,
                                                 size_t(trimmedWidth(row, offset, width))));
        } else {
            for (const int column : std::as_const(m_columns)) {
                const QString value = m_table.value(column);
                base = mix(
                    base, texthash::bytes(value.constData(), size_t(value.size()) * sizeof(QChar)));
            }
        }
        m_occurrence = ++m_seen[base];
        if (m_occurrence == 2) {
            const QString plain = text(1);
            if (!m_listed.contains(plain)) {
                m_repeated << plain;
                m_listed.insert(plain);
            }
        }
        return mix(base, quint64(m_occurrence));
    }

    // Whether the current rows of this table and `other` have the same code.
    bool sameCode(const RowCodes& other) const
    {
        if (!m_stored || !other.m_stored) {
            for (qsizetype i = 0; i < m_columns.size(); ++i) {
                if (m_table.value(m_columns.at(i)) != other.m_table.value(other.m_columns.at(i)))
                    return false;
            }
            return true;
        }
        const QByteArrayView mine = m_table.table->storedRow();
        const QByteArrayView theirs = other.m_table.table->storedRow();
        for (qsizetype i = 0; i < m_slices.size(); ++i) {
            const auto [offset, width] = m_slices.at(i);
            const auto [otherOffset, otherWidth] = other.m_slices.at(i);
            if (mine.sliced(offset, trimmedWidth(mine, offset, width)) !=
                theirs.sliced(otherOffset, trimmedWidth(theirs, otherOffset, otherWidth)))
                return false;
        }
        return true;
    }

    int occurrence() const { return m_occurrence; }

    // The current row's code as the user reads it.
    QString text(int occurrence) const
    {
        QStringList values;
        for (const int column : std::as_const(m_columns))
            values << m_table.value(column);
        return codeText(values, occurrence);
    }

private:
    const OpenTable& m_table;
    bool m_stored;
    QStringList& m_repeated;
    QList<int> m_columns;
    QList<std::pair<int, int>> m_slices; // each code field's place in a stored row
    QHash<quint64, int> m_seen;
    QSet<QString> m_listed; // what `m_repeated` holds
    int m_occurrence = 0;

    static quint64 mix(quint64 a, quint64 b)
    {
        return a ^ (b + 0x9E3779B97F4A7C15ull + (a << 6) + (a >> 2));
    }
    // A stored value's width without its pad blanks and zero bytes, which reading drops.
    static qsizetype trimmedWidth(QByteArrayView row, qsizetype offset, qsizetype width)
    {
        while (width > 0 && (row[offset + width - 1] == ' ' || row[offset + width - 1] == '\0'))
            --width;
        return width;
    }
};

// The current row's values of `columns` in one text, for comparing rows without keeping them.
size_t rowDigest(const OpenTable& table, const QList<int>& columns)
{
    QString joined;
    for (const int column : columns) {
        joined += table.value(column);
        joined += QChar(0x1F);
    }
    return qHash(joined, size_t(0x51C0FFEE));
}

QString missingFields(const QStringList& wanted, const QStringList& fields)
{
    QStringList missing;
    for (const QString& field : wanted) {
        if (!fields.contains(field))
            missing << field;
    }
    return missing.join(QStringLiteral(", "));
}

// Both tables open, or the state that stops the comparison row by row (said in `result`).
bool openBoth(const QString& newFolder, const QString& timetableFolder, TableComparison& result,
              OpenTable& after, OpenTable& before)
{
    const QString& name = result.name;
    // Something else under the table's name (a folder, a broken link) is not "no table".
    const DbfTable current(timetableFolder, name);
    const bool noCurrentTable = !current.exists() && !QFileInfo(current.path()).exists() &&
                                !QFileInfo(current.path()).isSymLink();
    try {
        const DbfTable written(newFolder, name);
        if (!written.exists())
            throw EngineError(QStringLiteral("la conversión no la ha escrito"));
        if (noCurrentTable) {
            // Every row is new: counted (without holding the table), not listed (the first run
            // on a folder would list the whole school).
            result.rowsAfter = DbfTable::rowCountOfFile(written.path());
            result.state = TableComparison::State::NoCurrentTable;
            return false;
        }
        after = openTable(newFolder, name);
    } catch (const std::exception& error) {
        result.state = TableComparison::State::NewUnreadable;
        result.problem = QString::fromUtf8(error.what());
        return false;
    }
    result.rowsAfter = after.table->rowCount();
    try {
        before = openTable(timetableFolder, name);
    } catch (const std::exception& error) {
        result.state = TableComparison::State::CurrentUnreadable;
        result.problem = QString::fromUtf8(error.what());
        return false;
    }
    result.rowsBefore = before.table->rowCount();
    return true;
}

// Whether the rows can be matched by their code fields; otherwise only counted (said in
// `result`).
bool canMatchRows(const OpenTable& after, const OpenTable& before, TableComparison& result)
{
    QString problem;
    if (result.codeFields.isEmpty())
        problem = QStringLiteral("no se sabe qué campo da el código de sus filas");
    else if (const QString missing = missingFields(result.codeFields, before.fields);
             !missing.isEmpty())
        problem = QStringLiteral("la tabla actual no tiene el campo %1").arg(missing);
    else if (const QString missing = missingFields(result.codeFields, after.fields);
             !missing.isEmpty())
        problem = QStringLiteral("la tabla nueva no tiene el campo %1").arg(missing);
    if (problem.isEmpty())
        return true;
    result.state = TableComparison::State::CountsOnly;
    result.problem = problem;
    return false;
}

// The rows of two tables matched by code and compared value by value.
class RowMatching {
public:
    RowMatching(OpenTable& after, OpenTable& before, TableComparison& result)
        : m_after(after), m_before(before), m_result(result),
          m_sameLayout(after.table->sameLayout(*before.table))
    {
        // The new table's fields, where each stands in both tables; the current table's fields
        // the new one lacks, whose values go.
        for (int i = 0; i < after.fields.size(); ++i) {
            m_newColumns << i;
            m_oldColumns << before.columnOf(after.fields.at(i));
        }
        for (int i = 0; i < before.fields.size(); ++i) {
            if (!after.fields.contains(before.fields.at(i)))
                m_goneColumns << i;
        }
    }

    void run()
    {
        RowCodes oldCodes(m_before, m_result.codeFields, m_sameLayout, m_result.repeatedCodes);
        readCurrentRows(oldCodes);
        DbfTable& newRows = *m_after.table;
        RowCodes codes(m_after, m_result.codeFields, m_sameLayout, m_result.repeatedCodes);
        for (newRows.first(); !newRows.eof(); newRows.next()) {
            const auto found = m_oldByKey.find(codes.key());
            OldRow* old = found == m_oldByKey.end() ? nullptr : &m_oldRows[size_t(*found)];
            if (old) {
                m_before.table->goToRecord(old->record);
                if (!codes.sameCode(oldCodes))
                    old = nullptr;
            }
            if (!old) {
                m_result.added << codes.text(codes.occurrence());
                continue;
            }
            old->matched = true;
            if (old->digest == digest(m_after, m_newColumns) && !old->goneValues)
                continue;
            const QString code = codes.text(codes.occurrence());
            if (compareRow(code))
                m_result.changed << code;
        }
        for (const OldRow& old : m_oldRows) {
            if (old.matched)
                continue;
            m_before.table->goToRecord(old.record);
            m_result.removed << oldCodes.text(old.occurrence);
        }
    }

private:
    // A current row: where it stands, and a digest of its values in the new table's fields. A
    // row is read again only when its digest differs or a field that goes holds something.
    struct OldRow {
        int record = 0;
        size_t digest = 0;
        bool goneValues = false;
        bool matched = false;
        int occurrence = 1; // of its code
    };

    // Tables of one layout are compared by their stored bytes, with no text decoded.
    size_t digest(const OpenTable& table, const QList<int>& columns) const
    {
        return m_sameLayout ? qHashBits(table.table->storedRow().data(),
                                        size_t(table.table->storedRow().size()), 0x51C0FFEE)
                            : rowDigest(table, columns);
    }

    void readCurrentRows(RowCodes& codes)
    {
        DbfTable& oldRows = *m_before.table;
        m_oldByKey.reserve(oldRows.rowCount());
        m_oldRows.reserve(size_t(oldRows.rowCount()));
        for (oldRows.first(); !oldRows.eof(); oldRows.next()) {
            OldRow row{oldRows.recordNumber(), digest(m_before, m_oldColumns), false, false, 1};
            for (const int column : std::as_const(m_goneColumns))
                row.goneValues = row.goneValues || !isEmptyValue(m_before.value(column));
            const quint64 key = codes.key();
            row.occurrence = codes.occurrence();
            m_oldByKey.insert(key, qsizetype(m_oldRows.size()));
            m_oldRows.push_back(row);
        }
    }

    // The current row (the current table at it) against the new one: true when they differ.
    bool compareRow(const QString& code)
    {
        bool differs = false;
        // The new table's fields: a value that differs; one there now is lost, whether the new row
        // replaces it or leaves it empty.
        for (int i = 0; i < m_after.fields.size(); ++i) {
            const QString oldValue = m_before.value(m_oldColumns.at(i));
            const QString newValue = m_after.value(i);
            if (oldValue == newValue)
                continue;
            differs = true;
            const QString& field = m_after.fields.at(i);
            m_result.changes << ChangedValue{code, field, oldValue, newValue};
            if (!isEmptyValue(oldValue))
                m_result.dropped << DroppedValue{
                    m_result.name, code,  field,
                    oldValue,      false, isEmptyValue(newValue) ? QString() : newValue};
        }
        // Fields the new table does not have at all: whatever they hold now goes.
        for (const int column : std::as_const(m_goneColumns)) {
            const QString oldValue = m_before.value(column);
            if (isEmptyValue(oldValue))
                continue;
            differs = true;
            m_result.dropped << DroppedValue{m_result.name, code, m_before.fields.at(column),
                                             oldValue, true};
        }
        return differs;
    }

    OpenTable& m_after;
    OpenTable& m_before;
    TableComparison& m_result;
    bool m_sameLayout;
    QList<int> m_newColumns;
    QList<int> m_oldColumns;
    QList<int> m_goneColumns;
    std::vector<OldRow> m_oldRows;        // in the current table's order
    QHash<quint64, qsizetype> m_oldByKey; // a row's code key -> its place in m_oldRows
};

TableComparison compareTable(const QString& newFolder, const QString& timetableFolder,
                             const QString& name)
{
    TableComparison result;
    result.name = name;
    result.codeFields = codeFields(name);
    OpenTable after;
    OpenTable before;
    if (openBoth(newFolder, timetableFolder, result, after, before) &&
        canMatchRows(after, before, result))
        RowMatching(after, before, result).run();
    return result;
}

// The first codes of a list between «», and how many more there are.
QString someCodes(const QStringList& codes, int shown = 10)
{
    QStringList quoted;
    for (int i = 0; i < codes.size() && i < shown; ++i)
        quoted << QStringLiteral("«%1»").arg(codes.at(i));
    QString text = quoted.join(QStringLiteral(", "));
    if (codes.size() > shown)
        text += QStringLiteral(" y %1 más").arg(codes.size() - shown);
    return text;
}

QString droppedLine(const DroppedValue& d)
{
    QString why;
    if (d.fieldMissing)
        why = QStringLiteral("la tabla nueva no tiene ese campo");
    else if (d.newValue.isEmpty())
        why = QStringLiteral("ahora tiene valor y la tabla nueva lo deja vacío");
    else
        why = QStringLiteral("la tabla nueva pone «%1»").arg(d.newValue);
    return QStringLiteral("%1, %2 «%3», campo %4: «%5» se perdería (%6).")
        .arg(d.table, rowNoun(d.table), d.code, d.field, d.oldValue, why);
}

// "PROFT «GLA»: X_EMPLEADO «987654» → «204517»".
QString changeLine(const QString& table, const ChangedValue& c)
{
    return QStringLiteral("%1 «%2»: %3 «%4» → «%5»")
        .arg(table, c.code, c.field, c.oldValue, c.newValue);
}

QString tableLine(const TableComparison& t)
{
    using State = TableComparison::State;
    switch (t.state) {
    case State::NewUnreadable:
        return QStringLiteral("%1: no se puede leer la tabla nueva (%2).").arg(t.name, t.problem);
    case State::NoCurrentTable:
        return QStringLiteral("%1: tabla nueva, no hay ahora una en la carpeta de horarios (%2).")
            .arg(t.name, texts::counted(t.rowsAfter, "fila", "filas"));
    case State::CurrentUnreadable:
        return QStringLiteral("%1: no se puede leer la tabla que hay ahora y no se compara (%2). "
                              "La tabla nueva tendrá %3.")
            .arg(t.name, t.problem, texts::counted(t.rowsAfter, "fila", "filas"));
    case State::CountsOnly:
        return QStringLiteral("%1: %2 ahora y %3 en la tabla nueva; no se comparan fila a fila "
                              "porque %4.")
            .arg(t.name, texts::counted(t.rowsBefore, "fila", "filas"),
                 QString::number(t.rowsAfter), t.problem);
    case State::Compared:
        break;
    }
    if (t.added.isEmpty() && t.removed.isEmpty() && t.changed.isEmpty())
        return QStringLiteral("%1: sin cambios (%2).")
            .arg(t.name, texts::counted(t.rowsAfter, "fila", "filas"));
    return QStringLiteral("%1: %2, %3, %4.")
        .arg(t.name, texts::counted(t.added.size(), "fila nueva", "filas nuevas"),
             texts::counted(t.removed.size(), "quitada", "quitadas"),
             texts::counted(t.changed.size(), "cambiada", "cambiadas"));
}

QJsonArray stringArray(const QStringList& list)
{
    return QJsonArray::fromStringList(list);
}

QJsonObject droppedJson(const DroppedValue& d)
{
    return QJsonObject{
        {QStringLiteral("table"), d.table},       {QStringLiteral("code"), d.code},
        {QStringLiteral("field"), d.field},       {QStringLiteral("oldValue"), d.oldValue},
        {QStringLiteral("newValue"), d.newValue}, {QStringLiteral("fieldMissing"), d.fieldMissing}};
}

QString stateName(TableComparison::State state)
{
    using State = TableComparison::State;
    switch (state) {
    case State::Compared:
        return QStringLiteral("compared");
    case State::NoCurrentTable:
        return QStringLiteral("noCurrentTable");
    case State::CurrentUnreadable:
        return QStringLiteral("currentUnreadable");
    case State::CountsOnly:
        return QStringLiteral("countsOnly");
    case State::NewUnreadable:
        return QStringLiteral("newUnreadable");
    }
    return QString();
}

} // namespace

QList<DroppedValue> Comparison::dropped() const
{
    QList<DroppedValue> all;
    for (const TableComparison& table : tables)
        all += table.dropped;
    return all;
}

QStringList codeFields(const QString& tableName)
{
    const QString name = bareName(tableName);
    for (const layouts::RowCode& known : layouts::rowCodes) {
        if (name == known.table->name)
            return known.fields;
    }
    return {};
}

QString codeText(const QStringList& values, int occurrence)
{
    QString text = values.join(QStringLiteral(" + "));
    if (occurrence > 1)
        text += QStringLiteral("#%1").arg(occurrence);
    return text;
}

Comparison compare(const QString& newFolder, const QString& timetableFolder,
                   const QStringList& tableNames)
{
    Comparison comparison;
    comparison.newFolder = newFolder;
    comparison.timetableFolder = timetableFolder;
    for (const QString& name : tableNames)
        comparison.tables << compareTable(newFolder, timetableFolder, bareName(name));
    return comparison;
}

QStringList describe(const Comparison& comparison)
{
    // Every lost value is listed up to this many; the rest are counted.
    constexpr int ShownDrops = 50;
    QStringList lines;
    const QList<DroppedValue> dropped = comparison.dropped();
    if (dropped.isEmpty()) {
        lines << QStringLiteral("No se pierde ningún dato de las tablas actuales.");
    } else {
        lines << QStringLiteral("ATENCIÓN: %1 de las tablas actuales %2:")
                     .arg(texts::counted(dropped.size(), "dato", "datos"),
                          dropped.size() == 1 ? QStringLiteral("se perdería")
                                              : QStringLiteral("se perderían"));
        for (int i = 0; i < dropped.size() && i < ShownDrops; ++i)
            lines << droppedLine(dropped.at(i));
        if (dropped.size() > ShownDrops)
            lines << QStringLiteral("... y %1 más.").arg(dropped.size() - ShownDrops);
    }
    for (const TableComparison& t : comparison.tables) {
        lines << tableLine(t);
        if (t.state != TableComparison::State::Compared)
            continue;
        if (!t.added.isEmpty())
            lines << QStringLiteral("  nuevas: %1.").arg(someCodes(t.added));
        if (!t.removed.isEmpty())
            lines << QStringLiteral("  quitadas: %1.").arg(someCodes(t.removed));
        if (!t.changed.isEmpty())
            lines << QStringLiteral("  cambiadas: %1.").arg(someCodes(t.changed));
        // What each changed row changes, field by field (the first ones; the JSON has them all).
        constexpr int ShownChanges = 50;
        for (qsizetype i = 0; i < t.changes.size() && i < ShownChanges; ++i)
            lines << QStringLiteral("    ") + changeLine(t.name, t.changes.at(i));
        if (t.changes.size() > ShownChanges)
            lines << QStringLiteral("    ... y %1 valores cambiados más.")
                         .arg(t.changes.size() - ShownChanges);
        if (!t.repeatedCodes.isEmpty())
            lines << QStringLiteral("  códigos repetidos, emparejados por orden: %1.")
                         .arg(someCodes(t.repeatedCodes));
    }
    return lines;
}

QJsonObject toJson(const Comparison& comparison)
{
    QJsonArray allDropped;
    QJsonArray tables;
    for (const TableComparison& t : comparison.tables) {
        QJsonArray changes;
        for (const ChangedValue& c : t.changes)
            changes.append(QJsonObject{{QStringLiteral("code"), c.code},
                                       {QStringLiteral("field"), c.field},
                                       {QStringLiteral("oldValue"), c.oldValue},
                                       {QStringLiteral("newValue"), c.newValue}});
        QJsonArray dropped;
        for (const DroppedValue& d : t.dropped) {
            dropped.append(droppedJson(d));
            allDropped.append(droppedJson(d));
        }
        tables.append(QJsonObject{{QStringLiteral("table"), t.name},
                                  {QStringLiteral("codeFields"), stringArray(t.codeFields)},
                                  {QStringLiteral("state"), stateName(t.state)},
                                  {QStringLiteral("problem"), t.problem},
                                  {QStringLiteral("rowsBefore"), t.rowsBefore},
                                  {QStringLiteral("rowsAfter"), t.rowsAfter},
                                  {QStringLiteral("added"), stringArray(t.added)},
                                  {QStringLiteral("removed"), stringArray(t.removed)},
                                  {QStringLiteral("changed"), stringArray(t.changed)},
                                  {QStringLiteral("changes"), changes},
                                  {QStringLiteral("dropped"), dropped},
                                  {QStringLiteral("repeatedCodes"), stringArray(t.repeatedCodes)}});
    }
    return QJsonObject{{QStringLiteral("newFolder"), comparison.newFolder},
                       {QStringLiteral("timetableFolder"), comparison.timetableFolder},
                       {QStringLiteral("dropped"), allDropped},
                       {QStringLiteral("tables"), tables}};
}

} // namespace tablecomparison
