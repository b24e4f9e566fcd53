#include "to_timetable/tablecodes.h"

#include "components/dbase/dbftable.h"
#include "components/text/texts.h"
#include "to_timetable/exportarrun.h"

TableCodes::TableCodes(ExportarRun& run, CodeKeeping::Kind kind, const TableLayout& table,
                       CodeList::LetterCase letterCase, CodeList::LongCodes longCodes)
    : m_run(run), m_table(table), m_keeping(run.codesInFolder(kind)), m_newCodes(run.newCodes()),
      m_codes(letterCase, longCodes), m_letterCase(letterCase)
{
    if (m_keeping)
        m_rule.emplace(letterCase, longCodes);
}

void TableCodes::match(const std::vector<QStringList>& recordKeys)
{
    if (!m_keeping)
        return;
    m_keeping->match(recordKeys);
    if (m_newCodes)
        return;
    for (const QString& code : m_keeping->reserved())
        m_codes.reserve(code);
}

QString TableCodes::folded(const QString& code) const
{
    const QString stored = textAsRead(code, 10);
    return m_letterCase == CodeList::LetterCase::Ignored ? texts::caseFolded(stored) : stored;
}

QString TableCodes::numberedBecause(const QString& candidate) const
{
    // Only a code that someone else keeps, or that SOLUC uses for someone gone, says more than
    // "another record had it first".
    const QString stored = textAsRead(m_codes.firstChoice(candidate), 10);
    const CodeKeeping::Holder* holder = m_keeping->holderOf(stored);
    if (holder && m_keeping->isPaired(holder))
        return QStringLiteral("«%1» lo conserva «%2»").arg(stored, holder->name);
    if (m_given.contains(folded(stored)))
        return QString();
    if (const int uses = m_keeping->solucUses(stored); uses > 0)
        return holder ? QStringLiteral("«%1» era de «%2», que ya no está, y SOLUC lo usa en %3")
                            .arg(stored, holder->name, texts::counted(uses, "fila", "filas"))
                      : QStringLiteral("SOLUC usa «%1» en %2")
                            .arg(stored, texts::counted(uses, "fila", "filas"));
    return QString();
}

QString TableCodes::code(qsizetype index, const QString& candidate, const yedra::Record& record,
                         const QString& name)
{
    // A folder without the table: the rule alone, exactly as on a first export.
    if (!m_keeping)
        return m_run.giveCode(m_codes, candidate, m_table.name, record, name);

    const CodeKeeping::Holder* paired = m_keeping->pairedWith(index);
    QString code;
    if (m_newCodes) {
        code = m_run.giveCode(*m_rule, candidate, m_table.name, record, name);
    } else {
        bool numbered = false;
        const QString ruleGiven = m_rule->give(candidate, &numbered);
        const QString ruleCode = textAsRead(ruleGiven, 10);
        // Of two rows of the folder's table with one code, the first record keeps it.
        if (paired && !m_given.contains(folded(paired->code))) {
            code = paired->code;
            // The rule's own code, kept, is said as the rule says it.
            if (code == ruleCode)
                m_run.noteCode(candidate, ruleGiven, numbered, m_table.name, record, name);
            else
                m_run.report().addKeptCode({m_table.name, ExportarRun::recordPlace(record),
                                            fittedText(name), code, ruleCode});
        } else {
            code = m_run.giveCode(m_codes, candidate, m_table.name, record, name,
                                  numberedBecause(candidate));
        }
    }
    m_given.insert(folded(code));
    // A code the folder's table gives to someone else changes owner: the solved timetable's
    // rows with it go with it.
    const QString stored = textAsRead(code, 10);
    // (A row with the same name is taken as the same teacher, room or subject, whatever its
    // key: the comparison says what else changes in it.)
    if (const CodeKeeping::Holder* holder = m_keeping->holderOf(stored);
        holder && holder != paired && holder->name != textAsRead(name, 80))
        m_run.report().addOwnerChange(
            {m_table.name, stored, holder->name, fittedText(name), m_keeping->solucUses(stored)});
    return code;
}

void TableCodes::sayCodesLeft()
{
    if (!m_keeping)
        return;
    QSet<QString> said;
    for (const CodeKeeping::Holder& holder : m_keeping->holders()) {
        const QString code = folded(holder.code);
        const int uses = m_keeping->solucUses(holder.code);
        if (uses > 0 && !m_given.contains(code) && !said.contains(code)) {
            said.insert(code);
            m_run.report().addCodeLeft({m_table.name, holder.code, holder.name, uses});
        }
    }
}
