#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

// Codes that keep their owners from one export to the next. The solved timetable (SOLUC) refers
// to teachers, rooms, groups and subjects by their codes, and the rule that gives codes follows
// the order of the records: one teacher leaving would shift the codes of the others, and hand
// them each other's classes. So when the timetable folder holds a table, whoever holds a code in
// it now (a teacher by X_EMPLEADO, or by name when one side has none; a room by its key, or by
// name when it has none or was numbered; a group by its unit key; a subject by its long code and
// name) keeps that code, and no new record gets a code that one of them holds or that SOLUC
// still uses.
class CodeKeeping {
public:
    enum class Kind { Teachers, Rooms, Groups, Subjects };

    // Who holds a code in the table now.
    struct Holder {
        QString code;     // as the table stores it
        QStringList keys; // what identifies it, round by round ("" when it has none)
        QString name;     // who it is, for the user
    };

    // What identifies each kind, round by round, from the values of a record or a row (as the
    // tables store them: a value is taken in its stored form).
    static QStringList teacherKeys(const QString& xEmpleado, const QString& nombre);
    static QStringList roomKeys(const QString& key, const QString& nombre);
    static QStringList groupKeys(const QString& clave);
    static QStringList subjectKeys(const QString& longCode, const QString& nombre);

    // Nothing to keep: the timetable folder has no such table.
    CodeKeeping() = default;
    // `solucUses`: how many rows of SOLUC use each code of this kind.
    CodeKeeping(Kind kind, std::vector<Holder> holders, QHash<QString, int> solucUses);

    // Whether the folder had the table (codes are then kept).
    bool isActive() const { return m_active; }

    // Pairs the document's records, each given with its keys round by round (in the holders'
    // order of keys), with the holders: round by round, each holder goes to the first record in
    // document order with its key that is not paired yet.
    void match(const std::vector<QStringList>& recordKeys);
    // The holder paired with the record at `index` (its code is the record's), or nullptr.
    const Holder* pairedWith(qsizetype index) const;
    // Whether `holder` (one of this keeping's) is paired with a record.
    bool isPaired(const Holder* holder) const;
    // The codes no new record may get: those of the holders paired, and those SOLUC uses.
    QStringList reserved() const;
    // The holder of a code now (letter case as the kind's codes count it), or nullptr.
    const Holder* holderOf(const QString& code) const;
    int solucUses(const QString& code) const;
    const std::vector<Holder>& holders() const { return m_holders; }

private:
    bool mayPair(qsizetype record, qsizetype holder, int round) const;
    QString folded(const QString& code) const;

    Kind m_kind = Kind::Teachers;
    bool m_active = false;
    std::vector<Holder> m_holders;
    QHash<QString, int> m_solucUses;          // by folded code
    QHash<QString, QString> m_solucSpelling;  // folded code -> as SOLUC writes it
    QHash<QString, qsizetype> m_holderByCode; // folded code -> holder
    std::vector<QStringList> m_recordKeys;
    std::vector<qsizetype> m_pairOfRecord; // holder index, or -1
    std::vector<qsizetype> m_pairOfHolder; // record index, or -1
    QSet<QString> m_documentKeys;          // the rooms' keys in the document
    QSet<QString> m_pairedKeys;            // those of the rooms paired by their key
};

// The codes the tables in `timetableFolder` give now, one CodeKeeping for each kind. A table the
// folder lacks, or that cannot be read, keeps nothing.
struct FolderCodes {
    CodeKeeping teachers;
    CodeKeeping rooms;
    CodeKeeping groups;
    CodeKeeping subjects;

    static FolderCodes read(const QString& timetableFolder);
    CodeKeeping& of(CodeKeeping::Kind kind);
};
