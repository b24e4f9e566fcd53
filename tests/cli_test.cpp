#include "cli/cliinteraction.h"
#include "cli/clitool.h"
#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/timetablefolder/tablelayouts.h"
#include "components/xml/xmldocument.h"
#include "tests/clisupport.h"
#include "tests/testsupport.h"
#include "to_yedra/importarrun.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

using Outcome = CliOutcome;

Outcome run(const QStringList& arguments, const QString& executableFolder = QString())
{
    return runCli(arguments, executableFolder);
}

const QByteArray twoFrames =
    "<SERVICIO><BLOQUE_DATOS><grupo_datos seq=\"JORNADAS_ESCOLARES\">"
    "<grupo_datos><dato> A1 "
    "</dato><dato>Mañana</dato><dato>01/09/2026</dato><dato>30/06/2027</dato></grupo_datos>"
    "<grupo_datos><dato>B22</dato><dato>Tarde</dato><dato>01/09/2026</dato><dato>30/06/2027</"
    "dato></grupo_datos>"
    "<grupo_datos><dato>A1</dato><dato>Otra</dato><dato>01/06/2027</dato><dato>30/06/2027</dato></"
    "grupo_datos>"
    "<grupo_datos><dato>C333333333333</dato><dato>Larga</dato><dato>x</dato><dato>y</dato></"
    "grupo_datos>"
    "</grupo_datos></BLOQUE_DATOS></SERVICIO>";

} // namespace

TEST(Cli, RefusesBadUsageWithItsUsageText)
{
    const QString doc = QStringLiteral("horario.xml");
    const QString folder = QStringLiteral("--timetable-folder");
    const struct {
        QStringList arguments;
        const char* reason;
    } cases[] = {
        {{}, "falta la orden"},
        {{QStringLiteral("convertir"), doc}, "orden desconocida: convertir"},
        {{QStringLiteral("EXPORTAR"), doc, folder, QStringLiteral("/t")}, "orden desconocida"},
        {{QStringLiteral("exportar"), folder, QStringLiteral("/t")}, "falta el DOCUMENTO"},
        {{QStringLiteral("exportar"), doc, doc, folder, QStringLiteral("/t")},
         "sobra el argumento"},
        {{QStringLiteral("exportar"), doc, folder}, "falta el valor de --timetable-folder"},
        {{QStringLiteral("exportar"), doc, QStringLiteral("--carpeta=/t")}, "opción desconocida"},
        {{QStringLiteral("importar"), doc, folder, QStringLiteral("/t"), QStringLiteral("--frames"),
          QStringLiteral("A1")},
         "la orden importar no admite --frames"},
        {{QStringLiteral("importar"), doc, QStringLiteral("--dry-run")},
         "la orden importar no admite --dry-run"},
        {{QStringLiteral("importar"), doc, QStringLiteral("--lookup=x")},
         "la orden importar no admite --lookup"},
        {{QStringLiteral("exportar"), doc, QStringLiteral("--dry-run=sí")},
         "la opción --dry-run no lleva valor"},
        {{QStringLiteral("exportar"), doc, QStringLiteral("--timetable-folder=")},
         "falta el valor de --timetable-folder"},
        {{QStringLiteral("exportar"), doc, folder, QStringLiteral("/t"), folder,
          QStringLiteral("/u")},
         "aparece dos veces"},
        {{QStringLiteral("--version"), QStringLiteral("exportar")}, "orden desconocida"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')));
        const Outcome outcome = run(c.arguments);
        EXPECT_EQ(outcome.code, 2);
        EXPECT_NE(outcome.err.indexOf(QString::fromUtf8(c.reason)), -1) << outcome.err;
        EXPECT_NE(outcome.err.indexOf(QStringLiteral("Uso:")), -1);
        EXPECT_TRUE(outcome.out.isEmpty());
    }

    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(
        help.out.indexOf(QStringLiteral("quelvana-cli exportar DOCUMENTO [--timetable-folder")),
        -1);
    // Help anywhere on the line, for the command it names.
    const struct {
        QStringList arguments;
        const char* starts;
    } helps[] = {
        {{QStringLiteral("-h")}, "quelvana-cli: las conversiones"},
        {{QStringLiteral("--version"), QStringLiteral("--help")}, "quelvana-cli: las conversiones"},
        {{QStringLiteral("exportar"), QStringLiteral("--help")}, "Uso: quelvana-cli exportar"},
        {{QStringLiteral("exportar"), doc, QStringLiteral("--frames"), QStringLiteral("-h")},
         "Uso: quelvana-cli exportar"},
        {{QStringLiteral("importar"), QStringLiteral("-h")}, "Uso: quelvana-cli importar"},
    };
    for (const auto& h : helps) {
        SCOPED_TRACE(h.arguments.join(QLatin1Char(' ')));
        const Outcome outcome = run(h.arguments);
        EXPECT_EQ(outcome.code, 0);
        EXPECT_TRUE(outcome.out.startsWith(QString::fromUtf8(h.starts))) << outcome.out;
        EXPECT_TRUE(outcome.err.isEmpty());
    }
    const Outcome version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("quelvana-cli ")));
}

// A run that cannot go on ends with 1 and the reason, and the timetable folder as it was.
TEST(Cli, ReportsARunThatFails)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    writeFile(QDir(folder).filePath(QStringLiteral("PROFT.DBF")), "de Oranel");
    const QString lookup = dir.filePath(QStringLiteral("NIVELCAN.DBF"));
    DbfTable(lookup).create({{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Integer}});
    const QString bad = dir.filePath(QStringLiteral("malo.xml"));
    writeFile(bad, "<SERVICIO>");
    const QString good = dir.filePath(QStringLiteral("bueno.xml"));
    writeFile(good, twoFrames);
    const QMap<QString, QByteArray> before = snapshot(folder);

    const QString f = QStringLiteral("--timetable-folder");
    const struct {
        QStringList arguments;
        const char* reason;
    } cases[] = {
        {{QStringLiteral("exportar"), dir.filePath(QStringLiteral("no.xml")), f, folder},
         "No existe archivo"},
        {{QStringLiteral("exportar"), good, f, folder}, "NIVELCAN.DBF No encontrado"},
        {{QStringLiteral("exportar"), bad, f, folder, QStringLiteral("--lookup"), lookup},
         "El archivo XML no es válido"},
        {{QStringLiteral("exportar"), good, f, dir.filePath(QStringLiteral("nada")),
          QStringLiteral("--lookup"), lookup},
         "No existe la carpeta de horarios"},
        {{QStringLiteral("exportar"), good, f, good, QStringLiteral("--lookup"), lookup},
         "es un archivo, no una carpeta"},
        {{QStringLiteral("importar"), good, f, good}, "es un archivo, no una carpeta"},
        {{QStringLiteral("restaurar"), f, good}, "es un archivo, no una carpeta"},
        {{QStringLiteral("importar"), dir.filePath(QStringLiteral("no.xml")), f, folder},
         "No existe archivo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const Outcome outcome = run(c.arguments, dir.filePath(QStringLiteral("bin")));
        EXPECT_EQ(outcome.code, 1);
        EXPECT_NE(outcome.err.indexOf(QString::fromUtf8(c.reason)), -1) << outcome.err;
        EXPECT_EQ(snapshot(folder), before);
    }
}

// --frames builds the selection the time-frame dialog would build for the same entries.
TEST(Cli, ChoosesTheTimeFramesItIsTold)
{
    XmlDocument document;
    ASSERT_TRUE(document.loadXml(twoFrames));
    const struct {
        QStringList frames;
        const char* selection; // nullptr: refused
        const char* reason;
    } cases[] = {
        {{QStringLiteral("B22")}, "B22       ", nullptr},
        {{QStringLiteral("B22"), QStringLiteral(" A1")}, " A1       B22       A1        ", nullptr},
        {{QStringLiteral("C333333333333")}, "C333333333", nullptr},
        {{}, nullptr, "elija de 1 a 5 con --frames"},
        {{QStringLiteral("Z9")}, nullptr, "no tiene el Marco Horario Z9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames.join(QLatin1Char(',')));
        QString err;
        QTextStream errStream(&err);
        CliInteraction interaction(c.frames, errStream);
        if (c.selection) {
            const FrameChoice choice = interaction.chooseFrames(document);
            EXPECT_TRUE(choice.resultMH);
            EXPECT_EQ(choice.resultado, c.selection);
            EXPECT_EQ(choice.frameCount, 4);
        } else {
            try {
                interaction.chooseFrames(document);
                ADD_FAILURE() << "refused";
            } catch (const EngineError& error) {
                EXPECT_NE(error.message().indexOf(QString::fromUtf8(c.reason)), -1);
                // The message lists the document's time frames.
                EXPECT_NE(error.message().indexOf(QStringLiteral("B22 | Tarde")), -1);
            }
        }
    }
}

// Teacher data cannot be completed without the window: importar names the teachers and fails.
TEST(Cli, ImportarNamesTheTeachersWithoutTheirData)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    for (const TableLayout* layout : {&layouts::proft, &layouts::asigt, &layouts::asignomt,
                                      &layouts::asignomt2, &layouts::grupost, &layouts::cursost,
                                      &layouts::aulat, &layouts::diashorast, &layouts::periodos})
        DbfTable(folder, layout->name).create(layout->fields);
    DbfTable(folder, QStringLiteral("SOLUC"))
        .create({{QStringLiteral("PROF"), FieldDef::Type::Text, 10},
                 {QStringLiteral("DIA"), FieldDef::Type::Integer}});
    DbfTable proft(folder, QStringLiteral("PROFT"));
    proft.open();
    for (const char* abrev : {"GLA", "MJS", "PRN"}) {
        proft.append();
        proft.setText(QStringLiteral("ABREV"), QString::fromLatin1(abrev));
        proft.setText(QStringLiteral("NOMBRE"),
                      QStringLiteral("Nombre de ") + QString::fromLatin1(abrev));
        proft.setText(QStringLiteral("X_EMPLEADO"),
                      abrev[0] == 'M' ? QString() : QStringLiteral("12"));
        proft.setText(QStringLiteral("F_TOMAPOS"),
                      abrev[0] == 'P' ? QStringLiteral("  ") : QStringLiteral("01/09/2020"));
        proft.post();
    }
    proft.close();
    const QString document = dir.filePath(QStringLiteral("horario.xml"));
    writeFile(document, "<SERVICIO><BLOQUE_DATOS><g>2026</g></BLOQUE_DATOS></SERVICIO>");

    const Outcome outcome =
        run({QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder});
    EXPECT_EQ(outcome.code, 1);
    EXPECT_NE(outcome.err.indexOf(QStringLiteral("MJS (Nombre de MJS)")), -1) << outcome.err;
    EXPECT_NE(outcome.err.indexOf(QStringLiteral("PRN (Nombre de PRN)")), -1);
    EXPECT_EQ(outcome.err.indexOf(QStringLiteral("GLA")), -1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("ResultadoOranelhorario.xml"))));
}

// A trial run writes nothing in the timetable folder and says what it would write; a run on a
// folder another run holds is refused, and goes ahead once the other has ended.
TEST(Cli, TrialRunsAndRunsThatWaitForNoOne)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    writeFile(QDir(folder).filePath(QStringLiteral("PROFT.DBF")), "de Oranel");
    const QString document = dir.filePath(QStringLiteral("ies.xml"));
    writeFile(document, readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml")));
    const QMap<QString, QByteArray> before = snapshot(folder);
    const QStringList exportar = {QStringLiteral("exportar"),           document,
                                  QStringLiteral("--timetable-folder"), folder,
                                  QStringLiteral("--frames"),           QStringLiteral("1")};

    const Outcome trial =
        run(exportar + QStringList{QStringLiteral("--dry-run")}, QStringLiteral(QUELVANA_BIN_DIR));
    EXPECT_EQ(trial.code, 0) << trial.err;
    EXPECT_NE(trial.out.indexOf(QStringLiteral("no se ha tocado")), -1);
    EXPECT_NE(trial.out.indexOf(QStringLiteral("DIASHORAST: 49 filas")), -1) << trial.out;
    EXPECT_EQ(snapshot(folder), before);
    const Outcome noTrial =
        run({QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder,
             QStringLiteral("--dry-run")});
    EXPECT_EQ(noTrial.code, 2);
    EXPECT_NE(noTrial.err.indexOf(QStringLiteral("la orden importar no admite --dry-run")), -1);

    QProcess other;
    other.start(QStringLiteral("flock"),
                {QStringLiteral("--no-fork"), QStringLiteral("--exclusive"), folder,
                 QStringLiteral("sleep"), QStringLiteral("60")});
    ASSERT_TRUE(other.waitForStarted());
    for (int i = 0; i < 100 && platform::FolderLock(folder).acquired(); ++i)
        QThread::msleep(50);
    const Outcome refused = run(exportar, QStringLiteral(QUELVANA_BIN_DIR));
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.indexOf(QStringLiteral("Ya hay otra conversión en marcha")), -1)
        << refused.err;
    EXPECT_EQ(snapshot(folder).value(QStringLiteral("PROFT.DBF")), QByteArray("de Oranel"));
    const Outcome importar =
        run({QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder});
    EXPECT_NE(importar.err.indexOf(QStringLiteral("Ya hay otra conversión en marcha")), -1)
        << importar.err;
    other.kill();
    other.waitForFinished();

    const Outcome done = run(exportar, QStringLiteral(QUELVANA_BIN_DIR));
    EXPECT_EQ(done.code, 0) << done.err;
}

// The timetable folder: --timetable-folder, else QUELVANA_TIMETABLE_FOLDER, else the window's
// own default (drive_c/OTEMP in the Wine prefix here).
TEST(Cli, TheFolderComesFromTheOptionThenTheEnvironmentThenTheWindowsDefault)
{
    QTemporaryDir dir;
    const QString document = dir.filePath(QStringLiteral("ies.xml"));
    writeFile(document, readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml")));
    const QString given = dir.filePath(QStringLiteral("dada"));
    const QString fromEnvironment = dir.filePath(QStringLiteral("entorno"));
    const QString wineFolder = dir.filePath(QStringLiteral("wine/drive_c/OTEMP"));
    for (const QString& folder : {given, fromEnvironment, wineFolder})
        QDir().mkpath(folder);
    const QByteArray savedFolder = qgetenv("QUELVANA_TIMETABLE_FOLDER");
    const QByteArray savedPrefix = qgetenv("WINEPREFIX");
    qputenv("WINEPREFIX", QFile::encodeName(dir.filePath(QStringLiteral("wine"))));
    const QStringList exportar = {QStringLiteral("exportar"), document, QStringLiteral("--frames"),
                                  QStringLiteral("1")};
    const auto tablesIn = [](const QString& folder) {
        return QFileInfo::exists(QDir(folder).filePath(QStringLiteral("PROFT.DBF")));
    };

    qputenv("QUELVANA_TIMETABLE_FOLDER", QFile::encodeName(fromEnvironment));
    EXPECT_EQ(run(exportar + QStringList{QStringLiteral("--timetable-folder"), given},
                  QStringLiteral(QUELVANA_BIN_DIR))
                  .code,
              0);
    EXPECT_TRUE(tablesIn(given));
    EXPECT_FALSE(tablesIn(fromEnvironment));
    EXPECT_EQ(run(exportar, QStringLiteral(QUELVANA_BIN_DIR)).code, 0);
    EXPECT_TRUE(tablesIn(fromEnvironment));
    qunsetenv("QUELVANA_TIMETABLE_FOLDER");
    EXPECT_EQ(run(exportar, QStringLiteral(QUELVANA_BIN_DIR)).code, 0);
    EXPECT_TRUE(tablesIn(wineFolder));

    if (savedFolder.isNull())
        qunsetenv("QUELVANA_TIMETABLE_FOLDER");
    else
        qputenv("QUELVANA_TIMETABLE_FOLDER", savedFolder);
    if (savedPrefix.isNull())
        qunsetenv("WINEPREFIX");
    else
        qputenv("WINEPREFIX", savedPrefix);
}

// A name Windows 1252 cannot hold whole is stored in its best-fit form, and the run says so on
// the error stream; it still completes.
TEST(Cli, WarnsOfNamesStoredWithoutTheirLetters)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("OTEMP"));
    QDir().mkpath(folder);
    const QString document = dir.filePath(QStringLiteral("ies.xml"));
    QByteArray school = readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml"));
    const qsizetype surname = school.indexOf("Garc\xED"
                                             "a</dato>");
    ASSERT_GT(surname, 0);
    school.replace(surname, 6, "&#321;ukasiewicz");
    writeFile(document, school);

    const Outcome outcome =
        run({QStringLiteral("exportar"), document, QStringLiteral("--timetable-folder"), folder,
             QStringLiteral("--frames"), QStringLiteral("1")},
            QStringLiteral(QUELVANA_BIN_DIR));
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_EQ(outcome.err, QStringLiteral("Aviso: PROFT, fila 1, campo ABREV: «ŁLA» se guarda "
                                          "como «LLA».\n"
                                          "Aviso: PROFT, fila 1, campo NOMBRE: «Łukasiewicz López, "
                                          "Ana» se guarda como «Lukasiewicz López, Ana».\n"));
    DbfTable proft(folder, QStringLiteral("PROFT"));
    proft.open();
    EXPECT_EQ(proft.text(QStringLiteral("ABREV")), QStringLiteral("LLA"));
}

// Without SOLUC.DBF the table layer's message is followed by what to do about it; something
// else in its place (a folder) is said as it is, without that advice.
TEST(Cli, AMissingSolvedTimetableSaysToSolveItFirst)
{
    for (const bool folderInItsPlace : {false, true}) {
        SCOPED_TRACE(folderInItsPlace);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("OTEMP"));
        QDir().mkpath(folder);
        const QString document = dir.filePath(QStringLiteral("ies.xml"));
        writeFile(document, readFile(QStringLiteral(QUELVANA_EXAMPLES_DIR "/ies-ejemplo.xml")));
        ASSERT_EQ(run({QStringLiteral("exportar"), document, QStringLiteral("--timetable-folder"),
                       folder, QStringLiteral("--frames"), QStringLiteral("1")},
                      QStringLiteral(QUELVANA_BIN_DIR))
                      .code,
                  0);
        if (folderInItsPlace)
            QDir(folder).mkdir(QStringLiteral("SOLUC.DBF"));
        const Outcome outcome = run(
            {QStringLiteral("importar"), document, QStringLiteral("--timetable-folder"), folder});
        EXPECT_EQ(outcome.code, 1);
        const QStringList lines = outcome.err.trimmed().split(QLatin1Char('\n'));
        EXPECT_TRUE(lines.first().contains(QStringLiteral("SOLUC.DBF")));
        if (folderInItsPlace) {
            EXPECT_EQ(lines.size(), 1) << outcome.err.toStdString();
            EXPECT_TRUE(lines.first().contains(QStringLiteral("es una carpeta")))
                << outcome.err.toStdString();
            EXPECT_EQ(outcome.err.indexOf(ImportarRun::NoSolucAdvice), -1);
            continue;
        }
        ASSERT_EQ(lines.size(), 2) << outcome.err.toStdString();
        EXPECT_TRUE(lines.first().endsWith(QStringLiteral("no existe")));
        EXPECT_EQ(lines.last(), ImportarRun::NoSolucAdvice);
    }
}
