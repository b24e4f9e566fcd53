#include "app/mainform.h"
#include "components/dbase/dbftable.h"
#include "components/timetablefolder/tablelayouts.h"
#include "tests/gui/guisupport.h"
#include "tests/gui/modalscript.h"
#include "tests/testsupport.h"
#include "widgets/helpviewer.h"
#include "widgets/helpwindow.h"
#include "widgets/textwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace {

const QByteArray validDocument =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<SERVICIO modulo=\"ORANEL\"><BLOQUE_DATOS>\n"
    "<grupo_datos seq=\"JORNADAS_ESCOLARES\"><grupo_datos><dato>M1</dato><dato>Ma\xF1"
    "ana</dato>"
    "<dato>01/09/2026</dato><dato>30/06/2027</dato></grupo_datos></grupo_datos>\n"
    "</BLOQUE_DATOS></SERVICIO>\n";

// The program's surroundings in a temporary folder: the executable's folder with the lookup
// table, the timetable folder with Oranel's tables, and a Yedra document.
struct Shell {
    QTemporaryDir dir;
    QString bin = dir.filePath(QStringLiteral("bin"));
    QString timetable = dir.filePath(QStringLiteral("OTEMP"));
    QString document = dir.filePath(QStringLiteral("datos/horario.xml"));

    explicit Shell(bool withLookup = true)
    {
        QDir().mkpath(bin);
        QDir().mkpath(timetable);
        QDir().mkpath(dir.filePath(QStringLiteral("datos")));
        writeFile(document, validDocument);
        writeFile(QDir(timetable).filePath(QStringLiteral("PROFT.DBF")), "tabla de Oranel");
        writeFile(QDir(timetable).filePath(QStringLiteral("SOLUC.DBF")), "horario resuelto");
        if (withLookup)
            installLookupTable();
    }
    void installLookupTable() const
    {
        DbfTable lookup(bin, QStringLiteral("NIVELCAN"));
        lookup.create({{QStringLiteral("X_OFERTAMAT"), FieldDef::Type::Integer},
                       {QStringLiteral("NIVEL_ABREV"), FieldDef::Type::Text, 5},
                       {QStringLiteral("NIVEL"), FieldDef::Type::Text, 60}});
    }
    ShellSetup setup(const QStringList& arguments) const
    {
        return ShellSetup{arguments, bin, timetable, {}};
    }
    QString ini() const { return QDir(bin).filePath(QStringLiteral("Oranel.ini")); }
    // The value of Transformado in Oranel.ini, or nothing when there is no file.
    std::optional<QString> status() const
    {
        if (!QFileInfo::exists(ini()))
            return std::nullopt;
        for (const QByteArray& line : readFile(ini()).split('\n')) {
            if (line.trimmed().startsWith("Transformado="))
                return QString::fromLatin1(line.trimmed().mid(13));
        }
        return QString();
    }
};

QPushButton* button(TMForm& form, const char* name)
{
    return form.findChild<QPushButton*>(QLatin1String(name));
}

} // namespace

// Which command lines start a run by themselves, and what Oranel.ini says at the end.
TEST(MainForm, TellsTheRunModesApart)
{
    struct Case {
        QStringList arguments;
        bool commandLine;
        bool dialogShown;
        const char* statusAtClose; // nullptr: no Oranel.ini written
    };
    const QString x = QStringLiteral("x");
    const Case cases[] = {
        {{}, false, false, nullptr},
        {{QStringLiteral("exportar")}, false, false, nullptr},
        {{QStringLiteral("exportar"), x, x}, false, false, nullptr},
        {{QStringLiteral("exportar "), x}, true, false, "0"},
        {{QStringLiteral("Exportar\t"), x}, true, false, "0"},
        {{QStringLiteral("EXPORTAR"), x}, true, true, "-1"},
        {{QStringLiteral("ImPoRtAr"), x}, true, true, "-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char('|')));
        Shell shell;
        ModalScript script;
        if (c.dialogShown)
            script.then(ModalScript::cancel()).then(script.acknowledge());
        TMForm form(shell.setup(c.arguments));
        EXPECT_EQ(form.runMode() == TMForm::RunMode::CommandLine, c.commandLine);
        form.FormShow();
        EXPECT_TRUE(script.done());
        EXPECT_EQ(script.unexpected, QStringList());
        if (c.dialogShown) {
            // A cancelled dialog with no earlier document: the run ends and so does the program.
            EXPECT_EQ(script.messages, QStringList{QStringLiteral("No existe archivo")});
            EXPECT_TRUE(form.hasClosed());
        } else {
            EXPECT_FALSE(form.hasClosed());
            form.show();
            form.close();
        }
        const std::optional<QString> status = shell.status();
        EXPECT_EQ(status.has_value(), c.statusAtClose != nullptr);
        if (status && c.statusAtClose) {
            EXPECT_EQ(*status, c.statusAtClose);
        }
    }
}

// A completed command-line run: "Proceso finalizado", then 1 in Oranel.ini and the end. While
// the run is going the key reads 0, and the file's other lines stay as they were.
TEST(MainForm, ACommandLineRunLeavesItsStatusInOranelIni)
{
    Shell shell;
    const QByteArray before = "; Oranel\r\n[Transformadores]\r\nTransformado=-1\r\n\r\n"
                              "[Otros]\r\nclave=valor\r\n";
    writeFile(shell.ini(), before);
    std::optional<QString> during;
    ModalScript script;
    script
        .then([&](QWidget* modal) {
            during = shell.status();
            ModalScript::chooseFile(shell.document)(modal);
        })
        .then(script.acknowledge());
    TMForm form(shell.setup({QStringLiteral("exportar"), QStringLiteral("cualquiera")}));
    form.FormShow();
    ASSERT_TRUE(script.done());
    EXPECT_EQ(during, QStringLiteral("0"));
    EXPECT_EQ(script.messages, QStringList{QStringLiteral("Proceso finalizado")});
    EXPECT_TRUE(form.hasClosed());
    EXPECT_EQ(form.resultStatus(), 1);
    EXPECT_EQ(readFile(shell.ini()),
              QByteArray(before).replace("Transformado=-1", "Transformado=1"));
}

TEST(MainForm, AnInteractiveRunDisablesBothButtons)
{
    Shell shell;
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
    TMForm form(shell.setup({}));
    form.show();
    QTest::mouseClick(button(form, "BExportar"), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.messages, QStringList{QStringLiteral("Proceso finalizado")});
    EXPECT_FALSE(button(form, "BExportar")->isEnabled());
    EXPECT_FALSE(button(form, "BImportar")->isEnabled());
    EXPECT_EQ(form.resultStatus(), 1);
    EXPECT_FALSE(form.hasClosed());
    form.close();
    EXPECT_FALSE(QFileInfo::exists(shell.ini())); // interactive mode writes no status
}

// A run that ends early: the window stays, the status and the buttons stay as they were; the
// document chosen stays chosen for the next run.
TEST(MainForm, AMissingLookupTableLeavesTheWindowOpen)
{
    Shell shell(false);
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
    TMForm form(shell.setup({QStringLiteral("exportar"), QStringLiteral("x")}));
    form.FormShow();
    EXPECT_EQ(script.messages, QStringList{QStringLiteral(
                                   "ATENCIÓN - NIVELCAN.DBF No encontrado - Reinstale QUELVANA")});
    EXPECT_FALSE(form.hasClosed());
    EXPECT_TRUE(button(form, "BExportar")->isEnabled());
    EXPECT_EQ(shell.status(), QStringLiteral("0"));

    // The lookup table installed, a cancelled dialog goes on with the document chosen before.
    shell.installLookupTable();
    script.then(ModalScript::cancel()).then(script.acknowledge());
    form.show();
    form.BExportarClick();
    EXPECT_EQ(script.messages.last(), QStringLiteral("Proceso finalizado"));
    EXPECT_TRUE(form.hasClosed()); // a completed command-line run closes the window
    EXPECT_EQ(shell.status(), QStringLiteral("1"));
}

// Documents that must not be converted are refused before anything in the timetable folder
// changes.
TEST(MainForm, RefusesDocumentsItCannotConvertWithoutTouchingTheTables)
{
    struct Case {
        const char* name;
        QByteArray document;
        QStringList messageParts;
    };
    const Case cases[] = {
        {"unparsable",
         "<SERVICIO><BLOQUE_DATOS>\n<grupo_datos>\n</SERVICIO>",
         {QStringLiteral("El archivo XML no es válido:"), QStringLiteral("(línea 3).")}},
        {"not XML at all", "Nombre;Apellidos\n", {QStringLiteral("El archivo XML no es válido:")}},
        {"no time frame",
         "<SERVICIO><BLOQUE_DATOS/></SERVICIO>",
         {QStringLiteral("El archivo XML no contiene ningún Marco Horario.")}},
        {"short records in two groups",
         "<SERVICIO><BLOQUE_DATOS>"
         "<grupo_datos seq=\"EMPLEADOS\"><grupo_datos><dato>1</dato><dato>01/09/2020</dato>"
         "<dato>Lengua</dato></grupo_datos></grupo_datos>"
         "<grupo_datos seq=\"JORNADAS_ESCOLARES\"><grupo_datos><dato>M1</dato></grupo_datos>"
         "</grupo_datos></BLOQUE_DATOS></SERVICIO>",
         {QStringLiteral("EMPLEADOS, registro 1: tiene 3 datos y necesita 7"),
          QStringLiteral("JORNADAS_ESCOLARES, registro 1: tiene 1 dato y necesita 4")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Shell shell;
        writeFile(shell.document, c.document);
        const QMap<QString, QByteArray> before = snapshot(shell.timetable);
        ModalScript script;
        script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
        TMForm form(shell.setup({QStringLiteral("exportar"), QStringLiteral("x")}));
        form.FormShow();
        ASSERT_EQ(script.messages.size(), 1);
        for (const QString& part : c.messageParts)
            EXPECT_NE(script.messages.first().indexOf(part), -1) << script.messages.first();
        EXPECT_EQ(snapshot(shell.timetable), before);
        EXPECT_FALSE(form.hasClosed());
        EXPECT_EQ(form.resultStatus(), 0);
        EXPECT_TRUE(button(form, "BExportar")->isEnabled());
    }
}

// An error of a component ends the run with its own message in the error box; the window
// stays open with the status and the buttons as they were.
TEST(MainForm, AComponentErrorKeepsTheWindowOpen)
{
    Shell shell;
    QDir(shell.timetable).removeRecursively();
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
    TMForm form(shell.setup({QStringLiteral("exportar"), QStringLiteral("x")}));
    form.FormShow();
    ASSERT_EQ(script.messages.size(), 1);
    EXPECT_NE(script.messages.first().indexOf(QStringLiteral("No existe la carpeta de horarios")),
              -1);
    EXPECT_FALSE(form.hasClosed());
    EXPECT_EQ(form.resultStatus(), 0);
    EXPECT_TRUE(button(form, "BExportar")->isEnabled());
    EXPECT_TRUE(button(form, "BImportar")->isEnabled());
}

// The commit's third move fails: the error names the file, the timetable folder stays byte for
// byte as it was, and the run ends with the window open and the status unchanged.
TEST(MainForm, ACommitThatFailsHalfwayLeavesTheFolderAsItWas)
{
    Shell shell;
    writeFile(QDir(shell.timetable).filePath(QStringLiteral("AULAT.DBF")), "aulas de Oranel");
    writeFile(QDir(shell.timetable).filePath(QStringLiteral("asignomt.dbf")), "materias de Oranel");
    writeFile(shell.document,
              QByteArray(validDocument)
                  .replace("<grupo_datos seq=\"JORNADAS_ESCOLARES\">",
                           "<grupo_datos seq=\"DEPENDENCIAS\"><grupo_datos><dato>A01</dato>"
                           "<dato>Aula 1</dato></grupo_datos></grupo_datos>"
                           "<grupo_datos seq=\"JORNADAS_ESCOLARES\">"));
    const QMap<QString, QByteArray> before = snapshot(shell.timetable);

    ShellSetup setup = shell.setup({QStringLiteral("exportar"), QStringLiteral("x")});
    int moves = 0;
    QString failedMove;
    setup.mover = [&](const QString& from, const QString& to, QString* error) {
        if (++moves == 3) {
            failedMove = from;
            *error = QStringLiteral("disco lleno");
            return false;
        }
        return QDir().rename(from, to);
    };
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
    TMForm form(setup);
    form.FormShow();
    ASSERT_EQ(script.messages.size(), 1);
    EXPECT_NE(script.messages.first().indexOf(QFileInfo(failedMove).fileName()), -1)
        << script.messages.first();
    EXPECT_NE(script.messages.first().indexOf(QStringLiteral("como estaba")), -1);
    EXPECT_GT(moves, 3); // the moves made before were undone
    EXPECT_EQ(snapshot(shell.timetable), before);
    EXPECT_FALSE(form.hasClosed());
    EXPECT_EQ(form.resultStatus(), 0);
    EXPECT_TRUE(button(form, "BExportar")->isEnabled());
}

// The importar run through the window: a completed run gives 1 and closes in command-line mode;
// teacher data left incomplete in the dialog stop the program with its message, status 0.
TEST(MainForm, ImportarFromTheWindow)
{
    for (bool complete : {true, false}) {
        SCOPED_TRACE(complete);
        Shell shell;
        QFile::remove(QDir(shell.timetable).filePath(QStringLiteral("PROFT.DBF")));
        QFile::remove(QDir(shell.timetable).filePath(QStringLiteral("SOLUC.DBF")));
        for (const TableLayout* layout :
             {&layouts::proft, &layouts::asigt, &layouts::asignomt, &layouts::asignomt2,
              &layouts::grupost, &layouts::cursost, &layouts::aulat, &layouts::diashorast,
              &layouts::periodos})
            DbfTable(shell.timetable, layout->name).create(layout->fields);
        DbfTable(shell.timetable, QStringLiteral("SOLUC"))
            .create({{QStringLiteral("PROF"), FieldDef::Type::Text, 10},
                     {QStringLiteral("DIA"), FieldDef::Type::Integer}});
        DbfTable proft(shell.timetable, QStringLiteral("PROFT"));
        proft.open();
        proft.append();
        proft.setText(QStringLiteral("ABREV"), QStringLiteral("GLA"));
        proft.setText(QStringLiteral("X_EMPLEADO"), complete ? QStringLiteral("42") : QString());
        proft.setText(QStringLiteral("F_TOMAPOS"), QStringLiteral("01/09/2020"));
        proft.post();
        proft.close();

        ModalScript script;
        script.then(ModalScript::chooseFile(shell.document));
        if (!complete) {
            // The teacher dialog, left with "Salir" and the data still missing.
            script.then([](QWidget* modal) {
                QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("BitBtn1")),
                                  Qt::LeftButton);
            });
        }
        script.then(script.acknowledge());
        TMForm form(shell.setup({QStringLiteral("importar"), QStringLiteral("x")}));
        form.FormShow();
        EXPECT_TRUE(script.done());
        EXPECT_EQ(script.unexpected, QStringList());
        ASSERT_EQ(script.messages.size(), 1);
        EXPECT_TRUE(form.hasClosed());
        const QString result =
            QDir(shell.dir.path()).filePath(QStringLiteral("datos/ResultadoOranelhorario.xml"));
        if (complete) {
            EXPECT_EQ(script.messages.first(), QStringLiteral("Proceso finalizado"));
            // Where the document went, in the box's details.
            EXPECT_NE(script.details.first().indexOf(QDir::toNativeSeparators(result)), -1)
                << script.details.first();
            EXPECT_EQ(shell.status(), QStringLiteral("1"));
            EXPECT_TRUE(QFileInfo::exists(result));
        } else {
            EXPECT_TRUE(script.messages.first().startsWith(QStringLiteral(
                "¡Atención! Sigue habiendo algún Profesor sin todos los DATOS.\n\r")));
            EXPECT_EQ(shell.status(), QStringLiteral("0"));
            EXPECT_FALSE(QFileInfo::exists(result));
        }
    }
}

// Started by a caller with two arguments, the program is in command-line mode whatever the
// second one is (Qt's own options included), and the 0 is in Oranel.ini before anything can
// fail: a start without a display exits with an error and never leaves an earlier 1.
TEST(MainForm, TwoArgumentsAlwaysMeanCommandLineModeAndTheZeroComesFirst)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("quelvana"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUELVANA_BIN_DIR "/quelvana"), program));
    const QString ini = dir.filePath(QStringLiteral("Oranel.ini"));
    const QByteArray earlier = "[Transformadores]\r\nTransformado=1\r\n";
    const auto status = [&] { return readFile(ini); };

    // No display at all.
    {
        writeFile(ini, earlier);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(program, {QStringLiteral("exportar"), QStringLiteral("x")});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_NE(process.exitCode(), 0);
        EXPECT_NE(process.readAllStandardError().indexOf("no hay pantalla"), -1);
        EXPECT_TRUE(status().contains("Transformado=0")) << status().toStdString();
    }
    // A second argument that Qt takes as its own option.
    for (const char* second : {"-reverse", "-style", "x"}) {
        SCOPED_TRACE(second);
        writeFile(ini, earlier);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(program, {QStringLiteral("exportar"), QString::fromLatin1(second)});
        ASSERT_TRUE(process.waitForStarted());
        // Command-line mode writes the 0 and then waits in the file dialog.
        for (int i = 0; i < 200 && !status().contains("Transformado=0"); ++i)
            QTest::qWait(50);
        EXPECT_TRUE(status().contains("Transformado=0")) << status().toStdString();
        process.kill();
        process.waitForFinished();
    }
}

// With no viewer for the compiled help and no browser on the system, F1 and "F1 Ayuda" open the
// program's own help window at the topic asked for, never an error.
TEST(MainForm, HelpOpensInItsOwnWindowWhereNothingElseCan)
{
    QTemporaryDir emptyPath;
    const QByteArray savedPath = qgetenv("PATH");
    const QByteArray savedBrowser = qgetenv("BROWSER");
    qputenv("PATH", QFile::encodeName(emptyPath.path()));
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
    help::setProgramFolder(QStringLiteral(QUELVANA_BIN_DIR));

    Shell shell;
    TMForm form(shell.setup({}));
    form.show();
    const auto helpWindow = [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<HelpWindow*>(widget); window && window->isVisible())
                return window;
        }
        return static_cast<HelpWindow*>(nullptr);
    };
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_F1);
    HelpWindow* window = helpWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->topic(), QStringLiteral("ventana-principal.html"));
    auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(
        browser->toPlainText().contains(QStringLiteral("ventana principal"), Qt::CaseInsensitive));
    auto* index = window->findChild<QListWidget*>(QStringLiteral("HelpIndex"));
    ASSERT_NE(index, nullptr);
    EXPECT_GE(index->count(), 9);
    ASSERT_NE(index->currentItem(), nullptr);
    EXPECT_EQ(index->currentItem()->text(),
              QStringLiteral("La ventana principal y las dos conversiones"));

    form.Button1Click();
    EXPECT_EQ(helpWindow(), window); // the same window, at the contents
    EXPECT_EQ(window->topic(), QStringLiteral("index.html"));
    // A topic of the index opens in the same window.
    index->setCurrentRow(index->count() - 1);
    EXPECT_NE(window->topic(), QStringLiteral("index.html"));
    window->close();

    qputenv("PATH", savedPath);
    if (!savedBrowser.isNull())
        qputenv("BROWSER", savedBrowser);
    help::setProgramFolder(QString());
}

// Qt's own dialogs and buttons speak Spanish: the file dialog the runs open and a message box
// with details.
TEST(MainForm, QtsOwnTextsAreInSpanish)
{
    Shell shell;
    TMForm form(shell.setup({}));
    auto* dialog = form.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->show();
    QStringList texts;
    for (auto* button : dialog->findChildren<QAbstractButton*>())
        texts << button->text();
    for (auto* label : dialog->findChildren<QLabel*>())
        texts << label->text();
    const QString all = texts.join(QLatin1Char('|'));
    for (const char* spanish : {"&Abrir", "Cancelar", "Ver en:", "&Nombre de fichero:"})
        EXPECT_TRUE(texts.contains(QString::fromUtf8(spanish))) << spanish << " in " << all;
    for (const char* english : {"&Open", "Cancel", "Look in:", "File &name:"})
        EXPECT_FALSE(texts.contains(QString::fromUtf8(english))) << english << " in " << all;
    dialog->hide();

    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quelvana"), QStringLiteral("Texto"),
                    QMessageBox::Ok);
    box.setDetailedText(QStringLiteral("Detalles"));
    box.show();
    QStringList buttons;
    for (auto* button : box.findChildren<QAbstractButton*>())
        buttons << button->text();
    EXPECT_NE(buttons.join(QLatin1Char('|')).indexOf(QStringLiteral("Mostrar los detalles")), -1)
        << buttons.join(QLatin1Char('|'));
}

// Names stored without some of their letters are listed behind the details of the closing box.
TEST(MainForm, ShowsTheWarningsOfARunInTheDetails)
{
    Shell shell;
    QByteArray document = validDocument;
    document.replace("</BLOQUE_DATOS>",
                     "<grupo_datos seq=\"DEPENDENCIAS\"><grupo_datos><dato>&#536;1</dato>"
                     "<dato>Aula</dato></grupo_datos></grupo_datos></BLOQUE_DATOS>");
    writeFile(shell.document, document);
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
    TMForm form(shell.setup({}));
    form.show();
    QTest::mouseClick(button(form, "BExportar"), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.messages, QStringList{QStringLiteral("Proceso finalizado")});
    // The details hold the run's report, which says where the old tables went, then the
    // warnings.
    ASSERT_EQ(script.details.size(), 1);
    EXPECT_TRUE(script.details.first().startsWith(
        QStringLiteral("Informe de la exportación de Yedra a Oranel\n")))
        << script.details.first();
    EXPECT_TRUE(script.details.first().contains(
        QStringLiteral("Las tablas que había antes se han guardado en ")))
        << script.details.first();
    EXPECT_TRUE(script.details.first().endsWith(
        QStringLiteral("\n\nAvisos:\nAULAT, fila 1, campo ABREV: «Ș1» se guarda como «S1».")))
        << script.details.first();
    EXPECT_EQ(form.resultStatus(), 1);
    form.close();
}

// A run stopped by a value it cannot convert keeps its own message; the details list every
// other such value of the document, so that all of them are put right in Yedra at once.
TEST(MainForm, AConversionErrorListsTheDocumentsOtherProblemsInTheDetails)
{
    Shell shell;
    QByteArray document = validDocument;
    document.replace(
        "</BLOQUE_DATOS>",
        "<grupo_datos seq=\"CURSOS_DEL_CENTRO\">"
        "<grupo_datos><dato>4O21</dato><dato>1 ESO</dato></grupo_datos>"
        "<grupo_datos><dato>40x2</dato><dato>2 ESO</dato></grupo_datos></grupo_datos>"
        "<grupo_datos seq=\"TRAMOS_HORARIOS\">"
        "<grupo_datos><dato>1</dato><dato>Primera</dato><dato>8h</dato><dato>555</dato>"
        "<dato>M1</dato></grupo_datos></grupo_datos></BLOQUE_DATOS>");
    writeFile(shell.document, document);
    const QMap<QString, QByteArray> before = snapshot(shell.timetable);
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
    TMForm form(shell.setup({}));
    form.show();
    QTest::mouseClick(button(form, "BExportar"), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.messages.size(), 1);
    EXPECT_EQ(script.messages.first(), QStringLiteral("'4O21' is not a valid integer value\nEn el "
                                                      "grupo CURSOS_DEL_CENTRO, registro 1, dato "
                                                      "0."));
    ASSERT_EQ(script.details.size(), 1);
    const QString& details = script.details.first();
    EXPECT_FALSE(details.contains(QStringLiteral("'4O21'"))) << details;
    EXPECT_TRUE(details.contains(QStringLiteral("'40x2' is not a valid integer value\nEn el grupo "
                                                "CURSOS_DEL_CENTRO, registro 2, dato 0")))
        << details;
    EXPECT_TRUE(details.contains(QStringLiteral("'8h' is not a valid integer value\nEn el grupo "
                                                "TRAMOS_HORARIOS, registro 1, dato 2")))
        << details;
    EXPECT_EQ(snapshot(shell.timetable), before);
    EXPECT_EQ(form.resultStatus(), 0);
    form.close();
}

// The box that ends a run says under its text where the report was saved, and its button opens
// it; the box stays up meanwhile.
TEST(MainForm, TheFinalBoxSaysWhereTheReportIsAndOpensIt)
{
    const NoSystemViewer ownWindows;
    Shell shell;
    QString underText, openCaption, saved;
    bool stayed = false;
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        underText = box->informativeText();
        auto* open = box->findChild<QPushButton*>(QStringLiteral("OpenFile"));
        if (open) {
            openCaption = open->text();
            QTest::mouseClick(open, Qt::LeftButton);
            stayed = box->isVisible();
        }
        script.acknowledge()(modal);
    });
    TMForm form(shell.setup({}));
    form.show();
    QTest::mouseClick(button(form, "BExportar"), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.messages, QStringList{QStringLiteral("Proceso finalizado")});
    const QString prefix = QStringLiteral("Informe guardado en ");
    ASSERT_TRUE(underText.startsWith(prefix)) << underText.toStdString();
    saved =
        QDir::fromNativeSeparators(underText.mid(prefix.size()).section(QLatin1Char('\n'), 0, 0));
    EXPECT_TRUE(QFileInfo(saved).isFile()) << saved.toStdString();
    EXPECT_TRUE(saved.endsWith(QStringLiteral("/quelvana-informe.txt")));
    EXPECT_TRUE(script.details.first().contains(prefix + QDir::toNativeSeparators(saved)));
    EXPECT_EQ(openCaption, QStringLiteral("Abrir el informe"));
    EXPECT_TRUE(stayed);
    auto* report = form.findChild<TextWindow*>();
    ASSERT_NE(report, nullptr); // handed over to the window when the box closed
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(report->path(), saved);
    report->close();
    form.close();
}

// A document that cannot be read is an error like a value the teacher grid refuses, and its box
// has the same critical icon.
TEST(MainForm, ARefusedDocumentHasTheErrorIcon)
{
    Shell shell;
    writeFile(shell.document, "<SERVICIO><BLOQUE_DATOS>");
    ModalScript script;
    script.then(ModalScript::chooseFile(shell.document)).then(script.acknowledge());
    TMForm form(shell.setup({}));
    form.show();
    QTest::mouseClick(button(form, "BExportar"), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.icons.size(), 1);
    EXPECT_EQ(script.icons.first(), QMessageBox::Critical) << script.messages.first().toStdString();
    form.close();
}

// Qt's file dialog speaks the program's Spanish whatever the system's locale: a folder's type,
// and the sizes and dates of the files.
TEST(MainForm, TheFileDialogSpeaksSpanish)
{
    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    EXPECT_EQ(QLocale().language(), QLocale::Spanish);
    Shell shell;
    const QString folder = shell.dir.filePath(QStringLiteral("datos"));
    QDir(folder).mkdir(QStringLiteral("curso-2026"));
    writeFile(QDir(folder).filePath(QStringLiteral("grande.xml")), QByteArray(123456, 'x'));
    TMForm form(shell.setup({}));
    auto* dialog = form.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setDirectory(folder);
    dialog->show();
    QAbstractItemModel* files = dialog->proxyModel();
    ASSERT_NE(files, nullptr);
    // The four columns of the entry named `name`, wherever the tree has it.
    const auto row = [&](const QString& name) {
        std::function<QStringList(const QModelIndex&)> find = [&](const QModelIndex& parent) {
            for (int r = 0; r < files->rowCount(parent); ++r) {
                const QModelIndex at = files->index(r, 0, parent);
                if (at.data().toString() == name) {
                    QStringList out;
                    for (int c = 0; c < 4; ++c)
                        out << files->index(r, c, parent).data().toString();
                    return out;
                }
                if (QStringList inside = find(at); !inside.isEmpty())
                    return inside;
            }
            return QStringList();
        };
        return find(QModelIndex());
    };
    QStringList folderRow, fileRow;
    for (int i = 0; i < 200 && (folderRow.isEmpty() || fileRow.isEmpty()); ++i) {
        QTest::qWait(10);
        folderRow = row(QStringLiteral("curso-2026"));
        fileRow = row(QStringLiteral("grande.xml"));
    }
    ASSERT_EQ(folderRow.size(), 4);
    ASSERT_EQ(fileRow.size(), 4);
    EXPECT_EQ(folderRow[2], QStringLiteral("Carpeta"));
    EXPECT_EQ(fileRow[1], spanish.formattedDataSize(123456));
    EXPECT_TRUE(fileRow[1].contains(QLatin1Char(','))) << fileRow[1].toStdString();
    const QDateTime modified =
        QFileInfo(QDir(folder).filePath(QStringLiteral("grande.xml"))).lastModified();
    EXPECT_EQ(fileRow[3], spanish.toString(modified, QLocale::ShortFormat));
    dialog->hide();
}
