#include "to_timetable/exportarrun.h"

#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/platform/systemerror.h"
#include "components/text/texts.h"
#include "components/timetablefolder/folderhold.h"
#include "components/timetablefolder/ownnames.h"
#include "components/timetablefolder/reportfile.h"
#include "components/timetablefolder/tablecomparison.h"
#include "exchange/yedradocument.h"
#include "to_timetable/documentcheck.h"

#include <QDir>

namespace {

// How many values the steps read from the records of each group: a shorter record is refused
// before anything is written, never read with values made up for it.
const QList<yedra::RecordNeed> recordNeeds = {
    {yedra::Materias, 5},        {yedra::Actividades, 3},
    {yedra::Empleados, 7},       {yedra::Dependencias, 2},
    {yedra::CursosDelCentro, 2}, {yedra::Unidades, 3},
    {yedra::TramosHorarios, 5},  {yedra::JornadasEscolares, 4, false},
};

} // namespace

ExportarRun::ExportarRun(QString timetableFolder, QString lookupTable, Interaction& interaction,
                         TableStaging::FileMover mover)
    : m_timetableFolder(std::move(timetableFolder)), m_lookupTable(std::move(lookupTable)),
      m_interaction(interaction), m_mover(std::move(mover))
{
}

ExportarRun::~ExportarRun() = default;

ExportarRun::Result ExportarRun::run(const QString& documentPath)
{
    using Outcome = Result::Outcome;
    if (const QString refusal = loadDocument(documentPath); !refusal.isEmpty())
        return {Outcome::Refused, refusal, {}, m_shortRecords};
    try {
        begin();
        runSteps();
        // Nothing reads the document after the steps: its memory is given back before the
        // comparison reads the tables in the timetable folder beside the new ones.
        m_document = XmlDocument();
        compareWithTimetableFolder();
        if (!m_dryRun) {
            commit();
            saveReport();
        }
        return {Outcome::Done};
    } catch (const ConversionError& error) {
        abandon();
        const FrameChoice frames{!resultado.isEmpty(), resultado, nDiasPlanti};
        return {Outcome::Failed, error.message(),
                documentcheck::otherProblems(documentPath, m_lookupTable, frames, error.message())};
    } catch (const std::exception& error) {
        // The run ends where the error arose; the timetable folder is as it was.
        abandon();
        return {Outcome::Failed, systemerror::describe(error)};
    }
}

QString ExportarRun::loadDocument(const QString& path)
{
    m_report.setDocument(path);
    if (!yedra::load(m_document, path, yedra::Detail::Records))
        return yedra::unreadableDocumentMessage(m_document.parseError());
    if (yedra::records(m_document, yedra::JornadasEscolares).empty())
        return NoTimeFrames;
    const QList<yedra::ShortRecord> shortRecords = yedra::findShortRecords(m_document, recordNeeds);
    m_shortRecords = shortRecords.size();
    if (!shortRecords.isEmpty()) {
        QString message = QStringLiteral("El archivo XML tiene registros con menos datos de los "
                                         "necesarios y no se puede convertir:\n");
        return message + yedra::describeShortRecords(shortRecords);
    }
    return QString();
}

void ExportarRun::setCheckOnly(bool checkOnly)
{
    m_checkOnly = checkOnly;
    m_report = RunReport(checkOnly ? RunReport::Kind::Comprobar : RunReport::Kind::Exportar);
}

void ExportarRun::begin()
{
    m_report.setTrial(m_dryRun);
    if (!m_checkOnly)
        m_report.setTimetableFolder(m_timetableFolder);
    if (m_checkOnly) {
        // Nothing but a temporary folder of its own, removed when the check ends.
        m_trialFolder = std::make_unique<ScratchFolder>();
        m_staging =
            std::make_unique<TableStaging>(m_trialFolder->path(), m_mover, m_trialFolder->path());
        return;
    }
    // The folder is held against any other run while a commit that an earlier run left
    // unfinished is put right, and for the whole run unless it is a trial.
    m_lock = folderhold::hold(m_timetableFolder, m_interaction, m_mover);
    // Read after any unfinished commit is put right: the codes of the tables in place.
    m_folderCodes = std::make_unique<FolderCodes>(FolderCodes::read(m_timetableFolder));
    if (m_dryRun) {
        m_lock.reset();
        // A trial says what the real run would refuse.
        if (const QString problem = TableStaging::workingFoldersProblem(m_timetableFolder);
            !problem.isEmpty())
            throw EngineError(problem);
        m_trialFolder = std::make_unique<ScratchFolder>();
        m_staging =
            std::make_unique<TableStaging>(m_timetableFolder, m_mover, m_trialFolder->path());
        return;
    }
    m_staging = std::make_unique<TableStaging>(m_timetableFolder, m_mover);
}

CodeKeeping* ExportarRun::codesInFolder(CodeKeeping::Kind kind)
{
    if (!m_folderCodes)
        return nullptr;
    CodeKeeping& keeping = m_folderCodes->of(kind);
    return keeping.isActive() ? &keeping : nullptr;
}

QString ExportarRun::workFolder() const
{
    if (!m_staging)
        throw EngineError(QStringLiteral("La conversión no ha empezado."));
    return m_staging->folder();
}

void ExportarRun::runSteps()
{
    workFolder(); // the steps need the staging folder
    m_interaction.progress(QStringLiteral("Materias (ASIGNOMT, ASIGNOMT2)"));
    TransformarMaterias();
    m_interaction.progress(QStringLiteral("Actividades (tareas de ASIGNOMT)"));
    TransformarActividades();
    m_interaction.progress(QStringLiteral("Profesores (PROFT)"));
    TransformarEmpleados();
    m_interaction.progress(QStringLiteral("Dependencias (AULAT)"));
    TransformarDependencias();
    m_interaction.progress(QStringLiteral("Cursos y unidades (CURSOST, GRUPOST)"));
    TransformarCursosUnidades();
    m_interaction.progress(QStringLiteral("Asignaciones (ASIGT)"));
    TransformarAsignaciones();
    m_interaction.progress(QStringLiteral("Jornadas y tramos (DIASHORAST, DIASHORAST2, PERIODOS)"));
    TransformarJornadas();
    for (const auto& [name, rows] : stagedTables())
        m_report.addTable(name, rows);
}

void ExportarRun::createTable(const TableLayout& layout)
{
    DbfTable table(workFolder(), layout.name);
    table.deleteFiles();
    table.create(layout.fields, layout.indexField);
    m_staging->replaces(layout.name + QStringLiteral(".DBF"));
    if (layout.replacesIndex)
        m_staging->replaces(layout.name + QStringLiteral(".MDX"));
}

QString ExportarRun::tablePath(const TableLayout& layout) const
{
    return QDir(workFolder()).filePath(layout.name + QStringLiteral(".DBF"));
}

void ExportarRun::reportChanges(DbfTable& table, const QString& tableName)
{
    table.setTextChangeObserver([this, tableName](const TextChange& change) {
        const QString text = QStringLiteral("%1, fila %2, campo %3: «%4» se guarda como «%5».")
                                 .arg(tableName)
                                 .arg(change.row)
                                 .arg(change.field, change.given, change.stored);
        m_report.addChangedValue(text);
        m_interaction.warn(text);
    });
}

QString ExportarRun::recordPlace(const yedra::Record& record)
{
    return QStringLiteral("%1, registro %2").arg(record.group()).arg(record.number());
}

std::vector<yedra::Record> ExportarRun::readRecords(const QString& group, const QString& table)
{
    std::vector<yedra::Record> all = yedra::records(m_document, group);
    std::erase_if(all, [&](const yedra::Record& record) {
        if (record.valueCount() >= 2)
            return false;
        if (!table.isEmpty())
            noteRecord(table, record,
                       QStringLiteral("tiene %1 y no se lee (hacen falta al menos dos)")
                           .arg(record.valueCount() == 1 ? QStringLiteral("un dato")
                                                         : QStringLiteral("ningún dato")));
        return true;
    });
    return all;
}

int ExportarRun::integerValue(const QString& value, const yedra::Record& record, int position,
                              const QString& meaning)
{
    try {
        return texts::toInteger(value);
    } catch (const ConversionError& error) {
        if (!m_checkOnly)
            throw error.at(record.place(position));
        m_report.addProblem(
            QStringLiteral("%1\nEn %2: %3.").arg(error.message(), record.place(position), meaning));
        return 0;
    }
}

QString ExportarRun::giveCode(CodeList& codes, const QString& candidate, const QString& table,
                              const yedra::Record& record, const QString& name, const QString& why)
{
    bool numbered = false;
    const QString given = codes.give(candidate, &numbered);
    noteCode(candidate, given, numbered, table, record, name, why);
    return given;
}

void ExportarRun::noteCode(const QString& candidate, const QString& given, bool numbered,
                           const QString& table, const yedra::Record& record, const QString& name,
                           const QString& why)
{
    // What the code field keeps: its first 10 characters.
    const QString stored = texts::leftCharacters(given, 10);
    if (numbered || stored != candidate)
        m_report.addCode({table, recordPlace(record), fittedText(name), fittedText(candidate),
                          fittedText(stored), numbered, numbered ? why : QString()});
}

void ExportarRun::noteRecord(const QString& table, const yedra::Record& record,
                             const QString& reason)
{
    m_report.addRecord({table, recordPlace(record), fittedText(reason)});
}

QList<QPair<QString, int>> ExportarRun::stagedTables() const
{
    QList<QPair<QString, int>> out;
    const QDir staging(workFolder());
    for (const QString& name : m_staging->replacedFiles()) {
        if (!name.endsWith(QStringLiteral(".DBF"), Qt::CaseInsensitive) ||
            !QFileInfo::exists(staging.filePath(name)))
            continue;
        out.append({name.left(name.size() - 4), DbfTable::rowCountOfFile(staging.filePath(name))});
    }
    return out;
}

QString ExportarRun::commit()
{
    workFolder();
    if (m_dryRun)
        throw EngineError(QStringLiteral("Una prueba no cambia la carpeta de horarios."));
    m_interaction.progress(QStringLiteral("Colocando las tablas nuevas en la carpeta de horarios"));
    const QString backup = m_staging->commit();
    m_lock.reset();
    m_backup = backup;
    m_report.setBackup(backup);
    return backup;
}

void ExportarRun::saveReport()
{
    // The report names the file it is in: the backup's when there is one.
    m_report.setReportFile(
        QDir(m_backup.isEmpty() ? m_timetableFolder : m_backup).filePath(ownnames::Report));
    const QString failed = reportfile::save(m_timetableFolder, m_backup, m_report.fileContents());
    if (!failed.isEmpty())
        m_report.setReportFileProblem(failed);
}

void ExportarRun::compareWithTimetableFolder()
{
    QStringList names;
    for (const RunReport::TableRows& table : m_report.tables())
        names << table.table;
    const tablecomparison::Comparison comparison =
        tablecomparison::compare(workFolder(), m_timetableFolder, names);
    m_report.setComparison(tablecomparison::describe(comparison),
                           tablecomparison::toJson(comparison));
}

void ExportarRun::abandon()
{
    m_staging.reset();
    m_lock.reset();
}

const QString ExportarRun::NoTimeFrames =
    QStringLiteral("El archivo XML no contiene ningún Marco Horario.");
