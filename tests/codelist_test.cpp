#include "components/platform/engineerror.h"
#include "tests/testsupport.h"
#include "to_timetable/codelist.h"

#include <gtest/gtest.h>

namespace {

QStringList giveAll(CodeList& list, const QStringList& codes)
{
    QStringList out;
    for (const QString& code : codes)
        out << list.give(code);
    return out;
}

QStringList repeated(const QString& code, int times)
{
    return QStringList(times, code);
}

} // namespace

TEST(CodeList, NumbersAndShortensCodesAlreadyGiven)
{
    using LC = CodeList::LetterCase;
    using LongCodes = CodeList::LongCodes;
    const struct {
        const char* name;
        LC letterCase;
        LongCodes longCodes;
        QStringList codes;
        QStringList expected;
    } cases[] = {
        {"subjects",
         LC::Sensitive,
         LongCodes::Shortened,
         {QStringLiteral("LENGUA"), QStringLiteral("LENGUA"), QStringLiteral("LENGUA"),
          QStringLiteral("lengua")},
         {QStringLiteral("LENGUA"), QStringLiteral("LENGUA1"), QStringLiteral("LENGUA2"),
          QStringLiteral("lengua")}},
        {"eleven on a base of 9",
         LC::Sensitive,
         LongCodes::Shortened,
         repeated(QStringLiteral("MATEMATICA"), 12),
         {QStringLiteral("MATEMATICA"), QStringLiteral("MATEMATIC1"), QStringLiteral("MATEMATIC2"),
          QStringLiteral("MATEMATIC3"), QStringLiteral("MATEMATIC4"), QStringLiteral("MATEMATIC5"),
          QStringLiteral("MATEMATIC6"), QStringLiteral("MATEMATIC7"), QStringLiteral("MATEMATIC8"),
          QStringLiteral("MATEMATIC9"), QStringLiteral("MATEMATI10"),
          QStringLiteral("MATEMATI11")}},
        {"trailing blanks do not count",
         LC::Sensitive,
         LongCodes::Shortened,
         {QStringLiteral("Educación "), QStringLiteral("Educación")},
         {QStringLiteral("Educación "), QStringLiteral("Educación1")}},
        {"teachers ignore letter case",
         LC::Ignored,
         LongCodes::CutByTheTable,
         {QStringLiteral("GLA"), QStringLiteral("GLA"), QStringLiteral("gla"),
          QStringLiteral("ÁNA"), QStringLiteral("ána")},
         {QStringLiteral("GLA"), QStringLiteral("GLA1"), QStringLiteral("gla2"),
          QStringLiteral("ÁNA"), QStringLiteral("ána1")}},
        {"teachers compare as stored",
         LC::Ignored,
         LongCodes::CutByTheTable,
         {QStringLiteral("ABCDEFGHIJ"), QStringLiteral("ABCDEFGHIJ"),
          QStringLiteral("PROFESORADO1"), QStringLiteral("PROFESORADO2")},
         {QStringLiteral("ABCDEFGHIJ"), QStringLiteral("ABCDEFGHI1"),
          QStringLiteral("PROFESORADO1"), QStringLiteral("PROFESORA1")}},
        {"rooms: long keys shortened, then numbered from the key",
         LC::Ignored,
         LongCodes::Shortened,
         {QStringLiteral("AULA-INFORMATICA"), QStringLiteral("AULA-INFORMATICA"),
          QStringLiteral("A01"), QStringLiteral("A01"), QStringLiteral("a01")},
         {QStringLiteral("AULA-INFCA"), QStringLiteral("AULA-INFO1"), QStringLiteral("A01"),
          QStringLiteral("A011"), QStringLiteral("a012")}},
        {"empty codes",
         LC::Ignored,
         LongCodes::Shortened,
         {QString(), QString(), QString()},
         {QString(), QStringLiteral("1"), QStringLiteral("2")}},
        // Bases that differ only by a trailing blank make different candidates: each takes its
        // own first free one.
        {"teachers: a base with a trailing blank",
         LC::Ignored,
         LongCodes::CutByTheTable,
         {QStringLiteral("GL"), QStringLiteral("GL "), QStringLiteral("GL")},
         {QStringLiteral("GL"), QStringLiteral("GL 1"), QStringLiteral("GL1")}},
        {"rooms: a base with a trailing blank",
         LC::Ignored,
         LongCodes::Shortened,
         {QStringLiteral("ABCDEFGH"), QStringLiteral("ABCDEFGH "), QStringLiteral("ABCDEFGH")},
         {QStringLiteral("ABCDEFGH"), QStringLiteral("ABCDEFGH 1"), QStringLiteral("ABCDEFGH1")}},
        // Codes are compared in the form Windows 1252 stores them: 'Ş' and 'Ș' are stored 'S'.
        {"teachers: letters the code page lacks",
         LC::Ignored,
         LongCodes::CutByTheTable,
         {QStringLiteral("ŁLA"), QStringLiteral("ŞLA"), QStringLiteral("ȘLA"),
          QStringLiteral("LLA"), QStringLiteral("sla")},
         {QStringLiteral("ŁLA"), QStringLiteral("ŞLA"), QStringLiteral("ȘLA1"),
          QStringLiteral("LLA1"), QStringLiteral("sla2")}},
        {"subjects: letters the code page lacks, letter case counting",
         LC::Sensitive,
         LongCodes::Shortened,
         {QStringLiteral("ŞTIINŢE"), QStringLiteral("STIINTE"), QStringLiteral("stiinte")},
         {QStringLiteral("ŞTIINŢE"), QStringLiteral("STIINTE1"), QStringLiteral("stiinte")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CodeList list(c.letterCase, c.longCodes);
        EXPECT_EQ(giveAll(list, c.codes), c.expected);
    }
}

// Twelve rooms with one key get twelve distinct codes; past the last free candidate of a base
// the run ends instead of looping.
TEST(CodeList, NeverGivesOneCodeTwice)
{
    CodeList rooms(CodeList::LetterCase::Ignored);
    const QStringList codes = giveAll(rooms, repeated(QStringLiteral("LABORATORI"), 12));
    EXPECT_EQ(codes.mid(9), (QStringList{QStringLiteral("LABORATOR9"), QStringLiteral("LABORATO10"),
                                         QStringLiteral("LABORATO11")}));
    EXPECT_EQ(QSet<QString>(codes.begin(), codes.end()).size(), 12);

    CodeList subjects(CodeList::LetterCase::Sensitive);
    QSet<QString> given;
    for (int i = 0; i < 110; ++i)
        given.insert(subjects.give(QStringLiteral("MATEMATICA")));
    EXPECT_EQ(given.size(), 110);
    EXPECT_THROW(subjects.give(QStringLiteral("MATEMATICA")), EngineError);
}
