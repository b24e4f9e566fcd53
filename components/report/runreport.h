#pragma once

// Errors of the report layer: only writing a report file can fail; it returns false with the
// reason in Spanish.

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

// What a run did, for the user and for scripts: the tables written, the codes a step had to
// shorten or number, the records it left out and why, the values stored other than given, and
// for the export of the timetable the teachers written and the solved rows not carried. Said as
// text (Spanish, a section per kind, one item a line) and as one JSON object with the same
// content, so that quelvana-cli, the window and the saved report file all say the same.
class RunReport {
public:
    enum class Kind { Exportar, Importar, Comprobar };

    struct TableRows {
        QString table;
        int rows = 0;
    };
    // A code stored other than the record gave it: cut to fit, or numbered because another
    // record had it first.
    struct Code {
        QString table;
        QString place; // "EMPLEADOS, registro 3"
        QString name;  // whose code it is
        QString given; // the code the record made
        QString code;  // the code stored
        bool numbered = false;
        QString why = {}; // why it was numbered, when not because another record had it first
    };
    // A code a record kept from the table in the timetable folder, where the rule alone gives
    // another one.
    struct KeptCode {
        QString table;
        QString place;
        QString name;
        QString code;     // the code kept
        QString ruleCode; // the code the rule gives
    };
    // A code that the table in the timetable folder gives to one record and the new table to
    // another: the rows of the solved timetable with it now belong to the other.
    struct OwnerChange {
        QString table;
        QString code;
        QString before;    // whose it was
        QString after;     // whose it is now
        int solucRows = 0; // rows of SOLUC with the code
    };
    // A code of the folder's table that SOLUC uses and the new table gives to nobody: its rows
    // of the solved timetable are left without an owner.
    struct CodeLeft {
        QString table;
        QString code;
        QString before; // whose it was
        int solucRows = 0;
    };
    // A record a step left out, or used with something it needed missing.
    struct Record {
        QString table;
        QString place;
        QString reason;
    };
    struct Teacher {
        QString code;
        QString name;
        int activities = 0;
    };
    // Why a row of the solved timetable is not in the document.
    enum class Skip { NotPlaced, UnknownTeacher };
    struct SkippedRow {
        int row = 0;
        QString teacher;
        Skip reason = Skip::NotPlaced;
    };

    explicit RunReport(Kind kind = Kind::Exportar);

    Kind kind() const { return m_kind; }
    void setDocument(const QString& path) { m_document = path; }
    void setTimetableFolder(const QString& path) { m_timetableFolder = path; }
    void setTrial(bool trial) { m_trial = trial; }
    void addTable(const QString& table, int rows) { m_tables.push_back({table, rows}); }
    const std::vector<TableRows>& tables() const { return m_tables; }
    void setBackup(const QString& path) { m_backup = path; }
    // A value stored other than given (the message as the run warned it).
    void addChangedValue(const QString& text) { m_changedValues << text; }
    const QStringList& changedValues() const { return m_changedValues; }
    void addCode(Code code) { m_codes.push_back(std::move(code)); }
    const std::vector<Code>& codes() const { return m_codes; }
    void addKeptCode(KeptCode code) { m_keptCodes.push_back(std::move(code)); }
    const std::vector<KeptCode>& keptCodes() const { return m_keptCodes; }
    void addOwnerChange(OwnerChange change) { m_ownerChanges.push_back(std::move(change)); }
    const std::vector<OwnerChange>& ownerChanges() const { return m_ownerChanges; }
    void addCodeLeft(CodeLeft code) { m_codesLeft.push_back(std::move(code)); }
    const std::vector<CodeLeft>& codesLeft() const { return m_codesLeft; }
    void addRecord(Record record) { m_records.push_back(std::move(record)); }
    const std::vector<Record>& records() const { return m_records; }
    // What stops the conversion of the document (a check lists every one it finds).
    void addProblem(const QString& text) { m_problems << text; }
    const QStringList& problems() const { return m_problems; }
    // The comparison with the tables in the timetable folder, as lines and as JSON.
    void setComparison(const QStringList& lines, const QJsonObject& json);

    void addTeacher(Teacher teacher) { m_teachers.push_back(std::move(teacher)); }
    const std::vector<Teacher>& teachers() const { return m_teachers; }
    void addSkippedRow(SkippedRow row) { m_skipped.push_back(std::move(row)); }
    const std::vector<SkippedRow>& skippedRows() const { return m_skipped; }
    // A value of a table with a character XML does not allow that the document does not carry
    // (the message saying so); one it would carry stops the run instead.
    void addUnwrittenValue(const QString& text) { m_unwrittenValues << text; }
    const QStringList& unwrittenValues() const { return m_unwrittenValues; }
    void setDeletedRows(int count) { m_deletedRows = count; }
    int deletedRows() const { return m_deletedRows; }
    void setSolvedRows(int count) { m_solvedRows = count; }
    // An activity written with `field` empty.
    void countEmptyValue(const QString& field) { ++m_emptyValues[field]; }
    const QMap<QString, int>& emptyValues() const { return m_emptyValues; }
    void setResult(const QString& path) { m_result = path; }
    const QString& result() const { return m_result; }
    // The rows not carried in the order of SOLUC.
    void sortSkippedRows();
    // Where the report itself was saved (or why it could not be).
    void setReportFile(const QString& path) { m_reportFile = path; }
    void setReportFileProblem(const QString& problem) { m_reportFileProblem = problem; }

    // The report as text. `listLimit` caps each list (the rest counted in one line); -1 lists
    // every item. The values stored other than given are left out when `changedValues` is
    // false (the window lists them as warnings of their own).
    QString text(int listLimit = -1, bool changedValues = true) const;
    QJsonObject json() const;
    // The whole text as a file for any editor, Windows' Notepad included: UTF-8 with its
    // byte-order mark, lines ended by CR LF.
    QByteArray fileContents() const;
    // Writes fileContents() whole as `fileName` in the folder (temporary name, sync, rename: a
    // link in its place is replaced, never followed). False with the reason in `error`.
    bool writeFile(const QString& folderPath, const QString& fileName, bool followFolderLink,
                   QString* error) const;
    // The same with contents already made: one report saved in two places is made once.
    static bool writeFile(const QString& folderPath, const QString& fileName, bool followFolderLink,
                          const QByteArray& contents, QString* error);

    static QString skipReason(Skip reason);

private:
    // The parts of text(), in their order.
    void appendHeading(QStringList& out, int listLimit) const;
    void appendTables(QStringList& out, int listLimit, bool changedValues) const;
    void appendTeachers(QStringList& out, int listLimit) const;
    void appendSolvedRows(QStringList& out, int listLimit) const;
    void appendEmptyValues(QStringList& out) const;

    Kind m_kind;
    QString m_document;
    QString m_timetableFolder;
    bool m_trial = false;
    std::vector<TableRows> m_tables;
    QString m_backup;
    QStringList m_changedValues;
    std::vector<Code> m_codes;
    std::vector<KeptCode> m_keptCodes;
    std::vector<OwnerChange> m_ownerChanges;
    std::vector<CodeLeft> m_codesLeft;
    std::vector<Record> m_records;
    QStringList m_problems;
    QStringList m_comparisonLines;
    QJsonObject m_comparison;
    bool m_compared = false;
    std::vector<Teacher> m_teachers;
    std::vector<SkippedRow> m_skipped;
    QStringList m_unwrittenValues;
    int m_deletedRows = 0;
    int m_solvedRows = 0;
    QMap<QString, int> m_emptyValues;
    QString m_result;
    QString m_reportFile;
    QString m_reportFileProblem;
};
