#include "components/timetablefolder/backuprestore.h"

#include "components/platform/engineerror.h"
#include "components/platform/paths.h"
#include "components/platform/platform.h"
#include "components/timetablefolder/folderhold.h"
#include "components/timetablefolder/ownnames.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace backuprestore {

using platform::EntryKind;
using platform::shown;

namespace {

// Why the table `name` of a backup cannot be put back, "" when it can.
QString problemWithKeptTable(const platform::Folder& backup, const QString& name)
{
    switch (backup.kindOf(name)) {
    case EntryKind::Missing:
        return QStringLiteral("falta");
    case EntryKind::Link:
        return QStringLiteral("es un enlace, y Quelvana no restaura a través de enlaces");
    case EntryKind::Folder:
    case EntryKind::Other:
        return QStringLiteral("no es un archivo normal");
    case EntryKind::File:
        break;
    }
    const QString problem = TableStaging::tableFileProblem(QDir(backup.path()).filePath(name));
    return problem.isEmpty() ? QString() : QStringLiteral("no está entera (%1)").arg(problem);
}

} // namespace

std::vector<Backup> available(const QString& timetableFolder)
{
    if (!QFileInfo(timetableFolder).isDir())
        throw EngineError(TableStaging::missingFolderMessage(timetableFolder));
    const backups::RootState state = backups::rootState(timetableFolder);
    if (state != backups::RootState::Own && state != backups::RootState::OlderVersion)
        return {};
    const platform::Folder root(QDir(timetableFolder).filePath(ownnames::BackupFolder));
    backups::Listing listing = backups::list(root);
    std::vector<Backup> out(listing.own.rbegin(), listing.own.rend());
    std::sort(listing.olderVersion.begin(), listing.olderVersion.end(),
              [](const Backup& a, const Backup& b) { return a.name > b.name; });
    out.insert(out.end(), listing.olderVersion.begin(), listing.olderVersion.end());
    return out;
}

QString restore(const QString& timetableFolder, const QString& backupName, Interaction& interaction,
                TableStaging::FileMover mover)
{
    const auto lock = folderhold::hold(timetableFolder, interaction, mover);
    QString problem;
    const std::optional<Backup> chosen = backups::find(timetableFolder, backupName, &problem);
    if (!chosen)
        throw EngineError(problem);
    const QString from =
        QDir(QDir(timetableFolder).filePath(ownnames::BackupFolder)).filePath(chosen->name);
    const platform::Folder source(from);
    // The tables come back as they were kept, whoever wrote them: each must be whole.
    for (const QString& file : std::as_const(chosen->files)) {
        if (const QString what = problemWithKeptTable(source, file); !what.isEmpty())
            throw EngineError(QStringLiteral("La copia «%1» no se puede restaurar: «%2» %3. No "
                                             "se ha cambiado nada.")
                                  .arg(chosen->name, shown(QDir(from).filePath(file)), what));
    }

    TableStaging staging(timetableFolder, mover);
    staging.setOrigin(QStringLiteral("restaurar ") + chosen->name);
    // The files of the backup, in their own spelling, and every other table the exportar
    // replaced: the ones it made new go away again.
    for (const QString& file : std::as_const(chosen->files))
        staging.replaces(file);
    for (const QString& name : std::as_const(chosen->replaced))
        staging.replaces(name);
    platform::Folder target(staging.folder());
    for (const QString& file : std::as_const(chosen->files)) {
        QString error;
        if (target.kindOf(file) == EntryKind::Missing &&
            !source.copyFile(file, target, file, &error))
            throw EngineError(QStringLiteral("No se pudo copiar «%1»: %2. No se ha cambiado nada.")
                                  .arg(shown(QDir(from).filePath(file)), error));
    }
    return staging.commit();
}

} // namespace backuprestore
