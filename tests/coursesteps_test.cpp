#include "components/text/texts.h"
#include "tests/stepfixture.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <gtest/gtest.h>

namespace {

// A level lookup table as the program ships it: key 1234 is ESO, 4571 Bachillerato.
QString writeLookup(const QString& folder)
{
    DbfTable lookup(folder, QStringLiteral("NIVELCAN"));
    lookup.create({{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Integer},
                   {QStringLiteral("NIVEL_ABREV"), FieldDef::Type::Text, 5},
                   {QStringLiteral("NIVEL"), FieldDef::Type::Text, 60}});
    lookup.open();
    const struct {
        int key;
        const char* abbreviation;
        const char* name;
    } rows[] = {{1234, "ESO", "Educación Secundaria Obligatoria"},
                {42, "ESO", "Educación Secundaria Obligatoria"},
                {1234, "OTRO", "fila repetida"},
                {4571, "BACH", "Bachillerato"},
                {77, "", "Sin abreviatura"}};
    for (const auto& r : rows) {
        lookup.append();
        lookup.setInteger(QStringLiteral("X_OFERTAMAT"), r.key);
        lookup.setText(QStringLiteral("NIVEL_ABREV"), QString::fromUtf8(r.abbreviation));
        lookup.setText(QStringLiteral("NIVEL"), QString::fromUtf8(r.name));
        lookup.post();
    }
    return lookup.path();
}

QStringList course(const char* key, const char* name)
{
    return {QString::fromUtf8(key), QString::fromUtf8(name)};
}

QStringList unit(const char* key, const char* name, const char* offer)
{
    return {QString::fromUtf8(key), QString::fromUtf8(name), QString::fromUtf8(offer)};
}

QStringList row(std::initializer_list<const char*> values)
{
    QStringList out;
    for (const char* v : values)
        out << QString::fromUtf8(v);
    return out;
}

} // namespace

TEST(CourseSteps, CoursesAndGroups)
{
    StepRun step;
    step.lookupTable = writeLookup(step.dir.path());
    const Records courses = {course("1234", "1º ESO"),           course("9999", "1º ESO"),
                             course(" 0042 ", "2º ESO"),         course("4571", "1º Bachillerato"),
                             course("77", "3º Diversificación"), {QStringLiteral("solo")}};
    Records units = {unit("U1", "1º ESO A", "1234"),
                     unit("U2", "1º ESO A", "1234"),
                     unit("U3", "Bachillerato Ciencias A", "4571"),
                     unit("U4", "ESO-A", "0042"),
                     unit("U5", "eso-a", "0042"),
                     unit("U6", "A", "no-existe"),
                     unit("U7", "", "1234")};
    step.run(yedraDocument({{QStringLiteral("CURSOS_DEL_CENTRO"), courses},
                            {QStringLiteral("UNIDADES"), units}}),
             [](ExportarRun& run) { run.TransformarCursosUnidades(); });

    // ABREV, TURNO, NIVEL, CURSO, CLAVE, ESTUD
    const QList<QStringList> cursost = {
        row({"E1", "", "ESO", "1", "1234", "1º ESO (Educación Secundaria Obligatoria)"}),
        row({"N1", "", "Niv", "1", "9999", "1º ESO"}),
        row({"E2", "", "ESO", "2", "0042", "2º ESO (Educación Secundaria Obligatoria)"}),
        row({"B1", "", "BACH", "1", "4571", "1º Bachillerato (Bachillerato)"}),
        row({"N3", "", "Niv", "3", "77", "3º Diversificación (Sin abreviatura)"}),
    };
    EXPECT_EQ(step.rows(layouts::cursost), cursost);

    // ABREV, TURNO, NIVEL, CURSO, GRUPO, CLAVE, CLAVECURSO, DESCRIP
    const QList<QStringList> grupost = {
        row({"1ºESOA", "", "ESO", "1", "A", "U1", "1234",
             "(1º ESO A) 1º ESO (Educación Secundaria Obligatoria)"}),
        row({"1ºESOA1", "", "ESO", "1", "A", "U2", "1234",
             "(1º ESO A) 1º ESO (Educación Secundaria Obligatoria)"}),
        row({"Bachillera", "", "BACH", "1", "A", "U3", "4571",
             "(Bachillerato Ciencias A) 1º Bachillerato (Bachillerato)"}),
        row({"ESO-A", "", "ESO", "2", "A", "U4", "0042",
             "(ESO-A) 2º ESO (Educación Secundaria Obligatoria)"}),
        row({"eso-a1", "", "ESO", "2", "a", "U5", "0042",
             "(eso-a) 2º ESO (Educación Secundaria Obligatoria)"}),
        row({"A", "", "", "", "A", "U6", "no-existe", "   A"}),
        row({"", "", "ESO", "1", "", "U7", "1234", "() 1º ESO (Educación Secundaria Obligatoria)"}),
    };
    EXPECT_EQ(step.rows(layouts::grupost), grupost);
}

// Twelve units whose names give one 10-character code: twelve distinct codes.
TEST(CourseSteps, GroupCodesNeverCoincide)
{
    StepRun step;
    step.lookupTable = writeLookup(step.dir.path());
    step.run(yedraDocument(
                 {{QStringLiteral("UNIDADES"), Records(12, unit("U", "Laboratorio A", "1234"))}}),
             [](ExportarRun& run) { run.TransformarCursosUnidades(); });
    QStringList codes;
    for (const QStringList& r : step.rows(layouts::grupost))
        codes << r[0];
    EXPECT_EQ(codes.first(), QStringLiteral("Laboratori"));
    EXPECT_EQ(codes.mid(9), (QStringList{QStringLiteral("Laborator9"), QStringLiteral("Laborato10"),
                                         QStringLiteral("Laborato11")}));
    EXPECT_EQ(QSet<QString>(codes.begin(), codes.end()).size(), 12);
}

// The lookup table is a dBase file of other software: any code page its driver names, the key
// fields named by their first 10 characters (python3-dbf allows no more), numbers with
// decimals; one without a field is named.
TEST(CourseSteps, ReadsLookupTablesOfOtherSoftware)
{
    StepRun step;
    step.lookupTable = step.dir.filePath(QStringLiteral("nivelcan.dbf"));
    writeTableWithPython(
        step.lookupTable,
        QJsonObject{
            {QStringLiteral("codepage"), QStringLiteral("cp850")},
            {QStringLiteral("fields"),
             QStringLiteral("X_OFERTAMA N(8,2); NIVEL_ABRE C(5); NIVEL C(40); "
                            "OTRO C(3)")},
            {QStringLiteral("records"),
             QJsonArray{QJsonArray{1234.5, QStringLiteral("MAL"), QStringLiteral("no"),
                                   QStringLiteral("x")},
                        QJsonArray{1234, QStringLiteral("ESO"),
                                   QStringLiteral("Enseñanza Secundaria"), QStringLiteral("y")}}}});
    step.run(yedraDocument({{QStringLiteral("CURSOS_DEL_CENTRO"), {course("1234", "1º ESO")}}}),
             [](ExportarRun& run) { run.TransformarCursosUnidades(); });
    EXPECT_EQ(
        step.rows(layouts::cursost),
        QList<QStringList>{row({"E1", "", "ESO", "1", "1234", "1º ESO (Enseñanza Secundaria)"})});

    StepRun missing;
    missing.lookupTable = missing.dir.filePath(QStringLiteral("NIVELCAN.DBF"));
    DbfTable(missing.lookupTable)
        .create({{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Integer},
                 {QStringLiteral("NIVEL"), FieldDef::Type::Text, 40}});
    try {
        missing.run(yedraDocument({}), [](ExportarRun& run) { run.TransformarCursosUnidades(); });
        ADD_FAILURE() << "a lookup table without NIVEL_ABREV must fail";
    } catch (const TableError& error) {
        EXPECT_NE(error.message().indexOf(QStringLiteral("NIVEL_ABREV")), -1) << error.message();
    }
}

TEST(CourseSteps, ACourseKeyThatIsNotAnIntegerEndsTheRun)
{
    StepRun step;
    step.lookupTable = writeLookup(step.dir.path());
    try {
        step.run(yedraDocument({{QStringLiteral("CURSOS_DEL_CENTRO"), {course("12a", "1º ESO")}}}),
                 [](ExportarRun& run) { run.TransformarCursosUnidades(); });
        ADD_FAILURE() << "accepted";
    } catch (const ConversionError& error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral("'12a' is not a valid integer value\n"
                                 "En el grupo CURSOS_DEL_CENTRO, registro 1, dato 0."));
    }
}

// The hours and the lesson pattern, and the subject found by its name.
TEST(CourseSteps, Assignments)
{
    StepRun step;
    step.lookupTable = writeLookup(step.dir.path());
    const QString name90 = QStringLiteral("Proyecto ") + QString(81, QLatin1Char('x'));
    auto subject = [](const char* offer, const char* key, const QString& name, const char* code,
                      const char* minutes) {
        return QStringList{QString::fromUtf8(offer), QString::fromUtf8(key), name,
                           QString::fromUtf8(code), QString::fromUtf8(minutes)};
    };
    const Records materias = {
        subject("1234", "S1", QStringLiteral("Lengua"), "LEN", ""),
        subject("1234", "S2", QStringLiteral("LENGUA"), "LEN", "90"),
        subject("1234", "S3", QStringLiteral("Matemáticas"), "MAT", "61"),
        subject("1234", "S4", QStringLiteral("MATEMÁTICAS"), "MAT2", "60"),
        subject("4571", "S5", QStringLiteral("Física"), "FIS", "0"),
        subject("4571", "S6", QStringLiteral("Química"), "QUI", "-5"),
        subject("4571", "S7", QStringLiteral("Biología"), "BIO", "780"),
        subject("4571", "S8", QStringLiteral("Dibujo"), "DIB", "840"),
        subject("4571", "S9", QStringLiteral("Historia"), "HIS", "900"),
        subject("4571", "S10", QStringLiteral("Filosofía"), "FIL", "1500"),
        subject("4571", "S11", name90, "PRO", "120"),
        // Bad minutes where no row is produced: no group of the course, or no subject row.
        subject("9999", "S12", QStringLiteral("Latín"), "LAT", "muchos"),
    };
    const Records units = {unit("U1", "1º ESO A", "1234"), unit("U2", "1º ESO B", "1234"),
                           unit("U3", "1º BACH A", "4571")};
    step.run(yedraDocument({{QStringLiteral("MATERIAS"), materias},
                            {QStringLiteral("ACTIVIDADES"), {row({"1", "513", "Docencia"})}},
                            {QStringLiteral("CURSOS_DEL_CENTRO"),
                             {course("1234", "1º ESO"), course("4571", "1º Bachillerato")}},
                            {QStringLiteral("UNIDADES"), units}}),
             [](ExportarRun& run) {
                 run.TransformarMaterias();
                 run.TransformarActividades();
                 run.TransformarCursosUnidades();
                 run.TransformarAsignaciones();
             });

    // CASIG, CGRUP, HORAS, SESIONES, CLAVE, CLAVECURSO for each row; the fixed fields apart.
    QList<QStringList> got;
    for (const QStringList& r : step.rows(layouts::asigt)) {
        got << QStringList{r[0], r[2], r[8], r[9], r[11], r[12]};
        EXPECT_EQ(r[1], QString());              // CPROF
        EXPECT_EQ(r[3], QString());              // CAULA
        EXPECT_EQ(r[13], QStringLiteral("513")); // CTAREA
        EXPECT_EQ(r[10], QString());             // NCONEX
    }
    const QString thirteen(13, QLatin1Char('1'));
    const QList<QStringList> expected = {
        {"LEN", "1ºESOA", "4", "1111", "S1", "1234"},
        {"LEN", "1ºESOB", "4", "1111", "S1", "1234"},
        {"LEN", "1ºESOA", "2", "11", "S2", "1234"}, // 'LENGUA' finds the first 'Lengua'
        {"LEN", "1ºESOB", "2", "11", "S2", "1234"},
        {"MAT", "1ºESOA", "2", "11", "S3", "1234"},
        {"MAT", "1ºESOB", "2", "11", "S3", "1234"},
        {"MAT2", "1ºESOA", "1", "1", "S4", "1234"}, // 'á' is not upper-cased
        {"MAT2", "1ºESOB", "1", "1", "S4", "1234"},
        {"FIS", "1ºBACHA", "1", "1", "S5", "4571"},
        {"QUI", "1ºBACHA", "1", "1", "S6", "4571"},
        {"BIO", "1ºBACHA", "13", thirteen, "S7", "4571"},
        {"DIB", "1ºBACHA", "14", "1" + thirteen, "S8", "4571"},
        {"HIS", "1ºBACHA", "15", "2" + thirteen, "S9", "4571"},
        {"FIL", "1ºBACHA", "25", "12" + thirteen, "S10", "4571"},
        {"PRO", "1ºBACHA", "2", "11", "S11", "4571"},
    };
    ASSERT_EQ(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i], expected[i]) << i;
}

// Names and keys are found as the tables store them: a subject whose name Windows 1252 cannot
// hold ('Łacina', stored 'Lacina') gets its class assignments, and is the subject whose stored
// name it shares, in whichever letters and letter case; so is a course offer key over the width.
TEST(CourseSteps, SubjectsAreFoundAsTheTablesStoreThem)
{
    auto subject = [](const char* offer, const char* key, const char* name, const char* code,
                      const char* minutes) {
        return QStringList{QString::fromUtf8(offer), QString::fromUtf8(key),
                           QString::fromUtf8(name), QString::fromUtf8(code),
                           QString::fromUtf8(minutes)};
    };
    const struct {
        const char* name;
        Records materias;
        Records units;
        QList<QStringList> asignomt;  // COD, CODLARGO, NOMBRE of the subject rows
        QList<QStringList> asignomt2; // COD, MATERIA, OFERTAMATRI
        QList<QStringList> asigt;     // CASIG, CGRUP, HORAS, CLAVE, CLAVECURSO
    } cases[] = {
        {"Łacina",
         {subject("4021", "310001", "Łacina", "LAT", "120")},
         {unit("U1", "1º ESO A", "4021")},
         {{"LAT", "LAT", "Lacina"}},
         {{"LAT", "310001", "4021"}},
         {{"LAT", "1ºESOA", "2", "310001", "4021"}}},
        {"one subject in two spellings",
         {subject("4021", "310001", "Łacina", "LAT", "120"),
          subject("4022", "310002", "Lacina", "LAT", "60"),
          subject("4022", "310003", "ŁĂCINĂ", "LAT", "60")},
         {unit("U1", "1º ESO A", "4021"), unit("U2", "2º ESO A", "4022")},
         {{"LAT", "LAT", "Lacina"}, {"LAT1", "LAT", "LACINA"}},
         {{"LAT", "310001", "4021"}, {"LAT", "310002", "4022"}, {"LAT1", "310003", "4022"}},
         {{"LAT", "1ºESOA", "2", "310001", "4021"},
          {"LAT", "2ºESOA", "1", "310002", "4022"},
          {"LAT", "2ºESOA", "1", "310003", "4022"}}},
        {"a subject without code, its long code out of the code page",
         {subject("4021", "310001", "Ștefan cel Mare", "", "60"),
          subject("4022", "310002", "Stefan cel Mare", "", "60")},
         {unit("U1", "1º ESO A", "4021"), unit("U2", "2º ESO A", "4022")},
         {{"Stefan cel", "Stefan cel", "Stefan cel Mare"}},
         {{"Stefan cel", "310001", "4021"}, {"Stefan cel", "310002", "4022"}},
         {{"Stefan cel", "1ºESOA", "1", "310001", "4021"},
          {"Stefan cel", "2ºESOA", "1", "310002", "4022"}}},
        {"a course offer key over the width of CLAVECURSO",
         {subject("00000004021", "310001", "Latín", "LAT", "60")},
         {unit("U1", "1º ESO A", "00000004021")},
         {{"LAT", "LAT", "Latín"}},
         {{"LAT", "310001", "00000004021"}},
         {{"LAT", "1ºESOA", "1", "310001", "0000000402"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StepRun step;
        step.lookupTable = writeLookup(step.dir.path());
        Records courses;
        for (const QStringList& u : c.units)
            courses << QStringList{u[2], u[1].left(6)};
        QStringList notes;
        step.run(yedraDocument({{QStringLiteral("MATERIAS"), c.materias},
                                {QStringLiteral("ACTIVIDADES"), {row({"1", "513", "Docencia"})}},
                                {QStringLiteral("CURSOS_DEL_CENTRO"), courses},
                                {QStringLiteral("UNIDADES"), c.units}}),
                 [&notes](ExportarRun& run) {
                     run.TransformarMaterias();
                     run.TransformarActividades();
                     run.TransformarCursosUnidades();
                     run.TransformarAsignaciones();
                     for (const RunReport::Record& r : run.report().records())
                         notes << r.table + QStringLiteral(": ") + r.reason;
                 });
        QList<QStringList> asignomt;
        for (const QStringList& r : step.rows(layouts::asignomt))
            if (r[4] != QStringLiteral("T"))
                asignomt << QStringList{r[0], r[1], r[2]};
        QList<QStringList> asignomt2;
        for (const QStringList& r : step.rows(layouts::asignomt2))
            asignomt2 << QStringList{r[0], r[3], r[4]};
        QList<QStringList> asigt;
        for (const QStringList& r : step.rows(layouts::asigt))
            asigt << QStringList{r[0], r[2], r[8], r[11], r[12]};
        EXPECT_EQ(asignomt, c.asignomt);
        EXPECT_EQ(asignomt2, c.asignomt2);
        EXPECT_EQ(asigt, c.asigt);
        EXPECT_TRUE(notes.filter(QStringLiteral("ASIGT")).isEmpty()) << notes.join(u'\n');
    }
}

TEST(CourseSteps, BadMinutesEndTheRunOnlyWhenARowWouldBeProduced)
{
    StepRun step;
    step.lookupTable = writeLookup(step.dir.path());
    const QByteArray document =
        yedraDocument({{QStringLiteral("MATERIAS"),
                        {{QStringLiteral("1234"), QStringLiteral("S1"), QStringLiteral("Lengua"),
                          QStringLiteral("LEN"), QStringLiteral("4h")}}},
                       {QStringLiteral("UNIDADES"), {unit("U1", "1º ESO A", "1234")}}});
    try {
        step.run(document, [](ExportarRun& run) {
            run.TransformarMaterias();
            run.TransformarActividades();
            run.TransformarCursosUnidades();
            run.TransformarAsignaciones();
        });
        ADD_FAILURE() << "accepted";
    } catch (const ConversionError& error) {
        EXPECT_EQ(
            error.message(),
            QStringLiteral(
                "'4h' is not a valid integer value\nEn el grupo MATERIAS, registro 1, dato 4."));
    }
    EXPECT_TRUE(QDir(step.folder).entryList(QDir::Files).isEmpty()); // nothing committed
}

// The lookup table's fields must be of a type that fits: the key a number, the levels texts.
TEST(CourseSteps, RefusesALookupTableWhoseFieldsDoNotFit)
{
    const struct {
        QList<FieldDef> fields;
        const char* refusal;
    } cases[] = {
        {{{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Text, 10},
          {QStringLiteral("NIVEL_ABREV"), FieldDef::Type::Text, 5},
          {QStringLiteral("NIVEL"), FieldDef::Type::Text, 40}},
         "el campo X_OFERTAMATRIG es de tipo texto (C) y ha de ser numérico"},
        {{{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Integer},
          {QStringLiteral("NIVEL_ABREV"), FieldDef::Type::Integer},
          {QStringLiteral("NIVEL"), FieldDef::Type::Text, 40}},
         "el campo NIVEL_ABREV es de tipo numérico (N) y ha de ser de texto (C)"},
        {{{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Float},
          {QStringLiteral("NIVEL_ABREV"), FieldDef::Type::Text, 5},
          {QStringLiteral("NIVEL"), FieldDef::Type::Boolean}},
         "el campo NIVEL es de tipo lógico (L) y ha de ser de texto (C)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusal);
        StepRun step;
        step.lookupTable = step.dir.filePath(QStringLiteral("NIVELCAN.DBF"));
        DbfTable(step.lookupTable).create(c.fields);
        try {
            step.run(yedraDocument({}), [](ExportarRun& run) { run.TransformarCursosUnidades(); });
            ADD_FAILURE() << "accepted";
        } catch (const TableError& error) {
            EXPECT_NE(error.message().indexOf(QString::fromUtf8(c.refusal)), -1) << error.message();
            EXPECT_NE(error.message().indexOf(QStringLiteral("NIVELCAN.DBF")), -1);
        }
    }
}
