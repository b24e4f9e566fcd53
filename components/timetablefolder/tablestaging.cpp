#include "components/timetablefolder/tablestaging.h"

#include "components/dbase/dbftable.h"
#include "components/dbase/mdxindex.h"
#include "components/platform/engineerror.h"
#include "components/platform/paths.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/journal.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/ownnames.h"

#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

using platform::EntryKind;
using platform::shown;

namespace {

QString joined(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name);
}

QString refusedEntry(const QString& path, const QString& what)
{
    return QStringLiteral("En la carpeta de horarios hay «%1», que %2: Quelvana solo usa esa "
                          "carpeta si la ha creado él. Cámbiele el nombre o sáquela de la carpeta "
                          "de horarios, y vuelva a empezar. No se ha cambiado nada.")
        .arg(shown(path), what);
}

// What the entry in the staging folder's place is, for a message: "" when it is missing or a
// folder of the program's own.
QString strangerInStagingsPlace(const QString& path)
{
    switch (platform::entryKind(path)) {
    case EntryKind::Missing:
        return QString();
    case EntryKind::Link:
        return QStringLiteral("es un enlace");
    case EntryKind::File:
        return QStringLiteral("es un archivo");
    case EntryKind::Other:
        return QStringLiteral("no es una carpeta");
    case EntryKind::Folder:
        break;
    }
    const platform::Folder folder(path);
    if (!folder.isOpen())
        return QStringLiteral("no se puede abrir (%1)").arg(folder.error());
    return markers::carries(folder, markers::Staging) ? QString()
                                                      : QStringLiteral("no la ha creado Quelvana");
}

} // namespace

QString TableStaging::missingFolderMessage(const QString& timetableFolder)
{
    return QStringLiteral("No existe la carpeta de horarios «%1».").arg(shown(timetableFolder));
}

QString TableStaging::tableFileProblem(const QString& path)
{
    if (path.endsWith(QStringLiteral(".DBF"), Qt::CaseInsensitive))
        return DbfTable::problemWithFile(path);
    if (path.endsWith(QStringLiteral(".MDX"), Qt::CaseInsensitive))
        return mdx::problemWithFile(path);
    return QString();
}

bool TableStaging::renameFile(const QString& from, const QString& to, QString* error)
{
    if (platform::entryKind(to) != EntryKind::Missing) {
        *error = QStringLiteral("ya existe «%1»").arg(shown(to));
        return false;
    }
    std::error_code code;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), code);
    if (!code)
        return true;
    *error = systemerror::reason(code);
    return false;
}

QString TableStaging::workingFoldersProblem(const QString& timetableFolder)
{
    const QString staging = joined(timetableFolder, ownnames::StagingFolder);
    if (const QString what = strangerInStagingsPlace(staging); !what.isEmpty())
        return refusedEntry(staging, what);
    QString what;
    if (backups::rootState(timetableFolder, &what) == backups::RootState::Stranger)
        return refusedEntry(joined(timetableFolder, ownnames::BackupFolder), what);
    return QString();
}

TableStaging::TableStaging(const QString& timetableFolder, FileMover mover,
                           const QString& elsewhere)
    : m_timetable(timetableFolder), m_mover(mover ? std::move(mover) : FileMover(renameFile)),
      m_check(tableFileProblem)
{
    if (platform::entryKind(m_timetable) == EntryKind::Missing || !QFileInfo(m_timetable).isDir())
        throw EngineError(missingFolderMessage(m_timetable));
    if (elsewhere.isEmpty()) {
        if (const QString problem = workingFoldersProblem(m_timetable); !problem.isEmpty())
            throw EngineError(problem);
    }
    const QString parentPath = elsewhere.isEmpty() ? m_timetable : elsewhere;
    // The timetable folder itself may be a link the user made; the program's own never are.
    platform::Folder parent(parentPath, platform::Folder::Link::Followed);
    if (!parent.isOpen())
        throw EngineError(QStringLiteral("No se puede usar la carpeta «%1»: %2.")
                              .arg(shown(parentPath), parent.error()));
    m_staging = joined(parentPath, ownnames::StagingFolder);
    markers::removeLeftovers(parent);
    QString error;
    if (parent.kindOf(ownnames::StagingFolder) == EntryKind::Missing) {
        if (!markers::makeMarkedFolder(parent, ownnames::StagingFolder, markers::Staging, &error))
            throw EngineError(QStringLiteral("No se puede escribir en la carpeta «%1»: %2. No se "
                                             "ha cambiado nada.")
                                  .arg(shown(parentPath), error));
        return;
    }
    // A folder left by a run that ended before its commit holds nothing anyone needs; one whose
    // commit was interrupted must be put right first.
    platform::Folder staging(m_staging);
    if (!staging.isOpen() || !markers::carries(staging, markers::Staging))
        throw EngineError(refusedEntry(m_staging, strangerInStagingsPlace(m_staging)));
    if (staging.kindOf(ownnames::Journal) != EntryKind::Missing)
        throw EngineError(QStringLiteral("Una exportación anterior se interrumpió mientras ponía "
                                         "sus tablas en «%1»; hay que ponerla en orden antes de "
                                         "empezar otra.")
                              .arg(shown(m_timetable)));
    for (const QString& name : staging.entries()) {
        if (name == ownnames::Marker)
            continue;
        if (!markers::isDisposable(staging, name))
            throw EngineError(QStringLiteral("En «%1» hay «%2», que no ha puesto Quelvana: "
                                             "sáquelo de esa carpeta y vuelva a empezar. No se "
                                             "ha cambiado nada.")
                                  .arg(shown(m_staging), name));
        if (!staging.removeFile(name, &error))
            throw EngineError(QStringLiteral("No se pudo borrar «%1», que dejó una conversión "
                                             "interrumpida: %2.")
                                  .arg(shown(joined(m_staging, name)), error));
    }
}

TableStaging::~TableStaging()
{
    if (m_committed || m_staging.isEmpty())
        return;
    platform::Folder parent(QFileInfo(m_staging).path(), platform::Folder::Link::Followed);
    if (parent.isOpen())
        markers::removeOwnFolder(parent, ownnames::StagingFolder);
}

void TableStaging::replaces(const QString& fileName)
{
    if (!ownnames::isTableFile(fileName))
        throw EngineError(QStringLiteral("«%1» no es una tabla de Quelvana.").arg(fileName));
    if (!m_replaced.contains(fileName, Qt::CaseInsensitive))
        m_replaced << fileName;
}
