// quelvana-cli: the conversions without a window, for scripts and other programs.

#include "cli/clitool.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runQuelvanaCli(QCoreApplication::arguments().mid(1),
                          QCoreApplication::applicationDirPath(), out, err);
}
