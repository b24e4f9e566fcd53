#include "components/dbase/dbftable.h"
#include "components/timetablefolder/tablelayouts.h"
#include "tests/testsupport.h"
#include "to_yedra/teachercheck.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace {

// A teacher row: ABREV, X_EMPLEADO, F_TOMAPOS.
struct Teacher {
    QString abrev;
    QString xEmpleado;
    QString fTomapos;
};

void writeProft(DbfTable& table, const QList<Teacher>& teachers)
{
    table.create(layouts::proft.fields);
    table.open(DbfTable::Access::Exclusive);
    for (const Teacher& teacher : teachers) {
        table.append();
        table.setText(QStringLiteral("ABREV"), teacher.abrev);
        table.setText(QStringLiteral("NOMBRE"), QStringLiteral("Profesor ") + teacher.abrev);
        table.setText(QStringLiteral("X_EMPLEADO"), teacher.xEmpleado);
        table.setText(QStringLiteral("F_TOMAPOS"), teacher.fTomapos);
        table.post();
    }
    table.close();
}

} // namespace

// Only emptiness counts, after trimming every character of code 32 or below at both ends; the
// walk stops on the first incomplete teacher in natural order.
TEST(TeacherCheck, FindsTheFirstIncompleteTeacher)
{
    const Teacher complete{"COMP", "1234", "01/09/2020"};
    struct Case {
        const char* name;
        QList<Teacher> teachers;
        std::optional<QString> incomplete; // ABREV of the row the walk stops on
    };
    const Case cases[] = {
        {"an empty table", {}, std::nullopt},
        {"every teacher complete", {complete, {"OTRO", "9", "31/12/2021"}}, std::nullopt},
        {"X_EMPLEADO present, F_TOMAPOS empty", {complete, {"SINF", "77", ""}}, "SINF"},
        {"F_TOMAPOS present, X_EMPLEADO empty", {complete, {"SINX", "", "01/09/2020"}}, "SINX"},
        {"both empty", {{"NADA", "", ""}, complete}, "NADA"},
        {"X_EMPLEADO of blanks only", {{"BLAN", "     ", "01/09/2020"}}, "BLAN"},
        {"F_TOMAPOS of blanks only", {{"BLAN", "88", "          "}}, "BLAN"},
        {"control characters only", {{"CTRL", "\t\r\n\x01", "01/09/2020"}}, "CTRL"},
        {"blanks around present values", {{"ALRE", "  12  ", " 01/09/2020"}}, std::nullopt},
        {"values of any form", {{"FORM", "E-12", "2020-09-01"}}, std::nullopt},
        {"the first of two incomplete", {complete, {"PRIM", "", ""}, {"SEGU", "5", ""}}, "PRIM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        DbfTable proft(dir.path(), QStringLiteral("PROFT"));
        writeProft(proft, c.teachers);
        proft.open();
        EXPECT_EQ(hasIncompleteTeacher(proft), c.incomplete.has_value());
        if (c.incomplete) {
            EXPECT_EQ(proft.text(QStringLiteral("ABREV")), *c.incomplete);
        }
    }
}
