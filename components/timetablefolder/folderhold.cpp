#include "components/timetablefolder/folderhold.h"

#include "components/platform/engineerror.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/recovery.h"

#include <QDir>
#include <QFileInfo>

namespace folderhold {

std::unique_ptr<platform::FolderLock> hold(const QString& folder, Interaction& interaction,
                                           const TableStaging::FileMover& mover)
{
    if (!QFileInfo(folder).isDir())
        throw EngineError(TableStaging::missingFolderMessage(folder));
    auto lock = std::make_unique<platform::FolderLock>(folder);
    if (!lock->acquired())
        throw EngineError(lockMessage(*lock, folder));
    if (const QString recovered = recovery::recover(folder, mover); !recovered.isEmpty())
        interaction.showMessage(recovered);
    // What a run that died left half made: folders being made or removed, files being written.
    platform::Folder timetable(folder, platform::Folder::Link::Followed);
    if (timetable.isOpen())
        markers::removeLeftovers(timetable);
    return lock;
}

QString lockMessage(const platform::FolderLock& lock, const QString& folder)
{
    if (lock.state() == platform::FolderLock::State::HeldByAnother)
        return otherRunMessage(folder);
    return QStringLiteral("No se puede usar la carpeta de horarios «%1»: %2.")
        .arg(QDir::toNativeSeparators(folder), lock.failure());
}

QString otherRunMessage(const QString& folder)
{
    return QStringLiteral("Ya hay otra conversión en marcha sobre la carpeta de horarios «%1» "
                          "(en otra ventana o desde la línea de órdenes). Espere a que termine y "
                          "vuelva a empezar.")
        .arg(QDir::toNativeSeparators(folder));
}

} // namespace folderhold
