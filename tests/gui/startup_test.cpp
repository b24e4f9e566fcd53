// The window program before it has a window: its own options, a start where no window can be
// opened, and where it leaves Oranel.ini.

#include "app/mainform.h"
#include "app/oranelini.h"
#include "app/startup.h"
#include "tests/gui/modalscript.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QString Program = QStringLiteral(QUELVANA_BIN_DIR "/quelvana");

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

// Runs `program` with `arguments` in the test's environment changed by `set` and `unset`.
Outcome run(const QString& program, const QStringList& arguments,
            const QMap<QString, QString>& set = {}, const QStringList& unset = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : unset)
        environment.remove(name);
    for (auto it = set.begin(); it != set.end(); ++it)
        environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Outcome result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

const QStringList NoDisplay = {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                               QStringLiteral("QT_QPA_PLATFORM")};

} // namespace

// "quelvana --help" and "--version" print their text and end with 0, opening no window: no
// display is needed for them.
TEST(Startup, HelpAndVersionPrintTextAndEndWithZero)
{
    for (const char* option : {"--help", "-h"}) {
        SCOPED_TRACE(option);
        const Outcome help = run(Program, {QString::fromLatin1(option)}, {}, NoDisplay);
        EXPECT_EQ(help.code, 0) << help.err;
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Uso:\n  quelvana "))) << help.out;
        for (const char* part : {"exportar o importar", "Oranel.ini", "quelvana-cli", "con 3",
                                 "sesión gráfica", "archivo portátil"})
            EXPECT_TRUE(help.out.contains(QString::fromUtf8(part))) << part;
        EXPECT_EQ(help.err, QString());
    }
    const Outcome version = run(Program, {QStringLiteral("--version")}, {}, NoDisplay);
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, QStringLiteral("quelvana " QUELVANA_VERSION "\n"));
    // Two arguments are always a caller's run, never an option.
    EXPECT_EQ(startup::optionText({QStringLiteral("--help"), QStringLiteral("x")}), QString());
}

// Where no window can be opened (no display named, or one named that does not answer), the
// program says in Spanish that it needs a graphical session and names quelvana-cli, and ends
// with 3, after the 0 of command-line mode is in Oranel.ini.
TEST(Startup, WithoutADisplayItSaysSoAndEndsWithThree)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("quelvana"));
    ASSERT_TRUE(QFile::copy(Program, program));
    const QString ini = dir.filePath(QStringLiteral("Oranel.ini"));
    const struct {
        const char* name;
        QMap<QString, QString> set;
    } cases[] = {
        {"nothing named", {}},
        {"X11 asked for, no display", {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")}}},
        // A display number nothing listens on.
        {"a display that does not answer",
         {{QStringLiteral("DISPLAY"), QStringLiteral(":97")},
          {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")}}},
        {"the session's platform, a display that does not answer",
         {{QStringLiteral("DISPLAY"), QStringLiteral(":97")}}},
    };
    for (const auto& c : cases) {
        for (const QStringList& arguments :
             {QStringList{}, QStringList{QStringLiteral("exportar"), QStringLiteral("x")}}) {
            SCOPED_TRACE(std::string(c.name) + (arguments.isEmpty() ? "" : ", command line"));
            writeFile(ini, "[Transformadores]\r\nTransformado=1\r\n");
            const Outcome start = run(program, arguments, c.set, NoDisplay);
            EXPECT_EQ(start.code, startup::NoDisplayExit) << start.err;
            EXPECT_TRUE(
                start.err.startsWith(QStringLiteral("quelvana: no hay pantalla disponible: "
                                                    "Quelvana necesita una sesión gráfica")))
                << start.err;
            EXPECT_TRUE(start.err.contains(QStringLiteral("quelvana-cli"))) << start.err;
            // Qt's own words stay out of it.
            EXPECT_FALSE(start.err.contains(QStringLiteral("could not connect"))) << start.err;
            EXPECT_EQ(readFile(ini), arguments.isEmpty()
                                         ? QByteArray("[Transformadores]\r\nTransformado=1\r\n")
                                         : QByteArray("[Transformadores]\r\nTransformado=0\r\n"));
        }
    }
    // Offscreen needs no display.
    EXPECT_TRUE(startup::displayNamed({QStringLiteral("-platform"), QStringLiteral("offscreen")}));
}

// The folders of the system's programs, however they are reached, and no others.
TEST(Startup, SystemFoldersAreTheSystemsProgramFolders)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "no system folders on Windows";
#else
    for (const char* folder :
         {"/usr/bin", "/usr/local/bin", "/usr/games", "/bin", "/sbin", "/usr", "/usr/bin/../lib"})
        EXPECT_TRUE(oranelini::isSystemFolder(QString::fromLatin1(folder))) << folder;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("programas"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/bin"), link));
    EXPECT_TRUE(oranelini::isSystemFolder(link));
    for (const QString& folder :
         {dir.path(), QStringLiteral("/usrx/bin"), QStringLiteral("/opt/oranel"),
          QStringLiteral("/home/usr/bin"), QStringLiteral(QUELVANA_BIN_DIR)})
        EXPECT_FALSE(oranelini::isSystemFolder(folder)) << folder;
#endif
}

// In command-line mode from a system folder (the installed package's /usr/bin), the window
// never leaves Oranel.ini there, even where it could write (as root): it says which folder to
// use instead, at start and at closing.
TEST(Startup, OranelIniIsNeverLeftInASystemFolder)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "no system folders on Windows";
#else
    const QString folder = QStringLiteral("/usr/bin");
    const QString ini = QDir(folder).filePath(QStringLiteral("Oranel.ini"));
    ASSERT_FALSE(QFileInfo::exists(ini)) << "an Oranel.ini is already there";
    QTemporaryDir timetable;
    ModalScript script;
    script.then(script.acknowledge()).then(ModalScript::cancel()).then(script.acknowledge());
    script.then(script.acknowledge());
    {
        TMForm form(ShellSetup{
            {QStringLiteral("exportar"), QStringLiteral("x")}, folder, timetable.path(), {}});
        form.FormShow();
        EXPECT_TRUE(form.hasClosed());
    }
    const bool left = QFileInfo::exists(ini);
    if (left)
        QFile::remove(ini);
    EXPECT_FALSE(left);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.unexpected, QStringList());
    const QString refusal = QStringLiteral("Quelvana no deja Oranel.ini en «/usr/bin», que es una "
                                           "carpeta de programas del sistema. Para que Oranel lea "
                                           "el resultado, descomprima el archivo portátil");
    ASSERT_EQ(script.messages.size(), 3) << script.messages.join(QLatin1Char('|'));
    EXPECT_TRUE(script.messages[0].startsWith(refusal)) << script.messages[0];
    EXPECT_EQ(script.messages[1], QStringLiteral("No existe archivo"));
    EXPECT_TRUE(script.messages[2].startsWith(refusal)) << script.messages[2];
#endif
}

// A user who cannot write beside the program is told so, with the folder and which folder to
// use: the window program started in command-line mode, as another user, from a copy in a
// folder only its owner may write in.
TEST(Startup, AFolderTheUserCannotWriteInSaysWhichFolderToUse)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to run the program as another user";
    const std::unique_ptr<QTemporaryDir> dir = folderForAnotherUser();
    ASSERT_TRUE(dir) << "no temporary folder that every user can enter";
    const QString bin = dir->filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString program = QDir(bin).filePath(QStringLiteral("quelvana"));
    ASSERT_TRUE(QFile::copy(Program, program));
    ASSERT_EQ(::chmod(QFile::encodeName(bin).constData(), 0555), 0);
    QStringList arguments = {QStringLiteral("-u"), QStringLiteral("nobody"),
                             QStringLiteral("--"), QStringLiteral("env"),
                             QStringLiteral("-u"), QStringLiteral("DISPLAY"),
                             QStringLiteral("-u"), QStringLiteral("WAYLAND_DISPLAY"),
                             QStringLiteral("-u"), QStringLiteral("QT_QPA_PLATFORM")};
    // Leak checking needs to trace the process, which another user may not be allowed to.
    arguments << QStringLiteral("ASAN_OPTIONS=") + qEnvironmentVariable("ASAN_OPTIONS") +
                     QStringLiteral(":detect_leaks=0")
              << program << QStringLiteral("importar") << QStringLiteral("x");
    const Outcome start = run(QStringLiteral("runuser"), arguments);
    ::chmod(QFile::encodeName(bin).constData(), 0755);
    EXPECT_EQ(start.code, startup::NoDisplayExit) << start.err;
    EXPECT_TRUE(start.err.startsWith(QStringLiteral("quelvana: No se puede escribir el archivo «") +
                                     QDir(bin).filePath(QStringLiteral("Oranel.ini")) +
                                     QStringLiteral("»: ")))
        << start.err;
    EXPECT_TRUE(start.err.contains(
        QStringLiteral("descomprima el archivo portátil de Quelvana (quelvana-VERSIÓN-portatil) "
                       "junto a Oranel, en una carpeta en la que pueda escribir")))
        << start.err;
    EXPECT_FALSE(QFileInfo::exists(QDir(bin).filePath(QStringLiteral("Oranel.ini"))));
}
