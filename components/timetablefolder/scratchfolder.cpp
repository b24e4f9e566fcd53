#include "components/timetablefolder/scratchfolder.h"

#include "components/platform/engineerror.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/ownnames.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace {

const QString Prefix = QStringLiteral("quelvana-prueba-");

// Removes a scratch folder: the staging folder a run made in it (or left half made or half
// removed), then its marker and itself.
bool removeScratch(platform::Folder& base, const QString& name)
{
    platform::Folder scratch(QDir(base.path()).filePath(name));
    if (!scratch.isOpen())
        return false;
    markers::removeLeftovers(scratch);
    if (scratch.kindOf(ownnames::StagingFolder) == platform::EntryKind::Folder)
        markers::removeOwnFolder(scratch, ownnames::StagingFolder);
    markers::removeLeftovers(scratch);
    return markers::removeOwnFolder(base, name);
}

} // namespace

ScratchFolder::ScratchFolder()
{
    QString problem;
    m_base = platform::temporaryFolder(&problem);
    const auto failed = [](const QString& why) {
        return EngineError(
            QStringLiteral("No se pudo crear una carpeta temporal para la prueba: %1.").arg(why));
    };
    if (m_base.isEmpty())
        throw failed(problem);
    removeAbandoned(m_base);
    // Made, held and marked under a name of its own, then renamed into place: whatever the
    // moment a run dies, what it leaves is marked or in the making, and held until it dies.
    platform::Folder base(m_base);
    const QString making = ownnames::folderInTheMaking();
    if (!base.makeFolder(making, &problem))
        throw failed(problem);
    const QString makingPath = QDir(m_base).filePath(making);
    // Only its user may read what a trial writes (names, e-mail addresses of the staff).
    QFile::setPermissions(makingPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_lock = std::make_unique<platform::FolderLock>(makingPath);
    platform::Folder folder(makingPath);
    bool made =
        m_lock->acquired() && folder.writeFile(ownnames::Marker, markers::Scratch, &problem);
    if (!m_lock->acquired())
        problem = m_lock->failure();
    for (int attempt = 0; made && m_name.isEmpty(); ++attempt) {
        const QString name = Prefix + QString::number(QRandomGenerator::global()->generate64(), 36);
        if (base.rename(making, name, &problem))
            m_name = name;
        else
            made = attempt < 100 && base.kindOf(name) != platform::EntryKind::Missing;
    }
    if (!made) {
        QString ignored;
        folder.removeFile(ownnames::Marker, &ignored);
        base.removeFolder(making, &ignored);
        m_lock.reset();
        throw failed(problem);
    }
    m_path = QDir(m_base).filePath(m_name);
}

ScratchFolder::~ScratchFolder()
{
    platform::Folder base(m_base);
    if (base.isOpen())
        removeScratch(base, m_name);
    m_lock.reset();
}

void ScratchFolder::removeAbandoned(const QString& temporaryFolder)
{
    platform::Folder base(temporaryFolder);
    if (!base.isOpen())
        return;
    for (const QString& name : base.entries()) {
        const bool scratch = name.startsWith(Prefix);
        if ((!scratch && !ownnames::isFolderInTheMaking(name)) ||
            base.kindOf(name) != platform::EntryKind::Folder)
            continue;
        const QString path = QDir(temporaryFolder).filePath(name);
        if (scratch && !markers::carries(platform::Folder(path), markers::Scratch))
            continue;
        const platform::FolderLock lock(path);
        if (!lock.acquired())
            continue;
        if (scratch)
            removeScratch(base, name);
        else
            markers::removeLeftover(base, name);
    }
}
