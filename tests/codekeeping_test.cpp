#include "tests/testsupport.h"
#include "to_timetable/codekeeping.h"

#include <gtest/gtest.h>

namespace {

using Holder = CodeKeeping::Holder;
using Kind = CodeKeeping::Kind;

Holder teacher(const char* code, const char* xEmpleado, const char* nombre)
{
    return {QString::fromUtf8(code),
            CodeKeeping::teacherKeys(QString::fromUtf8(xEmpleado), QString::fromUtf8(nombre)),
            QString::fromUtf8(nombre)};
}

Holder room(const char* code, const char* nombre)
{
    return {QString::fromUtf8(code),
            CodeKeeping::roomKeys(QString::fromUtf8(code), QString::fromUtf8(nombre)),
            QString::fromUtf8(nombre)};
}

// Which code each record keeps ("" for none), after pairing.
QStringList keptCodes(CodeKeeping& keeping, const std::vector<QStringList>& records)
{
    keeping.match(records);
    QStringList out;
    for (qsizetype r = 0; r < qsizetype(records.size()); ++r)
        out << (keeping.pairedWith(r) ? keeping.pairedWith(r)->code : QString());
    return out;
}

} // namespace

// Who keeps which code: each kind pairs records with the current holders by its own keys.
TEST(CodeKeeping, EachKindPairsItsRecordsByItsOwnKeys)
{
    const struct {
        const char* name;
        Kind kind;
        std::vector<Holder> holders;
        std::vector<QStringList> records;
        QStringList kept;
    } cases[] = {
        {"a teacher leaves: the others keep theirs",
         Kind::Teachers,
         {teacher("GLA", "100", "García López, Ana"), teacher("GLA1", "200", "Gil Lara, Alba"),
          teacher("GLA2", "300", "Gutiérrez Lorenzo, Andrés")},
         {CodeKeeping::teacherKeys("200", "Gil Lara, Alba"),
          CodeKeeping::teacherKeys("300", "Gutiérrez Lorenzo, Andrés")},
         {"GLA1", "GLA2"}},
        {"a teacher by name when one side has no employee number",
         Kind::Teachers,
         {teacher("GLA", "987654", "García López, Ana"), teacher("RMP", "", "Ruiz Martín, Pablo")},
         {CodeKeeping::teacherKeys("", "García López, Ana"),
          CodeKeeping::teacherKeys("555", "Ruiz Martín, Pablo")},
         {"GLA", "RMP"}},
        {"two numbers that differ are two people, whatever the name",
         Kind::Teachers,
         {teacher("GLA", "100", "García López, Ana")},
         {CodeKeeping::teacherKeys("101", "García López, Ana")},
         {""}},
        {"a room keeps its key; one without a key and a numbered one go by name",
         Kind::Rooms,
         {room("A101", "Aula 1"), room("A1011", "Aula 1 bis"), room("Laboratori", "Laboratorio")},
         {CodeKeeping::roomKeys("A101", "Aula 1 bis"), CodeKeeping::roomKeys("A101", "Aula 1"),
          CodeKeeping::roomKeys("", "Laboratorio")},
         {"A1011", "A101", "Laboratori"}},
        {"a room whose key changed takes its new key, not its old code",
         Kind::Rooms,
         {room("A101", "Aula 1")},
         {CodeKeeping::roomKeys("B101", "Aula 1")},
         {""}},
        {"a group by its unit key",
         Kind::Groups,
         {{"1ºESOA", CodeKeeping::groupKeys("70101"), "1ºESOA"},
          {"1ºESOA1", CodeKeeping::groupKeys("70102"), "1ºESOA1"}},
         {CodeKeeping::groupKeys("70102"), CodeKeeping::groupKeys("70103")},
         {"1ºESOA1", ""}},
        {"a subject by its long code and name, its repeats after it",
         Kind::Subjects,
         {{"MAT", CodeKeeping::subjectKeys("MAT", "Matemáticas"), "Matemáticas"},
          {"MAT1", CodeKeeping::subjectKeys("MAT", "Matemáticas A"), "Matemáticas A"}},
         {CodeKeeping::subjectKeys("MAT", "Matemáticas A"),
          CodeKeeping::subjectKeys("MAT", "Matemáticas A"),
          CodeKeeping::subjectKeys("MAT", "Matemáticas")},
         {"MAT1", "", "MAT"}},
        {"a name outside Windows-1252 is the same as its stored form",
         Kind::Teachers,
         {teacher("LAS", "", "Łopez Asenjo, Ștefan")},
         {CodeKeeping::teacherKeys("", "Lopez Asenjo, Stefan")},
         {"LAS"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CodeKeeping keeping(c.kind, c.holders, {});
        EXPECT_EQ(keptCodes(keeping, c.records), c.kept);
    }
}

// No new record may get a code a kept holder has, nor one SOLUC still uses: the leaver's code
// among them, so the leaver's classes are never handed to somebody else.
TEST(CodeKeeping, ReservesTheCodesKeptAndThoseSolucUses)
{
    CodeKeeping keeping(Kind::Teachers,
                        {teacher("GLA", "100", "García López, Ana"),
                         teacher("GLA1", "200", "Gil Lara, Alba"),
                         teacher("OLD", "400", "Otero López, Diego")},
                        {{QStringLiteral("GLA"), 13}, {QStringLiteral("GLA1"), 10}});
    keeping.match({CodeKeeping::teacherKeys("200", "Gil Lara, Alba"),
                   CodeKeeping::teacherKeys("500", "Gómez Luna, Alberto")});
    QStringList reserved = keeping.reserved();
    reserved.sort();
    EXPECT_EQ(reserved, (QStringList{"GLA", "GLA1"}));
    EXPECT_EQ(keeping.solucUses(QStringLiteral("gla")), 13); // letter case does not count
    ASSERT_NE(keeping.holderOf(QStringLiteral("OLD")), nullptr);
    EXPECT_EQ(keeping.holderOf(QStringLiteral("OLD"))->name, QStringLiteral("Otero López, Diego"));
    // Nothing kept where the folder had no table.
    CodeKeeping none;
    EXPECT_FALSE(none.isActive());
    none.match({CodeKeeping::teacherKeys("200", "Gil Lara, Alba")});
    EXPECT_EQ(none.pairedWith(0), nullptr);
    EXPECT_TRUE(none.reserved().isEmpty());
}
