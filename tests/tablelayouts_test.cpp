#include "tests/clisupport.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A field as Oranel's tables have it: a name, its kind and, for text, its width in characters.
// Numbers are dBase numeric fields, whole for integers and with decimals for floats; Booleans
// logical fields. The widths of numbers are not Oranel's concern.
enum class Kind { Text, Integer, Float, Boolean };
struct Field {
    const char* name;
    Kind kind;
    int width = 0;
};
struct Layout {
    const char* table;
    QList<Field> fields;
};

const QList<Field> grid = {
    {"DIHO", Kind::Text, 10},     {"CODDIHO", Kind::Text, 10},  {"DIA", Kind::Text, 20},
    {"TEXTODIA", Kind::Text, 20}, {"HORA", Kind::Text, 8},      {"TEXTOHOR", Kind::Text, 15},
    {"HORADESDE", Kind::Text, 8}, {"HORAHASTA", Kind::Text, 8}, {"MINUTOS", Kind::Text, 8},
    {"MARCO", Kind::Text, 1},     {"MARCOXML", Kind::Text, 10},
};

// The ten tables an exportar writes, written out here once more from what Oranel expects, so
// that a mistake in the writer's own declarations cannot hide itself.
const QList<Layout> layouts = {
    {"ASIGNOMT",
     {{"COD", Kind::Text, 10},
      {"CODLARGO", Kind::Text, 10},
      {"NOMBRE", Kind::Text, 80},
      {"CODTAREA", Kind::Text, 12},
      {"ESTAREA", Kind::Boolean}}},
    {"ASIGNOMT2",
     {{"COD", Kind::Text, 10},
      {"CODLARGO", Kind::Text, 10},
      {"NOMBRE", Kind::Text, 80},
      {"MATERIA", Kind::Text, 20},
      {"OFERTAMATRI", Kind::Text, 20},
      {"CODTAREA", Kind::Text, 12},
      {"ESTAREA", Kind::Boolean}}},
    {"PROFT",
     {{"ABREV", Kind::Text, 10},
      {"NOMBRE", Kind::Text, 80},
      {"DEPART", Kind::Text, 40},
      {"EMAIL", Kind::Text, 100},
      {"DNI", Kind::Integer},
      {"X_EMPLEADO", Kind::Text, 10},
      {"F_TOMAPOS", Kind::Text, 10}}},
    {"AULAT",
     {{"ABREV", Kind::Text, 10},
      {"NOMBRE", Kind::Text, 80},
      {"EDIFICIO", Kind::Text, 1},
      {"MAXALUM", Kind::Integer},
      {"DEPCENTRO", Kind::Text, 10}}},
    {"CURSOST",
     {{"ABREV", Kind::Text, 3},
      {"TURNO", Kind::Text, 1},
      {"NIVEL", Kind::Text, 5},
      {"CURSO", Kind::Text, 3},
      {"CLAVE", Kind::Text, 10},
      {"ESTUD", Kind::Text, 80}}},
    {"GRUPOST",
     {{"ABREV", Kind::Text, 10},
      {"TURNO", Kind::Text, 1},
      {"NIVEL", Kind::Text, 5},
      {"CURSO", Kind::Text, 3},
      {"GRUPO", Kind::Text, 2},
      {"CLAVE", Kind::Text, 10},
      {"CLAVECURSO", Kind::Text, 10},
      {"DESCRIP", Kind::Text, 80}}},
    {"ASIGT",
     {{"CASIG", Kind::Text, 10},
      {"CPROF", Kind::Text, 10},
      {"CGRUP", Kind::Text, 10},
      {"CAULA", Kind::Text, 10},
      {"TURNO", Kind::Text, 10},
      {"NIVEL", Kind::Text, 5},
      {"CURSO", Kind::Text, 3},
      {"GRUPO", Kind::Text, 2},
      {"HORAS", Kind::Float},
      {"SESIONES", Kind::Text, 20},
      {"NCONEX", Kind::Text, 4},
      {"CLAVE", Kind::Text, 10},
      {"CLAVECURSO", Kind::Text, 10},
      {"CTAREA", Kind::Text, 10}}},
    {"DIASHORAST", grid},
    {"DIASHORAST2", grid + QList<Field>{{"ORDEN", Kind::Integer}}},
    {"PERIODOS",
     {{"CJORNADA", Kind::Text, 10},
      {"JORNADA", Kind::Text, 40},
      {"FECINI", Kind::Text, 10},
      {"FECFIN", Kind::Text, 10}}},
};

// What is wrong with a field python3-dbf read ([name, type, width, decimals]); empty when
// nothing is.
QString mismatch(const Field& expected, const QJsonArray& read)
{
    const QString name = read.at(0).toString();
    const QString type = read.at(1).toString();
    const int width = read.at(2).toInt();
    const int decimals = read.at(3).toInt();
    const QString shown = QStringLiteral("%1 %2(%3,%4)").arg(name, type).arg(width).arg(decimals);
    bool fits = name == QLatin1String(expected.name);
    switch (expected.kind) {
    case Kind::Text:
        fits = fits && type == QLatin1String("C") && width == expected.width;
        break;
    case Kind::Integer:
        fits = fits && type == QLatin1String("N") && decimals == 0 && width > 0;
        break;
    case Kind::Float:
        fits = fits && (type == QLatin1String("N") || type == QLatin1String("F")) && decimals > 0;
        break;
    case Kind::Boolean:
        fits = fits && type == QLatin1String("L");
        break;
    }
    return fits ? QString() : shown;
}

} // namespace

// The tables an exportar writes, read by python3-dbf, have exactly the fields Oranel expects,
// in order, with their types and widths.
TEST(TableLayouts, TheTablesWrittenAreTheOnesOranelExpects)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    const QString document = dir.filePath(QStringLiteral("ies-ejemplo.xml"));
    writeFile(document, readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml")));
    const CliOutcome exportar =
        runCli({QStringLiteral("exportar"), document, QStringLiteral("--timetable-folder"), folder,
                QStringLiteral("--frames"), QStringLiteral("1,2")});
    ASSERT_EQ(exportar.code, 0) << exportar.err.toStdString();

    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.table);
        const QJsonArray read =
            readTableWithPython(QDir(folder).filePath(QLatin1String(layout.table) + ".DBF"))
                .value(QStringLiteral("fields"))
                .toArray();
        ASSERT_EQ(read.size(), layout.fields.size());
        for (int i = 0; i < read.size(); ++i) {
            const QString wrong = mismatch(layout.fields[i], read.at(i).toArray());
            EXPECT_TRUE(wrong.isEmpty()) << "field " << i + 1 << " is " << wrong.toStdString()
                                         << ", expected " << layout.fields[i].name;
        }
    }
}
