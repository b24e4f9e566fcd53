#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <system_error>

// All or nothing for the timetable folder: a run writes its tables into a staging folder
// inside the timetable folder; only when every step has succeeded are they moved into place,
// the files they replace going into a dated backup folder beside them. A move that fails
// undoes every move made before it, so Oranel always finds a consistent set of tables.
class TableStaging {
public:
    // Moves a file: true when done; otherwise false and the reason in `error`. Tests put one
    // that fails on purpose in place of the real one.
    using FileMover = std::function<bool(const QString& from, const QString& to, QString* error)>;

    // Why a file operation failed, in words the user can act on ("no queda espacio en el disco").
    static QString reasonOf(const std::error_code& code);

    static const QString StagingFolderName; // "quelvana-preparando"
    static const QString BackupFolderName;  // "quelvana-copias"
    static constexpr int KeptBackups = 5;

    // Prepares an empty staging folder inside `timetableFolder`, removing one that a run
    // killed before its end left behind. Throws EngineError when the timetable folder does
    // not exist or cannot be written. With `elsewhere`, the staging folder is made there
    // instead and the timetable folder is never touched (a trial run, never committed).
    explicit TableStaging(const QString& timetableFolder, FileMover mover = {},
                          const QString& elsewhere = QString());
    // Removes the staging folder, unless it was committed.
    ~TableStaging();
    TableStaging(const TableStaging&) = delete;
    TableStaging& operator=(const TableStaging&) = delete;

    // Where the steps write their tables.
    QString folder() const { return m_staging; }
    QString timetableFolder() const { return m_timetable; }

    // A file the run replaces in the timetable folder ("PROFT.DBF"): at commit, every spelling
    // of it there goes to the backup, and the staged file of that name, if any, takes its place.
    void replaces(const QString& fileName);
    QStringList replacedFiles() const { return m_replaced; }

    // Moves the staged tables into place; on a failure puts everything back as it was and
    // throws EngineError naming the file. Returns the backup folder ("" when nothing was
    // replaced). Backups beyond the newest KeptBackups are removed.
    QString commit(const QDateTime& when = QDateTime::currentDateTime());

private:
    QString m_timetable;
    QString m_staging;
    QStringList m_replaced;
    FileMover m_mover;
    bool m_committed = false;
};
