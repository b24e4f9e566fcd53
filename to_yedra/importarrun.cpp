#include "to_yedra/importarrun.h"

#include "components/dbase/dbftable.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/text/texthash.h"
#include "components/text/textrows.h"
#include "components/text/texts.h"
#include "components/timetablefolder/folderhold.h"
#include "components/timetablefolder/tablelayouts.h"
#include "components/xml/xmldocument.h"
#include "exchange/yedradocument.h"
#include "exchange/yedrawriter.h"
#include "to_yedra/teachercheck.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

const QString ImportarRun::NoSolucAdvice =
    QStringLiteral("Oranel escribe SOLUC.DBF al resolver el horario: resuélvalo en Oranel y "
                   "vuelva a importar.");
const QString ImportarRun::NoPeriods =
    QStringLiteral("ATENCIÓN - PERIODOS.DBF No encontrado - Importe de nuevo XML de YEDRA.");
// The lines are separated by a line feed and a carriage return, in that order.
const QString ImportarRun::TeachersStillIncomplete =
    QStringLiteral("¡Atención! Sigue habiendo algún Profesor sin todos los DATOS.\n\r"
                   "Este proceso se dentendrá y deberá volver a ejecutar\n\r"
                   "la Importación, para poder corregir la incidencia");

namespace {

// One row of the solved timetable, read once. DIA and HORA are converted where the run needs
// them, so that a row it never looks at cannot end it.
struct Entry {
    std::optional<qint64> dia;
    QString diaError;
    std::optional<qint64> hora;
    QString horaError;
    QString marco;
    QString asig;
    QString codgrupo;
    QString tarea;
    QString aula;

    qint64 day() const { return dia ? *dia : throw ConversionError(diaError); }
    qint64 hour() const { return hora ? *hora : throw ConversionError(horaError); }
};

// A row of a table, for a message: "la tabla SOLUC, fila 3 (PROF «GL1»)".
QString rowPlace(const QString& table, int row, const QString& codeField, const QString& code)
{
    return QStringLiteral("la tabla %1, fila %2 (%3 «%4»)")
        .arg(table)
        .arg(row)
        .arg(codeField, texts::printable(code));
}

// A number field read as a 32-bit integer (blank reads 0), or the error reading it gave, with a
// second line saying where (`place` is asked for only then).
template <typename Place>
void readInteger(const DbfTable& table, const QString& field, const Place& place,
                 std::optional<qint64>& value, QString& error)
{
    const QString text = table.text(field);
    try {
        value = text.isEmpty() ? 0 : texts::toInteger(text);
    } catch (const ConversionError& e) {
        error = e.at(place() + QStringLiteral(", campo ") + field).message();
    }
}

// What is said of a value XML does not allow: "En la tabla SOLUC, fila 3 (PROF «GL1»), el campo
// AULA tiene un carácter que XML no admite (U+0007): «A1�»."
QString unwritableText(const QString& place, std::string_view field, const QString& value)
{
    return QStringLiteral("En %1, el campo %2 tiene un carácter que XML no admite (%3): «%4».")
        .arg(place, QLatin1String(field.data(), qsizetype(field.size())),
             texts::codePointName(texts::firstNonXmlCharacter(value).value_or(0)),
             texts::printable(value));
}

// Where a value the run may write is kept: the lookup, the row there (by its number in the walk,
// or its place in a TextRows lookup; -1 for a row no lookup keeps), and the field.
enum class Source : char { None, Periods, Assignment, Task, Cell, Unit, Subject, Soluc, Teacher };
struct Origin {
    Source source = Source::None;
    qsizetype at = -1;
    std::string_view field = "";

    bool operator==(const Origin&) const = default;
};

// A value read from a table with a character XML does not allow, and where it was read.
struct Unwritable {
    Origin origin;
    QString place;
    QString value;
};

struct Slot {
    QString dia;
    QString coddiho;
    QString horadesde;
    QString horahasta;
    QString place; // the row it came from, for a conversion error
    int row = -1;
};

// Calls `visit` on every row a walk from the first row visits, with its number from 1.
template <typename Visit> void eachRow(DbfTable& table, Visit&& visit)
{
    int row = 0;
    for (table.first(); !table.eof(); table.next())
        visit(table, ++row);
}

bool blank(const QString& text)
{
    return texts::trimmed(text).isEmpty();
}

// The nine tables the run holds open while it lasts, in the order it opens them.
struct OpenTables {
    DbfTable soluc;
    DbfTable grupost;
    DbfTable cursost;
    DbfTable proft;
    DbfTable aulat;
    DbfTable asignomt;
    DbfTable asignomt2;
    DbfTable diashorast;
    DbfTable asigt;

    explicit OpenTables(const QString& folder)
        : soluc(folder, QStringLiteral("SOLUC")), grupost(folder, QStringLiteral("GRUPOST")),
          cursost(folder, QStringLiteral("CURSOST")), proft(folder, QStringLiteral("PROFT")),
          aulat(folder, QStringLiteral("AULAT")), asignomt(folder, QStringLiteral("ASIGNOMT")),
          asignomt2(folder, QStringLiteral("ASIGNOMT2")),
          diashorast(folder, QStringLiteral("DIASHORAST")), asigt(folder, QStringLiteral("ASIGT"))
    {
        const auto exclusive = DbfTable::Access::Exclusive;
        try {
            soluc.open(exclusive);
        } catch (const TableError& error) {
            // The advice is for a table not written yet, never for something else in its place.
            const QString solucPath = platform::resolveLetterCase(
                QDir(folder).filePath(layouts::soluc + QStringLiteral(".DBF")));
            if (platform::entryKind(solucPath) != platform::EntryKind::Missing)
                throw;
            throw TableError(error.message() + QLatin1Char('\n') + ImportarRun::NoSolucAdvice);
        }
        grupost.open(exclusive);
        cursost.open(exclusive);
        proft.open(DbfTable::Access::Shared); // the teacher dialog opens it again
        aulat.open(exclusive);
        asignomt.open(exclusive);
        asignomt2.open(exclusive);
        diashorast.open(exclusive);
        asigt.open(exclusive);
        // A table shorter than its header says has lost rows: the run never goes on without them.
        for (const DbfTable* table : {&soluc, &grupost, &cursost, &proft, &aulat, &asignomt,
                                      &asignomt2, &diashorast, &asigt})
            table->requireAllRows();
        // Oranel's table: each field the run reads must be of a type that fits (a missing one is
        // named when a row is read). MARCO is compared as text, and Oranel keeps it as a number;
        // DIA and HORA are whole numbers, also as texts (refused with their row when not one).
        using Use = DbfTable::FieldUse;
        auto require = [this](const char* field, std::initializer_list<Use> uses) {
            if (soluc.hasField(QLatin1String(field)))
                soluc.requireField(QLatin1String(field), uses);
        };
        for (const char* field : {"PROF", "ASIG", "CODGRUPO", "TAREA", "AULA"})
            require(field, {Use::Text});
        require("DIA", {Use::Number, Use::Text});
        require("HORA", {Use::Number, Use::Text});
        require("MARCO", {Use::Text, Use::Number});
    }
};

} // namespace

ImportarRun::ImportarRun(QString timetableFolder, Interaction& interaction)
    : m_timetableFolder(std::move(timetableFolder)), m_interaction(interaction)
{
}

QString ImportarRun::resultPath(const QString& documentPath)
{
    const qsizetype separator = std::max(documentPath.lastIndexOf(QLatin1Char('/')),
                                         documentPath.lastIndexOf(QLatin1Char('\\')));
    return documentPath.left(separator + 1) + QStringLiteral("ResultadoOranel") +
           documentPath.mid(separator + 1);
}

QString ImportarRun::resultPathProblem(const QString& target)
{
    QString what;
    switch (platform::entryKind(target)) {
    case platform::EntryKind::Missing:
    case platform::EntryKind::File:
        return QString();
    case platform::EntryKind::Link:
        what = QStringLiteral("es un enlace simbólico, y Quelvana no escribe a través de enlaces");
        break;
    case platform::EntryKind::Folder:
        what = QStringLiteral("es una carpeta");
        break;
    case platform::EntryKind::Other:
        what = platform::notOrdinaryFile(target);
        break;
    }
    return QStringLiteral("No se puede guardar el documento para Yedra en «%1»: %2. Quítelo de "
                          "esa carpeta y vuelva a empezar.")
        .arg(QDir::toNativeSeparators(target), what);
}

namespace {

// Everything the walk over the teachers looks up, built once from the open tables, each map
// keeping the first row in natural order, as a walk from the first row would find it. A text of
// SOLUC is looked up as the field it is compared with stores it (textAsRead).
struct Lookups {
    QString fecini;
    QString fecfin;
    int hayActividad513 = 0;
    // CASIG, CGRUP -> CLAVE, CLAVECURSO: large, and looked up for every activity.
    TextRows assignments{2, 2};
    TextMap<QString, std::pair<QString, int>> tasks;  // COD -> CODTAREA and its row
    TextMap<std::pair<QString, QString>, Slot> cells; // DIHO, MARCO
    TextRows units{1, 2};                             // ABREV -> CLAVE, CLAVECURSO
    TextRows subjects{2, 1};                          // COD, OFERTAMATRI -> MATERIA
    // The widths of the fields looked up: PROFT.ABREV, ASIGT's, ASIGNOMT.COD, GRUPOST.ABREV...
    int teacherWidth = 0, casigWidth = 0, cgrupWidth = 0, taskWidth = 0, unitWidth = 0;
    int codWidth = 0, offerWidth = 0;
    // Values XML does not allow, as the tables are read: one about to be written stops the run;
    // the others, which the document never carries, go into the report.
    std::vector<Unwritable> unwritable;
    // The solved timetable by teacher code: what the filter on PROF selects, in natural order.
    // Only where each row stands is kept; a row is read again when it is written.
    struct SolucRow {
        int record; // in the file, from 0
        int row;    // in the walk, from 1, for a message
        // Whether its DIA reads 0, another number, or does not read (it is read again then):
        // counting a teacher's placed entries needs no second look at the table.
        enum class Day : char { Zero, Placed, Unread } day;
        // For a placed row, its class assignment (ASIGT by ASIG and CODGRUPO) and its unit
        // (GRUPOST by CODGRUPO), or -1: found while SOLUC is read in order, where the lookups of
        // one row after another overlap, instead of one by one among everything writing an
        // activity does.
        qsizetype assignment = -1;
        qsizetype unit = -1;
    };
    DbfTable* soluc = nullptr;
    // The rows of each teacher SOLUC names, in the order it first names them, one teacher's
    // rows after another's: teacher t's rows are solucRows[rowsStart[t]] up to rowsStart[t + 1].
    std::vector<QString> solucTeachers;
    std::vector<SolucRow> solucRows;
    std::vector<size_t> rowsStart;
    TextRows teachersInSoluc{1, 0}; // PROF -> its place in solucTeachers
    TextSet<QString> teacherCodes;  // PROFT's ABREV

    // The rows of the teacher at place `t` in solucTeachers.
    std::span<const SolucRow> rowsOf(size_t t) const
    {
        return std::span(solucRows).subspan(rowsStart[t], rowsStart[t + 1] - rowsStart[t]);
    }
};

// Notes each of `fields` of the current row, row `row` of `table` whose code is `code`, whose
// value XML does not allow, as kept at `origin`.
void noteUnwritable(Lookups& l, const DbfTable& t, std::initializer_list<const char*> fields,
                    Origin origin, const char* table, int row, const char* codeField = nullptr,
                    const QString& code = QString())
{
    for (const char* field : fields) {
        const QString value = t.text(QLatin1String(field));
        if (!texts::firstNonXmlCharacter(value))
            continue;
        origin.field = field;
        const QString place =
            codeField ? rowPlace(QLatin1String(table), row, QLatin1String(codeField), code)
                      : QStringLiteral("la tabla %1, fila %2").arg(QLatin1String(table)).arg(row);
        l.unwritable.push_back({origin, place, value});
    }
}

// One row of the solved timetable, read where it stands; with `dayOnly`, its DIA alone.
Entry readEntry(const Lookups& l, const Lookups::SolucRow& at, bool dayOnly = false)
{
    DbfTable& t = *l.soluc;
    t.goToRecord(at.record);
    const auto place = [&t, &at] {
        return rowPlace(QStringLiteral("SOLUC"), at.row, QStringLiteral("PROF"),
                        t.text(QStringLiteral("PROF")));
    };
    Entry e;
    readInteger(t, QStringLiteral("DIA"), place, e.dia, e.diaError);
    if (dayOnly)
        return e;
    readInteger(t, QStringLiteral("HORA"), place, e.hora, e.horaError);
    e.marco = t.text(QStringLiteral("MARCO"));
    e.asig = t.text(QStringLiteral("ASIG"));
    e.codgrupo = t.text(QStringLiteral("CODGRUPO"));
    e.tarea = t.text(QStringLiteral("TAREA"));
    e.aula = t.text(QStringLiteral("AULA"));
    return e;
}

// SOLUC read in order into l.solucRows, each teacher's rows together, a row's teacher, class
// assignment and unit looked up 16 rows after it is read.
void readSoluc(DbfTable& soluc, Lookups& l)
{
    using Day = Lookups::SolucRow::Day;
    struct Read {
        QString prof;
        QString asig;
        QString codgrupo;
        QString unit;
        std::uint64_t teacherHash;
        std::uint64_t assignmentHash;
        std::uint64_t unitHash;
        Lookups::SolucRow at;
    };
    Lagging<Read, 16> lagging;
    std::vector<std::uint32_t> teacherOfRow; // of each row, in SOLUC's order
    std::vector<size_t> rowCount;            // of each teacher
    std::vector<Lookups::SolucRow> inOrder;
    const auto rows = static_cast<size_t>(soluc.rowCount());
    teacherOfRow.reserve(rows);
    inOrder.reserve(rows);
    auto lookUp = [&](Read& r) {
        const qsizetype found = l.teachersInSoluc.add({r.prof}, {}, r.teacherHash);
        const auto teacher = static_cast<size_t>(l.teachersInSoluc.number(found));
        if (teacher == l.solucTeachers.size()) {
            l.solucTeachers.push_back(std::move(r.prof));
            rowCount.push_back(0);
        }
        ++rowCount[teacher];
        if (r.at.day == Day::Placed) {
            r.at.assignment = l.assignments.find({r.asig, r.codgrupo}, r.assignmentHash);
            r.at.unit = l.units.find({r.unit}, r.unitHash);
        }
        teacherOfRow.push_back(static_cast<std::uint32_t>(teacher));
        inOrder.push_back(r.at);
    };
    eachRow(soluc, [&](DbfTable& t, int row) {
        const QString prof = t.text(QStringLiteral("PROF"));
        noteUnwritable(l, t, {"PROF", "MARCO", "ASIG", "CODGRUPO", "TAREA", "AULA"},
                       {Source::Soluc, row}, "SOLUC", row, "PROF", prof);
        const QString diaText = t.text(QStringLiteral("DIA"));
        Day day = Day::Unread;
        try {
            day = diaText.isEmpty() || texts::toInteger(diaText) == 0 ? Day::Zero : Day::Placed;
        } catch (const ConversionError&) {
        }
        Read& r = lagging.next(lookUp);
        r.prof = textAsRead(prof, l.teacherWidth);
        r.teacherHash = l.teachersInSoluc.hash({r.prof});
        l.teachersInSoluc.ahead(r.teacherHash, false);
        if (day == Day::Placed) {
            const QString codgrupo = t.text(QStringLiteral("CODGRUPO"));
            r.asig = textAsRead(t.text(QStringLiteral("ASIG")), l.casigWidth);
            r.codgrupo = textAsRead(codgrupo, l.cgrupWidth);
            r.unit = textAsRead(codgrupo, l.unitWidth);
            r.assignmentHash = l.assignments.hash({r.asig, r.codgrupo});
            l.assignments.ahead(r.assignmentHash, false);
            r.unitHash = l.units.hash({r.unit});
            l.units.ahead(r.unitHash, false);
        }
        r.at = {t.recordNumber(), row, day};
        // Half way: the place in each index has come, the texts there are asked for.
        if (const Read* half = lagging.before(8)) {
            l.teachersInSoluc.ahead(half->teacherHash, true);
            if (half->at.day == Day::Placed) {
                l.assignments.ahead(half->assignmentHash, true);
                l.units.ahead(half->unitHash, true);
            }
        }
    });
    lagging.finish(lookUp);
    // Each teacher's rows together, in the order SOLUC has them.
    l.rowsStart.assign(l.solucTeachers.size() + 1, 0);
    for (size_t t = 0; t < rowCount.size(); ++t)
        l.rowsStart[t + 1] = l.rowsStart[t] + rowCount[t];
    std::vector<size_t> next(l.rowsStart.begin(), l.rowsStart.end() - 1);
    l.solucRows.resize(inOrder.size());
    for (size_t r = 0; r < inOrder.size(); ++r)
        l.solucRows[next[teacherOfRow[r]]++] = inOrder[r];
}

// ASIGT by CASIG and CGRUP, each row looked up 16 rows after it is read.
void readAssignments(DbfTable& asigt, Lookups& l)
{
    l.assignments.reserve(asigt.rowCount());
    struct Assignment {
        QString casig;
        QString cgrup;
        QString clave;
        QString clavecurso;
        std::uint64_t hash;
        size_t noted[2]; // its values noted as unwritable, from and to
    };
    Lagging<Assignment, 16> assignments;
    const auto addAssignment = [&l](const Assignment& a) {
        const qsizetype rows = l.assignments.size();
        const qsizetype at = l.assignments.add({a.casig, a.cgrup}, {a.clave, a.clavecurso}, a.hash);
        for (size_t i = a.noted[0]; i < a.noted[1]; ++i)
            l.unwritable[i].origin.at = l.assignments.size() > rows ? at : -1;
    };
    eachRow(asigt, [&](DbfTable& t, int row) {
        const QString casig = t.text(QStringLiteral("CASIG"));
        const size_t noted = l.unwritable.size();
        noteUnwritable(l, t, {"CASIG", "CGRUP", "CLAVE", "CLAVECURSO"}, {Source::Assignment},
                       "ASIGT", row, "CASIG", casig);
        Assignment& a = assignments.next(addAssignment);
        a = {textAsRead(casig, l.casigWidth),
             textAsRead(t.text(QStringLiteral("CGRUP")), l.cgrupWidth),
             t.text(QStringLiteral("CLAVE")),
             t.text(QStringLiteral("CLAVECURSO")),
             0,
             {noted, l.unwritable.size()}};
        a.hash = l.assignments.hash({a.casig, a.cgrup});
        l.assignments.ahead(a.hash, false);
    });
    assignments.finish(addAssignment);
}

void buildLookups(OpenTables& tables, Lookups& l)
{
    {
        DbfTable asignomt(tables.asignomt.path());
        asignomt.open();
        if (asignomt.locate({{QStringLiteral("COD"), QStringLiteral("513")}}))
            l.hayActividad513 = 1;
    }
    l.teacherWidth = tables.proft.field(layouts::codeField).width;
    l.casigWidth = tables.asigt.field(QStringLiteral("CASIG")).width;
    l.cgrupWidth = tables.asigt.field(QStringLiteral("CGRUP")).width;
    l.taskWidth = tables.asignomt.field(QStringLiteral("COD")).width;
    l.unitWidth = tables.grupost.field(layouts::codeField).width;
    l.codWidth = tables.asignomt2.field(QStringLiteral("COD")).width;
    l.offerWidth = tables.asignomt2.field(QStringLiteral("OFERTAMATRI")).width;
    readAssignments(tables.asigt, l);
    eachRow(tables.asignomt, [&](DbfTable& t, int row) {
        const QString cod = t.text(QStringLiteral("COD"));
        const auto [task, added] = l.tasks.try_emplace(textAsRead(cod, l.taskWidth));
        if (added)
            task->second = {t.text(QStringLiteral("CODTAREA")), row};
        noteUnwritable(l, t, {"COD", "CODTAREA"}, {Source::Task, added ? row : -1}, "ASIGNOMT", row,
                       "COD", cod);
    });
    eachRow(tables.diashorast, [&](DbfTable& t, int row) {
        const QString diho = t.text(QStringLiteral("DIHO"));
        const QString place =
            rowPlace(QStringLiteral("DIASHORAST"), row, QStringLiteral("DIHO"), diho);
        const auto [cell, added] =
            l.cells.try_emplace(std::make_pair(diho, t.text(QStringLiteral("MARCO"))));
        if (added)
            cell->second = {t.text(QStringLiteral("DIA")),
                            t.text(QStringLiteral("CODDIHO")),
                            t.text(QStringLiteral("HORADESDE")),
                            t.text(QStringLiteral("HORAHASTA")),
                            place,
                            row};
        noteUnwritable(l, t, {"DIHO", "MARCO", "DIA", "CODDIHO", "HORADESDE", "HORAHASTA"},
                       {Source::Cell, added ? row : -1}, "DIASHORAST", row, "DIHO", diho);
    });
    l.units.reserve(tables.grupost.rowCount());
    eachRow(tables.grupost, [&](DbfTable& t, int row) {
        const QString abrev = t.text(layouts::codeField);
        const qsizetype rows = l.units.size();
        const qsizetype at =
            l.units.add({textAsRead(abrev, l.unitWidth)},
                        {t.text(QStringLiteral("CLAVE")), t.text(QStringLiteral("CLAVECURSO"))});
        noteUnwritable(l, t, {"ABREV", "CLAVE", "CLAVECURSO"},
                       {Source::Unit, l.units.size() > rows ? at : -1}, "GRUPOST", row, "ABREV",
                       abrev);
    });
    l.subjects.reserve(tables.asignomt2.rowCount());
    eachRow(tables.asignomt2, [&](DbfTable& t, int row) {
        const QString cod = t.text(QStringLiteral("COD"));
        const qsizetype rows = l.subjects.size();
        const qsizetype at =
            l.subjects.add({textAsRead(cod, l.codWidth),
                            textAsRead(t.text(QStringLiteral("OFERTAMATRI")), l.offerWidth)},
                           {t.text(QStringLiteral("MATERIA"))});
        noteUnwritable(l, t, {"COD", "OFERTAMATRI", "MATERIA"},
                       {Source::Subject, l.subjects.size() > rows ? at : -1}, "ASIGNOMT2", row,
                       "COD", cod);
    });
    readSoluc(tables.soluc, l);
    l.soluc = &tables.soluc;
    eachRow(tables.proft, [&](DbfTable& t, int row) {
        l.teacherCodes.insert(textAsRead(t.text(layouts::codeField), l.teacherWidth));
        noteUnwritable(l, t, {"ABREV", "X_EMPLEADO", "F_TOMAPOS"}, {Source::Teacher, row}, "PROFT",
                       row, "ABREV", t.text(layouts::codeField));
    });
}

// A clock text of a time slot as minutes, the place of a bad one said.
QString minutesOf(const QString& clock, const Slot& slot, const char* field)
{
    try {
        return QString::number(texts::clockMinutes(clock));
    } catch (const ConversionError& error) {
        throw error.at(slot.place + QStringLiteral(", campo ") + QLatin1String(field));
    }
}

// A value of the result document: its name, and where the run found it.
struct Written {
    QString name;
    QString value;
    Origin origin = {};
};

// Writes a value, unless XML does not allow it: then nothing is saved, and the message names the
// row and field it came from.
void write(XmlPartWriter& writer, const Written& v, const Lookups& l)
{
    if (!l.unwritable.empty() && texts::firstNonXmlCharacter(v.value)) {
        const auto noted = std::find_if(l.unwritable.begin(), l.unwritable.end(),
                                        [&](const Unwritable& u) { return u.origin == v.origin; });
        throw EngineError(unwritableText(noted == l.unwritable.end() ? v.name : noted->place,
                                         v.origin.field, v.value) +
                          QStringLiteral("\nEl documento para Yedra no se ha escrito. Corrija el "
                                         "valor en Oranel y vuelva a empezar."));
    }
    yedra::writeValue(writer, v.name, v.value);
}

// The values of one placed entry, in the order they are written.
std::array<Written, 11> activityValues(const Entry& e, const Lookups::SolucRow& at,
                                       const Lookups& l)
{
    const qsizetype assignment = at.assignment;
    QString courseOffer = assignment < 0 ? QString() : l.assignments.value(assignment, 1);
    Origin offerOrigin{Source::Assignment, assignment, "CLAVECURSO"};
    QString subject = assignment < 0 ? QString() : l.assignments.value(assignment, 0);
    Origin subjectOrigin{Source::Assignment, assignment, "CLAVE"};

    QString activityCode = e.tarea;
    Origin activityOrigin{Source::Soluc, at.row, "TAREA"};
    if (blank(e.tarea)) {
        if (const auto task = l.tasks.find(textAsRead(e.asig, l.taskWidth));
            task != l.tasks.end()) {
            activityCode = task->second.first;
            activityOrigin = {Source::Task, task->second.second, "CODTAREA"};
        }
    }

    const QString slotKey = QString::number(e.day()) + QString::number(e.hour());
    const auto cell = l.cells.find(std::make_pair(slotKey, e.marco));
    const Slot slot = cell == l.cells.end() ? Slot() : cell->second;

    const QString room = blank(e.aula) ? QString() : e.aula;

    QString unitKey;
    if (const qsizetype unit = at.unit; unit >= 0) {
        unitKey = l.units.value(unit, 0);
        if (blank(courseOffer)) {
            courseOffer = l.units.value(unit, 1);
            offerOrigin = {Source::Unit, unit, "CLAVECURSO"};
        }
    }

    if (blank(subject)) {
        if (const qsizetype found = l.subjects.find(
                {textAsRead(e.asig, l.codWidth), textAsRead(courseOffer, l.offerWidth)});
            found >= 0) {
            subject = l.subjects.value(found, 0);
            subjectOrigin = {Source::Subject, found, "MATERIA"};
        }
    }

    const QString startText = minutesOf(slot.horadesde, slot, "HORADESDE");
    const QString endText = minutesOf(slot.horahasta, slot, "HORAHASTA");
    if (blank(activityCode) && l.hayActividad513 == 1) {
        activityCode = QStringLiteral("513");
        activityOrigin = {};
    }

    return {{
        {QStringLiteral("N_DIASEMANA"), slot.dia, {Source::Cell, slot.row, "DIA"}},
        {QStringLiteral("X_TRAMO"), slot.coddiho, {Source::Cell, slot.row, "CODDIHO"}},
        {QStringLiteral("X_DEPENDENCIA"), room, {Source::Soluc, at.row, "AULA"}},
        {QStringLiteral("X_UNIDAD"), unitKey, {Source::Unit, at.unit, "CLAVE"}},
        {QStringLiteral("X_OFERTAMATRIG"), courseOffer, offerOrigin},
        {QStringLiteral("X_MATERIAOMG"), subject, subjectOrigin},
        {QStringLiteral("F_INICIO"), l.fecini, {Source::Periods, 1, "FECINI"}},
        {QStringLiteral("F_FIN"), l.fecfin, {Source::Periods, 1, "FECFIN"}},
        {QStringLiteral("N_HORINI"), startText},
        {QStringLiteral("N_HORFIN"), endText},
        {QStringLiteral("X_ACTIVIDAD"), activityCode, activityOrigin},
    }};
}

// The group of the teacher of the current PROFT row (the row `number` of the walk), with its
// placed activities, written.
void writeTeacher(XmlPartWriter& writer, int number, const DbfTable& proft, const Lookups& l,
                  RunReport& report, QSet<QString>& reported)
{
    const QString seq = QStringLiteral("HORARIO_REGULAR_PROFESOR_%1").arg(number);
    const QString code = proft.text(layouts::codeField);
    const qsizetype found = l.teachersInSoluc.find({textAsRead(code, l.teacherWidth)});
    const std::span<const Lookups::SolucRow> entries =
        found < 0 ? std::span<const Lookups::SolucRow>()
                  : l.rowsOf(static_cast<size_t>(l.teachersInSoluc.number(found)));
    // The teacher's rows, and their class assignments, lie anywhere in large tables: all of them
    // are asked for at once, so that the reads below wait for memory once, not once a row.
    for (const Lookups::SolucRow& at : entries) {
        l.soluc->goToRecord(at.record);
        platform::prefetch(l.soluc->storedRow().data());
        if (at.assignment >= 0)
            l.assignments.prefetch(at.assignment);
        if (at.unit >= 0)
            l.units.prefetch(at.unit);
    }
    qint64 placed = 0;
    for (const Lookups::SolucRow& at : entries) {
        using Day = Lookups::SolucRow::Day;
        if (at.day == Day::Unread)
            placed += readEntry(l, at, true).day() != 0 ? 1 : 0; // throws the row's error
        else
            placed += at.day == Day::Placed ? 1 : 0;
    }
    yedra::startGroup(writer, seq, placed);
    for (const char* field : {"X_EMPLEADO", "F_TOMAPOS"})
        write(writer,
              {QLatin1String(field),
               proft.text(QLatin1String(field)),
               {Source::Teacher, number, field}},
              l);

    // A teacher code twice in PROFT writes its activities twice; its rows are said once.
    const bool firstTime = !reported.contains(code);
    reported.insert(code);
    int activityNumber = 1;
    for (const Lookups::SolucRow& at : entries) {
        const Entry e = readEntry(l, at);
        if (e.day() == 0) {
            if (firstTime)
                report.addSkippedRow({at.row, code, RunReport::Skip::NotPlaced});
            continue;
        }
        yedra::startGroup(writer, QStringLiteral("ACTIVIDAD_%1").arg(activityNumber++));
        for (const Written& v : activityValues(e, at, l)) {
            write(writer, v, l);
            if (blank(v.value))
                report.countEmptyValue(v.name);
        }
        yedra::endGroup(writer);
    }
    yedra::endGroup(writer);
    report.addTeacher({code, proft.text(QStringLiteral("NOMBRE")), activityNumber - 1});
}

// What the document does not carry: the rows of SOLUC of teachers not in PROFT, and the values
// XML does not allow that nothing wrote.
void reportWhatIsNotCarried(const DbfTable& soluc, const Lookups& l, RunReport& report)
{
    report.setSolvedRows(soluc.rowCount());
    report.setDeletedRows(soluc.deletedRowCount());
    for (size_t t = 0; t < l.solucTeachers.size(); ++t) {
        if (!l.teacherCodes.contains(l.solucTeachers[t]))
            for (const Lookups::SolucRow& at : l.rowsOf(t))
                report.addSkippedRow({at.row, l.solucTeachers[t], RunReport::Skip::UnknownTeacher});
    }
    report.sortSkippedRows();
    for (const Unwritable& u : l.unwritable)
        report.addUnwrittenValue(unwritableText(u.place, u.origin.field, u.value) +
                                 QStringLiteral(" El documento para Yedra no lo lleva."));
}

} // namespace

ImportarRun::Result ImportarRun::run(const QString& documentPath,
                                     const std::optional<QDateTime>& fecha)
{
    try {
        return runThrowing(documentPath, fecha);
    } catch (const std::exception& error) {
        return {Outcome::Failed, systemerror::describe(error)};
    }
}

ImportarRun::Result ImportarRun::runThrowing(const QString& documentPath,
                                             const std::optional<QDateTime>& fecha)
{
    m_report = RunReport(RunReport::Kind::Importar);
    m_report.setDocument(documentPath);
    m_report.setTimetableFolder(m_timetableFolder);
    const QString target = resultPath(documentPath);
    if (const QString problem = resultPathProblem(target); !problem.isEmpty())
        return {Outcome::Refused, problem};
    const std::unique_ptr<platform::FolderLock> lock =
        folderhold::hold(m_timetableFolder, m_interaction);
    m_interaction.progress(QStringLiteral("Leyendo las tablas de la carpeta de horarios"));
    auto tables = std::make_unique<OpenTables>(m_timetableFolder);

    auto kept = std::make_shared<XmlDocument>();
    XmlDocument& document = *kept;
    m_interaction.progress(QStringLiteral("Leyendo el documento de Yedra"));
    if (!yedra::load(document, documentPath, yedra::Detail::Envelope))
        return {Outcome::Refused, yedra::unreadableDocumentMessage(document.parseError())};
    const std::optional<QString> year = yedra::academicYear(document);
    if (!year)
        return {Outcome::Refused,
                QStringLiteral("El archivo XML no tiene la estructura de un documento de Yedra: "
                               "falta /SERVICIO/BLOQUE_DATOS o está vacío.")};

    Lookups lookups;
    {
        DbfTable periodos(m_timetableFolder, QStringLiteral("PERIODOS"));
        if (!periodos.exists())
            return {Outcome::Refused, NoPeriods};
        periodos.open();
        periodos.requireAllRows();
        noteUnwritable(lookups, periodos, {"FECINI", "FECFIN"}, {Source::Periods, 1}, "PERIODOS",
                       1);
        lookups.fecini = periodos.text(QStringLiteral("FECINI"));
        lookups.fecfin = periodos.text(QStringLiteral("FECFIN"));
    }

    XmlNode block = yedra::rebuildEnvelope(
        document, platform::regionalDateTime(fecha.value_or(QDateTime::currentDateTime())));
    yedra::appendValue(document,
                       yedra::appendGroup(document, block, QStringLiteral("ANNO_ACADEMICO")),
                       QStringLiteral("C_ANNO"), *year);

    // The teacher check: the dialog until every teacher has both identifiers, or the end.
    bool verdict = true;
    for (;;) {
        {
            DbfTable teachers(tables->proft.path());
            teachers.open(DbfTable::Access::Shared);
            if (!hasIncompleteTeacher(teachers))
                break;
        }
        if (!verdict)
            return {Outcome::Incomplete, TeachersStillIncomplete, QString(), verdict};
        verdict = m_interaction.completeTeachers(tables->proft.path());
        m_interaction.setBusy(true);
    }

    m_interaction.progress(QStringLiteral("Buscando las claves de Yedra en las tablas"));
    buildLookups(*tables, lookups);
    XmlNode horarios = yedra::appendGroup(document, block, QStringLiteral("HORARIOS_REGULARES"),
                                          tables->proft.rowCount());
    if (const QString problem = resultPathProblem(target); !problem.isEmpty())
        return {Outcome::Refused, problem};
    // The teachers' groups are made one by one as the document is written.
    int teacherNumber = 1;
    DbfTable& proft = tables->proft;
    const int teachers = proft.rowCount();
    QSet<QString> reported;
    proft.first();
    document.save(target, horarios, [&](XmlPartWriter& part) {
        if (proft.eof())
            return false;
        m_interaction.progress(
            QStringLiteral("Profesor %1 de %2").arg(teacherNumber).arg(teachers));
        writeTeacher(part, teacherNumber++, proft, lookups, m_report, reported);
        proft.next();
        return !proft.eof();
    });
    reportWhatIsNotCarried(tables->soluc, lookups, m_report);
    m_report.setResult(target);
    tables.reset();
    return {Outcome::Saved, QString(), target, verdict, kept};
}

QString ImportarRun::reportPath(const QString& resultPath)
{
    QString base = resultPath;
    if (base.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".informe.txt");
}

void ImportarRun::saveReport()
{
    const QFileInfo file(reportPath(m_report.result()));
    m_report.setReportFile(file.filePath());
    QString error;
    if (!m_report.writeFile(file.absolutePath(), file.fileName(), true, &error)) {
        m_report.setReportFile(QString());
        m_report.setReportFileProblem(QStringLiteral("No se pudo guardar el informe en «%1»: %2.")
                                          .arg(QDir::toNativeSeparators(file.filePath()), error));
    }
}
