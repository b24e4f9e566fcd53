// quelvana-cli: the conversions without a window, for scripts and other programs.

#include "cli/clitool.h"
#include "components/platform/platform.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // A name Qt would read with letters replaced would be "not found": said for what it is.
    if (const QString name = platform::undecodableArgument(argc, argv); !name.isEmpty()) {
        err << "quelvana-cli: «" << name
            << "» no está escrito en la codificación del sistema (UTF-8): es el nombre de un "
               "archivo o una carpeta escrito en otra, como los de algunas memorias USB "
               "antiguas, y Quelvana no lo puede abrir por ese nombre. Cámbiele el nombre (por "
               "ejemplo, copiándolo con otro) y vuelva a empezar."
            << Qt::endl;
        return 1;
    }
    return runQuelvanaCli(QCoreApplication::arguments().mid(1),
                          QCoreApplication::applicationDirPath(), out, err);
}
