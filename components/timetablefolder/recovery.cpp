#include "components/timetablefolder/recovery.h"

#include "components/platform/engineerror.h"
#include "components/platform/paths.h"
#include "components/platform/platform.h"
#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/journal.h"
#include "components/timetablefolder/markers.h"
#include "components/timetablefolder/ownnames.h"

#include <QDir>
#include <optional>

namespace recovery {

using platform::EntryKind;
using platform::shown;

namespace {

QString joined(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name);
}

// One interrupted commit: the folders it touched and its journal.
class Recovery {
public:
    Recovery(const QString& timetableFolder, TableStaging::FileMover mover)
        : m_path(timetableFolder), m_mover(std::move(mover)),
          m_timetable(timetableFolder, platform::Folder::Link::Followed),
          m_stagingPath(joined(timetableFolder, ownnames::StagingFolder)), m_staging(m_stagingPath),
          m_rootPath(joined(timetableFolder, ownnames::BackupFolder))
    {
    }

    // Whether there is an interrupted commit to put right.
    bool needed() const
    {
        return m_timetable.isOpen() &&
               m_timetable.kindOf(ownnames::StagingFolder) == EntryKind::Folder &&
               m_staging.isOpen() && markers::carries(m_staging, markers::Staging) &&
               m_staging.kindOf(ownnames::Journal) != EntryKind::Missing;
    }

    QString run()
    {
        readJournal();
        QString done = newSetInPlace() ? keepNewSet() : putOldSetBack();
        QString error;
        m_timetable.sync(&error);
        if (!m_staging.removeFile(ownnames::Journal, &error))
            throw stuck(error);
        markers::removeOwnFolder(m_timetable, ownnames::StagingFolder);
        m_timetable.sync(&error);
        backups::prune(m_path);
        return done;
    }

private:
    // "Una exportación anterior" or "Una restauración anterior", as the journal says.
    QString which() const
    {
        return m_journal.isRestore() ? QStringLiteral("Una restauración anterior")
                                     : QStringLiteral("Una exportación anterior");
    }

    EngineError stuck(const QString& why) const
    {
        return EngineError(QStringLiteral("%1 se interrumpió mientras ponía sus tablas en «%2», "
                                          "y no se ha podido poner la carpeta en orden: %3. "
                                          "Corríjalo y vuelva a empezar; las tablas anteriores "
                                          "están en «%4».")
                               .arg(which(), shown(m_path), why, shown(backupPath())));
    }

    QString backupPath() const
    {
        return m_journal.backup.isEmpty() ? m_rootPath : joined(m_rootPath, m_journal.backup);
    }

    // A refusal before anything is touched: the journal cannot be followed (`why`).
    EngineError refusal(const QString& why) const
    {
        const QString backup =
            m_journal.backup.isEmpty()
                ? QStringLiteral("la copia más reciente de «%1»").arg(shown(m_rootPath))
                : QStringLiteral("«%1»").arg(shown(backupPath()));
        return EngineError(
            QStringLiteral("Una conversión anterior se interrumpió mientras ponía sus tablas en "
                           "«%1», y su diario «%2» %3. No se ha tocado nada. Compruebe que las "
                           "tablas de la carpeta de horarios se abren en Oranel (las anteriores "
                           "están en %4; «quelvana-cli restaurar» enumera las copias) y después "
                           "borre la carpeta «%5» para seguir.")
                .arg(shown(m_path), shown(joined(m_stagingPath, ownnames::Journal)), why, backup,
                     shown(m_stagingPath)));
    }

    void readJournal()
    {
        QByteArray text;
        QString problem = QStringLiteral("no se puede leer o es demasiado grande");
        std::optional<Journal> journal;
        if (m_staging.readFile(ownnames::Journal, markers::Limit, &text))
            journal = journal::parse(text, &problem);
        if (!journal)
            throw refusal(QStringLiteral("está dañado (%1), así que no se sabe qué tablas movió")
                              .arg(problem));
        m_journal = std::move(*journal);
        checkBackup();
    }

    // The backup the journal names, when it is there, must be the one the commit made.
    void checkBackup()
    {
        if (m_journal.backup.isEmpty())
            return;
        const platform::Folder root(m_rootPath);
        m_backupState = BackupState::Missing;
        if (!root.isOpen() || !markers::carries(root, markers::BackupRoot) ||
            root.kindOf(m_journal.backup) == EntryKind::Missing)
            return;
        const platform::Folder backup(backupPath());
        QByteArray marker;
        QString problem = QStringLiteral("no es una carpeta de Quelvana");
        std::optional<Backup> described;
        if (root.kindOf(m_journal.backup) == EntryKind::Folder && markers::read(backup, &marker)) {
            described = backups::parseMarker(marker, m_journal.backup, &problem);
            if (!described)
                problem = QStringLiteral("tiene una marca que no vale (%1)").arg(problem);
        }
        if (described &&
            (described->sequence != m_journal.sequence || described->files != m_journal.saved))
            problem = QStringLiteral("no es la copia que hizo esa conversión");
        else if (described)
            m_backupState = BackupState::Own;
        if (m_backupState != BackupState::Own)
            throw refusal(
                QStringLiteral("nombra la copia «%1», que %2").arg(shown(backupPath()), problem));
    }

    // Every new table is in place, whole, and the very file the commit put there.
    bool newSetInPlace() const
    {
        for (const Journal::Placed& placed : m_journal.placed) {
            if (m_staging.kindOf(placed.name) != EntryKind::Missing ||
                m_timetable.stampOf(placed.name) != placed.stamp ||
                !TableStaging::tableFileProblem(joined(m_path, placed.name)).isEmpty())
                return false;
        }
        return true;
    }

    QString keepNewSet() const
    {
        QString done = QStringLiteral("%1 se interrumpió cuando ya había puesto todas sus tablas "
                                      "en «%2»: se ha terminado de poner en orden.")
                           .arg(which(), shown(m_path));
        if (!m_journal.backup.isEmpty())
            done +=
                QStringLiteral(" Las tablas que sustituyó están en «%1».").arg(shown(backupPath()));
        return done;
    }

    // The new tables the commit placed go back to the staging folder (and with it), and the old
    // ones come back from the backup: only when every old table missing here is in the backup,
    // and every file to take away is one the commit placed.
    QString putOldSetBack()
    {
        QStringList placed;
        for (const Journal::Placed& file : m_journal.placed) {
            if (m_staging.kindOf(file.name) != EntryKind::Missing ||
                m_timetable.kindOf(file.name) == EntryKind::Missing)
                continue;
            if (m_timetable.stampOf(file.name) != file.stamp)
                throw refusal(QStringLiteral("dice que puso «%1», pero esa no es la tabla que "
                                             "puso")
                                  .arg(shown(joined(m_path, file.name))));
            placed << file.name;
        }
        const QStringList missing = oldTablesMissing(placed);
        if (!missing.isEmpty() && m_backupState != BackupState::Own)
            throw EngineError(missingBackupMessage(missing));
        QString error;
        for (auto it = placed.crbegin(); it != placed.crend(); ++it) {
            if (!m_mover(joined(m_path, *it), joined(m_stagingPath, *it), &error))
                throw stuck(QStringLiteral("no se pudo quitar «%1» (%2)")
                                .arg(shown(joined(m_path, *it)), error));
        }
        for (auto it = missing.crbegin(); it != missing.crend(); ++it) {
            if (!m_mover(joined(backupPath(), *it), joined(m_path, *it), &error))
                throw stuck(QStringLiteral("no se pudo devolver «%1» (%2)")
                                .arg(shown(joined(backupPath(), *it)), error));
        }
        m_timetable.sync(&error);
        if (m_backupState == BackupState::Own) {
            platform::Folder root(m_rootPath);
            markers::removeOwnFolder(root, m_journal.backup);
        }
        return QStringLiteral("%1 se interrumpió mientras ponía sus tablas en «%2»: se han "
                              "devuelto a su sitio las tablas que había antes, y la carpeta de "
                              "horarios está como antes de esa %3.")
            .arg(which(), shown(m_path),
                 m_journal.isRestore() ? QStringLiteral("restauración")
                                       : QStringLiteral("exportación"));
    }

    // The old tables the commit had moved to the backup, which the timetable folder lacks (or
    // will lack once the new ones in `placed` are taken away).
    QStringList oldTablesMissing(const QStringList& placed) const
    {
        QStringList out;
        const platform::Folder backup(backupPath());
        for (const QString& name : m_journal.saved) {
            if (m_timetable.kindOf(name) != EntryKind::Missing &&
                !placed.contains(name, Qt::CaseInsensitive))
                continue;
            if (m_backupState == BackupState::Own && backup.kindOf(name) != EntryKind::File)
                throw stuck(QStringLiteral("falta «%1» en la copia").arg(name));
            out << name;
        }
        return out;
    }

    QString missingBackupMessage(const QStringList& missing) const
    {
        return QStringLiteral(
                   "%1 se interrumpió mientras ponía sus tablas en «%2», y falta la copia «%3», "
                   "que guarda las tablas que había antes (%4). Las tablas nuevas se han dejado "
                   "donde están y no se ha tocado nada. Vuelva a poner esa copia en «%5» (con su "
                   "nombre) y vuelva a empezar, o compruebe las tablas de la carpeta de horarios "
                   "en Oranel y borre la carpeta «%6» para seguir con ellas.")
            .arg(which(), shown(m_path), m_journal.backup, missing.join(QStringLiteral(", ")),
                 shown(m_rootPath), shown(m_stagingPath));
    }

    enum class BackupState { None, Missing, Own };

    QString m_path;
    TableStaging::FileMover m_mover;
    platform::Folder m_timetable;
    QString m_stagingPath;
    platform::Folder m_staging;
    QString m_rootPath;
    Journal m_journal;
    BackupState m_backupState = BackupState::None;
};

} // namespace

QString recover(const QString& timetableFolder, TableStaging::FileMover mover)
{
    Recovery recovery(timetableFolder,
                      mover ? std::move(mover) : TableStaging::FileMover(TableStaging::renameFile));
    if (!recovery.needed())
        return QString();
    return recovery.run();
}

} // namespace recovery
