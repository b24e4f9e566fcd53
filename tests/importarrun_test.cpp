#include "components/platform/platform.h"
#include "components/text/texts.h"
#include "tests/stepfixture.h"
#include "tests/testsupport.h"
#include "to_yedra/importarrun.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

// Answers the teacher dialog with a prepared verdict, filling in the missing values first when
// told to, and counts how often it was asked.
class TeacherAnswers : public NoQuestions {
public:
    bool completes = false;
    int asked = 0;
    bool completeTeachers(const QString& tablePath) override
    {
        ++asked;
        if (!completes)
            return false;
        DbfTable proft(tablePath);
        proft.open();
        for (proft.first(); !proft.eof(); proft.next()) {
            proft.edit();
            if (proft.text(QStringLiteral("X_EMPLEADO")).trimmed().isEmpty())
                proft.setText(QStringLiteral("X_EMPLEADO"), QStringLiteral("999"));
            if (proft.text(QStringLiteral("F_TOMAPOS")).trimmed().isEmpty())
                proft.setText(QStringLiteral("F_TOMAPOS"), QStringLiteral("01/09/2020"));
            proft.post();
        }
        return true;
    }
};

const QList<FieldDef> solucFields = {
    {QStringLiteral("PROF"), FieldDef::Type::Text, 10},
    {QStringLiteral("DIA"), FieldDef::Type::Integer},
    {QStringLiteral("HORA"), FieldDef::Type::Integer},
    {QStringLiteral("MARCO"), FieldDef::Type::Integer},
    {QStringLiteral("ASIG"), FieldDef::Type::Text, 10},
    {QStringLiteral("CODGRUPO"), FieldDef::Type::Text, 10},
    {QStringLiteral("TAREA"), FieldDef::Type::Text, 12},
    {QStringLiteral("AULA"), FieldDef::Type::Text, 10},
};

// The timetable folder of a school whose timetable Oranel has solved, written row by row.
struct School {
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QString document = dir.filePath(QStringLiteral("datos/horario.xml"));

    School()
    {
        QDir().mkpath(folder);
        QDir().mkpath(dir.filePath(QStringLiteral("datos")));
        for (const TableLayout* layout :
             {&layouts::proft, &layouts::asigt, &layouts::asignomt, &layouts::asignomt2,
              &layouts::grupost, &layouts::cursost, &layouts::aulat, &layouts::diashorast,
              &layouts::periodos})
            DbfTable(folder, layout->name).create(layout->fields);
        DbfTable(folder, QStringLiteral("SOLUC")).create(solucFields);
        writeFile(document,
                  "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- de Yedra -->\n"
                  "<SERVICIO><BLOQUE_DATOS><grupo_datos seq=\"ANNO\"><dato>2026/27</dato>"
                  "</grupo_datos><grupo_datos seq=\"EMPLEADOS\"/></BLOQUE_DATOS></SERVICIO>");
    }

    // A row in a table: field values by name, the rest left blank.
    void add(const QString& table, const std::map<QString, QVariant>& values)
    {
        DbfTable t(folder, table);
        t.open();
        t.append();
        for (const auto& [field, value] : values) {
            if (value.typeId() == QMetaType::Int)
                t.setInteger(field, value.toInt());
            else
                t.setText(field, value.toString());
        }
        t.post();
    }
    void teacher(const char* abrev, const char* x = "1", const char* f = "01/09/2020")
    {
        add(QStringLiteral("PROFT"), {{QStringLiteral("ABREV"), QString::fromUtf8(abrev)},
                                      {QStringLiteral("X_EMPLEADO"), QString::fromUtf8(x)},
                                      {QStringLiteral("F_TOMAPOS"), QString::fromUtf8(f)}});
    }
    void entry(const char* prof, int dia, int hora, const char* asig, const char* grupo = "",
               const char* tarea = "", const char* aula = "", int marco = 0)
    {
        add(QStringLiteral("SOLUC"), {{QStringLiteral("PROF"), QString::fromUtf8(prof)},
                                      {QStringLiteral("DIA"), dia},
                                      {QStringLiteral("HORA"), hora},
                                      {QStringLiteral("MARCO"), marco},
                                      {QStringLiteral("ASIG"), QString::fromUtf8(asig)},
                                      {QStringLiteral("CODGRUPO"), QString::fromUtf8(grupo)},
                                      {QStringLiteral("TAREA"), QString::fromUtf8(tarea)},
                                      {QStringLiteral("AULA"), QString::fromUtf8(aula)}});
    }
    void slot(const char* diho, const char* dia, const char* coddiho, const char* desde,
              const char* hasta, const char* marco = "0")
    {
        add(QStringLiteral("DIASHORAST"), {{QStringLiteral("DIHO"), QString::fromUtf8(diho)},
                                           {QStringLiteral("DIA"), QString::fromUtf8(dia)},
                                           {QStringLiteral("CODDIHO"), QString::fromUtf8(coddiho)},
                                           {QStringLiteral("HORADESDE"), QString::fromUtf8(desde)},
                                           {QStringLiteral("HORAHASTA"), QString::fromUtf8(hasta)},
                                           {QStringLiteral("MARCO"), QString::fromUtf8(marco)}});
    }
    void periods(const char* from = "15/09/2026", const char* to = "22/06/2027")
    {
        add(QStringLiteral("PERIODOS"), {{QStringLiteral("CJORNADA"), QStringLiteral("1")},
                                         {QStringLiteral("FECINI"), QString::fromUtf8(from)},
                                         {QStringLiteral("FECFIN"), QString::fromUtf8(to)}});
    }

    ImportarRun::Result run(Interaction& interaction)
    {
        ImportarRun run(folder, interaction);
        return run.run(document, QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7)));
    }

    // Changes a field of a table's first row, or of the row `row` after it.
    void change(const QString& table, const QString& field, const QString& value, int row = 0)
    {
        DbfTable t(folder, table);
        t.open();
        t.first();
        for (int r = 0; r < row; ++r)
            t.next();
        t.edit();
        t.setText(field, value);
        t.post();
    }

    // SOLUC written again by python3-dbf, with the fields and the one row given.
    void writeSoluc(const QString& fields, const QJsonArray& row)
    {
        const QString path = QDir(folder).filePath(QStringLiteral("SOLUC.DBF"));
        QFile::remove(path);
        writeTableWithPython(path, QJsonObject{{QStringLiteral("fields"), fields},
                                               {QStringLiteral("records"), QJsonArray{row}}});
    }
};

// The result document as Python reads it: each teacher group's seq, registros and values, and
// each activity as its values by name.
struct Activity : std::map<QString, QString> {};
struct Teacher {
    QString seq;
    QString registros;
    QStringList identifiers;
    QList<Activity> activities;
    QStringList activitySeqs;
};

QString attribute(const QJsonValue& element, const char* name)
{
    for (const QJsonValue& pair : element[QStringLiteral("attributes")].toArray()) {
        if (pair.toArray()[0].toString() == QLatin1String(name))
            return pair.toArray()[1].toString();
    }
    return QStringLiteral("<none>");
}

QString textOf(const QJsonValue& element)
{
    const QJsonArray children = element[QStringLiteral("children")].toArray();
    return children.isEmpty() ? QString() : children[0].toString();
}

QList<Teacher> teachersOf(const QJsonObject& read, QString* year = nullptr,
                          QString* horariosRegistros = nullptr)
{
    const QJsonArray groups = read[QStringLiteral("root")][QStringLiteral("children")]
                                  .toArray()[0][QStringLiteral("children")]
                                  .toArray();
    if (year)
        *year = textOf(groups[0][QStringLiteral("children")].toArray()[0]);
    if (horariosRegistros)
        *horariosRegistros = attribute(groups[1], "registros");
    QList<Teacher> out;
    for (const QJsonValue& t : groups[1][QStringLiteral("children")].toArray()) {
        Teacher teacher{attribute(t, "seq"), attribute(t, "registros"), {}, {}, {}};
        for (const QJsonValue& child : t[QStringLiteral("children")].toArray()) {
            if (child[QStringLiteral("name")].toString() == QLatin1String("dato")) {
                teacher.identifiers << textOf(child);
                continue;
            }
            teacher.activitySeqs << attribute(child, "seq");
            Activity activity;
            for (const QJsonValue& value : child[QStringLiteral("children")].toArray())
                activity[attribute(value, "nombre_dato")] = textOf(value);
            teacher.activities << activity;
        }
        out << teacher;
    }
    return out;
}

QJsonObject readResult(const QString& path)
{
    QString error;
    const QJsonObject read = readWithPython(path, &error);
    EXPECT_FALSE(read.isEmpty()) << error;
    return read;
}

} // namespace

TEST(ImportarRun, ResultPathGoesBesideTheChosenDocument)
{
    const struct {
        const char* chosen;
        const char* result;
    } cases[] = {{"D:\\datos\\horario.xml", "D:\\datos\\ResultadoOranelhorario.xml"},
                 {"/srv/datos/horario.xml", "/srv/datos/ResultadoOranelhorario.xml"},
                 {"D:\\datos/sub\\h.XML", "D:\\datos/sub\\ResultadoOranelh.XML"},
                 {"horario.xml", "ResultadoOranelhorario.xml"}};
    for (const auto& c : cases)
        EXPECT_EQ(ImportarRun::resultPath(QString::fromUtf8(c.chosen)), c.result);
}

// Every value of an activity, and the fallbacks of each lookup.
TEST(ImportarRun, WritesEveryTeachersTimetable)
{
    School school;
    school.periods();
    school.teacher("GLA", " 0042 ", "01/09/2014");
    school.teacher("SIN", "7", "01/09/2019");  // no entries
    school.teacher("GLA", "43", "01/09/2015"); // the same code: the same entries
    school.slot("11", "1", "1001", "08:30", "09:25");
    school.slot("23", "2", "1003", "8:30", "9:25");   // clock texts without a leading zero
    school.slot("23", "2", "OTRO", "10:00", "11:00"); // a later row with the same key
    school.add(QStringLiteral("ASIGT"), {{QStringLiteral("CASIG"), QStringLiteral("MAT")},
                                         {QStringLiteral("CGRUP"), QStringLiteral("1ESOA")},
                                         {QStringLiteral("CLAVE"), QStringLiteral("310002")},
                                         {QStringLiteral("CLAVECURSO"), QStringLiteral("4021")}});
    school.add(QStringLiteral("GRUPOST"), {{QStringLiteral("ABREV"), QStringLiteral("1ESOA")},
                                           {QStringLiteral("CLAVE"), QStringLiteral("U1")},
                                           {QStringLiteral("CLAVECURSO"), QStringLiteral("4021")}});
    school.add(QStringLiteral("GRUPOST"), {{QStringLiteral("ABREV"), QStringLiteral("1ESOB")},
                                           {QStringLiteral("CLAVE"), QStringLiteral("U2")},
                                           {QStringLiteral("CLAVECURSO"), QStringLiteral("4022")}});
    school.add(QStringLiteral("ASIGNOMT2"),
               {{QStringLiteral("COD"), QStringLiteral("LEN")},
                {QStringLiteral("OFERTAMATRI"), QStringLiteral("4022")},
                {QStringLiteral("MATERIA"), QStringLiteral("310099")}});
    school.add(QStringLiteral("ASIGNOMT"),
               {{QStringLiteral("COD"), QStringLiteral("GUA")},
                {QStringLiteral("CODTAREA"), QStringLiteral("GUARDIA")}});
    school.add(QStringLiteral("ASIGNOMT"), {{QStringLiteral("COD"), QStringLiteral("513")},
                                            {QStringLiteral("CODTAREA"), QStringLiteral("513")}});

    school.entry("GLA", 1, 1, "MAT", "1ESOA", "", "A101"); // everything found
    school.entry("GLA", 0, 3, "MAT", "1ESOA");             // not placed: not written
    school.entry("GLA", 2, 3, "LEN", "1ESOB", "", "   ");  // ASIGT has no row: the fallbacks
    school.entry("GLA", 1, 1, "GUA", "", "", "", 5);       // another MARCO; task from ASIGNOMT
    school.entry("GLA", 7, 9, "XYZ", "NOESTA", " TUT ", "B & <2>"); // nothing found
    school.entry("gla", 1, 1, "MAT", "1ESOA");                      // another teacher (case counts)

    TeacherAnswers interaction;
    const ImportarRun::Result result = school.run(interaction);
    ASSERT_EQ(result.outcome, ImportarRun::Outcome::Saved) << result.message;
    EXPECT_EQ(interaction.asked, 0);
    EXPECT_EQ(result.savedPath,
              school.dir.filePath(QStringLiteral("datos/ResultadoOranelhorario.xml")));

    const QJsonObject read = readResult(result.savedPath);
    EXPECT_EQ(read[QStringLiteral("declaration")][QStringLiteral("encoding")].toString(),
              QStringLiteral("ISO-8859-1"));
    EXPECT_EQ(read[QStringLiteral("prolog")].toArray().size(), 1);
    QString year;
    QString registros;
    const QList<Teacher> teachers = teachersOf(read, &year, &registros);
    EXPECT_EQ(year, QStringLiteral("2026"));
    EXPECT_EQ(registros, QStringLiteral("3"));
    ASSERT_EQ(teachers.size(), 3);
    EXPECT_EQ(teachers[0].seq, QStringLiteral("HORARIO_REGULAR_PROFESOR_1"));
    EXPECT_EQ(teachers[1].seq, QStringLiteral("HORARIO_REGULAR_PROFESOR_2"));
    EXPECT_EQ(teachers[2].seq, QStringLiteral("HORARIO_REGULAR_PROFESOR_3"));
    EXPECT_EQ(teachers[0].identifiers,
              (QStringList{QStringLiteral(" 0042"), QStringLiteral("01/09/2014")}));

    // The teacher without entries: registros 0 and its two identifiers only.
    EXPECT_EQ(teachers[1].registros, QStringLiteral("0"));
    EXPECT_EQ(teachers[1].identifiers,
              (QStringList{QStringLiteral("7"), QStringLiteral("01/09/2019")}));
    EXPECT_TRUE(teachers[1].activities.isEmpty());

    for (const Teacher& t : {teachers[0], teachers[2]}) {
        EXPECT_EQ(t.registros, QStringLiteral("4"));
        EXPECT_EQ(t.activitySeqs,
                  (QStringList{QStringLiteral("ACTIVIDAD_1"), QStringLiteral("ACTIVIDAD_2"),
                               QStringLiteral("ACTIVIDAD_3"), QStringLiteral("ACTIVIDAD_4")}));
    }
    const QStringList names = {QStringLiteral("N_DIASEMANA"),    QStringLiteral("X_TRAMO"),
                               QStringLiteral("X_DEPENDENCIA"),  QStringLiteral("X_UNIDAD"),
                               QStringLiteral("X_OFERTAMATRIG"), QStringLiteral("X_MATERIAOMG"),
                               QStringLiteral("F_INICIO"),       QStringLiteral("F_FIN"),
                               QStringLiteral("N_HORINI"),       QStringLiteral("N_HORFIN"),
                               QStringLiteral("X_ACTIVIDAD")};
    const QList<QStringList> expected = {
        {"1", "1001", "A101", "U1", "4021", "310002", "15/09/2026", "22/06/2027", "510", "565",
         "513"},
        {"2", "1003", "", "U2", "4022", "310099", "15/09/2026", "22/06/2027", "510", "565", "513"},
        {"", "", "", "", "", "", "15/09/2026", "22/06/2027", "0", "0", "GUARDIA"},
        {"", "", "B & <2>", "", "", "", "15/09/2026", "22/06/2027", "0", "0", " TUT"},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        QStringList got;
        for (const QString& name : names)
            got << teachers[0].activities[i].at(name);
        EXPECT_EQ(got, expected[i]);
        EXPECT_EQ(teachers[0].activities[i].size(), std::size_t(11));
    }
}

// An entry whose class assignment ASIGT lacks takes its subject from ASIGNOMT2, by its code and
// its unit's course offer compared as ASIGNOMT2's fields store them: an ASIG longer than COD by
// its first ten characters. The first row of a code and offer is the one taken.
TEST(ImportarRun, FindsTheSubjectAsItsTableStoresTheCodes)
{
    School school;
    school.periods();
    school.teacher("GLA", "42");
    school.slot("11", "1", "1001", "08:30", "09:25");
    QList<FieldDef> wide = solucFields;
    wide[4].width = 14; // ASIG
    QFile::remove(QDir(school.folder).filePath(QStringLiteral("SOLUC.DBF")));
    DbfTable(school.folder, QStringLiteral("SOLUC")).create(wide);
    school.add(QStringLiteral("GRUPOST"), {{QStringLiteral("ABREV"), QStringLiteral("1ESOB")},
                                           {QStringLiteral("CLAVE"), QStringLiteral("U2")},
                                           {QStringLiteral("CLAVECURSO"), QStringLiteral("4022")}});
    for (const auto& [cod, materia] : {std::pair{"LENGUAJES1", "310099"},
                                       std::pair{"MÚSICA", "310050"}, std::pair{"MÚSICA", "OTRA"}})
        school.add(QStringLiteral("ASIGNOMT2"),
                   {{QStringLiteral("COD"), QString::fromUtf8(cod)},
                    {QStringLiteral("OFERTAMATRI"), QStringLiteral("4022")},
                    {QStringLiteral("MATERIA"), QString::fromUtf8(materia)}});
    const struct {
        const char* asig;
        const char* grupo;
        const char* subject;
    } cases[] = {
        {"LENGUAJES1XY", "1ESOB", "310099"},
        {"LENGUAJES2", "1ESOB", ""},
        {"MÚSICA", "1ESOB", "310050"},
        {"MÚSICA", "1ESOA", ""}, // no unit, so no course offer
    };
    for (const auto& c : cases)
        school.entry("GLA", 1, 1, c.asig, c.grupo);

    NoQuestions none;
    const ImportarRun::Result result = school.run(none);
    ASSERT_EQ(result.outcome, ImportarRun::Outcome::Saved) << result.message;
    const QList<Teacher> teachers = teachersOf(readResult(result.savedPath));
    ASSERT_EQ(teachers.size(), 1);
    ASSERT_EQ(teachers[0].activities.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(teachers[0].activities[i].at(QStringLiteral("X_MATERIAOMG")),
                  QString::fromUtf8(cases[i].subject))
            << cases[i].asig << " " << cases[i].grupo;
}

// Without an activity 513 an entry without task keeps its empty activity; a timetable without
// teachers gives an empty HORARIOS_REGULARES; a short academic year is written as it is.
TEST(ImportarRun, EdgesOfTheDocument)
{
    School withTeacher;
    withTeacher.periods();
    withTeacher.teacher("GLA");
    withTeacher.entry("GLA", 1, 1, "MAT", "1ESOA");
    NoQuestions none;
    const ImportarRun::Result result = withTeacher.run(none);
    ASSERT_EQ(result.outcome, ImportarRun::Outcome::Saved);
    const QList<Teacher> teachers = teachersOf(readResult(result.savedPath));
    ASSERT_EQ(teachers.size(), 1);
    EXPECT_EQ(teachers[0].activities[0].at(QStringLiteral("X_ACTIVIDAD")), QString());

    School empty;
    empty.periods();
    writeFile(empty.document, "<SERVICIO><BLOQUE_DATOS><grupo_datos seq=\"A\"><dato>25</dato>"
                              "</grupo_datos></BLOQUE_DATOS></SERVICIO>");
    const ImportarRun::Result emptyResult = empty.run(none);
    ASSERT_EQ(emptyResult.outcome, ImportarRun::Outcome::Saved);
    QString year;
    QString registros;
    EXPECT_TRUE(teachersOf(readResult(emptyResult.savedPath), &year, &registros).isEmpty());
    EXPECT_EQ(year, QStringLiteral("25"));
    EXPECT_EQ(registros, QStringLiteral("0"));
    // A document without declaration is saved as UTF-8 without one.
    EXPECT_TRUE(readFile(emptyResult.savedPath)
                    .startsWith("<SERVICIO modulo=\"HORARIOS\" tipo=\"I\" "
                                "autor=\"YEDRA\" fecha=\"10/12/2026 9:05:07\">"));
}

// Runs that end early save nothing and leave an earlier result as it was.
TEST(ImportarRun, EndsEarlyWithoutSaving)
{
    const struct {
        const char* name;
        QByteArray document;
        bool periods;
        const char* message;
    } cases[] = {
        {"no periods", "<SERVICIO><BLOQUE_DATOS><x/></BLOQUE_DATOS></SERVICIO>", false,
         "ATENCIÓN - PERIODOS.DBF No encontrado - Importe de nuevo XML de YEDRA."},
        {"unparsable", "<SERVICIO>", true, "El archivo XML no es válido"},
        {"no block", "<SERVICIO/>", true, "falta /SERVICIO/BLOQUE_DATOS"},
        {"empty block", "<SERVICIO><BLOQUE_DATOS/></SERVICIO>", true, "está vacío"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        School school;
        if (c.periods)
            school.periods();
        else
            QFile::remove(QDir(school.folder).filePath(QStringLiteral("PERIODOS.DBF")));
        writeFile(school.document, c.document);
        const QString earlier = ImportarRun::resultPath(school.document);
        writeFile(earlier, "resultado anterior");
        const QMap<QString, QByteArray> tables = snapshot(school.folder);
        NoQuestions none;
        const ImportarRun::Result result = school.run(none);
        EXPECT_EQ(result.outcome, ImportarRun::Outcome::Refused);
        EXPECT_NE(result.message.indexOf(QString::fromUtf8(c.message)), -1) << result.message;
        EXPECT_EQ(readFile(earlier), "resultado anterior");
        EXPECT_EQ(snapshot(school.folder), tables);
    }

    // A table that cannot be read is an error of the table layer, naming it.
    School broken;
    broken.periods();
    writeFile(QDir(broken.folder).filePath(QStringLiteral("ASIGT.DBF")), "no es una tabla");
    NoQuestions none;
    const ImportarRun::Result result = broken.run(none);
    EXPECT_EQ(result.outcome, ImportarRun::Outcome::Failed);
    EXPECT_NE(result.message.indexOf(QStringLiteral("ASIGT.DBF")), -1);
}

// The teacher check: the dialog once; completed, the run goes on with the values typed;
// left incomplete, the run stops with the three-line message and saves nothing.
TEST(ImportarRun, ChecksTheTeachersData)
{
    for (bool completes : {true, false}) {
        SCOPED_TRACE(completes);
        School school;
        school.periods();
        school.teacher("GLA", "1");
        school.teacher("SIN", "   ", "");
        TeacherAnswers interaction;
        interaction.completes = completes;
        const ImportarRun::Result result = school.run(interaction);
        EXPECT_EQ(interaction.asked, 1);
        if (completes) {
            ASSERT_EQ(result.outcome, ImportarRun::Outcome::Saved);
            const QList<Teacher> teachers = teachersOf(readResult(result.savedPath));
            EXPECT_EQ(teachers[1].identifiers,
                      (QStringList{QStringLiteral("999"), QStringLiteral("01/09/2020")}));
        } else {
            EXPECT_EQ(result.outcome, ImportarRun::Outcome::Incomplete);
            EXPECT_EQ(
                result.message,
                QStringLiteral("¡Atención! Sigue habiendo algún Profesor sin todos los DATOS.\n\r"
                               "Este proceso se dentendrá y deberá volver a ejecutar\n\r"
                               "la Importación, para poder corregir la incidencia"));
            EXPECT_FALSE(QFileInfo::exists(ImportarRun::resultPath(school.document)));
        }
    }
}

// A character XML does not allow, in a value the document would carry, refuses the run before
// anything is written, naming the table, the row by its code, and the field. A value the
// document never carries (a key, a row no entry uses, an unplaced row, a teacher not in PROFT)
// is listed in the report instead, and the run goes on.
TEST(ImportarRun, RefusesAValueXmlCannotHoldOnlyWhereItIsWritten)
{
    const struct {
        const char* name;
        const char* table;
        const char* field;
        QString value;
        const char* place;
        const char* character; // empty: a character XML allows
        bool written;
    } cases[] = {
        {"a teacher's code, a key", "PROFT", "ABREV", QStringLiteral("GL\x07"),
         "la tabla PROFT, fila 1 (ABREV «GL\uFFFD»)", "U+0007", false},
        {"X_EMPLEADO", "PROFT", "X_EMPLEADO", QStringLiteral("42\x01"),
         "la tabla PROFT, fila 1 (ABREV «GLA»)", "U+0001", true},
        {"F_TOMAPOS", "PROFT", "F_TOMAPOS", QStringLiteral("01/09\x1F"),
         "la tabla PROFT, fila 1 (ABREV «GLA»)", "U+001F", true},
        {"a row of a teacher not in PROFT", "SOLUC", "PROF", QStringLiteral("GLA\x0B"),
         "la tabla SOLUC, fila 1 (PROF «GLA\uFFFD»)", "U+000B", false},
        {"SOLUC's subject, a key", "SOLUC", "ASIG", QStringLiteral("MAT\x08"),
         "la tabla SOLUC, fila 1 (PROF «GLA»)", "U+0008", false},
        {"SOLUC's group, a key", "SOLUC", "CODGRUPO",
         QStringLiteral("\x1B"
                        "1ESOA"),
         "la tabla SOLUC, fila 1 (PROF «GLA»)", "U+001B", false},
        {"the task", "SOLUC", "TAREA", QStringLiteral("T\x0C"),
         "la tabla SOLUC, fila 1 (PROF «GLA»)", "U+000C", true},
        {"the room", "SOLUC", "AULA", QStringLiteral("A1\x07"),
         "la tabla SOLUC, fila 1 (PROF «GLA»)", "U+0007", true},
        {"the room with a zero", "SOLUC", "AULA", QString::fromUtf8("A\0B", 3),
         "la tabla SOLUC, fila 1 (PROF «GLA»)", "U+0000", true},
        {"the room of an unplaced row", "SOLUC", "AULA", QStringLiteral("A2\x07"),
         "la tabla SOLUC, fila 2 (PROF «GLA»)", "U+0007", false},
        {"the slot code", "DIASHORAST", "CODDIHO",
         QStringLiteral("10\x10"
                        "01"),
         "la tabla DIASHORAST, fila 1 (DIHO «11»)", "U+0010", true},
        {"a slot no entry uses", "DIASHORAST", "CODDIHO", QStringLiteral("20\x10"),
         "la tabla DIASHORAST, fila 2 (DIHO «12»)", "U+0010", false},
        {"the unit", "GRUPOST", "CLAVE", QStringLiteral("U\x02"),
         "la tabla GRUPOST, fila 1 (ABREV «1ESOA»)", "U+0002", true},
        {"the subject of a class assignment", "ASIGT", "CLAVE", QStringLiteral("S\x03"),
         "la tabla ASIGT, fila 1 (CASIG «MAT»)", "U+0003", true},
        {"a class assignment no entry uses", "ASIGT", "CLAVE", QStringLiteral("S\x04"),
         "la tabla ASIGT, fila 2 (CASIG «LEN»)", "U+0004", false},
        {"the period", "PERIODOS", "FECINI", QStringLiteral("15/09\x05"),
         "la tabla PERIODOS, fila 1", "U+0005", true},
        {"U+007F", "PERIODOS", "FECINI", QStringLiteral("15/09\x7F"), "", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        School school;
        school.periods();
        school.teacher("GLA", "42");
        school.slot("11", "1", "1001", "08:30", "09:25");
        school.slot("12", "1", "1002", "09:30", "10:25");
        school.add(QStringLiteral("GRUPOST"),
                   {{QStringLiteral("ABREV"), QStringLiteral("1ESOA")},
                    {QStringLiteral("CLAVE"), QStringLiteral("U1")},
                    {QStringLiteral("CLAVECURSO"), QStringLiteral("4021")}});
        for (const char* casig : {"MAT", "LEN"})
            school.add(QStringLiteral("ASIGT"),
                       {{QStringLiteral("CASIG"), QString::fromLatin1(casig)},
                        {QStringLiteral("CGRUP"), QStringLiteral("1ESOA")},
                        {QStringLiteral("CLAVE"), QStringLiteral("S1")}});
        school.entry("GLA", 1, 1, "MAT", "1ESOA", "T", "A1");
        school.entry("GLA", 0, 0, "MAT", "1ESOA", "T", "A2");
        const bool secondRow = QByteArray(c.place).contains("fila 2");
        school.change(QString::fromLatin1(c.table), QString::fromLatin1(c.field), c.value,
                      secondRow ? 1 : 0);
        const QMap<QString, QByteArray> tables = snapshot(school.folder);
        NoQuestions none;
        ImportarRun run(school.folder, none);
        const ImportarRun::Result result =
            run.run(school.document, QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7)));
        EXPECT_EQ(snapshot(school.folder), tables);
        if (!*c.character) {
            EXPECT_EQ(result.outcome, ImportarRun::Outcome::Saved);
            EXPECT_TRUE(run.report().unwrittenValues().isEmpty());
            continue;
        }
        const QString said = QStringLiteral("En %1, el campo %2 tiene un carácter que XML "
                                            "no admite (%3): «%4».")
                                 .arg(QString::fromUtf8(c.place), QString::fromLatin1(c.field),
                                      QString::fromLatin1(c.character), texts::printable(c.value));
        if (c.written) {
            EXPECT_EQ(result.outcome, ImportarRun::Outcome::Failed);
            EXPECT_EQ(result.message,
                      said + QStringLiteral("\nEl documento para Yedra no se ha escrito. Corrija "
                                            "el valor en Oranel y vuelva a empezar."));
            EXPECT_FALSE(QFileInfo::exists(ImportarRun::resultPath(school.document)));
            continue;
        }
        // Carried: the document is written, and the report says the value, in its text and its
        // JSON.
        ASSERT_EQ(result.outcome, ImportarRun::Outcome::Saved) << result.message;
        const QString line = said + QStringLiteral(" El documento para Yedra no lo lleva.");
        EXPECT_EQ(run.report().unwrittenValues(), QStringList{line});
        EXPECT_NE(run.report().text().indexOf(QStringLiteral("  ") + line), -1);
        EXPECT_EQ(run.report().json()[QStringLiteral("valoresNoLlevados")].toArray(),
                  QJsonArray{line});
        EXPECT_FALSE(readWithPython(result.savedPath).isEmpty());
    }
}

// The fields read from SOLUC must be of a type that fits; a number that is not a whole 32-bit
// one is the conversion error, with the row and field it stands in.
TEST(ImportarRun, RefusesSolucFieldsThatDoNotFit)
{
    const QString other = QStringLiteral("HORA N(2,0); MARCO N(1,0); ASIG C(10); CODGRUPO C(10)");
    const struct {
        const char* name;
        QString fields;
        QJsonArray row;      // PROF, DIA, HORA, MARCO, ASIG, CODGRUPO, TAREA, AULA
        const char* message; // empty: the run is saved
    } cases[] = {
        {"as Oranel writes it",
         QStringLiteral("PROF C(10); DIA N(2,0); ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {"GLA", 1, 1, 0, "MAT", "", "", "A1"},
         ""},
        {"MARCO as text",
         QStringLiteral("PROF C(10); DIA N(2,0); HORA N(2,0); MARCO C(1); ASIG C(10); "
                        "CODGRUPO C(10); TAREA C(12); AULA C(10)"),
         {"GLA", 1, 1, "0", "MAT", "", "", "A1"},
         ""},
        {"DIA logical",
         QStringLiteral("PROF C(10); DIA L; ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {"GLA", true, 1, 0, "MAT", "", "", "A1"},
         "el campo DIA es de tipo lógico (L) y ha de ser numérico"},
        {"DIA a date",
         QStringLiteral("PROF C(10); DIA D; ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {"GLA", "2026-09-15", 1, 0, "MAT", "", "", "A1"},
         "el campo DIA es de tipo fecha (D) y ha de ser numérico"},
        {"AULA a memo",
         QStringLiteral("PROF C(10); DIA N(2,0); ") + other +
             QStringLiteral("; TAREA C(12); AULA M"),
         {"GLA", 1, 1, 0, "MAT", "", "", "A1"},
         "el campo AULA es de tipo memo (M) y ha de ser de texto (C)"},
        {"PROF a number",
         QStringLiteral("PROF N(10,0); DIA N(2,0); ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {7, 1, 1, 0, "MAT", "", "", "A1"},
         "el campo PROF es de tipo numérico (N) y ha de ser de texto (C)"},
        {"DIA a fraction",
         QStringLiteral("PROF C(10); DIA N(5,1); ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {"GLA", 1.5, 1, 0, "MAT", "", "", "A1"},
         "'1.5' is not a valid integer value\nEn la tabla SOLUC, fila 1 (PROF «GLA»), campo DIA."},
        // DIA and HORA may be texts that read as whole numbers.
        {"DIA and HORA as texts",
         QStringLiteral("PROF C(10); DIA C(2); HORA C(2); MARCO N(1,0); ASIG C(10); "
                        "CODGRUPO C(10); TAREA C(12); AULA C(10)"),
         {"GLA", "1", " 1", 0, "MAT", "", "", "A1"},
         ""},
        {"DIA as a text with a fraction",
         QStringLiteral("PROF C(10); DIA C(3); ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {"GLA", "1.5", 1, 0, "MAT", "", "", "A1"},
         "'1.5' is not a valid integer value\nEn la tabla SOLUC, fila 1 (PROF «GLA»), campo DIA."},
        {"DIA as a letter",
         QStringLiteral("PROF C(10); DIA C(2); ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {"GLA", "T", 1, 0, "MAT", "", "", "A1"},
         "'T' is not a valid integer value\nEn la tabla SOLUC, fila 1 (PROF «GLA»), campo DIA."},
        {"HORA as a text holding a date",
         QStringLiteral("PROF C(10); DIA N(2,0); HORA C(10); MARCO N(1,0); ASIG C(10); "
                        "CODGRUPO C(10); TAREA C(12); AULA C(10)"),
         {"GLA", 1, "15/09/2026", 0, "MAT", "", "", "A1"},
         "'15/09/2026' is not a valid integer value\nEn la tabla SOLUC, fila 1 (PROF «GLA»), "
         "campo HORA."},
        {"DIA of 17 digits",
         QStringLiteral("PROF C(10); DIA N(17,0); ") + other +
             QStringLiteral("; TAREA C(12); AULA C(10)"),
         {"GLA", 12345678901234567.0, 1, 0, "MAT", "", "", "A1"},
         "'12345678901234568' is not a valid integer value\nEn la tabla SOLUC, fila 1 (PROF "
         "«GLA»), campo DIA."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        School school;
        school.periods();
        school.teacher("GLA", "42");
        school.slot("11", "1", "1001", "08:30", "09:25");
        school.writeSoluc(c.fields, c.row);
        NoQuestions none;
        const ImportarRun::Result result = school.run(none);
        if (result.outcome == ImportarRun::Outcome::Failed) {
            EXPECT_NE(result.message.indexOf(QString::fromUtf8(c.message)), -1) << result.message;
            EXPECT_STRNE(c.message, "");
            EXPECT_FALSE(QFileInfo::exists(ImportarRun::resultPath(school.document)));
            continue;
        }
        EXPECT_STREQ(c.message, "");
        ASSERT_EQ(result.outcome, ImportarRun::Outcome::Saved);
        const QList<Teacher> teachers = teachersOf(readResult(result.savedPath));
        ASSERT_EQ(teachers.size(), 1);
        ASSERT_EQ(teachers[0].activities.size(), 1);
        EXPECT_EQ(teachers[0].activities[0].at(QStringLiteral("X_TRAMO")), QStringLiteral("1001"));
    }
}

// A clock text that is not a number: the conversion error, then the row and field it stands in.
TEST(ImportarRun, SaysWhereAClockTextIsNotANumber)
{
    const struct {
        const char* desde;
        const char* hasta;
        const char* message;
    } cases[] = {
        {"8h:00", "09:25",
         "'8h' is not a valid integer value\nEn la tabla DIASHORAST, fila 1 (DIHO «11»), campo "
         "HORADESDE."},
        {"08:30", "09:2x",
         "'2x' is not a valid integer value\nEn la tabla DIASHORAST, fila 1 (DIHO «11»), campo "
         "HORAHASTA."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.desde);
        School school;
        school.periods();
        school.teacher("GLA", "42");
        school.slot("11", "1", "1001", c.desde, c.hasta);
        school.entry("GLA", 1, 1, "MAT");
        NoQuestions none;
        const ImportarRun::Result result = school.run(none);
        EXPECT_EQ(result.outcome, ImportarRun::Outcome::Failed);
        EXPECT_EQ(result.message, c.message);
    }
}

// Without a moment given, fecha is the moment the root is built: during the run.
TEST(ImportarRun, DatesTheResultWhenItsRootIsBuilt)
{
    School school;
    school.periods();
    school.teacher("GLA", "42");
    NoQuestions none;
    const QDateTime before = QDateTime::currentDateTime();
    const ImportarRun::Result result = ImportarRun(school.folder, none).run(school.document);
    const QDateTime after = QDateTime::currentDateTime();
    ASSERT_EQ(result.outcome, ImportarRun::Outcome::Saved);
    const QString fecha = attribute(readResult(result.savedPath)[QStringLiteral("root")], "fecha");
    QStringList possible;
    for (QDateTime t = before.addSecs(-1); t <= after.addSecs(1); t = t.addSecs(1))
        possible << platform::regionalDateTime(t);
    EXPECT_TRUE(possible.contains(fecha)) << fecha;
}
