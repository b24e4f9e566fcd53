#pragma once

#include "components/dbase/dbftable.h"
#include "components/platform/platform.h"
#include "components/report/interaction.h"
#include "components/report/runreport.h"
#include "components/text/texthash.h"
#include "components/timetablefolder/scratchfolder.h"
#include "components/timetablefolder/tablelayouts.h"
#include "components/timetablefolder/tablestaging.h"
#include "components/xml/xmldocument.h"
#include "exchange/yedradocument.h"
#include "to_timetable/codekeeping.h"
#include "to_timetable/codelist.h"

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <memory>

// The Yedra-to-timetable run ("exportar"): the document it converts, the state its steps share,
// and the all-or-nothing frame around them. The window and quelvana-cli both call run(); the
// steps' own calls are public for the tests that drive them one by one:
//
//     ExportarRun run(folder, lookup, interaction);
//     if (const QString refusal = run.loadDocument(path); !refusal.isEmpty()) ...;
//     run.begin();
//     run.runSteps();
//     run.commit();
//
// Until commit() the timetable folder is not touched; a run that throws leaves it as it was.
//
// Errors: run() says a refusal or a failure in its Result, the folder left as it was; the calls
// it is made of throw EngineError (ConversionError for a value a step cannot convert).
class ExportarRun {
public:
    ExportarRun(QString timetableFolder, QString lookupTable, Interaction& interaction,
                TableStaging::FileMover mover = {});
    ~ExportarRun();

    // How run() ended.
    struct Result {
        enum class Outcome {
            Done,    // the tables are in place (in a trial: written in a temporary folder)
            Refused, // the document cannot be converted as it is: `message` says why
            Failed,  // the run stopped: `message` says why
        };
        Outcome outcome = Outcome::Failed;
        QString message = {};
        // When a value a step could not convert stopped it: every other problem of the
        // document, so that all of them can be put right in Yedra at once.
        QStringList otherProblems = {};
        // Refused for records with fewer values than needed: how many there are.
        qsizetype shortRecords = 0;
    };
    // The whole run: the document loaded and checked, the steps, the comparison with the tables
    // in the timetable folder, and unless a trial the commit and the saved report.
    Result run(const QString& documentPath);

    // Loads the document and checks that it can be converted: a document that cannot be
    // parsed, has no time frame, or has records shorter than the steps read is refused.
    // Returns the message for the user, empty when the run can go on.
    QString loadDocument(const QString& path);

    // Prepares the staging folder the steps write into, and holds the timetable folder against
    // any other run until this one ends. Throws EngineError when another run holds it.
    void begin();
    // A trial run: the steps write into a temporary folder outside the timetable folder, which
    // is never touched (commit() is then refused). Before begin().
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }
    // A check of the document alone: a trial that needs no timetable folder, and in which a
    // value the steps cannot convert is listed in the report (and read as 0) instead of ending
    // the run, so that one pass finds every such value. Before begin().
    void setCheckOnly(bool checkOnly);
    bool checkOnly() const { return m_checkOnly; }
    // Every code by the rule alone, also where the tables in the timetable folder give a record
    // another one; a code that passes to another record is said in the report. Before begin().
    void setNewCodes(bool newCodes) { m_newCodes = newCodes; }
    bool newCodes() const { return m_newCodes; }
    // Who holds each code of a kind in the timetable folder's table now, or nullptr when nothing
    // is kept (a check, or a folder without that table). Read by begin().
    CodeKeeping* codesInFolder(CodeKeeping::Kind kind);
    // The steps built so far, in their fixed order.
    void runSteps();
    // The tables the steps wrote, with their rows, as they stand in the staging folder.
    QList<QPair<QString, int>> stagedTables() const;
    // Moves the new tables into place (the old ones into a dated backup). Returns the backup
    // folder, empty when nothing was replaced.
    QString commit();
    // Compares the tables the steps wrote with those in the timetable folder (rows added,
    // removed and changed, and data there that the new tables would drop), into the report.
    // After runSteps(), before commit().
    void compareWithTimetableFolder();
    // What the run did so far: the steps fill it as they go, commit() adds the backup.
    RunReport& report() { return m_report; }
    // Writes the report as text beside the tables: in the backup the commit made (when it made
    // one) and as the latest report in the timetable folder. A file that cannot be written is
    // said in the report itself; the run stays done.
    void saveReport();
    // Drops what the steps wrote, after a failure: the timetable folder is as it was.
    void abandon();
    static const QString NoTimeFrames; // "El archivo XML no contiene ningún Marco Horario."

    // The steps, in the order runSteps() calls them. Each reads the loaded document and
    // writes its tables in the work folder.
    void TransformarMaterias();       // ASIGNOMT, ASIGNOMT2
    void TransformarActividades();    // the task rows of ASIGNOMT; hayActividad513
    void TransformarEmpleados();      // PROFT
    void TransformarDependencias();   // AULAT
    void TransformarCursosUnidades(); // CURSOST, GRUPOST, with the lookup table's levels
    void TransformarAsignaciones();   // ASIGT
    void TransformarJornadas();       // DIASHORAST, DIASHORAST2, PERIODOS

    XmlDocument& document() { return m_document; }
    const QString& timetableFolder() const { return m_timetableFolder; }
    const QString& lookupTable() const { return m_lookupTable; }
    // Where the steps write and read their tables during the run.
    QString workFolder() const;
    Interaction& interaction() { return m_interaction; }

    // A step's new table in the work folder: its old files there removed, the table created
    // empty, and its files in the timetable folder marked for replacement at commit.
    void createTable(const TableLayout& layout);
    // A table of this run, in the work folder.
    QString tablePath(const TableLayout& layout) const;
    // Every text that `table` (named `tableName`) stores other than given, because Windows 1252
    // lacks some of its letters, is reported to the user as a warning.
    void reportChanges(DbfTable& table, const QString& tableName);

    // The rules the steps share, each in one place, so that a check of the document applies
    // exactly what the run does.
    //
    // The records of `group` a step reads: those with two values or more. The others are left
    // out, and said in the report when `table` is given.
    std::vector<yedra::Record> readRecords(const QString& group, const QString& table = QString());
    // A whole number from a record's value, where a step needs one (`meaning` says what it is
    // for the user). Not one: ConversionError with the place, or in a check it is listed and
    // read as 0.
    int integerValue(const QString& value, const yedra::Record& record, int position,
                     const QString& meaning);
    // The code `codes` gives for `candidate`, for the record's `name`; a code stored other than
    // asked (numbered, or cut to the field's 10 characters) goes into the report, with `why` when
    // numbered for another reason than another record having it first.
    //
    // The report says the document's texts in the form the tables store their letters
    // (fittedText), as Oranel will show them: a letter Windows 1252 lacks is said once, among
    // the values stored otherwise, and a document reads alike whichever way it writes it.
    QString giveCode(CodeList& codes, const QString& candidate, const QString& table,
                     const yedra::Record& record, const QString& name,
                     const QString& why = QString());
    // The report's line for a code given that way (`given` by the code list, `numbered` as it
    // said), when it is stored other than asked.
    void noteCode(const QString& candidate, const QString& given, bool numbered,
                  const QString& table, const yedra::Record& record, const QString& name,
                  const QString& why = QString());
    // A record a step leaves out, or uses with something missing, with the reason.
    void noteRecord(const QString& table, const yedra::Record& record, const QString& reason);
    // "MATERIAS, registro 3".
    static QString recordPlace(const yedra::Record& record);

    // State the steps share through the run.
    int hayActividad513 = 0; // 1 when the activities include the code "513"
    QString resultado;       // the selection string of the time frames taken
    int nDiasPlanti = 0;     // the day modulus

private:
    // The subject lists: filled by TransformarMaterias, released by TransformarActividades.
    // Membership is exact, letter case counting, on the texts whole in the form the tables
    // store their letters (fittedText).
    struct SubjectLists {
        TextSet<QString> names;         // names upper-cased (a to z only)
        TextSet<QString> longCodes;     // long codes
        TextSet<QString> codesAndNames; // long code immediately followed by the name
    };
    std::unique_ptr<SubjectLists> m_subjectLists;
    // Which of the subject records is the first of its subject (the others repeat one).
    std::vector<bool> firstRecordsOfSubjects(const std::vector<yedra::Record>& records);

    QString m_timetableFolder;
    QString m_lookupTable;
    Interaction& m_interaction;
    TableStaging::FileMover m_mover;
    XmlDocument m_document;
    std::unique_ptr<platform::FolderLock> m_lock;
    std::unique_ptr<ScratchFolder> m_trialFolder;
    bool m_dryRun = false;
    bool m_checkOnly = false;
    bool m_newCodes = false;
    std::unique_ptr<FolderCodes> m_folderCodes;
    qsizetype m_shortRecords = 0; // of the document loaded
    std::unique_ptr<TableStaging> m_staging;
    RunReport m_report{RunReport::Kind::Exportar};
    QString m_backup;
};
