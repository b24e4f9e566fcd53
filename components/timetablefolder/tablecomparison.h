#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What an exportar would do to the tables in the timetable folder: the tables it has written
// in another folder (the staging folder, or a trial's) compared, table by table and row by row,
// with the ones in the timetable folder now. Above all it finds the values that are in a table
// now and that the new table leaves empty: data typed in Oranel (a teacher's X_EMPLEADO, the
// teacher or room given to a class) that the export would drop.
//
//     const tablecomparison::Comparison c =
//         tablecomparison::compare(run.workFolder(), run.timetableFolder(), {"PROFT", "AULAT"});
//     for (const QString& line : tablecomparison::describe(c)) ...
//
// The timetable folder is only read: its tables are opened shared, as Oranel may have them
// open, and nothing is written there.
namespace tablecomparison {

// A value a row has now that the new table replaces, leaves empty, or has no field for: data
// typed in Oranel, or taken from an earlier document, that the export would drop.
struct DroppedValue {
    QString table;
    QString code; // the row's code, as codeText gives it
    QString field;
    QString oldValue;
    bool fieldMissing = false; // the new table has no such field at all
    QString newValue = {};     // what the new table puts in its place ("" when it leaves it empty)
};

// A field of a row that has a code in both tables and whose value differs.
struct ChangedValue {
    QString code;
    QString field;
    QString oldValue; // "" when the current table has no such field
    QString newValue;
};

struct TableComparison {
    enum class State {
        Compared,          // row by row, by the table's code
        NoCurrentTable,    // the timetable folder has no such table: all of it is new
        CurrentUnreadable, // the current table cannot be read (problem says why)
        CountsOnly,        // both read, but rows cannot be matched by code (problem says why)
        NewUnreadable,     // the new table is missing or cannot be read (problem says why)
    };
    QString name;           // "PROFT"
    QStringList codeFields; // the fields that make a row's code ("ABREV"; "CASIG", "CGRUP")
    State state = State::Compared;
    QString problem = {};
    int rowsBefore = 0; // rows of the current table (0 when it is missing or unreadable)
    int rowsAfter = 0;  // rows of the new table
    // Codes of the rows, in the order of the table they are in: added and changed in the new
    // table's order, removed in the current table's. A table new as a whole (NoCurrentTable)
    // has its rows counted, not listed.
    QStringList added = {};
    QStringList removed = {};
    QStringList changed = {};
    QList<ChangedValue> changes = {};
    QList<DroppedValue> dropped = {};
    // Codes that more than one row holds, in the current table or in the new one: such rows
    // are paired in the order they come (the first with the first, and so on).
    QStringList repeatedCodes = {};
};

struct Comparison {
    QString newFolder;
    QString timetableFolder;
    QList<TableComparison> tables;

    // Every value the export would drop, table by table in the order of `tables`.
    QList<DroppedValue> dropped() const;
};

// The fields whose values make a row's code in the table `tableName` (without ".DBF"); empty
// for a table the program does not know.
QStringList codeFields(const QString& tableName);

// How a row's code is shown: its code fields' values joined by " + ", followed by "#2", "#3"
// for the second, third row of a repeated code.
QString codeText(const QStringList& values, int occurrence);

// Compares each of `tableNames` ("PROFT" or "PROFT.DBF") in `newFolder` with the table of the
// same name in `timetableFolder`. A table that cannot be read or compared is reported in its
// entry, never thrown.
Comparison compare(const QString& newFolder, const QString& timetableFolder,
                   const QStringList& tableNames);

// The comparison in Spanish for the user, one line per entry: what would be lost first, then
// each table's rows added, removed and changed. Long lists of codes are cut short here; the
// structure and the JSON keep them all.
QStringList describe(const Comparison& comparison);

// The same content as data:
//   { "newFolder", "timetableFolder",
//     "dropped": [ {"table", "code", "field", "oldValue", "newValue", "fieldMissing"} ],
//     "tables": [ {"table", "codeFields": [], "state": "compared" | "noCurrentTable" |
//                  "currentUnreadable" | "countsOnly" | "newUnreadable", "problem",
//                  "rowsBefore", "rowsAfter", "added": [], "removed": [], "changed": [],
//                  "changes": [ {"code", "field", "oldValue", "newValue"} ],
//                  "dropped": [...], "repeatedCodes": [] } ] }
QJsonObject toJson(const Comparison& comparison);

} // namespace tablecomparison
