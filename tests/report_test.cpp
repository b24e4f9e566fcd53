// The report of each run and the check of a document, through quelvana-cli as a user runs it.

#include "clisupport.h"
#include "components/timetablefolder/backups.h"
#include "components/timetablefolder/ownnames.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString Frames = QStringLiteral("--frames");
const QString Folder = QStringLiteral("--timetable-folder");
const QString Json = QStringLiteral("--json");

QByteArray sampleDocument()
{
    return readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml"));
}

// `what` replaced by `with` where it first appears after `anchor`.
QByteArray replacedAfter(QByteArray document, const QByteArray& anchor, const QByteArray& what,
                         const QByteArray& with)
{
    const qsizetype from = document.indexOf(anchor);
    const qsizetype at = document.indexOf(what, from);
    if (from < 0 || at < 0)
        ADD_FAILURE() << "not in the sample: " << what.toStdString();
    else
        document.replace(at, what.size(), with);
    return document;
}

// The sample with the course offers of two units unknown (one the only unit of its offer, whose
// subjects then have no class) and two rooms of one code: records left out and a numbered code
// for the report to count.
QByteArray sampleWithGaps()
{
    QByteArray document = replacedAfter(sampleDocument(), "seq=\"UNIDADES\"",
                                        "X_OFERTAMATRIG\">4021<", "X_OFERTAMATRIG\">9999<");
    document = replacedAfter(document, "seq=\"UNIDADES\"", "X_OFERTAMATRIG\">4572<",
                             "X_OFERTAMATRIG\">9998<");
    return replacedAfter(document, "seq=\"DEPENDENCIAS\"", ">A102<", ">A101<");
}

// The independent reading of a JSON report: tests/tools/check_report.py, with Python's json
// module, python3-dbf and minidom. Empty when every count agrees.
QString independentCheck(const QStringList& arguments)
{
    int code = 0;
    QByteArray error;
    const QByteArray out = runProgram(
        QStringLiteral(QUELVANA_PYTHON),
        QStringList{QStringLiteral(QUELVANA_TEST_TOOLS_DIR "/check_report.py")} + arguments, &code,
        &error);
    return code == 0 ? QString() : QString::fromUtf8(out + error);
}

QJsonObject parsed(const QString& out)
{
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

} // namespace

// The counts of both reports of the sample school (and of the sample with gaps) agree with those
// worked out from the document and the tables by an independent reader; the saved reports are
// there, as text any editor reads.
TEST(RunReport, CountsAgreeWithAnIndependentReading)
{
    const struct {
        const char* name;
        QByteArray document;
    } cases[] = {{"sample", sampleDocument()}, {"sample with gaps", sampleWithGaps()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("OTEMP"));
        QDir().mkpath(folder);
        const QString document = dir.filePath(QStringLiteral("horario.xml"));
        writeFile(document, c.document);
        const QString lookup = QStringLiteral(QUELVANA_BIN_DIR "/NIVELCAN.DBF");
        const QString reportJson = dir.filePath(QStringLiteral("informe.json"));

        // The second run replaces the first one's tables: its report is in its backup too.
        for (int run = 1; run <= 2; ++run) {
            const CliOutcome exportar = runCli({QStringLiteral("exportar"), document, Folder,
                                                folder, Frames, QStringLiteral("1,2"), Json});
            ASSERT_EQ(exportar.code, 0) << exportar.err;
            writeFile(reportJson, exportar.out.toUtf8());
            EXPECT_EQ(independentCheck(
                          {QStringLiteral("exportar"), reportJson, document, folder, lookup}),
                      QString());
            EXPECT_EQ(parsed(exportar.out).value(QStringLiteral("copia")).isNull(), run == 1);
        }

        QFile::copy(QStringLiteral(QUELVANA_EXAMPLES_DIR "/SOLUC.DBF"),
                    QDir(folder).filePath(QStringLiteral("SOLUC.DBF")));
        const CliOutcome importar =
            runCli({QStringLiteral("importar"), document, Folder, folder, Json});
        ASSERT_EQ(importar.code, 0) << importar.err;
        writeFile(reportJson, importar.out.toUtf8());
        EXPECT_EQ(independentCheck({QStringLiteral("importar"), reportJson, document, folder}),
                  QString());

        // The text report, saved beside the result: UTF-8 with its mark, CR LF line ends.
        const QByteArray saved =
            readFile(dir.filePath(QStringLiteral("ResultadoOranelhorario.informe.txt")));
        EXPECT_TRUE(saved.startsWith("\xEF\xBB\xBFInforme de la importaci\xC3\xB3n"))
            << saved.toStdString();
        EXPECT_FALSE(saved.contains("\n\n")) << "a line not ended by CR LF";
        // The sample's own figures, as a user counted them.
        EXPECT_TRUE(saved.contains("Filas de SOLUC: 271; llevadas al documento: 152; no llevadas: "
                                   "119 (118 sin colocar, 1 de profesores que no est\xC3\xA1n en "
                                   "PROFT)."))
            << saved.toStdString();
        EXPECT_TRUE(saved.contains("fila 271 (PROF \xC2\xABNOEXISTE\xC2\xBB): el profesor no "
                                   "est\xC3\xA1 en PROFT"));
        const CliOutcome text = runCli({QStringLiteral("importar"), document, Folder, folder});
        EXPECT_TRUE(text.out.contains(QStringLiteral("Valores vacíos en las actividades escritas")))
            << text.out;
    }
}

// A document with one, two or many problems: the check lists every one with its place and
// writes nothing; exportar still stops at the first with its own message and leaves the
// timetable folder as it was.
TEST(DocumentCheck, ListsEveryProblemWhereExportarStopsAtTheFirst)
{
    const QByteArray courseKey =
        replacedAfter(sampleDocument(), "seq=\"CURSOS_DEL_CENTRO\"", ">4022<", ">4O22<");
    const QByteArray twoProblems =
        replacedAfter(courseKey, "seq=\"MATERIAS\"", "N_MINUTOS\">240<", "N_MINUTOS\">2h<");
    const QByteArray manyProblems =
        replacedAfter(replacedAfter(twoProblems, "seq=\"TRAMOS_HORARIOS\"", "N_HORINI\">495<",
                                    "N_HORINI\">8:15<"),
                      "seq=\"TRAMOS_HORARIOS\"", "N_HORFIN\">555<", "N_HORFIN\">x<");
    QByteArray cut = sampleDocument();
    cut.truncate(cut.indexOf("seq=\"UNIDADES\"") + 5);

    const QString course = QStringLiteral("'4O22' is not a valid integer value\nEn el grupo "
                                          "CURSOS_DEL_CENTRO, registro 2, dato 0");
    const QString minutes = QStringLiteral("'2h' is not a valid integer value\nEn el grupo "
                                           "MATERIAS, registro 1, dato 4");
    const QString start = QStringLiteral("'8:15' is not a valid integer value\nEn el grupo "
                                         "TRAMOS_HORARIOS, registro 1, dato 2");
    const QString end = QStringLiteral("'x' is not a valid integer value\nEn el grupo "
                                       "TRAMOS_HORARIOS, registro 1, dato 3");
    const struct {
        const char* name;
        QByteArray document;
        QStringList frames;
        QStringList problems; // each one's beginning, in order
        QString exportarError;
    } cases[] = {
        {"one", courseKey, {Frames, QStringLiteral("1,2")}, {course}, course},
        {"two", twoProblems, {Frames, QStringLiteral("1,2")}, {course, minutes}, course},
        {"many",
         manyProblems,
         {Frames, QStringLiteral("1,2")},
         {course, minutes, start, end},
         course},
        {"frames not chosen",
         manyProblems,
         {},
         {course, minutes, QStringLiteral("El documento tiene varios Marcos Horarios")},
         course},
        {"unreadable",
         cut,
         {Frames, QStringLiteral("1,2")},
         {QStringLiteral("El archivo XML no es válido: ")},
         QStringLiteral("El archivo XML no es válido: ")},
    };

    // A timetable folder with tables of an earlier run, to see that nothing is touched.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    const QString sample = dir.filePath(QStringLiteral("ies-ejemplo.xml"));
    writeFile(sample, sampleDocument());
    ASSERT_EQ(
        runCli({QStringLiteral("exportar"), sample, Folder, folder, Frames, QStringLiteral("1,2")})
            .code,
        0);
    const QMap<QString, QByteArray> before = snapshot(dir.path());

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString document = dir.filePath(QStringLiteral("malo.xml"));
        writeFile(document, c.document);
        const QMap<QString, QByteArray> withDocument = snapshot(dir.path());

        const CliOutcome check =
            runCli(QStringList{QStringLiteral("comprobar"), document, Json} + c.frames);
        EXPECT_EQ(check.code, 1) << check.out << check.err;
        const QJsonArray problems = parsed(check.out).value(QStringLiteral("problemas")).toArray();
        ASSERT_EQ(problems.size(), c.problems.size()) << check.out;
        for (qsizetype i = 0; i < problems.size(); ++i)
            EXPECT_TRUE(problems.at(i).toString().startsWith(c.problems.at(i)))
                << problems.at(i).toString();
        EXPECT_EQ(snapshot(dir.path()), withDocument) << "the check wrote something";
        // The text says the same, with what each value is for.
        const CliOutcome text =
            runCli(QStringList{QStringLiteral("comprobar"), document} + c.frames);
        EXPECT_EQ(text.code, 1);
        EXPECT_TRUE(text.out.contains(QStringLiteral("no se puede convertir"))) << text.out;

        const CliOutcome exportar =
            runCli(QStringList{QStringLiteral("exportar"), document, Folder, folder} + c.frames);
        EXPECT_EQ(exportar.code, 1);
        EXPECT_TRUE(exportar.err.startsWith(c.exportarError)) << exportar.err;
        // The other values follow, as the window lists them in its details (the time frames are
        // taken as the run would have taken them).
        for (qsizetype i = 1; i < c.problems.size(); ++i) {
            if (c.problems.at(i).contains(QStringLiteral("is not a valid integer value"))) {
                EXPECT_TRUE(exportar.err.contains(QStringLiteral("\n\n") + c.problems.at(i)))
                    << exportar.err;
            }
        }
        EXPECT_EQ(snapshot(dir.path()), withDocument) << "exportar changed the folder";
        QFile::remove(document);
        EXPECT_EQ(snapshot(dir.path()), before);
    }

    // Where the check says what a value is for, and the column of an unreadable document.
    writeFile(dir.filePath(QStringLiteral("malo.xml")), manyProblems);
    const CliOutcome text =
        runCli({QStringLiteral("comprobar"), dir.filePath(QStringLiteral("malo.xml")), Frames,
                QStringLiteral("1,2")});
    EXPECT_TRUE(text.out.contains(QStringLiteral("dato 4: los minutos semanales de la materia.")))
        << text.out;
    writeFile(dir.filePath(QStringLiteral("malo.xml")), cut);
    const CliOutcome unreadable =
        runCli({QStringLiteral("comprobar"), dir.filePath(QStringLiteral("malo.xml"))});
    EXPECT_TRUE(unreadable.out.contains(QStringLiteral(", columna "))) << unreadable.out;
}

// On documents that convert, the check ends with 0 and says exactly what the report of the same
// exportar says: the codes given, the records left out, the values stored otherwise.
TEST(DocumentCheck, SaysWhatTheRunReportSaysOnDocumentsThatConvert)
{
    QTemporaryDir dir;
    int code = 0;
    const QString generated = dir.filePath(QStringLiteral("centro-S.xml"));
    runProgram(QStringLiteral(QUELVANA_PYTHON),
               {QStringLiteral(QUELVANA_EXAMPLES_DIR "/../bench/generate_school.py"),
                QStringLiteral("S"), generated},
               &code);
    ASSERT_EQ(code, 0);
    QByteArray foreignNames = sampleDocument();
    foreignNames.replace(">Gil<", ">&#321;ukasiewicz<");
    const QString sampleFrames = QStringLiteral("1,2");
    const struct {
        const char* name;
        QByteArray document;
        QString frames;
    } cases[] = {{"sample", sampleDocument(), sampleFrames},
                 {"sample with gaps", sampleWithGaps(), sampleFrames},
                 {"names outside Windows 1252", foreignNames, sampleFrames},
                 {"generated school", readFile(generated), QStringLiteral("1,2,3,4,5")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString document = dir.filePath(QStringLiteral("horario.xml"));
        writeFile(document, c.document);
        const QString folder = dir.filePath(QStringLiteral("OTEMP"));
        QDir().mkpath(folder);
        const CliOutcome check =
            runCli({QStringLiteral("comprobar"), document, Frames, c.frames, Json});
        EXPECT_EQ(check.code, 0) << check.out << check.err;
        const CliOutcome exportar =
            runCli({QStringLiteral("exportar"), document, Folder, folder, Frames, c.frames, Json});
        ASSERT_EQ(exportar.code, 0) << exportar.err;
        const QJsonObject checked = parsed(check.out);
        const QJsonObject reported = parsed(exportar.out);
        EXPECT_TRUE(checked.value(QStringLiteral("problemas")).toArray().isEmpty());
        for (const char* list : {"codigos", "registros", "valoresCambiados", "tablas"})
            EXPECT_EQ(checked.value(QLatin1String(list)), reported.value(QLatin1String(list)))
                << list;
        QDir(folder).removeRecursively();
    }
}

// The report is saved beside the tables as the program's own file: a link in its place is
// replaced, never written through, and a report that cannot be saved is said without undoing
// the run.
TEST(RunReport, TheSavedReportNeverWritesThroughALinkNorUndoesTheRun)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    const QString document = dir.filePath(QStringLiteral("horario.xml"));
    writeFile(document, sampleDocument());
    const QString report = QDir(folder).filePath(ownnames::Report);
    const QString other = dir.filePath(QStringLiteral("ajeno.txt"));
    writeFile(other, "de otro");

    ASSERT_TRUE(QFile::link(other, report));
    CliOutcome exportar = runCli(
        {QStringLiteral("exportar"), document, Folder, folder, Frames, QStringLiteral("1,2")});
    ASSERT_EQ(exportar.code, 0) << exportar.err;
    EXPECT_EQ(readFile(other), QByteArray("de otro"));
    EXPECT_FALSE(QFileInfo(report).isSymLink());
    EXPECT_TRUE(readFile(report).contains("PROFT: 25 filas"));

    // A folder in its place: the tables are in place all the same, and the report says where it
    // could not be saved (it is in the backup).
    QFile::remove(report);
    QDir().mkpath(report);
    exportar = runCli(
        {QStringLiteral("exportar"), document, Folder, folder, Frames, QStringLiteral("1,2")});
    ASSERT_EQ(exportar.code, 0) << exportar.err;
    EXPECT_TRUE(exportar.out.contains(
        QStringLiteral("No se pudo guardar el informe «%1»").arg(QDir::toNativeSeparators(report))))
        << exportar.out;
    const QString backup = parsed(runCli({QStringLiteral("exportar"), document, Folder, folder,
                                          Frames, QStringLiteral("1,2"), Json})
                                      .out)
                               .value(QStringLiteral("copia"))
                               .toString();
    EXPECT_TRUE(QFileInfo(QDir(backup).filePath(ownnames::Report)).isFile()) << backup;

    // Old backups go with their reports: only the newest are kept.
    for (int run = 0; run < backups::Kept + 1; ++run)
        ASSERT_EQ(runCli({QStringLiteral("exportar"), document, Folder, folder, Frames,
                          QStringLiteral("1,2")})
                      .code,
                  0);
    EXPECT_EQ(QDir(QDir(folder).filePath(ownnames::BackupFolder))
                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                  .size(),
              backups::Kept);
}

// The preview: a dry run on a folder where a teacher's employee number was typed in Oranel (the
// document has none) names it as data the export would drop, and touches nothing.
TEST(RunReport, ThePreviewNamesDataTypedInOranelThatTheExportWouldDrop)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    const QString document = dir.filePath(QStringLiteral("horario.xml"));
    writeFile(document, replacedAfter(sampleDocument(), "seq=\"EMPLEADOS\"", "X_EMPLEADO\">204517<",
                                      "X_EMPLEADO\"><"));
    ASSERT_EQ(runCli({QStringLiteral("exportar"), document, Folder, folder, Frames,
                      QStringLiteral("1,2")})
                  .code,
              0);
    // Typed in Oranel, by another program's table layer.
    int code = 0;
    QByteArray error;
    runProgram(QStringLiteral(QUELVANA_PYTHON),
               {QStringLiteral("-c"),
                QStringLiteral("import dbf, sys\n"
                               "t = dbf.Table(sys.argv[1]); t.open(dbf.READ_WRITE)\n"
                               "for r in t:\n"
                               "    if r.abrev.strip() == 'GLA':\n"
                               "        with r: r.x_empleado = '204517'\n"
                               "t.close()\n"),
                QDir(folder).filePath(QStringLiteral("PROFT.DBF"))},
               &code, &error);
    ASSERT_EQ(code, 0) << error.toStdString();
    const QMap<QString, QByteArray> before = snapshot(dir.path());

    const CliOutcome preview = runCli({QStringLiteral("exportar"), document, Folder, folder, Frames,
                                       QStringLiteral("1,2"), QStringLiteral("--dry-run")});
    ASSERT_EQ(preview.code, 0) << preview.err;
    EXPECT_TRUE(preview.out.contains(
        QStringLiteral("PROFT, profesor «GLA», campo X_EMPLEADO: «204517» se perdería")))
        << preview.out;
    EXPECT_TRUE(
        preview.out.contains(QStringLiteral("PROFT: 0 filas nuevas, 0 quitadas, 1 cambiada")))
        << preview.out;
    EXPECT_EQ(snapshot(dir.path()), before);

    // The same comparison in the JSON, and in the real run's report.
    const QJsonObject json =
        parsed(runCli({QStringLiteral("exportar"), document, Folder, folder, Frames,
                       QStringLiteral("1,2"), QStringLiteral("--dry-run"), Json})
                   .out);
    EXPECT_TRUE(QJsonDocument(json.value(QStringLiteral("comparacion")).toObject())
                    .toJson()
                    .contains("204517"));
    const CliOutcome real = runCli(
        {QStringLiteral("exportar"), document, Folder, folder, Frames, QStringLiteral("1,2")});
    EXPECT_TRUE(real.out.contains(QStringLiteral("campo X_EMPLEADO: «204517» se perdería")))
        << real.out;
}
