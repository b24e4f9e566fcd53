#include "app/mainform.h"
#include "components/platform/engineerror.h"
#include "components/platform/inifile.h"
#include "components/platform/platform.h"
#include "widgets/helpviewer.h"
#include "widgets/translation.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <cstdlib>

namespace {

// Where no window system answers, Qt would abort; say so plainly instead.
bool displayAvailable()
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
#else
    return true;
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    // The run mode comes from the arguments as the system passed them: Qt takes its own
    // options (-style, -reverse, -platform...) out of the list when the application starts,
    // and a caller's second argument may be one of them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString executableFolder = platform::executableFolder(argv[0]);
    const bool commandLine = arguments.size() == 2;
    // In command-line mode the caller reads the outcome from Oranel.ini: the 0 goes there before
    // anything else can fail, so a start that fails never leaves an earlier run's 1.
    if (commandLine) {
        try {
            ini::writeKey(QDir(executableFolder).filePath(QStringLiteral("Oranel.ini")),
                          QStringLiteral("Transformadores"), QStringLiteral("Transformado"),
                          QStringLiteral("0"));
        } catch (const EngineError& error) {
            std::fprintf(stderr, "quelvana: %s\n", error.what());
        }
    }
    if (!displayAvailable()) {
        std::fputs("quelvana: no hay pantalla disponible (ni DISPLAY ni WAYLAND_DISPLAY); "
                   "la ventana no puede abrirse.\n",
                   stderr);
        return 1;
    }
    // Qt's widgets speak the program's Spanish from the first one on, whatever LANG says.
    translation::setSpanishLocale();
    // In command-line mode the caller's second argument is not read, by Qt either (a "-reverse"
    // there must not mirror the window).
    int qtArgc = commandLine ? 1 : argc;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelvana"));
    QApplication::setApplicationVersion(QStringLiteral(QUELVANA_VERSION));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quelvana-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("es.quelvana.Quelvana"));

    translation::installSpanish(executableFolder);
    help::setProgramFolder(executableFolder);

    ShellSetup setup;
    setup.arguments = arguments;
    setup.executableFolder = executableFolder;
    setup.timetableFolder = platform::timetableFolder();

    TMForm mainForm(setup);
    mainForm.FormShow();
    if (mainForm.hasClosed())
        return 0;
    mainForm.show();
    return application.exec();
}
