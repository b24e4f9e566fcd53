#include "app/mainform.h"
#include "components/platform.h"

#include <QApplication>
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
    if (!displayAvailable()) {
        std::fputs("quelvana: no hay pantalla disponible (ni DISPLAY ni WAYLAND_DISPLAY); "
                   "la ventana no puede abrirse.\n",
                   stderr);
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelvana"));
    QApplication::setApplicationVersion(QStringLiteral(QUELVANA_VERSION));

    ShellSetup setup;
    setup.arguments = QApplication::arguments().mid(1);
    setup.executableFolder = QApplication::applicationDirPath();
    setup.timetableFolder = platform::timetableFolder();

    TMForm mainForm(setup);
    mainForm.FormShow();
    if (mainForm.hasClosed())
        return 0;
    mainForm.show();
    return application.exec();
}
