#include "components/report/runreport.h"

#include "components/platform/platform.h"

#include <QDir>
#include <QJsonArray>
#include <algorithm>

namespace {

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString rows(int count)
{
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" fila") : QStringLiteral(" filas"));
}

// A section: its heading with the count, then its lines, `limit` of them at most and the rest
// counted.
void appendList(QStringList& out, const QString& heading, const QStringList& lines, int limit,
                bool counted = true)
{
    if (lines.isEmpty())
        return;
    out << QString()
        << (counted ? QStringLiteral("%1 (%2):").arg(heading).arg(lines.size()) : heading + u':');
    const qsizetype shown = limit < 0 ? lines.size() : std::min<qsizetype>(limit, lines.size());
    for (qsizetype i = 0; i < shown; ++i)
        out << QStringLiteral("  ") + lines.at(i);
    if (shown < lines.size())
        out << QStringLiteral("  ... y %1 más.").arg(lines.size() - shown);
}

// The items as a JSON array, each made an object by `toObject`.
template <typename Item, typename ToObject>
QJsonArray jsonArray(const std::vector<Item>& items, ToObject toObject)
{
    QJsonArray out;
    for (const Item& item : items)
        out.append(toObject(item));
    return out;
}

QString codeLine(const RunReport::Code& c)
{
    QString why = c.why;
    if (why.isEmpty())
        why = c.numbered ? QStringLiteral("otro registro ya tenía «%1»").arg(c.given) : QString();
    return QStringLiteral("%1, %2: «%3» tiene el código %4 (%5)")
        .arg(c.table, c.place, c.name, c.code,
             c.numbered ? QStringLiteral("numerado: ") + why
                        : QStringLiteral("acortado de «%1»").arg(c.given));
}

QString solucRows(int count, const QString& code)
{
    if (count == 0)
        return QStringLiteral("ninguna fila de SOLUC con %1").arg(code);
    return (count == 1 ? QStringLiteral("1 fila de SOLUC con %2")
                       : QStringLiteral("%1 filas de SOLUC con %2"))
        .arg(count)
        .arg(code);
}

QString kindName(RunReport::Kind kind)
{
    switch (kind) {
    case RunReport::Kind::Exportar:
        return QStringLiteral("exportar");
    case RunReport::Kind::Importar:
        return QStringLiteral("importar");
    case RunReport::Kind::Comprobar:
        return QStringLiteral("comprobar");
    }
    return QString();
}

} // namespace

RunReport::RunReport(Kind kind) : m_kind(kind) {}

void RunReport::setComparison(const QStringList& lines, const QJsonObject& json)
{
    m_comparisonLines = lines;
    m_comparison = json;
    m_compared = true;
}

QString RunReport::skipReason(Skip reason)
{
    switch (reason) {
    case Skip::NotPlaced:
        return QStringLiteral("sin colocar en el horario (DIA 0)");
    case Skip::UnknownTeacher:
        return QStringLiteral("el profesor no está en PROFT");
    }
    return QString();
}

void RunReport::appendHeading(QStringList& out, int listLimit) const
{
    switch (m_kind) {
    case Kind::Exportar:
        out << QStringLiteral("Informe de la exportación de Yedra a Oranel");
        break;
    case Kind::Importar:
        out << QStringLiteral("Informe de la importación de Oranel a Yedra");
        break;
    case Kind::Comprobar:
        out << QStringLiteral("Comprobación del documento de Yedra");
        break;
    }
    if (!m_document.isEmpty())
        out << QStringLiteral("Documento: %1").arg(native(m_document));
    if (!m_timetableFolder.isEmpty())
        out << QStringLiteral("Carpeta de horarios: %1").arg(native(m_timetableFolder));
    if (m_trial)
        out << QStringLiteral("Prueba: la carpeta de horarios no se ha tocado.");

    if (m_kind == Kind::Comprobar) {
        out << (m_problems.isEmpty()
                    ? QStringLiteral("El documento se puede convertir.")
                    : QStringLiteral("El documento no se puede convertir tal como está."));
        appendList(out, QStringLiteral("Problemas que impiden la conversión"), m_problems,
                   listLimit);
    }
}

void RunReport::appendTables(QStringList& out, int listLimit, bool changedValues) const
{
    if (!m_tables.empty()) {
        out << QString()
            << (m_trial || m_kind == Kind::Comprobar ? QStringLiteral("Tablas que se escribirían:")
                                                     : QStringLiteral("Tablas escritas:"));
        for (const TableRows& t : m_tables)
            out << QStringLiteral("  %1: %2").arg(t.table, rows(t.rows));
    }
    if (m_kind == Kind::Exportar && !m_trial) {
        out << QString()
            << (m_backup.isEmpty()
                    ? QStringLiteral("No se ha sustituido ninguna tabla: no hay copia.")
                    : QStringLiteral("Las tablas que había antes se han guardado en %1")
                          .arg(native(m_backup)));
    }

    QStringList lines;
    for (const Code& c : m_codes)
        lines << codeLine(c);
    appendList(out, QStringLiteral("Códigos acortados o numerados"), lines, listLimit);
    lines.clear();
    for (const KeptCode& c : m_keptCodes)
        lines << QStringLiteral("%1, %2: «%3» conserva el código %4, que ya tenía (por la regla "
                                "sería %5)")
                     .arg(c.table, c.place, c.name, c.code, c.ruleCode);
    appendList(out,
               QStringLiteral("Códigos que se conservan de las tablas de la carpeta de horarios"),
               lines, listLimit);
    lines.clear();
    for (const OwnerChange& c : m_ownerChanges)
        lines << QStringLiteral("%1: %2 era de «%3» y pasa a «%4»: %5")
                     .arg(c.table, c.code, c.before, c.after, solucRows(c.solucRows, c.code));
    appendList(out, QStringLiteral("Códigos que cambian de dueño"), lines, listLimit);
    lines.clear();
    for (const CodeLeft& c : m_codesLeft)
        lines << QStringLiteral("%1: %2 era de «%3», que ya no está: %4 quedan sin dueño")
                     .arg(c.table, c.code, c.before, solucRows(c.solucRows, c.code));
    appendList(out, QStringLiteral("Códigos que SOLUC usa y ya no tiene nadie"), lines, listLimit);
    lines.clear();
    for (const Record& r : m_records)
        lines << QStringLiteral("%1, %2: %3").arg(r.table, r.place, r.reason);
    appendList(out, QStringLiteral("Registros omitidos o incompletos"), lines, listLimit);
    if (changedValues)
        appendList(out, QStringLiteral("Valores guardados de otra forma (Windows-1252)"),
                   m_changedValues, listLimit);
    if (m_compared) {
        out << QString() << QStringLiteral("Comparación con las tablas de la carpeta de horarios:");
        const qsizetype shown = listLimit < 0
                                    ? m_comparisonLines.size()
                                    : std::min<qsizetype>(listLimit, m_comparisonLines.size());
        for (qsizetype i = 0; i < shown; ++i)
            out << QStringLiteral("  ") + m_comparisonLines.at(i);
        if (shown < m_comparisonLines.size())
            out << QStringLiteral("  ... y %1 líneas más.").arg(m_comparisonLines.size() - shown);
    }
}

void RunReport::appendTeachers(QStringList& out, int listLimit) const
{
    if (!m_result.isEmpty())
        out << QString() << QStringLiteral("Documento para Yedra: %1").arg(native(m_result));
    QStringList lines;
    int activities = 0;
    for (const Teacher& t : m_teachers) {
        activities += t.activities;
        lines << QStringLiteral("%1  %2: %3 %4")
                     .arg(t.code, t.name)
                     .arg(t.activities)
                     .arg(t.activities == 1 ? QStringLiteral("actividad")
                                            : QStringLiteral("actividades"));
    }
    appendList(out,
               QStringLiteral("Profesores escritos (%1), con %2 actividades en total")
                   .arg(m_teachers.size())
                   .arg(activities),
               lines, listLimit, false);
}

void RunReport::appendSolvedRows(QStringList& out, int listLimit) const
{
    int notPlaced = 0;
    int unknown = 0;
    QStringList lines;
    for (const SkippedRow& s : m_skipped) {
        (s.reason == Skip::NotPlaced ? notPlaced : unknown)++;
        lines << QStringLiteral("fila %1 (PROF «%2»): %3")
                     .arg(s.row)
                     .arg(s.teacher, skipReason(s.reason));
    }
    out << QString()
        << QStringLiteral("Filas de SOLUC: %1; llevadas al documento: %2; no llevadas: %3 (%4 "
                          "sin colocar, %5 de profesores que no están en PROFT).")
               .arg(m_solvedRows)
               .arg(m_solvedRows - qsizetype(m_skipped.size()))
               .arg(m_skipped.size())
               .arg(notPlaced)
               .arg(unknown);
    if (m_deletedRows == 1)
        out << QStringLiteral("SOLUC tiene además 1 fila borrada, que no se lee.");
    else if (m_deletedRows > 1)
        out << QStringLiteral("SOLUC tiene además %1 filas borradas, que no se leen.")
                   .arg(m_deletedRows);
    appendList(out, QStringLiteral("Filas de SOLUC no llevadas"), lines, listLimit);
    appendList(out, QStringLiteral("Valores que XML no admite, que el documento no lleva"),
               m_unwrittenValues, listLimit);
}

void RunReport::appendEmptyValues(QStringList& out) const
{
    QStringList lines;
    int empty = 0;
    for (auto it = m_emptyValues.cbegin(); it != m_emptyValues.cend(); ++it) {
        empty += it.value();
        lines << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
    }
    if (lines.isEmpty())
        return;
    out << QString()
        << QStringLiteral("Valores vacíos en las actividades escritas (%1), por campo:").arg(empty);
    for (const QString& line : std::as_const(lines))
        out << QStringLiteral("  ") + line;
}

QString RunReport::text(int listLimit, bool changedValues) const
{
    QStringList out;
    appendHeading(out, listLimit);
    appendTables(out, listLimit, changedValues);
    if (m_kind == Kind::Importar) {
        appendTeachers(out, listLimit);
        appendSolvedRows(out, listLimit);
        appendEmptyValues(out);
    }
    if (!m_reportFile.isEmpty())
        out << QString() << QStringLiteral("Informe guardado en %1").arg(native(m_reportFile));
    if (!m_reportFileProblem.isEmpty())
        out << QString() << m_reportFileProblem;
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QJsonObject RunReport::json() const
{
    QJsonObject o;
    o.insert(QStringLiteral("orden"), kindName(m_kind));
    if (!m_document.isEmpty())
        o.insert(QStringLiteral("documento"), native(m_document));
    if (!m_timetableFolder.isEmpty())
        o.insert(QStringLiteral("carpeta"), native(m_timetableFolder));
    if (m_kind != Kind::Importar)
        o.insert(QStringLiteral("prueba"), m_trial || m_kind == Kind::Comprobar);
    if (m_kind == Kind::Comprobar) {
        o.insert(QStringLiteral("convertible"), m_problems.isEmpty());
        o.insert(QStringLiteral("problemas"), QJsonArray::fromStringList(m_problems));
    }
    if (m_kind != Kind::Importar) {
        QJsonArray tables;
        for (const TableRows& t : m_tables)
            tables.append(
                QJsonObject{{QStringLiteral("tabla"), t.table}, {QStringLiteral("filas"), t.rows}});
        o.insert(QStringLiteral("tablas"), tables);
        if (m_kind == Kind::Exportar && !m_trial)
            o.insert(QStringLiteral("copia"),
                     m_backup.isEmpty() ? QJsonValue() : QJsonValue(native(m_backup)));
        QJsonArray codes;
        for (const Code& c : m_codes)
            codes.append(QJsonObject{{QStringLiteral("tabla"), c.table},
                                     {QStringLiteral("lugar"), c.place},
                                     {QStringLiteral("nombre"), c.name},
                                     {QStringLiteral("codigoPedido"), c.given},
                                     {QStringLiteral("codigo"), c.code},
                                     {QStringLiteral("numerado"), c.numbered}});
        o.insert(QStringLiteral("codigos"), codes);
        if (m_kind == Kind::Exportar) {
            o.insert(QStringLiteral("codigosConservados"),
                     jsonArray(m_keptCodes, [](const KeptCode& c) {
                         return QJsonObject{{QStringLiteral("tabla"), c.table},
                                            {QStringLiteral("lugar"), c.place},
                                            {QStringLiteral("nombre"), c.name},
                                            {QStringLiteral("codigo"), c.code},
                                            {QStringLiteral("codigoPorRegla"), c.ruleCode}};
                     }));
            o.insert(QStringLiteral("codigosQueCambianDeDueno"),
                     jsonArray(m_ownerChanges, [](const OwnerChange& c) {
                         return QJsonObject{{QStringLiteral("tabla"), c.table},
                                            {QStringLiteral("codigo"), c.code},
                                            {QStringLiteral("antes"), c.before},
                                            {QStringLiteral("despues"), c.after},
                                            {QStringLiteral("filasSoluc"), c.solucRows}};
                     }));
            o.insert(QStringLiteral("codigosSinDueno"),
                     jsonArray(m_codesLeft, [](const CodeLeft& c) {
                         return QJsonObject{{QStringLiteral("tabla"), c.table},
                                            {QStringLiteral("codigo"), c.code},
                                            {QStringLiteral("antes"), c.before},
                                            {QStringLiteral("filasSoluc"), c.solucRows}};
                     }));
        }
        QJsonArray records;
        for (const Record& r : m_records)
            records.append(QJsonObject{{QStringLiteral("tabla"), r.table},
                                       {QStringLiteral("lugar"), r.place},
                                       {QStringLiteral("motivo"), r.reason}});
        o.insert(QStringLiteral("registros"), records);
        o.insert(QStringLiteral("valoresCambiados"), QJsonArray::fromStringList(m_changedValues));
        if (m_compared)
            o.insert(QStringLiteral("comparacion"), m_comparison);
    } else {
        o.insert(QStringLiteral("resultado"),
                 m_result.isEmpty() ? QJsonValue() : QJsonValue(native(m_result)));
        QJsonArray teachers;
        for (const Teacher& t : m_teachers)
            teachers.append(QJsonObject{{QStringLiteral("codigo"), t.code},
                                        {QStringLiteral("nombre"), t.name},
                                        {QStringLiteral("actividades"), t.activities}});
        o.insert(QStringLiteral("profesores"), teachers);
        QJsonArray skipped;
        int notPlaced = 0;
        int unknown = 0;
        for (const SkippedRow& s : m_skipped) {
            (s.reason == Skip::NotPlaced ? notPlaced : unknown)++;
            skipped.append(QJsonObject{
                {QStringLiteral("fila"), s.row},
                {QStringLiteral("prof"), s.teacher},
                {QStringLiteral("motivo"), s.reason == Skip::NotPlaced
                                               ? QStringLiteral("sin colocar")
                                               : QStringLiteral("profesor no está en PROFT")}});
        }
        o.insert(QStringLiteral("soluc"),
                 QJsonObject{{QStringLiteral("filas"), m_solvedRows},
                             {QStringLiteral("llevadas"), m_solvedRows - int(m_skipped.size())},
                             {QStringLiteral("sinColocar"), notPlaced},
                             {QStringLiteral("profesorDesconocido"), unknown},
                             {QStringLiteral("borradas"), m_deletedRows},
                             {QStringLiteral("noLlevadas"), skipped}});
        if (!m_unwrittenValues.isEmpty())
            o.insert(QStringLiteral("valoresNoLlevados"),
                     QJsonArray::fromStringList(m_unwrittenValues));
        QJsonObject empty;
        for (auto it = m_emptyValues.cbegin(); it != m_emptyValues.cend(); ++it)
            empty.insert(it.key(), it.value());
        o.insert(QStringLiteral("valoresVacios"), empty);
    }
    if (!m_reportFile.isEmpty())
        o.insert(QStringLiteral("informe"), native(m_reportFile));
    if (!m_reportFileProblem.isEmpty())
        o.insert(QStringLiteral("informeNoGuardado"), m_reportFileProblem);
    return o;
}

QByteArray RunReport::fileContents() const
{
    QString body = text();
    body.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return QByteArrayLiteral("\xEF\xBB\xBF") + body.toUtf8();
}

void RunReport::sortSkippedRows()
{
    std::stable_sort(m_skipped.begin(), m_skipped.end(),
                     [](const SkippedRow& a, const SkippedRow& b) { return a.row < b.row; });
}

bool RunReport::writeFile(const QString& folderPath, const QString& fileName, bool followFolderLink,
                          QString* error) const
{
    return writeFile(folderPath, fileName, followFolderLink, fileContents(), error);
}

bool RunReport::writeFile(const QString& folderPath, const QString& fileName, bool followFolderLink,
                          const QByteArray& contents, QString* error)
{
    platform::Folder folder(folderPath, followFolderLink ? platform::Folder::Link::Followed
                                                         : platform::Folder::Link::Refused);
    *error = folder.error();
    return folder.isOpen() && folder.writeFile(fileName, contents, error);
}
