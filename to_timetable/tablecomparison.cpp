#include "to_timetable/tablecomparison.h"

#include "components/dbftable.h"
#include "components/engineerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <QtEndian>

namespace tablecomparison {

namespace {

// The code that identifies a row of each table the run writes, and what such a row is called.
// Where the run makes a code unique (PROFT, AULAT, GRUPOST) it is that code. Course codes
// (CURSOST.ABREV) are not unique, so a course goes by its offer key CLAVE. An offering
// (ASIGNOMT2) goes by Yedra's two keys, which stay when the subject's short code is renumbered.
// A class assignment (ASIGT) is a subject in a group. A cell of the grid (DIASHORAST) goes by
// its day-and-hour key; a slot of the work table (DIASHORAST2), whose DIHO stays empty, by its
// slot code and day. Subjects and tasks share ASIGNOMT: the subject rows come first in both
// tables, so a task with a subject's code is paired with the task as a repeated code.
struct KnownTable {
    const char* name;
    QStringList codeFields;
    const char* rowNoun; // "profesor": "PROFT, profesor «GLA»"
};

const QList<KnownTable>& knownTables()
{
    static const QList<KnownTable> tables = {
        {"ASIGNOMT", {QStringLiteral("COD")}, "materia"},
        {"ASIGNOMT2", {QStringLiteral("MATERIA"), QStringLiteral("OFERTAMATRI")}, "oferta"},
        {"PROFT", {QStringLiteral("ABREV")}, "profesor"},
        {"AULAT", {QStringLiteral("ABREV")}, "aula"},
        {"CURSOST", {QStringLiteral("CLAVE")}, "curso"},
        {"GRUPOST", {QStringLiteral("ABREV")}, "grupo"},
        {"ASIGT", {QStringLiteral("CASIG"), QStringLiteral("CGRUP")}, "asignación"},
        {"DIASHORAST", {QStringLiteral("DIHO")}, "tramo"},
        {"DIASHORAST2", {QStringLiteral("CODDIHO"), QStringLiteral("DIA")}, "tramo"},
        {"PERIODOS", {QStringLiteral("CJORNADA")}, "periodo"},
    };
    return tables;
}

QString rowNoun(const QString& table)
{
    for (const KnownTable& known : knownTables()) {
        if (table.compare(QLatin1String(known.name), Qt::CaseInsensitive) == 0)
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

struct Row {
    QString code;                   // codeText
    QHash<QString, QString> values; // by upper-case field name
};

struct ReadTable {
    QStringList fields; // upper case, in the table's order
    QList<QStringList> rows;
};

// A table whose file ends before the rows its header counts: the table layer reads the rows
// that are whole, and the rest would look removed.
QString cutShort(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString(); // said by the table layer
    const QByteArray header = file.read(12);
    if (header.size() < 12)
        return QStringLiteral("Tabla «%1»: está cortada").arg(QDir::toNativeSeparators(path));
    const qint64 records = qFromLittleEndian<quint32>(header.constData() + 4);
    const qint64 headerLength = qFromLittleEndian<quint16>(header.constData() + 8);
    const qint64 recordLength = qFromLittleEndian<quint16>(header.constData() + 10);
    if (file.size() >= headerLength + records * recordLength)
        return QString();
    return QStringLiteral("Tabla «%1»: está cortada, su cabecera cuenta %2 filas y el archivo no "
                          "las tiene todas")
        .arg(QDir::toNativeSeparators(path))
        .arg(records);
}

// Every row of a table as the texts of its fields. Throws EngineError.
ReadTable readTable(const QString& folder, const QString& name)
{
    DbfTable table(folder, name);
    table.open(DbfTable::Access::Shared);
    if (const QString problem = cutShort(table.path()); !problem.isEmpty())
        throw EngineError(problem);
    ReadTable out;
    for (const DbfField& field : table.fields())
        out.fields << field.name.toUpper();
    for (table.first(); !table.eof(); table.next()) {
        QStringList row;
        row.reserve(out.fields.size());
        for (const DbfField& field : table.fields())
            row << table.text(field.name);
        out.rows << row;
    }
    return out;
}

// The rows keyed by code; a repeated code gets "#2", "#3" on its later rows and is listed
// in `repeated`.
QList<Row> keyedRows(const ReadTable& table, const QStringList& codeFields, QStringList& repeated)
{
    QList<int> keyColumns;
    for (const QString& field : codeFields)
        keyColumns << table.fields.indexOf(field);
    QHash<QString, int> seen;
    QList<Row> rows;
    rows.reserve(table.rows.size());
    for (const QStringList& values : table.rows) {
        QStringList key;
        for (const int column : keyColumns)
            key << values.at(column);
        const QString plain = codeText(key, 1);
        const int occurrence = ++seen[plain];
        if (occurrence == 2 && !repeated.contains(plain))
            repeated << plain;
        Row row;
        row.code = codeText(key, occurrence);
        for (int i = 0; i < table.fields.size(); ++i)
            row.values.insert(table.fields.at(i), values.at(i));
        rows << row;
    }
    return rows;
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

TableComparison compareTable(const QString& newFolder, const QString& timetableFolder,
                             const QString& name)
{
    TableComparison result;
    result.name = name;
    result.codeFields = codeFields(name);

    ReadTable after;
    try {
        if (!DbfTable(newFolder, name).exists())
            throw EngineError(QStringLiteral("la conversión no la ha escrito"));
        after = readTable(newFolder, name);
    } catch (const std::exception& error) {
        result.state = TableComparison::State::NewUnreadable;
        result.problem = QString::fromUtf8(error.what());
        return result;
    }
    result.rowsAfter = after.rows.size();

    ReadTable before;
    try {
        // Something else under the table's name (a folder, a broken link) is not "no table".
        const DbfTable current(timetableFolder, name);
        if (!current.exists() && !QFileInfo(current.path()).exists() &&
            !QFileInfo(current.path()).isSymLink()) {
            // Every row is new; listed by code when the new table has its code.
            result.state = TableComparison::State::NoCurrentTable;
            if (!result.codeFields.isEmpty() &&
                missingFields(result.codeFields, after.fields).isEmpty()) {
                for (const Row& row : keyedRows(after, result.codeFields, result.repeatedCodes))
                    result.added << row.code;
            }
            return result;
        }
        before = readTable(timetableFolder, name);
    } catch (const std::exception& error) {
        result.state = TableComparison::State::CurrentUnreadable;
        result.problem = QString::fromUtf8(error.what());
        return result;
    }
    result.rowsBefore = before.rows.size();

    if (result.codeFields.isEmpty()) {
        result.state = TableComparison::State::CountsOnly;
        result.problem = QStringLiteral("no se sabe qué campo da el código de sus filas");
        return result;
    }
    if (const QString missing = missingFields(result.codeFields, before.fields);
        !missing.isEmpty()) {
        result.state = TableComparison::State::CountsOnly;
        result.problem = QStringLiteral("la tabla actual no tiene el campo %1").arg(missing);
        return result;
    }
    if (const QString missing = missingFields(result.codeFields, after.fields);
        !missing.isEmpty()) {
        result.state = TableComparison::State::CountsOnly;
        result.problem = QStringLiteral("la tabla nueva no tiene el campo %1").arg(missing);
        return result;
    }

    const QList<Row> oldRows = keyedRows(before, result.codeFields, result.repeatedCodes);
    const QList<Row> newRows = keyedRows(after, result.codeFields, result.repeatedCodes);
    QHash<QString, const Row*> oldByCode;
    for (const Row& row : oldRows)
        oldByCode.insert(row.code, &row);
    QSet<QString> newCodes;
    for (const Row& row : newRows) {
        newCodes.insert(row.code);
        const auto found = oldByCode.constFind(row.code);
        if (found == oldByCode.constEnd()) {
            result.added << row.code;
            continue;
        }
        const Row& old = **found;
        bool differs = false;
        // The new table's fields: a value that differs, or one that the new row leaves empty.
        for (const QString& field : after.fields) {
            const QString oldValue = old.values.value(field);
            const QString newValue = row.values.value(field);
            if (oldValue == newValue)
                continue;
            differs = true;
            result.changes << ChangedValue{row.code, field, oldValue, newValue};
            if (isEmptyValue(newValue) && !isEmptyValue(oldValue))
                result.dropped << DroppedValue{name, row.code, field, oldValue, false};
        }
        // Fields the new table does not have at all: whatever they hold now goes.
        for (const QString& field : before.fields) {
            if (after.fields.contains(field))
                continue;
            const QString oldValue = old.values.value(field);
            if (isEmptyValue(oldValue))
                continue;
            differs = true;
            result.dropped << DroppedValue{name, row.code, field, oldValue, true};
        }
        if (differs)
            result.changed << row.code;
    }
    for (const Row& row : oldRows) {
        if (!newCodes.contains(row.code))
            result.removed << row.code;
    }
    return result;
}

QString plural(int count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromUtf8(count == 1 ? one : many));
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
    return QStringLiteral("%1, %2 «%3», campo %4: «%5» se perdería (%6).")
        .arg(d.table, rowNoun(d.table), d.code, d.field, d.oldValue,
             d.fieldMissing ? QStringLiteral("la tabla nueva no tiene ese campo")
                            : QStringLiteral("ahora tiene valor y la tabla nueva lo deja vacío"));
}

QString tableLine(const TableComparison& t)
{
    using State = TableComparison::State;
    switch (t.state) {
    case State::NewUnreadable:
        return QStringLiteral("%1: no se puede leer la tabla nueva (%2).").arg(t.name, t.problem);
    case State::NoCurrentTable:
        return QStringLiteral("%1: tabla nueva, no hay ahora una en la carpeta de horarios (%2).")
            .arg(t.name, plural(t.rowsAfter, "fila", "filas"));
    case State::CurrentUnreadable:
        return QStringLiteral("%1: no se puede leer la tabla que hay ahora y no se compara (%2). "
                              "La tabla nueva tendrá %3.")
            .arg(t.name, t.problem, plural(t.rowsAfter, "fila", "filas"));
    case State::CountsOnly:
        return QStringLiteral("%1: %2 ahora y %3 en la tabla nueva; no se comparan fila a fila "
                              "porque %4.")
            .arg(t.name, plural(t.rowsBefore, "fila", "filas"), QString::number(t.rowsAfter),
                 t.problem);
    case State::Compared:
        break;
    }
    if (t.added.isEmpty() && t.removed.isEmpty() && t.changed.isEmpty())
        return QStringLiteral("%1: sin cambios (%2).")
            .arg(t.name, plural(t.rowsAfter, "fila", "filas"));
    return QStringLiteral("%1: %2, %3, %4.")
        .arg(t.name, plural(t.added.size(), "fila nueva", "filas nuevas"),
             plural(t.removed.size(), "quitada", "quitadas"),
             plural(t.changed.size(), "cambiada", "cambiadas"));
}

QJsonArray stringArray(const QStringList& list)
{
    return QJsonArray::fromStringList(list);
}

QJsonObject droppedJson(const DroppedValue& d)
{
    return QJsonObject{{QStringLiteral("table"), d.table},
                       {QStringLiteral("code"), d.code},
                       {QStringLiteral("field"), d.field},
                       {QStringLiteral("oldValue"), d.oldValue},
                       {QStringLiteral("fieldMissing"), d.fieldMissing}};
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
    for (const KnownTable& known : knownTables()) {
        if (name == QLatin1String(known.name))
            return known.codeFields;
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
                     .arg(plural(dropped.size(), "dato", "datos"),
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
