#include "to_timetable/codekeeping.h"

#include "components/dbase/dbftable.h"
#include "components/text/texts.h"
#include "components/timetablefolder/tablelayouts.h"

#include <QSet>
#include <cstring>
#include <optional>

namespace {

// The rows of a current table as holders, or nothing when the folder has no such table or it
// cannot be read: then nothing is kept and the codes are given by the rule alone.
template <typename Read>
std::optional<std::vector<CodeKeeping::Holder>> holdersOf(const QString& folder,
                                                          const TableLayout& layout, Read read)
{
    try {
        DbfTable table(folder, layout.name);
        if (!table.exists())
            return std::nullopt;
        table.open(DbfTable::Access::Shared);
        table.requireAllRows();
        std::vector<CodeKeeping::Holder> holders;
        holders.reserve(size_t(table.rowCount()));
        for (table.first(); !table.eof(); table.next()) {
            if (std::optional<CodeKeeping::Holder> holder = read(table))
                holders.push_back(std::move(*holder));
        }
        return holders;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// How many rows of SOLUC use each code, by field: PROF, AULA, CODGRUPO, ASIG.
struct SolucUses {
    QHash<QString, int> teachers;
    QHash<QString, int> rooms;
    QHash<QString, int> groups;
    QHash<QString, int> subjects;
};

// How many rows of SOLUC hold each value of one code field. SOLUC is large (a row per class
// and hour): the field's bytes as stored are counted, packed into two words when the field is no
// wider than 16 bytes (a code field is 10), and each distinct value is read as text once at the
// end (two spellings of one code, padded otherwise, add up there).
class ColumnCount {
public:
    ColumnCount(const DbfTable& soluc, const QString& field)
    {
        if (soluc.hasField(field) && soluc.field(field).type == 'C') {
            m_field = field;
            m_offset = soluc.field(field).offset;
            m_width = soluc.field(field).width;
        }
    }

    void add(QByteArrayView row, int record)
    {
        if (m_offset < 0 || m_offset + m_width > row.size())
            return;
        const char* value = row.data() + m_offset;
        if (m_width <= int(sizeof(Packed))) {
            Packed key;
            std::memcpy(&key, value, size_t(m_width));
            m_packed.add(key, record);
            return;
        }
        const QByteArray key = QByteArray::fromRawData(value, m_width);
        auto entry = m_raw.find(key);
        if (entry == m_raw.end())
            entry = m_raw.insert(QByteArray(value, m_width), {0, record});
        ++entry->first;
    }

    // The counts by the value as read.
    QHash<QString, int> counts(DbfTable& soluc) const
    {
        QHash<QString, int> out;
        const auto count = [&](const std::pair<int, int>& rows) {
            soluc.goToRecord(rows.second);
            if (const QString code = soluc.text(m_field); !code.isEmpty())
                out[code] += rows.first;
        };
        m_packed.forEach(count);
        for (const std::pair<int, int>& rows : m_raw)
            count(rows);
        return out;
    }

private:
    struct Packed {
        quint64 low = 0;
        quint64 high = 0;
        bool operator==(const Packed& other) const = default;
    };
    // Rows by packed value: open addressing, a few instructions a row.
    class PackedCounts {
    public:
        void add(const Packed& key, int record)
        {
            if (2 * (m_used + 1) > m_slots.size())
                grow();
            Slot& slot = find(key);
            if (slot.rows.first == 0) {
                slot.key = key;
                slot.rows.second = record;
                ++m_used;
            }
            ++slot.rows.first;
        }
        template <typename Use> void forEach(Use use) const
        {
            for (const Slot& slot : m_slots) {
                if (slot.rows.first > 0)
                    use(slot.rows);
            }
        }

    private:
        struct Slot {
            Packed key;
            std::pair<int, int> rows{0, 0}; // rows with the value, a record that holds it
        };
        Slot& find(const Packed& key)
        {
            const size_t mask = m_slots.size() - 1;
            // Every byte of the value reaches every bit of the hash (MurmurHash3's finaliser).
            quint64 hash = key.low ^ (key.high * 0xC2B2AE3D27D4EB4FULL);
            hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCDULL;
            hash = (hash ^ (hash >> 33)) * 0xC4CEB9FE1A85EC53ULL;
            size_t at = size_t(hash ^ (hash >> 33)) & mask;
            while (m_slots[at].rows.first > 0 && !(m_slots[at].key == key))
                at = (at + 1) & mask;
            return m_slots[at];
        }
        void grow()
        {
            std::vector<Slot> old(std::max<size_t>(64, 2 * m_slots.size()));
            old.swap(m_slots);
            for (const Slot& slot : old) {
                if (slot.rows.first > 0)
                    find(slot.key) = slot;
            }
        }
        std::vector<Slot> m_slots;
        size_t m_used = 0;
    };

    QString m_field;
    int m_offset = -1;
    int m_width = 0;
    // The value's bytes -> rows with it, and a record that holds it.
    PackedCounts m_packed;
    QHash<QByteArray, std::pair<int, int>> m_raw;
};

SolucUses readSoluc(const QString& folder)
{
    try {
        DbfTable soluc(folder, layouts::soluc);
        if (!soluc.exists())
            return SolucUses();
        soluc.open(DbfTable::Access::Shared);
        ColumnCount columns[] = {{soluc, QStringLiteral("PROF")},
                                 {soluc, QStringLiteral("AULA")},
                                 {soluc, QStringLiteral("CODGRUPO")},
                                 {soluc, QStringLiteral("ASIG")}};
        for (soluc.first(); !soluc.eof(); soluc.next()) {
            const QByteArrayView row = soluc.storedRow();
            const int record = soluc.recordNumber();
            for (ColumnCount& c : columns)
                c.add(row, record);
        }
        return {columns[0].counts(soluc), columns[1].counts(soluc), columns[2].counts(soluc),
                columns[3].counts(soluc)};
    } catch (const std::exception&) {
        return SolucUses();
    }
}

CodeKeeping keeping(CodeKeeping::Kind kind, std::optional<std::vector<CodeKeeping::Holder>> holders,
                    const QHash<QString, int>& uses)
{
    if (!holders)
        return CodeKeeping();
    return CodeKeeping(kind, std::move(*holders), uses);
}

} // namespace

QStringList CodeKeeping::teacherKeys(const QString& xEmpleado, const QString& nombre)
{
    return {textAsRead(xEmpleado, 10), textAsRead(nombre, 80)};
}

QStringList CodeKeeping::roomKeys(const QString& key, const QString& nombre)
{
    // The key and the name together first: of two rooms with one key, each finds its own row.
    const QString code = textAsRead(key, 10);
    const QString name = textAsRead(nombre, 80);
    return {code.isEmpty() ? QString() : code + QLatin1Char('\n') + name, code, name};
}

QStringList CodeKeeping::groupKeys(const QString& clave)
{
    return {textAsRead(clave, 10)};
}

QStringList CodeKeeping::subjectKeys(const QString& longCode, const QString& nombre)
{
    return {textAsRead(longCode, 10) + QLatin1Char('\n') + textAsRead(nombre, 80)};
}

CodeKeeping::CodeKeeping(Kind kind, std::vector<Holder> holders, QHash<QString, int> solucUses)
    : m_kind(kind), m_active(true), m_holders(std::move(holders))
{
    for (auto it = solucUses.cbegin(); it != solucUses.cend(); ++it) {
        m_solucUses[folded(it.key())] += it.value();
        m_solucSpelling.insert(folded(it.key()), it.key());
    }
    for (qsizetype i = 0; i < qsizetype(m_holders.size()); ++i)
        m_holderByCode.insert(folded(m_holders[size_t(i)].code), i);
    m_pairOfHolder.assign(m_holders.size(), -1);
}

QString CodeKeeping::folded(const QString& code) const
{
    // Subject codes count letter case; the others do not.
    return m_kind == Kind::Subjects ? code : texts::caseFolded(code);
}

bool CodeKeeping::mayPair(qsizetype record, qsizetype holder, int round) const
{
    const QStringList& mine = m_recordKeys[size_t(record)];
    const QStringList& theirs = m_holders[size_t(holder)].keys;
    if (round == 0)
        return true;
    switch (m_kind) {
    case Kind::Teachers:
        // By name only when one of the two has no employee number: two numbers that differ are
        // two people.
        return mine.value(0).isEmpty() || theirs.value(0).isEmpty();
    case Kind::Rooms: {
        // By key (with its name, then alone), and by name only for a room without a key or a
        // second room with a key another one has (numbered), and only a holder whose code is no
        // room's key in the document: a room whose key changed takes its new key.
        if (round == 1)
            return true;
        const QString& key = mine.value(1);
        return (key.isEmpty() || m_pairedKeys.contains(key)) &&
               !m_documentKeys.contains(theirs.value(1));
    }
    case Kind::Groups:
    case Kind::Subjects:
        return false;
    }
    return false;
}

void CodeKeeping::match(const std::vector<QStringList>& recordKeys)
{
    m_recordKeys = recordKeys;
    m_pairOfRecord.assign(recordKeys.size(), -1);
    m_pairOfHolder.assign(m_holders.size(), -1);
    if (!m_active)
        return;
    m_documentKeys.clear();
    m_pairedKeys.clear();
    if (m_kind == Kind::Rooms) {
        for (const QStringList& keys : recordKeys)
            m_documentKeys.insert(keys.value(1));
    }
    const int rounds = m_holders.empty() ? 0 : int(m_holders.front().keys.size());
    for (int round = 0; round < rounds; ++round) {
        if (m_kind == Kind::Rooms && round == 2) {
            for (size_t r = 0; r < recordKeys.size(); ++r) {
                if (m_pairOfRecord[r] >= 0)
                    m_pairedKeys.insert(recordKeys[r].value(1));
            }
        }
        // The holders free in this round, by key, in table order.
        QHash<QString, std::vector<qsizetype>> free;
        for (qsizetype h = 0; h < qsizetype(m_holders.size()); ++h) {
            const QString& key = m_holders[size_t(h)].keys.value(round);
            if (m_pairOfHolder[size_t(h)] < 0 && !key.isEmpty())
                free[key].push_back(h);
        }
        for (qsizetype r = 0; r < qsizetype(recordKeys.size()); ++r) {
            const QString& key = recordKeys[size_t(r)].value(round);
            if (m_pairOfRecord[size_t(r)] >= 0 || key.isEmpty())
                continue;
            const auto candidates = free.find(key);
            if (candidates == free.end())
                continue;
            for (qsizetype h : *candidates) {
                if (m_pairOfHolder[size_t(h)] < 0 && mayPair(r, h, round)) {
                    m_pairOfRecord[size_t(r)] = h;
                    m_pairOfHolder[size_t(h)] = r;
                    break;
                }
            }
        }
    }
}

const CodeKeeping::Holder* CodeKeeping::pairedWith(qsizetype index) const
{
    if (index < 0 || index >= qsizetype(m_pairOfRecord.size()) || m_pairOfRecord[size_t(index)] < 0)
        return nullptr;
    return &m_holders[size_t(m_pairOfRecord[size_t(index)])];
}

bool CodeKeeping::isPaired(const Holder* holder) const
{
    const qsizetype index = holder - m_holders.data();
    return index >= 0 && index < qsizetype(m_pairOfHolder.size()) &&
           m_pairOfHolder[size_t(index)] >= 0;
}

QStringList CodeKeeping::reserved() const
{
    QStringList out;
    QSet<QString> seen;
    auto add = [&](const QString& code) {
        if (!seen.contains(folded(code))) {
            seen.insert(folded(code));
            out << code;
        }
    };
    for (size_t h = 0; h < m_holders.size(); ++h) {
        if (m_pairOfHolder[h] >= 0)
            add(m_holders[h].code);
    }
    for (const QString& code : m_solucSpelling)
        add(code);
    return out;
}

const CodeKeeping::Holder* CodeKeeping::holderOf(const QString& code) const
{
    const auto found = m_holderByCode.find(folded(code));
    return found == m_holderByCode.end() ? nullptr : &m_holders[size_t(*found)];
}

int CodeKeeping::solucUses(const QString& code) const
{
    return m_solucUses.value(folded(code));
}

FolderCodes FolderCodes::read(const QString& timetableFolder)
{
    const SolucUses uses = readSoluc(timetableFolder);
    FolderCodes codes;
    const QString abrev = layouts::codeField;
    const auto nombre = QStringLiteral("NOMBRE");
    codes.teachers =
        keeping(CodeKeeping::Kind::Teachers,
                holdersOf(timetableFolder, layouts::proft,
                          [&](const DbfTable& t) -> std::optional<CodeKeeping::Holder> {
                              return CodeKeeping::Holder{
                                  t.text(abrev),
                                  {t.text(QStringLiteral("X_EMPLEADO")), t.text(nombre)},
                                  t.text(nombre)};
                          }),
                uses.teachers);
    codes.rooms = keeping(CodeKeeping::Kind::Rooms,
                          holdersOf(timetableFolder, layouts::aulat,
                                    [&](const DbfTable& t) -> std::optional<CodeKeeping::Holder> {
                                        return CodeKeeping::Holder{
                                            t.text(abrev),
                                            CodeKeeping::roomKeys(t.text(abrev), t.text(nombre)),
                                            t.text(nombre)};
                                    }),
                          uses.rooms);
    codes.groups =
        keeping(CodeKeeping::Kind::Groups,
                holdersOf(timetableFolder, layouts::grupost,
                          [&](const DbfTable& t) -> std::optional<CodeKeeping::Holder> {
                              return CodeKeeping::Holder{t.text(abrev),
                                                         {t.text(QStringLiteral("CLAVE"))},
                                                         t.text(QStringLiteral("DESCRIP"))};
                          }),
                uses.groups);
    codes.subjects =
        keeping(CodeKeeping::Kind::Subjects,
                holdersOf(timetableFolder, layouts::asignomt,
                          [&](const DbfTable& t) -> std::optional<CodeKeeping::Holder> {
                              // Task rows carry an activity's own code, which is never numbered.
                              if (t.boolean(QStringLiteral("ESTAREA")))
                                  return std::nullopt;
                              return CodeKeeping::Holder{t.text(QStringLiteral("COD")),
                                                         {t.text(QStringLiteral("CODLARGO")) +
                                                          QLatin1Char('\n') + t.text(nombre)},
                                                         t.text(nombre)};
                          }),
                uses.subjects);
    return codes;
}

CodeKeeping& FolderCodes::of(CodeKeeping::Kind kind)
{
    switch (kind) {
    case CodeKeeping::Kind::Teachers:
        return teachers;
    case CodeKeeping::Kind::Rooms:
        return rooms;
    case CodeKeeping::Kind::Groups:
        return groups;
    case CodeKeeping::Kind::Subjects:
        break;
    }
    return subjects;
}
