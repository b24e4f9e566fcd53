#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

// All or nothing for the timetable folder: a run writes its tables into a staging folder
// inside the timetable folder; only when every step has succeeded are they moved into place,
// the files they replace going into a backup folder beside them. A move that fails undoes
// every move made before it, so Oranel always finds a consistent set of tables.
//
// The commit writes down the moves it will make (a journal in the staging folder) before the
// first one and removes it after the last: a run that dies in between (killed, a power cut)
// leaves the journal, and the next run on the folder puts the folder back to one whole set
// with recovery::recover() before it reads or writes anything.
//
// The staging folder, the backup folder and each backup in it are the program's own: they
// carry a marker file, and the program uses only real folders with its marker, never a link
// or a folder somebody else put there. It removes only files it can name (the tables and their
// indexes, its report), never a name read from a file.
//
// Errors of the timetable folder layer: every operation that refuses or fails throws EngineError
// with the message for the user, which says whether the folder was left as it was. A question
// about a file or folder ("what is wrong with it") answers with the problem in words, empty when
// there is none.
class TableStaging {
public:
    // Moves a file: true when done; otherwise false and the reason in `error`. Tests put one
    // that fails on purpose in place of the real one.
    using FileMover = std::function<bool(const QString& from, const QString& to, QString* error)>;
    // What is wrong with a staged file, "" when it is whole. By default, a table or index must
    // read back with its header and exactly the size its header gives.
    using FileCheck = std::function<QString(const QString& path)>;

    // "No existe la carpeta de horarios «...».", for every run that finds no timetable folder.
    static QString missingFolderMessage(const QString& timetableFolder);
    // What is wrong with a table or index file ("" when it is whole): the default check.
    static QString tableFileProblem(const QString& path);
    // The mover the commit uses unless told otherwise: a rename, never over a file that exists.
    static bool renameFile(const QString& from, const QString& to, QString* error);

    // Prepares an empty staging folder inside `timetableFolder`, clearing one that a run
    // killed before its commit left behind. Throws EngineError when the timetable folder does
    // not exist or cannot be written, when a working folder is not one of the program's own,
    // or when a commit was interrupted (recovery::recover() first). With `elsewhere`, the
    // staging folder is made there instead and the timetable folder is never touched (a trial
    // run, never committed).
    explicit TableStaging(const QString& timetableFolder, FileMover mover = {},
                          const QString& elsewhere = QString());
    // Removes the staging folder, unless it was committed.
    ~TableStaging();
    TableStaging(const TableStaging&) = delete;
    TableStaging& operator=(const TableStaging&) = delete;

    // Where the steps write their tables.
    QString folder() const { return m_staging; }
    QString timetableFolder() const { return m_timetable; }

    // A file the run replaces in the timetable folder ("PROFT.DBF", one of the program's own
    // names): at commit, every spelling of it there goes to the backup, and the staged file of
    // that name, if any, takes its place.
    void replaces(const QString& fileName);
    QStringList replacedFiles() const { return m_replaced; }
    void setFileCheck(FileCheck check) { m_check = std::move(check); }
    // What the backup this commit makes says made it: "exportar" unless told otherwise
    // ("restaurar 2026-...").
    void setOrigin(const QString& origin) { m_origin = origin; }

    // Moves the staged tables into place; on a failure puts everything back as it was and
    // throws EngineError naming the file. Every staged file is checked and written to the disk
    // first. Returns the backup folder ("" when nothing was replaced). Only the newest
    // backups::Kept backups of the program's own are kept, the one just made always among them.
    QString commit(const QDateTime& when = QDateTime::currentDateTime());

    // Problems with the working folders that would stop a run, said before anything is touched
    // ("" when there are none): an entry in the place of the staging or backup folder that is
    // not a real folder of the program's own.
    static QString workingFoldersProblem(const QString& timetableFolder);

private:
    class Commit;

    QString m_timetable;
    QString m_staging;
    QStringList m_replaced;
    FileMover m_mover;
    FileCheck m_check;
    QString m_origin = QStringLiteral("exportar");
    bool m_committed = false;
};
