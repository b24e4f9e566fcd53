#include "app/mainform.h"
#include "app/oranelini.h"
#include "app/startup.h"
#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "widgets/helpviewer.h"
#include "widgets/translation.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <optional>

int main(int argc, char* argv[])
{
    // The run mode comes from the arguments as the system passed them: Qt takes its own
    // options (-style, -reverse, -platform...) out of the list when the application starts,
    // and a caller's second argument may be one of them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const QString text = startup::optionText(arguments); !text.isEmpty()) {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    const QString executableFolder = platform::executableFolder(argv[0]);
    const bool commandLine = arguments.size() == 2;
    // In command-line mode the caller reads the outcome from Oranel.ini: the 0 goes there before
    // anything else can fail, so a start that fails never leaves an earlier run's 1.
    if (commandLine) {
        try {
            oranelini::writeStatus(executableFolder, 0);
        } catch (const EngineError& error) {
            std::fprintf(stderr, "quelvana: %s\n", error.what());
        }
    }
    // In command-line mode the caller's second argument is not read, by Qt either (a "-reverse"
    // there must not mirror the window).
    int qtArgc = commandLine ? 1 : argc;
    if (!startup::displayNamed(commandLine ? QStringList() : arguments)) {
        startup::reportNoDisplay();
        return startup::NoDisplayExit;
    }
    // Qt's widgets speak the program's Spanish from the first one on, whatever LANG says.
    translation::setSpanishLocale();
    std::optional<startup::PlatformGuard> guard(std::in_place);
    QApplication application(qtArgc, argv);
    guard.reset();
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
