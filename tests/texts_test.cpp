#include "components/text/textrows.h"
#include "components/text/texts.h"
#include "tests/testsupport.h"

#include <gtest/gtest.h>
#include <limits>

using namespace texts;

namespace {

} // namespace

TEST(Texts, ChangesTheCaseOfTheLettersAToZOnly)
{
    EXPECT_EQ(upperAsciiLetters(QStringLiteral("Educación física ñ 1º")),
              QStringLiteral("EDUCACIóN FíSICA ñ 1º"));
    EXPECT_EQ(lowerAsciiLetters(QStringLiteral("EXPORTAR Ñ É")), QStringLiteral("exportar Ñ É"));
}

TEST(Texts, CountsCharactersNotUnits)
{
    const QString text = QStringLiteral("Educación \U0001F600 física");
    EXPECT_EQ(characterCount(text), 18);
    EXPECT_EQ(leftCharacters(text, 10), QStringLiteral("Educación "));
    EXPECT_EQ(leftCharacters(text, 11), QStringLiteral("Educación \U0001F600"));
    EXPECT_EQ(rightCharacters(text, 8), QStringLiteral("\U0001F600 física"));
    EXPECT_EQ(leftCharacters(QStringLiteral("abc"), 10), QStringLiteral("abc"));
}

TEST(Texts, ReadsIntegersStrictly)
{
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"42", 42},
        {" -7\t", -7},
        {"+5", 5},
        {"0042", 42},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", {}},
        {"", {}},
        {"-", {}},
        {"1.5", {}},
        {"1 2", {}},
        {"١٢", {}},
        {"0x1A", {}},
        {"99999999999999999999", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.value) {
            EXPECT_EQ(toInteger(QString::fromUtf8(c.text)), *c.value);
        } else {
            try {
                toInteger(QString::fromUtf8(c.text));
                ADD_FAILURE() << "accepted";
            } catch (const ConversionError& error) {
                EXPECT_EQ(error.message(), QStringLiteral("'") + QString::fromUtf8(c.text) +
                                               QStringLiteral("' is not a valid integer value"));
            }
        }
    }
}

TEST(Texts, WritesAndReadsClockTexts)
{
    const struct {
        int minutes;
        const char* text;
    } written[] = {{480, "08:00"},
                   {535, "08:55"},
                   {545, "09:05"},
                   {0, "00:00"},
                   {6000, "100:00"},
                   {-5, "-1:-5"},
                   {-61, "-2:-1"},
                   {1439, "23:59"},
                   {-1, "-1:-1"},
                   {-60, "-1:00"},
                   {-600, "-10:00"},
                   // The ends of the 32-bit range: no step of the rule overflows.
                   {std::numeric_limits<int>::min(), "-35791395:-8"},
                   {std::numeric_limits<int>::min() + 8, "-35791394:00"},
                   {std::numeric_limits<int>::max(), "35791394:07"}};
    for (const auto& c : written)
        EXPECT_EQ(clockText(c.minutes), c.text) << c.minutes;

    const struct {
        const char* text;
        int minutes;
    } read[] = {{"08:30", 510}, {"8:30", 510}, {"", 0}, {"23:59", 1439}, {"08:55", 535}};
    for (const auto& c : read)
        EXPECT_EQ(clockMinutes(QString::fromUtf8(c.text)), c.minutes) << c.text;
    EXPECT_THROW(clockMinutes(QStringLiteral("ab:cd")), ConversionError);
}

// Rows found by a key of texts: the first row of a key wins, keys of two parts are compared part
// by part (no joining makes "AB"+"C" the key "A"+"BC"), and every row is found again after the
// index has grown many times.
TEST(TextRows, FindsEveryRowByItsWholeKey)
{
    TextRows rows(2, 2);
    const qsizetype first = rows.add({u"AB", u"C"}, {u"clave", u"curso"});
    EXPECT_EQ(rows.add({u"AB", u"C"}, {u"otra", u"otro"}), first); // the first stays
    const qsizetype split = rows.add({u"A", u"BC"}, {u"partida", u""});
    // Null texts and empty ones are one key.
    const qsizetype empty = rows.add({QString(), QStringView()}, {QString(), u"vacía"});
    EXPECT_NE(split, first);
    EXPECT_EQ(rows.find({u"AB", u"C"}), first);
    EXPECT_EQ(rows.find({u"A", u"BC"}), split);
    EXPECT_EQ(rows.find({u"", u""}), empty);
    EXPECT_EQ(rows.find({u"ABC", u""}), -1);
    EXPECT_EQ(rows.find({u"ab", u"C"}), -1); // letter case counts
    EXPECT_EQ(rows.value(first, 0), QStringLiteral("clave"));
    EXPECT_EQ(rows.value(first, 1), QStringLiteral("curso"));
    EXPECT_EQ(rows.value(split, 1), QString());
    EXPECT_EQ(rows.value(empty, 1), QStringLiteral("vacía"));
    EXPECT_EQ(rows.number(first), 0);
    EXPECT_EQ(rows.number(split), 1);
    EXPECT_EQ(rows.number(empty), 2);

    // Many rows: added one by one across many growths of the index, and added and found in
    // steps (hash, ahead, add or find) into an index made large enough at once; every key added
    // twice, the first row kept.
    for (const bool stepped : {false, true}) {
        SCOPED_TRACE(stepped ? "in steps" : "one by one");
        TextRows many(1, 1);
        const int count = 200000;
        if (stepped)
            many.reserve(count);
        for (int i = 0; i < 2 * count; ++i) {
            const QString key = QStringLiteral("Educación Física %1").arg(i % count);
            const QString value = QString::number(i * 7);
            if (!stepped) {
                many.add({key}, {value});
                continue;
            }
            const std::uint64_t hash = many.hash({key});
            many.ahead(hash, false);
            many.ahead(hash, true);
            many.add({key}, {value}, hash);
        }
        EXPECT_EQ(many.size(), count);
        for (int i = 0; i < count; i += 997) {
            const QString key = QStringLiteral("Educación Física %1").arg(i);
            const qsizetype row = stepped ? many.find({key}, many.hash({key})) : many.find({key});
            ASSERT_GE(row, 0) << i;
            EXPECT_EQ(many.number(row), i);
            EXPECT_EQ(many.value(row, 0), QString::number(i * 7));
        }
        const QString absent = QStringLiteral("Educación Física %1").arg(count);
        EXPECT_EQ(many.find({absent}), -1);
        EXPECT_EQ(many.find({absent}, many.hash({absent})), -1);
    }
}
