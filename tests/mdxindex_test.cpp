#include "components/dbase/mdxindex.h"
#include "components/platform/engineerror.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <gtest/gtest.h>
#include <set>

namespace {

// Real DBDEMOS files written by Borland software and later updated by Microsoft Jet; read only.

constexpr int TagHeader = 4 * 512;
constexpr int BlockSize = 1024;

// A 12-byte key from its leading bytes in hex ("37 11 48"); the rest is zero.
QByteArray key(const char* leadingHex)
{
    return QByteArray::fromHex(leadingHex).leftJustified(12, '\0');
}

quint32 uint32At(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 uint16At(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

// The entries of the node at `page`: pointer (record or child page) and key.
struct NodeEntry {
    quint32 pointer;
    QByteArray key;
};

std::vector<NodeEntry> nodeEntries(const QByteArray& file, quint32 page)
{
    const qsizetype node = qsizetype(page) * 512;
    std::vector<NodeEntry> entries;
    for (quint32 j = 0; j < uint32At(file, node); ++j)
        entries.push_back({uint32At(file, node + 8 + 16 * j), file.mid(node + 12 + 16 * j, 12)});
    return entries;
}

quint32 trailingPointer(const QByteArray& file, quint32 page)
{
    const qsizetype node = qsizetype(page) * 512;
    return uint32At(file, node + 8 + 16 * uint32At(file, node));
}

std::vector<mdx::Entry> entriesFor(const std::vector<QByteArray>& values)
{
    std::vector<mdx::Entry> entries;
    for (size_t i = 0; i < values.size(); ++i)
        entries.push_back({values[i], quint32(i + 1)});
    return entries;
}

} // namespace

TEST(MdxNumericKey, EncodesTheStoredTextAsPackedDecimal)
{
    struct Case {
        const char* stored;
        const char* key;
    };
    // Byte 1 is the digit count rounded up to even, shifted left by 2, with the low bits 01
    // and the sign in bit 7; zero has count 0.
    const Case cases[] = {
        {"0", "34 01"},          {"7", "35 09 70"},
        {"99", "36 09 99"},      {"480", "37 11 48"},
        {"1440", "38 11 14 40"}, {"2094056", "3B 21 20 94 05 60"},
        {"0.5", "34 09 50"},     {"0.05", "33 09 50"},
        {"0.95", "34 09 95"},    {"1234.5", "38 19 12 34 50"},
        {"6.000", "35 09 60"},   {"006", "35 09 60"},
        {"", "34 01"},           {"-0.00", "34 01"},
        {"-16", "36 89 16"},     {"-3.0000", "35 89 30"},
        {"-0.05", "33 89 50"},   {"12345678901234567890", "48 51 12 34 56 78 90 12 34 56 78 90"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mdx::numericKey(c.stored).toHex(' '), key(c.key).toHex(' ')) << c.stored;

    for (const char* rejected :
         {"abc", "12a", "1,5", "-", ".", "1.2.3", "1e5", "--1", "- 1", "123456789012345678901"}) {
        try {
            mdx::numericKey(rejected);
            ADD_FAILURE() << "accepted " << rejected;
        } catch (const EngineError& error) {
            EXPECT_TRUE(error.message().contains(QStringLiteral("«%1»").arg(rejected)))
                << error.what();
        }
    }
}

TEST(MdxIndexOrder, OrdersByNumericValueThenByRecordNumber)
{
    // Raw key bytes would put 0 (34 01) after 0.05 (33 09) and every negative after every
    // positive; the order is the values'.
    const std::vector<QByteArray> values = {"480", "-16", "0.05", "",   "-3.0000", "6.000", "-0.5",
                                            "0",   "6",   "-100", "99", "0.5",     "-3",    "480"};
    const quint32 expectedRecords[] = {10, 2, 5, 13, 7, 4, 8, 3, 12, 6, 9, 11, 1, 14};

    const std::vector<mdx::Entry> entries = entriesFor(values);
    const QByteArray file = mdx::buildProductionIndex(
        QStringLiteral("T"), QStringLiteral("ORDEN"), QStringLiteral("ORDEN"),
        {entries.rbegin(), entries.rend()}, QDate(2024, 5, 17));
    std::vector<quint32> records;
    for (const NodeEntry& entry : nodeEntries(file, 6)) {
        records.push_back(entry.pointer);
        EXPECT_EQ(entry.key, mdx::numericKey(values[entry.pointer - 1])) << entry.pointer;
    }
    EXPECT_EQ(records,
              std::vector<quint32>(std::begin(expectedRecords), std::end(expectedRecords)));
}

TEST(MdxIndexOrder, NamesTheRecordAndValueItCannotIndex)
{
    try {
        mdx::buildProductionIndex(QStringLiteral("T"), QStringLiteral("ORDEN"),
                                  QStringLiteral("ORDEN"), entriesFor({"1", "2", "x7"}),
                                  QDate(2024, 5, 17));
        ADD_FAILURE() << "accepted x7";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.message().toStdString(),
                  "El registro 3 tiene en ORDEN el valor «x7», que no es un número y no puede ser "
                  "clave del índice.");
    }
}

// A ten-row index that independent readers walk correctly, known byte for byte.
TEST(MdxIndexLayout, WritesTheKnownGoodSmallIndexByteForByte)
{
    const QByteArray file = mdx::buildProductionIndex(
        QStringLiteral("small"), QStringLiteral("ORDEN"), QStringLiteral("ORDEN"),
        entriesFor({"480", "535", "480", "0", "1440", "600", "100", "99", "480", "7"}),
        QDate(2024, 5, 17));

    // Every byte not listed here is zero.
    struct Bytes {
        int offset;
        const char* hex;
    };
    const Bytes written[] = {
        // File header: version, date, table name, block factor and size, production flag,
        // tag slots and their length, tags in use, pages in the file, update date.
        {0x000, "02 7c 05 11 53 4d 41 4c 4c"},
        {0x014, "02 00 00 04 01 30 20 00 01 00"},
        {0x020, "08 00 00 00"},
        {0x02c, "7c 05 11"},
        {529, "01"},
        // Tag entry 1: header page, name, key format, byte 19, key type.
        {544, "04 00 00 00 4f 52 44 45 4e 00 00 00 00 00 00 10 00 00 00 02 4e"},
        // Tag header: root, node pages, format, type, key length, keys per node, item length,
        // update counter, expression, has keys, leaf and root pages, date, single field.
        {TagHeader, "06 00 00 00 02 00 00 00 10 4e 00 00 0c 00 3f 00 00 00 10 00 01 00 00 00"},
        {TagHeader + 24, "4f 52 44 45 4e"},
        {TagHeader + 246, "01 00 06 00 00 00 06 00 00 00 00 7c 05 11"},
        {TagHeader + 480, "01"},
        // The one leaf: 10 entries, reserved word 0.
        {0xc00, "0a 00 00 00 00 00 00 00"},
    };
    struct LeafEntry {
        quint32 record;
        const char* key;
    };
    const LeafEntry leaf[] = {
        {4, "34 01"},    {10, "35 09 70"}, {8, "36 09 99"},    {7, "37 11 10"}, {1, "37 11 48"},
        {3, "37 11 48"}, {9, "37 11 48"},  {2, "37 11 53 50"}, {6, "37 11 60"}, {5, "38 11 14 40"}};

    QByteArray expected(4096, '\0');
    for (const Bytes& bytes : written) {
        const QByteArray value = QByteArray::fromHex(bytes.hex);
        expected.replace(bytes.offset, value.size(), value);
    }
    int offset = 0xc08;
    for (const LeafEntry& entry : leaf) {
        qToLittleEndian(entry.record, expected.data() + offset);
        expected.replace(offset + 4, 12, key(entry.key));
        offset += 16;
    }
    ASSERT_EQ(file.size(), 4096);
    for (int i = 0; i < expected.size(); i += 16)
        EXPECT_EQ(file.mid(i, 16).toHex(' '), expected.mid(i, 16).toHex(' '))
            << "at offset 0x" << QByteArray::number(i, 16).toStdString();
    EXPECT_EQ(uint32At(file, 0xca8), 0u) << "trailing pointer of the leaf";
}

TEST(MdxIndexLayout, MatchesBorlandsIndustryIndex)
{
    const QByteArray dbf = readFile(referenceSample(QStringLiteral("industry.dbf")));
    const QByteArray real = readFile(referenceSample(QStringLiteral("industry.mdx")));

    // The IND_CODE field of every record, as the record stores it.
    const quint32 recordCount = uint32At(dbf, 4);
    const int headerLength = uint16At(dbf, 8);
    const int recordLength = uint16At(dbf, 10);
    int fieldOffset = 1; // after the deletion flag
    int fieldWidth = 0;
    for (int descriptor = 32; dbf.at(descriptor) != '\x0d'; descriptor += 32) {
        const int width = quint8(dbf.at(descriptor + 16));
        if (dbf.mid(descriptor, 11) == QByteArray("IND_CODE").leftJustified(11, '\0')) {
            fieldWidth = width;
            break;
        }
        fieldOffset += width;
    }
    ASSERT_GT(fieldWidth, 0);
    std::vector<mdx::Entry> entries;
    for (quint32 r = 0; r < recordCount; ++r)
        entries.push_back(
            {dbf.mid(headerLength + r * recordLength + fieldOffset, fieldWidth).trimmed(), r + 1});

    const QByteArray ours =
        mdx::buildProductionIndex(QStringLiteral("industry"), QStringLiteral("IND_CODE"),
                                  QStringLiteral("IND_CODE"), entries, QDate(1994, 3, 2));
    ASSERT_EQ(ours.size(), real.size());

    // Byte 1 of a key (the digit count) differs: Borland wrote 16 for its 4-digit keys and Jet
    // 10 for the rows it added, where we write Borland's usual even-rounded count.
    const std::vector<NodeEntry> realLeaf = nodeEntries(real, uint32At(real, TagHeader));
    const std::vector<NodeEntry> ourLeaf = nodeEntries(ours, uint32At(ours, TagHeader));
    ASSERT_EQ(ourLeaf.size(), realLeaf.size());
    ASSERT_EQ(ourLeaf.size(), recordCount);
    for (size_t j = 0; j < ourLeaf.size(); ++j) {
        EXPECT_EQ(ourLeaf[j].pointer, realLeaf[j].pointer) << "entry " << j;
        EXPECT_EQ(ourLeaf[j].key.at(0), realLeaf[j].key.at(0)) << "entry " << j;
        EXPECT_EQ(ourLeaf[j].key.mid(2).toHex(), realLeaf[j].key.mid(2).toHex()) << "entry " << j;
    }
    EXPECT_EQ(trailingPointer(ours, 6), 0u);

    // The rest agrees but for the file's creation date (Jet rewrote it), the tag's format
    // (Borland marked it unique, 0x50), update counter, bytes 248-259 (Jet zeroed them) and
    // byte 480; the tag table slots after tag 1 hold DOS directory garbage in the real file.
    struct Range {
        int from;
        int to;
    };
    const Range equalRanges[] = {{0, 1},
                                 {4, 512},
                                 {512, 576},
                                 {TagHeader, TagHeader + 8},
                                 {TagHeader + 9, TagHeader + 20},
                                 {TagHeader + 21, TagHeader + 248},
                                 {TagHeader + 260, TagHeader + 480},
                                 {TagHeader + 481, TagHeader + BlockSize}};
    for (const Range& range : equalRanges)
        EXPECT_EQ(ours.mid(range.from, range.to - range.from).toHex(' '),
                  real.mid(range.from, range.to - range.from).toHex(' '))
            << "bytes " << range.from << " to " << range.to;
}

namespace {

// A table of a given size whose values repeat: mostly (i·7919) mod 37 shifted into the
// negatives, some with a half, and a run of 100 equal values that crosses leaf boundaries.
struct TableSize {
    int rows;
    int levels;
    qsizetype fileSize;
};

void PrintTo(const TableSize& size, std::ostream* out)
{
    *out << size.rows << " rows";
}

std::vector<QByteArray> repeatingValues(int rows)
{
    std::vector<QByteArray> values;
    for (int i = 1; i <= rows; ++i) {
        if (i >= 40 && i < 140)
            values.push_back("480");
        else
            values.push_back(QByteArray::number((i * 7919) % 37 - 5) + (i % 10 == 3 ? ".5" : ""));
    }
    return values;
}

QByteArray indexFor(const std::vector<QByteArray>& values)
{
    // Handed over backwards: the index orders them itself.
    const std::vector<mdx::Entry> entries = entriesFor(values);
    return mdx::buildProductionIndex(QStringLiteral("T"), QStringLiteral("ORDEN"),
                                     QStringLiteral("ORDEN"), {entries.rbegin(), entries.rend()},
                                     QDate(2024, 5, 17));
}

// Walks the tree from `page`, checking that every interior key is the last key of the
// subtree beside it. Returns the subtree's last key; collects depths and visited pages.
struct Walk {
    std::set<int> leafDepths;
    std::set<quint32> pages;
    std::vector<int> leafSizes;
    quint32 firstLeaf = 0;
};

QByteArray walkSubtree(const QByteArray& file, quint32 page, int depth, Walk& walk)
{
    if (page < 6 || page % 2 != 0 || qsizetype(page) * 512 + BlockSize > file.size() ||
        !walk.pages.insert(page).second || depth > 10) {
        ADD_FAILURE() << "bad or repeated node page " << page;
        return {};
    }
    const std::vector<NodeEntry> entries = nodeEntries(file, page);
    EXPECT_LE(entries.size(), 63u) << "page " << page;
    const quint32 trailing = trailingPointer(file, page);
    if (trailing == 0) {
        walk.leafDepths.insert(depth);
        walk.leafSizes.push_back(int(entries.size()));
        if (walk.firstLeaf == 0)
            walk.firstLeaf = page;
        return entries.empty() ? QByteArray() : entries.back().key;
    }
    EXPECT_GE(entries.size(), 1u) << "interior node at page " << page << " has a single child";
    for (const NodeEntry& entry : entries)
        EXPECT_EQ(walkSubtree(file, entry.pointer, depth + 1, walk).toHex(' '),
                  entry.key.toHex(' '))
            << "separator for child page " << entry.pointer << " in page " << page;
    return walkSubtree(file, trailing, depth + 1, walk);
}

class MdxIndexTree : public testing::TestWithParam<TableSize> {};

} // namespace

TEST_P(MdxIndexTree, IsABalancedTreeFillingTheWholeFile)
{
    const TableSize size = GetParam();
    const QByteArray file = indexFor(repeatingValues(size.rows));
    EXPECT_EQ(file.size(), size.fileSize);

    Walk walk;
    const quint32 root = uint32At(file, TagHeader);
    walkSubtree(file, root, 1, walk);
    EXPECT_EQ(walk.leafDepths, std::set<int>{size.levels}) << "depths of the leaves";
    // Leaves are packed: all full but the last.
    for (size_t i = 0; i + 1 < walk.leafSizes.size(); ++i)
        EXPECT_EQ(walk.leafSizes[i], 63) << "leaf " << i;
    int entryCount = 0;
    for (int leafSize : walk.leafSizes)
        entryCount += leafSize;
    EXPECT_EQ(entryCount, size.rows);

    // Every block of the file after the tag header is a node of the tree.
    const quint32 nodePages = 2 * quint32(walk.pages.size());
    EXPECT_EQ(uint32At(file, 32), quint32(file.size() / 512)) << "pages in the file";
    EXPECT_EQ(uint32At(file, 32), 6 + nodePages);
    EXPECT_EQ(uint32At(file, TagHeader + 4), nodePages) << "pages of the tag's nodes";
    EXPECT_EQ(file.at(TagHeader + 246), size.rows > 0 ? 1 : 0) << "tag has keys";
    EXPECT_EQ(uint32At(file, TagHeader + 248), walk.firstLeaf);
    EXPECT_EQ(uint32At(file, TagHeader + 252), root);
}

// Perl's XBase::Index reads the file on its own terms: it must give every record once, in
// (value, record) order, with our key bytes.
TEST_P(MdxIndexTree, PerlXBaseWalksEveryRecordInValueOrder)
{
    const TableSize size = GetParam();
    const std::vector<QByteArray> values = repeatingValues(size.rows);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.filePath(QStringLiteral("T.MDX")), indexFor(values));

    std::vector<mdx::Entry> expected = entriesFor(values);
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return a.storedValue.toDouble() < b.storedValue.toDouble();
    });
    QByteArray expectedOutput;
    for (const mdx::Entry& entry : expected)
        expectedOutput += mdx::numericKey(entry.storedValue).toHex() + ' ' +
                          QByteArray::number(entry.record) + '\n';

    QProcess perl;
    perl.setWorkingDirectory(dir.path());
    perl.start(QStringLiteral("perl"),
               {QStringLiteral("-MXBase::Index"), QStringLiteral("-e"),
                QStringLiteral("$i = XBase::Index->new($ARGV[0], tag => $ARGV[1]) "
                               "or die XBase::Index->errstr; $i->prepare_select; "
                               "while (($k, $r) = $i->fetch) { printf \"%s %d\\n\", "
                               "unpack(\"H*\", $k), $r }"),
                QStringLiteral("T.MDX"), QStringLiteral("ORDEN")});
    ASSERT_TRUE(perl.waitForFinished(60000))
        << "perl could not run: " << perl.errorString().toStdString();
    ASSERT_EQ(perl.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(perl.exitCode(), 0) << perl.readAllStandardError().toStdString();
    EXPECT_EQ(perl.readAllStandardOutput().toStdString(), expectedOutput.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MdxIndexTree,
    testing::Values(TableSize{0, 1, 4096}, TableSize{10, 1, 4096}, TableSize{63, 1, 4096},
                    TableSize{64, 2, 6144},     // 2 leaves + root
                    TableSize{300, 2, 9216},    // 5 leaves + root
                    TableSize{4032, 2, 69632},  // 64 full leaves + root
                    TableSize{4033, 3, 72704},  // 65 leaves, 2 interior nodes, root
                    TableSize{4100, 3, 73728}), // 66 leaves, 2 interior nodes, root
    [](const testing::TestParamInfo<TableSize>& info) {
        return "Rows" + std::to_string(info.param.rows);
    });
