#include "components/dbase/dbftable.h"
#include "components/timetablefolder/tablecomparison.h"
#include "components/timetablefolder/tablelayouts.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace tablecomparison;

namespace {

// A table written through the table layer, one text per field of each row ("" leaves a field
// blank; a Boolean is "T" or "F").
void writeTable(const QString& folder, const TableLayout& layout, const QList<QStringList>& rows)
{
    DbfTable table(folder, layout.name);
    table.create(layout.fields, layout.indexField);
    table.open();
    for (const QStringList& row : rows) {
        table.append();
        for (int i = 0; i < layout.fields.size() && i < row.size(); ++i) {
            const FieldDef& field = layout.fields.at(i);
            const QString& value = row.at(i);
            if (value.isEmpty())
                continue;
            switch (field.type) {
            case FieldDef::Type::Text:
                table.setText(field.name, value);
                break;
            case FieldDef::Type::Integer:
                table.setInteger(field.name, value.toLongLong());
                break;
            case FieldDef::Type::Float:
                table.setFloat(field.name, value.toDouble());
                break;
            case FieldDef::Type::Boolean:
                table.setBoolean(field.name, value == QLatin1String("T"));
                break;
            }
        }
        table.post();
    }
    table.close();
}

// The current PROFT as Oranel keeps it, written by other software: X_EMPLEADO, F_TOMAPOS and
// DNI typed in for some teachers, and a column of its own that the new table does not have.
void writeCurrentProft(const QString& folder)
{
    const auto row = [](std::initializer_list<QJsonValue> values) { return QJsonArray(values); };
    writeTableWithPython(
        QDir(folder).filePath(QStringLiteral("PROFT.DBF")),
        QJsonObject{
            {QStringLiteral("fields"),
             QStringLiteral("ABREV C(10); NOMBRE C(80); DEPART C(40); EMAIL C(100); "
                            "DNI N(11,0); X_EMPLEADO C(10); F_TOMAPOS C(10); TELEFONO C(15)")},
            {QStringLiteral("records"),
             QJsonArray{
                 row({"GLA", "GARCÍA LÓPEZ, ANA", "Lengua", "", QJsonValue(), "12345", "01/09/2019",
                      ""}),
                 row({"RMP", "RUIZ MORA, PEDRO", "Física", "", 44556677, "", "", "600111222"}),
                 row({"SOC", "SOTO CANO, EVA", "Historia", "", QJsonValue(), "   ", "", ""}),
                 row({"VIEJO", "VIEJO VIEJO, LUIS", "Música", "", QJsonValue(), "777", "", ""}),
                 row({"IGU", "IGUAL IGUAL, RITA", "Arte", "", QJsonValue(), "888", "02/09/2020",
                      ""}),
             }}});
}

// The PROFT an exportar would write: the identifiers Yedra did not send are empty.
void writeNewProft(const QString& folder)
{
    writeTable(folder, layouts::proft,
               {
                   {"GLA", "GARCÍA LÓPEZ, ANA", "Lengua", "", "", "", ""},
                   {"RMP", "RUIZ MORA, PEDRO", "Física y Química", "", "", "", ""},
                   {"SOC", "SOTO CANO, EVA", "Historia", "", "", "", ""},
                   {"IGU", "IGUAL IGUAL, RITA", "Arte", "", "", "888", "02/09/2020"},
                   {"NUE1", "NUEVO UNO, JUAN", "Inglés", "", "", "1", "2"},
                   {"NUE2", "NUEVO DOS, MARÍA", "Inglés", "", "", "2", "3"},
               });
}

struct Folders {
    QTemporaryDir newFolder;
    QTemporaryDir timetable;
    QString newPath() const { return newFolder.path(); }
    QString timetablePath() const { return timetable.path(); }
};

QStringList dropLines(const QList<DroppedValue>& dropped)
{
    QStringList lines;
    for (const DroppedValue& d : dropped)
        lines << QStringLiteral("%1 %2 %3=%4%5")
                     .arg(d.table, d.code, d.field, d.oldValue,
                          d.fieldMissing ? QStringLiteral(" (sin campo)") : QString());
    return lines;
}

} // namespace

// Data typed in Oranel that the new PROFT leaves empty is found value by value, beside the rows
// added, removed and changed; the timetable folder is only read.
TEST(TableComparison, FindsTypedDataTheNewTeacherTableWouldDrop)
{
    Folders f;
    writeCurrentProft(f.timetablePath());
    writeNewProft(f.newPath());
    const QMap<QString, QByteArray> before = snapshot(f.timetablePath());

    const Comparison c = compare(f.newPath(), f.timetablePath(), {QStringLiteral("PROFT.DBF")});

    EXPECT_EQ(snapshot(f.timetablePath()), before);
    ASSERT_EQ(c.tables.size(), 1);
    const TableComparison& t = c.tables.first();
    EXPECT_EQ(t.name, QStringLiteral("PROFT"));
    EXPECT_EQ(t.state, TableComparison::State::Compared) << t.problem;
    EXPECT_EQ(t.codeFields, QStringList{QStringLiteral("ABREV")});
    EXPECT_EQ(t.rowsBefore, 5);
    EXPECT_EQ(t.rowsAfter, 6);
    EXPECT_EQ(t.added, (QStringList{QStringLiteral("NUE1"), QStringLiteral("NUE2")}));
    EXPECT_EQ(t.removed, QStringList{QStringLiteral("VIEJO")});
    // SOC's X_EMPLEADO holds blanks only, which read as nothing: the row is the same.
    EXPECT_EQ(t.changed, (QStringList{QStringLiteral("GLA"), QStringLiteral("RMP")}));
    // A value replaced by another one is lost as well as one emptied.
    EXPECT_EQ(dropLines(t.dropped), (QStringList{
                                        QStringLiteral("PROFT GLA X_EMPLEADO=12345"),
                                        QStringLiteral("PROFT GLA F_TOMAPOS=01/09/2019"),
                                        QStringLiteral("PROFT RMP DEPART=Física"),
                                        QStringLiteral("PROFT RMP DNI=44556677"),
                                        QStringLiteral("PROFT RMP TELEFONO=600111222 (sin campo)"),
                                    }));
    EXPECT_EQ(dropLines(c.dropped()), dropLines(t.dropped));
    bool departChange = false;
    for (const ChangedValue& change : t.changes)
        departChange |= change.code == QLatin1String("RMP") &&
                        change.field == QLatin1String("DEPART") &&
                        change.oldValue == QStringLiteral("Física") &&
                        change.newValue == QStringLiteral("Física y Química");
    EXPECT_TRUE(departChange);

    const QStringList lines = describe(c);
    const QString text = lines.join(QLatin1Char('\n'));
    EXPECT_TRUE(lines.first().contains(QStringLiteral("5 datos"))) << text;
    EXPECT_TRUE(lines.contains(QStringLiteral(
        "PROFT, profesor «RMP», campo DEPART: «Física» se perdería (la tabla nueva pone «Física "
        "y Química»).")))
        << text;
    // Each changed row, field by field.
    EXPECT_TRUE(
        lines.contains(QStringLiteral("    PROFT «RMP»: DEPART «Física» → «Física y Química»")))
        << text;
    EXPECT_TRUE(lines.contains(QStringLiteral("    PROFT «GLA»: X_EMPLEADO «12345» → «»"))) << text;
    EXPECT_TRUE(lines.contains(QStringLiteral(
        "PROFT, profesor «GLA», campo X_EMPLEADO: «12345» se perdería (ahora tiene valor y la "
        "tabla nueva lo deja vacío).")))
        << text;
    EXPECT_TRUE(lines.contains(QStringLiteral(
        "PROFT, profesor «RMP», campo TELEFONO: «600111222» se perdería (la tabla nueva no "
        "tiene ese campo).")))
        << text;
    EXPECT_TRUE(lines.contains(QStringLiteral("PROFT: 2 filas nuevas, 1 quitada, 2 cambiadas.")))
        << text;
    EXPECT_TRUE(lines.contains(QStringLiteral("  quitadas: «VIEJO»."))) << text;

    // The JSON carries the same, read back as a caller would.
    const QJsonObject json = QJsonDocument::fromJson(QJsonDocument(toJson(c)).toJson()).object();
    const QJsonArray dropped = json.value(QStringLiteral("dropped")).toArray();
    ASSERT_EQ(dropped.size(), 5);
    EXPECT_EQ(dropped.at(1).toObject(),
              (QJsonObject{{QStringLiteral("table"), QStringLiteral("PROFT")},
                           {QStringLiteral("code"), QStringLiteral("GLA")},
                           {QStringLiteral("field"), QStringLiteral("F_TOMAPOS")},
                           {QStringLiteral("oldValue"), QStringLiteral("01/09/2019")},
                           {QStringLiteral("newValue"), QString()},
                           {QStringLiteral("fieldMissing"), false}}));
    const QJsonObject table = json.value(QStringLiteral("tables")).toArray().at(0).toObject();
    EXPECT_EQ(table.value(QStringLiteral("state")).toString(), QStringLiteral("compared"));
    EXPECT_EQ(table.value(QStringLiteral("added")).toArray(),
              (QJsonArray{QStringLiteral("NUE1"), QStringLiteral("NUE2")}));
    EXPECT_EQ(table.value(QStringLiteral("removed")).toArray(),
              QJsonArray{QStringLiteral("VIEJO")});
    EXPECT_EQ(table.value(QStringLiteral("changed")).toArray().size(), 2);
    EXPECT_EQ(table.value(QStringLiteral("rowsBefore")).toInt(), 5);
    EXPECT_EQ(table.value(QStringLiteral("rowsAfter")).toInt(), 6);
}

// Each table the run writes is matched by its own code: a row with a typed value in a field the
// new row leaves empty is one lost value under that code, never a row removed and another added.
TEST(TableComparison, MatchesEveryTableByItsCode)
{
    const struct {
        const TableLayout* layout;
        QString code;  // the row's code as the comparison shows it
        QString typed; // the field typed in now and empty in the new table
    } cases[] = {
        {&layouts::asignomt, QStringLiteral("V1"), QStringLiteral("CODTAREA")},
        {&layouts::asignomt2, QStringLiteral("V4 + V5"), QStringLiteral("NOMBRE")},
        {&layouts::proft, QStringLiteral("V1"), QStringLiteral("EMAIL")},
        {&layouts::aulat, QStringLiteral("V1"), QStringLiteral("DEPCENTRO")},
        {&layouts::cursost, QStringLiteral("V5"), QStringLiteral("TURNO")},
        {&layouts::grupost, QStringLiteral("V1"), QStringLiteral("TURNO")},
        {&layouts::asigt, QStringLiteral("V1 + V3"), QStringLiteral("CPROF")},
        {&layouts::asigt, QStringLiteral("V1 + V3"), QStringLiteral("CAULA")},
        {&layouts::diashorast, QStringLiteral("V1"), QStringLiteral("TEXTODIA")},
        {&layouts::diashorast2, QStringLiteral("V2 + V3"), QStringLiteral("MARCO")},
        {&layouts::periodos, QStringLiteral("V1"), QStringLiteral("FECFIN")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout->name + QLatin1Char(' ') + c.typed);
        Folders f;
        // Every field holds a value now; the new row is the same but for the typed field.
        QStringList current;
        for (int i = 0; i < c.layout->fields.size(); ++i) {
            switch (c.layout->fields.at(i).type) {
            case FieldDef::Type::Text:
                current << QStringLiteral("V%1").arg(i + 1);
                break;
            case FieldDef::Type::Boolean:
                current << QStringLiteral("T");
                break;
            default:
                current << QString::number(i + 1);
            }
        }
        QStringList next = current;
        const int typedIndex = [&] {
            for (int i = 0; i < c.layout->fields.size(); ++i) {
                if (c.layout->fields.at(i).name == c.typed)
                    return i;
            }
            return -1;
        }();
        ASSERT_GE(typedIndex, 0);
        next[typedIndex].clear();
        // A second row that both tables have alike.
        QStringList other = current;
        for (QString& value : other) {
            if (value.startsWith(QLatin1Char('V')))
                value.replace(0, 1, QStringLiteral("W"));
        }
        writeTable(f.timetablePath(), *c.layout, {other, current});
        writeTable(f.newPath(), *c.layout, {next, other});

        const Comparison comparison = compare(f.newPath(), f.timetablePath(), {c.layout->name});
        ASSERT_EQ(comparison.tables.size(), 1);
        const TableComparison& t = comparison.tables.first();
        EXPECT_EQ(t.state, TableComparison::State::Compared) << t.problem;
        EXPECT_EQ(t.codeFields, codeFields(c.layout->name));
        EXPECT_EQ(t.added, QStringList());
        EXPECT_EQ(t.removed, QStringList());
        EXPECT_EQ(t.changed, QStringList{c.code});
        EXPECT_EQ(dropLines(t.dropped),
                  QStringList{QStringLiteral("%1 %2 %3=%4")
                                  .arg(c.layout->name, c.code, c.typed,
                                       textAsRead(current.at(typedIndex),
                                                  c.layout->fields.at(typedIndex).width))});
    }
}

// Rows that share a code are paired in their order, so a value typed in the second of them is
// still found.
TEST(TableComparison, PairsRepeatedCodesInOrder)
{
    Folders f;
    writeTable(f.timetablePath(), layouts::proft,
               {{"GLA", "GARCÍA LÓPEZ, ANA", "", "", "", "111", "x"},
                {"GLA", "GIL LARA, ALBA", "", "", "", "222", "y"}});
    writeTable(f.newPath(), layouts::proft,
               {{"GLA", "GARCÍA LÓPEZ, ANA", "", "", "", "111", "x"},
                {"GLA", "GIL LARA, ALBA", "", "", "", "", "y"},
                {"GLA", "GÓMEZ LUNA, ABEL", "", "", "", "", ""}});

    const Comparison c = compare(f.newPath(), f.timetablePath(), {QStringLiteral("PROFT")});
    const TableComparison& t = c.tables.first();
    EXPECT_EQ(t.repeatedCodes, QStringList{QStringLiteral("GLA")});
    EXPECT_EQ(t.added, QStringList{QStringLiteral("GLA#3")});
    EXPECT_TRUE(t.removed.isEmpty());
    EXPECT_EQ(dropLines(t.dropped), QStringList{QStringLiteral("PROFT GLA#2 X_EMPLEADO=222")});
    EXPECT_TRUE(
        describe(c).contains(QStringLiteral("  códigos repetidos, emparejados por orden: «GLA».")));
}

// A current table that is missing, damaged, not a file, or without its code field, and a new
// table that is not there: each is said in its entry, the other tables are still compared, and
// nothing is thrown or written.
TEST(TableComparison, SaysWhatItCannotCompare)
{
    using State = TableComparison::State;
    const struct {
        const char* name;
        std::function<void(const QString& timetable, const QString& newFolder)> prepare;
        State state;
        QString problemHas; // in the entry's problem
        QString lineHas;    // in the entry's line of describe()
    } cases[] = {
        {"no current table", [](const QString&, const QString&) {}, State::NoCurrentTable,
         QString(),
         QStringLiteral("PROFT: tabla nueva, no hay ahora una en la carpeta de "
                        "horarios (2 filas).")},
        {"a file that is not a table",
         [](const QString& timetable, const QString&) {
             writeFile(QDir(timetable).filePath(QStringLiteral("PROFT.DBF")),
                       "esto no es una tabla dBase, solo texto");
         },
         State::CurrentUnreadable, QStringLiteral("PROFT.DBF"),
         QStringLiteral("PROFT: no se puede leer la tabla que hay ahora y no se compara (")},
        {"a table cut short",
         [](const QString& timetable, const QString& newFolder) {
             const QString source = QDir(newFolder).filePath(QStringLiteral("PROFT.DBF"));
             const QByteArray whole = readFile(source);
             writeFile(QDir(timetable).filePath(QStringLiteral("proft.dbf")),
                       whole.left(whole.size() - 150));
         },
         State::CurrentUnreadable, QStringLiteral("proft.dbf"),
         QStringLiteral("La tabla nueva "
                        "tendrá 2 filas.")},
        {"a folder in the table's place",
         [](const QString& timetable, const QString&) {
             QDir(timetable).mkdir(QStringLiteral("PROFT.DBF"));
         },
         State::CurrentUnreadable, QStringLiteral("PROFT.DBF"), QStringLiteral("PROFT: no se")},
        {"no code field",
         [](const QString& timetable, const QString&) {
             writeTable(timetable,
                        TableLayout{QStringLiteral("PROFT"),
                                    {{QStringLiteral("NOMBRE"), FieldDef::Type::Text, 20}}},
                        {{"A"}, {"B"}, {"C"}});
         },
         State::CountsOnly, QStringLiteral("ABREV"),
         QStringLiteral("PROFT: 3 filas ahora y 2 en la tabla nueva; no se comparan fila a fila "
                        "porque la tabla actual no tiene el campo ABREV.")},
        {"no new table",
         [](const QString& timetable, const QString& newFolder) {
             writeTable(timetable, layouts::proft, {{"GLA"}});
             QFile::remove(QDir(newFolder).filePath(QStringLiteral("PROFT.DBF")));
         },
         State::NewUnreadable, QStringLiteral("no la ha escrito"),
         QStringLiteral(
             "PROFT: no se puede leer la tabla nueva (la conversión no la ha escrito).")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folders f;
        writeTable(f.newPath(), layouts::proft, {{"GLA", "A"}, {"LMA", "B"}});
        writeTable(f.newPath(), layouts::aulat, {{"A1", "Aula 1"}});
        writeTable(f.timetablePath(), layouts::aulat, {{"A1", "Aula 1", "", "", "DEP"}});
        c.prepare(f.timetablePath(), f.newPath());
        const QMap<QString, QByteArray> before = snapshot(f.timetablePath());

        Comparison comparison;
        ASSERT_NO_THROW(comparison = compare(f.newPath(), f.timetablePath(),
                                             {QStringLiteral("PROFT"), QStringLiteral("AULAT")}));
        EXPECT_EQ(snapshot(f.timetablePath()), before);
        ASSERT_EQ(comparison.tables.size(), 2);
        const TableComparison& t = comparison.tables.at(0);
        EXPECT_EQ(t.state, c.state) << t.problem;
        EXPECT_TRUE(t.problem.contains(c.problemHas)) << t.problem;
        const QStringList lines = describe(comparison);
        const QString text = lines.join(QLatin1Char('\n'));
        EXPECT_TRUE(text.contains(c.lineHas)) << text;
        EXPECT_EQ(lines.first(),
                  QStringLiteral("ATENCIÓN: 1 dato de las tablas actuales se perdería:"));
        EXPECT_TRUE(t.dropped.isEmpty());
        // The next table is compared all the same.
        EXPECT_EQ(comparison.tables.at(1).state, State::Compared);
        EXPECT_EQ(dropLines(comparison.dropped()),
                  QStringList{QStringLiteral("AULAT A1 DEPCENTRO=DEP")});
    }
}
