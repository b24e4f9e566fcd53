#include "components/timetablefolder/backuprestore.h"

#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/timetablefolder/folderhold.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace backuprestore {

QString restore(const QString& timetableFolder, const QString& backupName, Interaction& interaction,
                TableStaging::FileMover mover)
{
    const auto lock = folderhold::hold(timetableFolder, interaction, mover);
    const QString shownFolder = QDir::toNativeSeparators(timetableFolder);
    std::optional<TableStaging::Backup> chosen;
    for (const TableStaging::Backup& backup : TableStaging::backups(timetableFolder)) {
        if (backup.name == backupName)
            chosen = backup;
    }
    if (!chosen)
        throw EngineError(QStringLiteral("No hay ninguna copia «%1» en «%2»: «quelvana-cli "
                                         "restaurar» sin nombre de copia las enumera.")
                              .arg(backupName, shownFolder));
    const QString from =
        QDir(QDir(timetableFolder).filePath(TableStaging::BackupFolderName)).filePath(chosen->name);

    TableStaging staging(timetableFolder, mover);
    staging.setOrigin(QStringLiteral("restaurar ") + chosen->name);
    // The files of the backup, in their own spelling, and every other table the exportar
    // replaced: the ones it made new go away again.
    for (const QString& file : std::as_const(chosen->files))
        staging.replaces(file);
    for (const QString& name : std::as_const(chosen->replaced))
        staging.replaces(name);
    for (const QString& file : std::as_const(chosen->files)) {
        const QString source = QDir(from).filePath(file);
        if (const QString what = platform::notOrdinaryFile(source); !what.isEmpty())
            throw EngineError(QStringLiteral("La copia «%1» no se puede restaurar: «%2» %3. No "
                                             "se ha cambiado nada.")
                                  .arg(chosen->name, QDir::toNativeSeparators(source), what));
        QFile copy(source);
        if (!copy.copy(QDir(staging.folder()).filePath(file)))
            throw EngineError(QStringLiteral("No se pudo copiar «%1»: %2. No se ha cambiado nada.")
                                  .arg(QDir::toNativeSeparators(source),
                                       systemerror::reason(copy.errorString())));
    }
    // The tables come back as they were kept, whoever wrote them: each copy must be whole.
    staging.setFileCheck([&](const QString& staged) {
        const qint64 kept = QFileInfo(QDir(from).filePath(QFileInfo(staged).fileName())).size();
        return QFileInfo(staged).size() == kept
                   ? QString()
                   : QStringLiteral("la copia mide %1 bytes y el original %2")
                         .arg(QFileInfo(staged).size())
                         .arg(kept);
    });
    return staging.commit();
}

} // namespace backuprestore
