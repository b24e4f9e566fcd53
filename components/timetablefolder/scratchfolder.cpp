#include "components/timetablefolder/scratchfolder.h"

#include "components/platform/engineerror.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/ownnames.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace {

const QString Prefix = QStringLiteral("quelvana-prueba-");

// Removes a scratch folder: the staging folder a run made in it, then its marker and itself.
bool removeScratch(platform::Folder& base, const QString& name)
{
    platform::Folder scratch(QDir(base.path()).filePath(name));
    if (!scratch.isOpen())
        return false;
    if (scratch.kindOf(ownnames::StagingFolder) == platform::EntryKind::Folder)
        markers::removeOwnFolder(scratch, ownnames::StagingFolder);
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
    platform::Folder base(m_base);
    for (int attempt = 0; m_name.isEmpty(); ++attempt) {
        const QString name = Prefix + QString::number(QRandomGenerator::global()->generate64(), 36);
        if (base.makeFolder(name, &problem))
            m_name = name;
        else if (attempt > 100 || base.kindOf(name) == platform::EntryKind::Missing)
            throw failed(problem);
    }
    m_path = QDir(m_base).filePath(m_name);
    // Only its user may read what a trial writes (names, e-mail addresses of the staff).
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Held before it is marked: a marked folder that nobody holds is an abandoned one.
    m_lock = std::make_unique<platform::FolderLock>(m_path);
    platform::Folder folder(m_path);
    if (!m_lock->acquired() || !folder.writeFile(ownnames::Marker, markers::Scratch, &problem)) {
        const QString why = m_lock->acquired() ? problem : m_lock->failure();
        m_lock.reset();
        base.removeFolder(m_name, &problem);
        throw failed(why);
    }
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
        if (!name.startsWith(Prefix) || base.kindOf(name) != platform::EntryKind::Folder)
            continue;
        const QString path = QDir(temporaryFolder).filePath(name);
        if (!markers::carries(platform::Folder(path), markers::Scratch))
            continue;
        const platform::FolderLock lock(path);
        if (lock.acquired())
            removeScratch(base, name);
    }
}
