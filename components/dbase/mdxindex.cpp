#include "components/dbase/mdxindex.h"

#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>

namespace mdx {

namespace {

// All pointers in the file count 512-byte pages; nodes and the tag header fill 1024-byte
// blocks (block factor 2), the only block size every reader accepts.
constexpr int PageSize = 512;
constexpr int BlockSize = 1024;
constexpr int PagesPerBlock = BlockSize / PageSize;
constexpr quint32 TagHeaderPage = 4;
constexpr quint32 FirstNodePage = 6;
constexpr int TagTableOffset = 512;
constexpr int TagTableSlots = 48;
constexpr int TagEntryLength = 32;
constexpr int FirstTagEntryOffset = TagTableOffset + TagEntryLength; // slot 0 is not a tag
constexpr char KeyFormat = 0x10;
constexpr char KeyType = 'N';

constexpr int KeyLength = 12;
constexpr int ItemLength = 16;                             // 4-byte pointer + key
constexpr int KeysPerNode = (BlockSize - 12) / ItemLength; // 63
constexpr int ChildrenPerInteriorNode = KeysPerNode + 1;   // the trailing pointer's child
constexpr int ExponentBias = 0x34;
constexpr int KeyDigits = 2 * (KeyLength - 2); // 20 BCD digits

constexpr int TableNameLength = 16;
constexpr int TagNameLength = 10;
constexpr int ExpressionLength = 220; // 221 bytes with the NUL

// A decimal number as 0.d1d2d3... × 10^exponent: `digits` has neither leading nor trailing
// zeros, so equal values have equal representations; zero has no digits and no sign.
struct Decimal {
    bool negative = false;
    int exponent = 0;
    QByteArray digits;
};

// What reading a stored value gave: the number, or why it cannot be a key (in Spanish,
// to follow the value in a sentence).
struct Parsed {
    Decimal number;
    QString problem;
};

Parsed parseStoredValue(const QByteArray& storedValue)
{
    // Pad blanks still present are ignored: all blanks is a blank value, keyed as zero.
    const QByteArray text = storedValue.trimmed();
    Parsed parsed;
    if (text.isEmpty())
        return parsed;

    const QString notANumber = QStringLiteral("no es un número");
    qsizetype pos = 0;
    if (text.startsWith('-')) {
        parsed.number.negative = true;
        pos = 1;
    }
    QByteArray digits;
    qsizetype integerDigits = -1; // digits before the point; -1 while no point was seen
    for (; pos < text.size(); ++pos) {
        const char c = text.at(pos);
        if (c >= '0' && c <= '9')
            digits.append(c);
        else if (c == '.' && integerDigits < 0)
            integerDigits = digits.size();
        else
            return {{}, notANumber};
    }
    if (digits.isEmpty())
        return {{}, notANumber};

    int exponent = int(integerDigits < 0 ? digits.size() : integerDigits);
    qsizetype leadingZeros = 0;
    while (leadingZeros < digits.size() && digits.at(leadingZeros) == '0')
        ++leadingZeros;
    digits.remove(0, leadingZeros);
    exponent -= int(leadingZeros);
    while (!digits.isEmpty() && digits.back() == '0')
        digits.chop(1);
    if (digits.isEmpty())
        return {}; // zero, whatever its sign or decimals

    // Twenty digits is what the key holds and more than a dBase numeric field can.
    if (digits.size() > KeyDigits || exponent > KeyDigits || exponent < -KeyDigits)
        return {{}, QStringLiteral("tiene más de %1 cifras").arg(KeyDigits)};
    parsed.number.exponent = exponent;
    parsed.number.digits = digits;
    return parsed;
}

// Orders by numeric value: sign first, then magnitude (exponent, then digits).
int compareValues(const Decimal& a, const Decimal& b)
{
    const auto signOf = [](const Decimal& d) {
        return d.digits.isEmpty() ? 0 : d.negative ? -1 : 1;
    };
    const int sign = signOf(a);
    if (sign != signOf(b))
        return sign < signOf(b) ? -1 : 1;
    const int difference =
        a.exponent != b.exponent ? a.exponent - b.exponent : a.digits.compare(b.digits);
    const int magnitude = (difference > 0) - (difference < 0);
    return sign < 0 ? -magnitude : magnitude;
}

// The 12-byte key: biased exponent, then sign bit, digit count and the low bits 01, then
// the digits as packed BCD. The digit count runs from the first significant digit to the
// last one or to the units, whichever is later; Borland's files round it up to even.
QByteArray encodeKey(const Decimal& number)
{
    QByteArray key(KeyLength, '\0');
    key[0] = char(ExponentBias + number.exponent);
    const int digitCount = std::max(int(number.digits.size()), number.exponent);
    const int evenCount = (digitCount + 1) & ~1;
    key[1] = char((number.negative ? 0x80 : 0x00) | evenCount << 2 | 0x01);
    for (int i = 0; i < number.digits.size(); ++i) {
        const int digit = number.digits.at(i) - '0';
        key[2 + i / 2] = char(key.at(2 + i / 2) | (i % 2 == 0 ? digit << 4 : digit));
    }
    return key;
}

void putBytes(QByteArray& bytes, int offset, const QByteArray& value)
{
    std::copy(value.begin(), value.end(), bytes.begin() + offset);
}

// Year since 1900, month, day.
void putDate(QByteArray& bytes, int offset, QDate date)
{
    bytes[offset] = char(date.year() - 1900);
    bytes[offset + 1] = char(date.month());
    bytes[offset + 2] = char(date.day());
}

// A name for a NUL-padded ASCII slot; a name that does not fit would break the link
// between the table, its tag and its field, so it is refused rather than cut.
QByteArray asciiName(const QString& name, int maxLength, const QString& what)
{
    const bool ascii = std::all_of(
        name.begin(), name.end(), [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; });
    if (name.isEmpty() || !ascii || name.size() > maxLength)
        throw EngineError(
            QStringLiteral("El nombre %1 «%2» no vale para el índice MDX: ha de tener entre 1 y %3 "
                           "caracteres ASCII sin espacios.")
                .arg(what, name)
                .arg(maxLength));
    return name.toLatin1();
}

// One entry of a node: the record number (leaf) or the child's page (interior node), with
// its key; in an interior node the key is the last key of that child's subtree.
struct Item {
    quint32 pointer;
    QByteArray key;
};

// A node block: entry count, 4 reserved zero bytes, the entries, then the trailing pointer,
// which is 0 in a leaf and the rightmost child's page in an interior node. Readers tell
// leaves from interior nodes by that pointer alone.
QByteArray nodeBlock(const std::vector<Item>& items, quint32 trailingPointer)
{
    QByteArray block(BlockSize, '\0');
    qToLittleEndian<quint32>(quint32(items.size()), block.data());
    int offset = 8;
    for (const Item& item : items) {
        qToLittleEndian<quint32>(item.pointer, block.data() + offset);
        putBytes(block, offset + 4, item.key);
        offset += ItemLength;
    }
    qToLittleEndian<quint32>(trailingPointer, block.data() + offset);
    return block;
}

// The B-tree's nodes in file order from page 6: the leaves, left to right, then each
// interior level up to the root, which is the last node.
struct Tree {
    std::vector<QByteArray> nodes;
    quint32 firstLeafPage = FirstNodePage;
    quint32 rootPage = FirstNodePage;
};

Tree buildTree(const std::vector<Item>& sortedItems)
{
    Tree tree;
    const auto nextPage = [&tree] {
        return quint32(FirstNodePage + PagesPerBlock * tree.nodes.size());
    };
    struct Subtree {
        quint32 page;
        QByteArray lastKey;
    };

    // Leaves packed full; an empty table still has its (empty) root leaf.
    std::vector<Subtree> level;
    for (size_t first = 0; first < sortedItems.size() || tree.nodes.empty(); first += KeysPerNode) {
        const size_t end = std::min(sortedItems.size(), first + KeysPerNode);
        const std::vector<Item> leaf(sortedItems.begin() + first, sortedItems.begin() + end);
        level.push_back({nextPage(), leaf.empty() ? QByteArray() : leaf.back().key});
        tree.nodes.push_back(nodeBlock(leaf, 0));
    }

    while (level.size() > 1) {
        // Children spread evenly over as few nodes as hold them: packing full could leave a
        // last node with a single child, and so with no key.
        const size_t nodeCount =
            (level.size() + ChildrenPerInteriorNode - 1) / ChildrenPerInteriorNode;
        std::vector<Subtree> parents;
        size_t first = 0;
        for (size_t node = 0; node < nodeCount; ++node) {
            const size_t remainingNodes = nodeCount - node;
            const size_t end = first + (level.size() - first + remainingNodes - 1) / remainingNodes;
            std::vector<Item> items;
            for (size_t child = first; child + 1 < end; ++child)
                items.push_back({level[child].page, level[child].lastKey});
            parents.push_back({nextPage(), level[end - 1].lastKey});
            tree.nodes.push_back(nodeBlock(items, level[end - 1].page));
            first = end;
        }
        level = std::move(parents);
    }
    tree.rootPage = level.front().page;
    return tree;
}

void writeFileHeader(QByteArray& file, const QByteArray& tableName, QDate date)
{
    file[0] = 0x02; // dBase IV
    putDate(file, 1, date);
    putBytes(file, 4, tableName);
    qToLittleEndian<quint16>(PagesPerBlock, file.data() + 20);
    qToLittleEndian<quint16>(BlockSize, file.data() + 22);
    file[24] = 0x01; // production index
    file[25] = char(TagTableSlots);
    file[26] = char(TagEntryLength);
    qToLittleEndian<quint16>(1, file.data() + 28); // tags in use
    qToLittleEndian<quint32>(quint32(file.size() / PageSize), file.data() + 32);
    putDate(file, 44, date);
}

void writeTagTable(QByteArray& file, const QByteArray& tagName)
{
    // Borland's files always have this byte of slot 0 set (the tag-name tree's link to tag 1).
    file[TagTableOffset + 17] = 0x01;
    const int entry = FirstTagEntryOffset;
    qToLittleEndian<quint32>(TagHeaderPage, file.data() + entry);
    putBytes(file, entry + 4, tagName);
    file[entry + 15] = KeyFormat;
    file[entry + 19] = 0x02;
    file[entry + 20] = KeyType;
}

void writeTagHeader(QByteArray& file, const QByteArray& expression, const Tree& tree, bool hasKeys,
                    QDate date)
{
    const int header = int(TagHeaderPage) * PageSize;
    qToLittleEndian<quint32>(tree.rootPage, file.data() + header);
    qToLittleEndian<quint32>(quint32(PagesPerBlock * tree.nodes.size()), file.data() + header + 4);
    file[header + 8] = KeyFormat;
    file[header + 9] = KeyType;
    qToLittleEndian<quint16>(KeyLength, file.data() + header + 12);
    qToLittleEndian<quint16>(KeysPerNode, file.data() + header + 14);
    qToLittleEndian<quint16>(ItemLength, file.data() + header + 18);
    file[header + 20] = 0x01; // update counter
    putBytes(file, header + 24, expression);
    file[header + 246] = hasKeys ? 0x01 : 0x00;
    qToLittleEndian<quint32>(tree.firstLeafPage, file.data() + header + 248);
    qToLittleEndian<quint32>(tree.rootPage, file.data() + header + 252);
    putDate(file, header + 257, date);
    file[header + 480] = 0x01; // the expression is a single field
}

} // namespace

QByteArray numericKey(const QByteArray& storedValue)
{
    const Parsed parsed = parseStoredValue(storedValue);
    if (!parsed.problem.isEmpty())
        throw EngineError(QStringLiteral("El valor «%1» %2 y no puede ser clave del índice.")
                              .arg(QString::fromLatin1(storedValue), parsed.problem));
    return encodeKey(parsed.number);
}

QByteArray buildProductionIndex(const QString& tableName, const QString& tagName,
                                const QString& fieldName, std::vector<Entry> entries, QDate date)
{
    const QByteArray table =
        asciiName(tableName.toUpper(), TableNameLength, QStringLiteral("de tabla"));
    const QByteArray tag = asciiName(tagName, TagNameLength, QStringLiteral("de etiqueta"));
    const QByteArray expression =
        asciiName(fieldName, ExpressionLength, QStringLiteral("de campo"));
    if (!date.isValid() || date.year() < 1900 || date.year() > 1900 + 255)
        throw EngineError(QStringLiteral("La fecha %1 no se puede escribir en el índice MDX.")
                              .arg(date.toString(Qt::ISODate)));

    struct Row {
        Decimal value;
        quint32 record;
    };
    std::vector<Row> rows;
    rows.reserve(entries.size());
    for (const Entry& entry : entries) {
        const Parsed parsed = parseStoredValue(entry.storedValue);
        if (!parsed.problem.isEmpty())
            throw EngineError(
                QStringLiteral("El registro %1 tiene en %2 el valor «%3», que %4 y no puede ser "
                               "clave del índice.")
                    .arg(entry.record)
                    .arg(fieldName, QString::fromLatin1(entry.storedValue), parsed.problem));
        rows.push_back({parsed.number, entry.record});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        const int order = compareValues(a.value, b.value);
        return order != 0 ? order < 0 : a.record < b.record;
    });

    std::vector<Item> items;
    items.reserve(rows.size());
    for (const Row& row : rows)
        items.push_back({row.record, encodeKey(row.value)});
    const Tree tree = buildTree(items);

    const qsizetype firstNodeOffset = qsizetype(FirstNodePage) * PageSize;
    QByteArray file(firstNodeOffset + qsizetype(tree.nodes.size()) * BlockSize, '\0');
    writeFileHeader(file, table, date);
    writeTagTable(file, tag);
    writeTagHeader(file, expression, tree, !rows.empty(), date);
    for (size_t i = 0; i < tree.nodes.size(); ++i)
        putBytes(file, int(firstNodeOffset + qsizetype(i) * BlockSize), tree.nodes[i]);
    return file;
}

QString problemWithFile(const QString& path)
{
    if (const QString what = platform::notOrdinaryFile(path); !what.isEmpty())
        return what;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return systemerror::reason(file.errorString());
    const QByteArray header = file.read(36);
    if (header.size() < 36 || header.at(0) != 0x02)
        return QStringLiteral("el índice está vacío o cortado");
    const quint64 pages = qFromLittleEndian<quint32>(header.constData() + 32);
    if (quint64(file.size()) != pages * PageSize)
        return QStringLiteral("el índice mide %1 bytes y debería medir %2")
            .arg(file.size())
            .arg(pages * PageSize);
    return QString();
}

} // namespace mdx
