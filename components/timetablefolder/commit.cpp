// TableStaging::commit: the staged tables moved into place, the ones they replace into a new
// backup, with a journal that lets the next run finish or undo a commit that died half way.

#include "components/platform/engineerror.h"
#include "components/platform/paths.h"
#include "components/platform/platform.h"
#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/journal.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/ownnames.h"
#include "components/timetablefolder/tablestaging.h"

#include <QDir>
#include <QFileInfo>
#include <utility>
#include <vector>

using platform::EntryKind;
using platform::shown;

namespace {

QString joined(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name);
}

const QString Unchanged = QStringLiteral(" La carpeta de horarios se ha dejado como estaba.");

} // namespace

// One commit, step by step. Until the journal is written nothing in the timetable folder has
// changed; after it, every failure undoes what was done.
class TableStaging::Commit {
public:
    Commit(TableStaging& staging, const QDateTime& when)
        : m_s(staging), m_when(when),
          m_timetable(staging.m_timetable, platform::Folder::Link::Followed),
          m_staging(staging.m_staging),
          m_backupRoot(joined(staging.m_timetable, ownnames::BackupFolder))
    {
        if (!m_timetable.isOpen() || !m_staging.isOpen())
            throw EngineError(QStringLiteral("No se puede usar la carpeta de horarios «%1»: %2.")
                                  .arg(shown(staging.m_timetable), m_timetable.isOpen()
                                                                       ? m_staging.error()
                                                                       : m_timetable.error()));
        m_journal.origin = staging.m_origin;
    }

    QString run()
    {
        checkStagedFiles();
        checkOldFiles();
        if (!m_old.isEmpty())
            nameBackup();
        writeJournal();
        if (!m_old.isEmpty())
            makeBackup();
        for (const QString& file : std::as_const(m_old))
            move(file, joined(m_backup, QFileInfo(file).fileName()));
        for (const Journal::Placed& placed : m_journal.placed)
            move(joined(m_s.m_staging, placed.name), joined(m_s.m_timetable, placed.name));
        finish();
        return m_backup;
    }

private:
    // Every staged file is whole and on the disk before anything moves.
    void checkStagedFiles()
    {
        for (const QString& name : std::as_const(m_s.m_replaced)) {
            const EntryKind kind = m_staging.kindOf(name);
            if (kind == EntryKind::Missing)
                continue;
            const QString path = joined(m_s.m_staging, name);
            QString problem = kind == EntryKind::File ? m_s.m_check(path)
                                                      : QStringLiteral("no es un archivo normal");
            QString syncError;
            if (problem.isEmpty() && !platform::syncFile(path, &syncError))
                problem = QStringLiteral("no se pudo guardar en el disco: %1").arg(syncError);
            if (!problem.isEmpty())
                throw EngineError(
                    QStringLiteral("La tabla nueva «%1» no se ha escrito entera (%2).")
                        .arg(shown(path), problem) +
                    Unchanged);
            m_journal.placed.push_back({name, m_staging.stampOf(name)});
        }
    }

    // The files replaced: ordinary files that no other program holds.
    void checkOldFiles()
    {
        for (const QString& name : std::as_const(m_s.m_replaced))
            m_old << platform::filesNamed(m_s.m_timetable, name);
        // A pipe or a device in a table's place is never opened.
        for (const QString& file : std::as_const(m_old)) {
            if (const QString what = platform::notOrdinaryFile(file); !what.isEmpty())
                throw EngineError(QStringLiteral("«%1» %2: quítelo de la carpeta de horarios y "
                                                 "vuelva a empezar.")
                                      .arg(shown(file), what) +
                                  Unchanged);
        }
        // A table another program holds is not taken from under it: nothing moves then.
        for (const QString& file : std::as_const(m_old)) {
            if (platform::isFileHeld(file))
                throw EngineError(QStringLiteral("La tabla «%1» está en uso por otro programa: "
                                                 "ciérrelo y vuelva a empezar.")
                                      .arg(shown(file)) +
                                  Unchanged);
        }
        for (const QString& file : std::as_const(m_old))
            m_journal.saved << QFileInfo(file).fileName();
    }

    void nameBackup()
    {
        QString what;
        m_rootState = backups::rootState(m_s.m_timetable, &what);
        if (m_rootState == backups::RootState::Stranger)
            throw EngineError(QStringLiteral("En la carpeta de horarios hay «%1», que %2: "
                                             "Quelvana solo usa esa carpeta si la ha creado él. "
                                             "Cámbiele el nombre o sáquela de la carpeta de "
                                             "horarios, y vuelva a empezar. No se ha cambiado "
                                             "nada.")
                                  .arg(shown(m_backupRoot), what));
        const platform::Folder root(m_backupRoot);
        m_journal.sequence = backups::nextSequence(backups::list(root));
        for (int attempt = 1;; ++attempt) {
            m_journal.backup = ownnames::backupName(m_when, attempt);
            if (!root.isOpen() || root.kindOf(m_journal.backup) == EntryKind::Missing)
                break;
        }
        m_backup = joined(m_backupRoot, m_journal.backup);
    }

    // The journal goes first: from here on, a run that dies leaves what the next one needs.
    void writeJournal()
    {
        QString error;
        if (!m_staging.writeFile(ownnames::Journal, journal::text(m_journal), &error))
            throw EngineError(QStringLiteral("No se pudo escribir «%1»: %2.")
                                  .arg(shown(joined(m_s.m_staging, ownnames::Journal)), error) +
                              Unchanged);
    }

    // The backup folder (made, or an older version's adopted) and the backup in it, each made
    // whole with its marker or not at all.
    void makeBackup()
    {
        QString error;
        bool made = true;
        if (m_rootState == backups::RootState::Missing) {
            made = markers::makeMarkedFolder(m_timetable, ownnames::BackupFolder,
                                             markers::BackupRoot, &error);
            m_rootMade = made;
        } else if (m_rootState == backups::RootState::OlderVersion) {
            platform::Folder root(m_backupRoot);
            made = root.isOpen() && root.writeFile(ownnames::Marker, markers::BackupRoot, &error);
        }
        if (made) {
            platform::Folder root(m_backupRoot);
            Backup backup{m_journal.backup, m_journal.sequence, m_when, m_s.m_origin,
                          m_journal.saved,  m_s.m_replaced,     false};
            made = root.isOpen() && markers::makeMarkedFolder(root, m_journal.backup,
                                                              backups::markerText(backup), &error);
        }
        if (!made) {
            takeBackupAway();
            dropJournal();
            throw EngineError(QStringLiteral("No se pudo crear la carpeta de copias «%1»: %2.")
                                  .arg(shown(m_backup), error) +
                              Unchanged);
        }
        m_backupMade = true;
    }

    void move(const QString& from, const QString& to)
    {
        QString reason;
        if (m_s.m_mover(from, to, &reason)) {
            m_done.emplace_back(from, to);
            return;
        }
        const QStringList stuck = undo();
        QString message =
            QStringLiteral("No se pudo mover «%1» a «%2»: %3.").arg(shown(from), shown(to), reason);
        if (stuck.isEmpty())
            message += Unchanged;
        else
            message += QStringLiteral(" No se pudieron devolver a su sitio: %1; están en «%2». "
                                      "La próxima conversión sobre esta carpeta intentará "
                                      "ponerla en orden.")
                           .arg(stuck.join(QStringLiteral(", ")), shown(m_backup));
        throw EngineError(message);
    }

    // Every move made, undone; the files that could not go back, named.
    QStringList undo()
    {
        QStringList stuck;
        for (auto it = m_done.rbegin(); it != m_done.rend(); ++it) {
            QString ignored;
            if (!m_s.m_mover(it->second, it->first, &ignored))
                stuck << shown(it->first);
        }
        if (stuck.isEmpty()) {
            takeBackupAway();
            dropJournal();
        }
        QString ignored;
        m_timetable.sync(&ignored);
        return stuck;
    }

    void takeBackupAway()
    {
        platform::Folder root(m_backupRoot);
        if (root.isOpen() && m_backupMade)
            markers::removeOwnFolder(root, m_journal.backup);
        if (m_rootMade)
            markers::removeOwnFolder(m_timetable, ownnames::BackupFolder);
    }

    void dropJournal()
    {
        QString ignored;
        m_staging.removeFile(ownnames::Journal, &ignored);
    }

    // Every move on the disk before the journal goes; then the staging folder goes, and the
    // oldest backups beyond those kept.
    void finish()
    {
        QString error;
        if (m_backupMade)
            platform::Folder(m_backup).sync(&error);
        m_timetable.sync(&error);
        m_s.m_committed = true;
        dropJournal();
        markers::removeOwnFolder(m_timetable, ownnames::StagingFolder);
        m_timetable.sync(&error);
        backups::prune(m_s.m_timetable, m_journal.backup);
    }

    TableStaging& m_s;
    QDateTime m_when;
    platform::Folder m_timetable;
    platform::Folder m_staging;
    QString m_backupRoot;
    Journal m_journal;
    QStringList m_old; // the files replaced, as paths
    QString m_backup;  // the backup's path, "" when nothing is replaced
    backups::RootState m_rootState = backups::RootState::Missing;
    bool m_rootMade = false;
    bool m_backupMade = false;
    std::vector<std::pair<QString, QString>> m_done; // moves made, to undo on failure
};

QString TableStaging::commit(const QDateTime& when)
{
    return Commit(*this, when).run();
}
