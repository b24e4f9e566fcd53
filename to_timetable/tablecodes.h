#pragma once

#include "components/timetablefolder/tablelayouts.h"
#include "exchange/yedradocument.h"
#include "to_timetable/codekeeping.h"
#include "to_timetable/codelist.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class ExportarRun;

// The codes of one step's table. On a folder without the table every code is the rule's (the
// code the record makes, numbered when another record had it first). On a folder with it, a
// record that is there now keeps its code, and a new one gets the rule's code among those that
// nobody keeps and SOLUC does not use; with new codes asked for, every code is the rule's and a
// code that passes to another record is said. Errors: EngineError from the code list (no free
// code left).
class TableCodes {
public:
    TableCodes(ExportarRun& run, CodeKeeping::Kind kind, const TableLayout& table,
               CodeList::LetterCase letterCase,
               CodeList::LongCodes longCodes = CodeList::LongCodes::Shortened);

    // Whether codes are kept from a table in the folder: only then do the keys matter.
    bool keeps() const { return m_keeping != nullptr; }
    // Pairs the records with the rows of the table in the folder: each record that gets a row
    // with its keys (CodeKeeping's ...Keys), one that gets none with no keys. Before code().
    void match(const std::vector<QStringList>& recordKeys);
    // The code of the record at `index` (its place in match()'s list) that makes `candidate`.
    QString code(qsizetype index, const QString& candidate, const yedra::Record& record,
                 const QString& name);

    // After the last code: says each code of the folder's table that SOLUC uses and no record
    // got (whoever had it is gone).
    void sayCodesLeft();

private:
    QString numberedBecause(const QString& candidate) const;
    // A code as the table counts it: its stored form, letter case aside when it does not count.
    QString folded(const QString& code) const;

    ExportarRun& m_run;
    const TableLayout& m_table;
    CodeKeeping* m_keeping = nullptr;
    bool m_newCodes = false;
    CodeList m_codes;               // the codes given, with those reserved
    std::optional<CodeList> m_rule; // the rule's codes alone, beside m_codes
    QSet<QString> m_given;          // the codes given so far (folded)
    CodeList::LetterCase m_letterCase;
};
