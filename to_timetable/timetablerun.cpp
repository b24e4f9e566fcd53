#include "to_timetable/timetablerun.h"

#include "components/dbftable.h"
#include "components/engineerror.h"
#include "exchange/yedradocument.h"

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

TimetableRun::TimetableRun(QString timetableFolder, QString lookupTable, Interaction& interaction,
                           TableStaging::FileMover mover)
    : m_timetableFolder(std::move(timetableFolder)), m_lookupTable(std::move(lookupTable)),
      m_interaction(interaction), m_mover(std::move(mover))
{
}

TimetableRun::~TimetableRun() = default;

QString TimetableRun::loadDocument(const QString& path)
{
    if (!m_document.load(path, XmlDocument::Detail::Records))
        return yedra::unreadableDocumentMessage(m_document.parseError());
    if (yedra::records(m_document, yedra::JornadasEscolares).empty())
        return NoTimeFrames;
    const QList<yedra::ShortRecord> shortRecords = yedra::findShortRecords(m_document, recordNeeds);
    if (!shortRecords.isEmpty()) {
        QString message = QStringLiteral("El archivo XML tiene registros con menos datos de los "
                                         "necesarios y no se puede convertir:\n");
        return message + yedra::describeShortRecords(shortRecords);
    }
    return QString();
}

void TimetableRun::begin()
{
    // The folder is held against any other run while a commit that an earlier run left
    // unfinished is put right, and for the whole run unless it is a trial.
    m_lock = holdFolder(m_timetableFolder, m_interaction, m_mover);
    if (m_dryRun) {
        m_lock.reset();
        // A trial says what the real run would refuse.
        if (const QString problem = TableStaging::workingFoldersProblem(m_timetableFolder);
            !problem.isEmpty())
            throw EngineError(problem);
        m_trialFolder = std::make_unique<QTemporaryDir>();
        if (!m_trialFolder->isValid())
            throw EngineError(
                QStringLiteral("No se pudo crear una carpeta temporal para la prueba."));
        m_staging =
            std::make_unique<TableStaging>(m_timetableFolder, m_mover, m_trialFolder->path());
        return;
    }
    m_staging = std::make_unique<TableStaging>(m_timetableFolder, m_mover);
}

QString TimetableRun::workFolder() const
{
    if (!m_staging)
        throw EngineError(QStringLiteral("La conversión no ha empezado."));
    return m_staging->folder();
}

void TimetableRun::runSteps()
{
    workFolder(); // the steps need the staging folder
    TransformarMaterias();
    TransformarActividades();
    TransformarEmpleados();
    TransformarDependencias();
    TransformarCursosUnidades();
    TransformarAsignaciones();
    TransformarJornadas();
}

void TimetableRun::createTable(const TableLayout& layout)
{
    DbfTable table(workFolder(), layout.name);
    table.deleteFiles();
    table.create(layout.fields, layout.indexField);
    m_staging->replaces(layout.name + QStringLiteral(".DBF"));
    if (layout.replacesIndex)
        m_staging->replaces(layout.name + QStringLiteral(".MDX"));
}

QString TimetableRun::tablePath(const TableLayout& layout) const
{
    return QDir(workFolder()).filePath(layout.name + QStringLiteral(".DBF"));
}

void TimetableRun::reportChanges(DbfTable& table, const QString& tableName)
{
    table.setTextChangeObserver([this, tableName](const TextChange& change) {
        m_interaction.warn(QStringLiteral("%1, fila %2, campo %3: «%4» se guarda como «%5».")
                               .arg(tableName)
                               .arg(change.row)
                               .arg(change.field, change.given, change.stored));
    });
}

QList<QPair<QString, int>> TimetableRun::stagedTables() const
{
    QList<QPair<QString, int>> out;
    const QDir staging(workFolder());
    for (const QString& name : m_staging->replacedFiles()) {
        if (!name.endsWith(QStringLiteral(".DBF"), Qt::CaseInsensitive) ||
            !QFileInfo::exists(staging.filePath(name)))
            continue;
        DbfTable table(staging.filePath(name));
        table.open();
        out.append({name.left(name.size() - 4), table.rowCount()});
    }
    return out;
}

QString TimetableRun::commit()
{
    workFolder();
    if (m_dryRun)
        throw EngineError(QStringLiteral("Una prueba no cambia la carpeta de horarios."));
    const QString backup = m_staging->commit();
    m_lock.reset();
    return backup;
}

void TimetableRun::abandon()
{
    m_staging.reset();
    m_lock.reset();
}

const QString TimetableRun::NoTimeFrames =
    QStringLiteral("El archivo XML no contiene ningún Marco Horario.");

std::unique_ptr<platform::FolderLock> TimetableRun::holdFolder(const QString& folder,
                                                               Interaction& interaction,
                                                               const TableStaging::FileMover& mover)
{
    if (!QFileInfo(folder).isDir())
        throw EngineError(TableStaging::missingFolderMessage(folder));
    auto lock = std::make_unique<platform::FolderLock>(folder);
    if (!lock->acquired())
        throw EngineError(folderLockMessage(*lock, folder));
    if (const QString recovered = TableStaging::recover(folder, mover); !recovered.isEmpty())
        interaction.showMessage(recovered);
    return lock;
}

QString TimetableRun::folderLockMessage(const platform::FolderLock& lock, const QString& folder)
{
    if (lock.state() == platform::FolderLock::State::HeldByAnother)
        return otherRunMessage(folder);
    return QStringLiteral("No se puede usar la carpeta de horarios «%1»: %2.")
        .arg(QDir::toNativeSeparators(folder), lock.failure());
}

QString TimetableRun::otherRunMessage(const QString& folder)
{
    return QStringLiteral("Ya hay otra conversión en marcha sobre la carpeta de horarios «%1» "
                          "(en otra ventana o desde la línea de órdenes). Espere a que termine y "
                          "vuelva a empezar.")
        .arg(QDir::toNativeSeparators(folder));
}
