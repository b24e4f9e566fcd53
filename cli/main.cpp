// quelvana-cli: the conversions without a window, for scripts and other programs.

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

const char* const usage = "Uso:\n"
                          "  quelvana-cli --help\n"
                          "  quelvana-cli --version\n";

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    if (arguments == QStringList{QStringLiteral("--version")}) {
        out << "quelvana-cli " << QUELVANA_VERSION << Qt::endl;
        return 0;
    }
    if (arguments == QStringList{QStringLiteral("--help")}) {
        out << "quelvana-cli: conversiones de horarios entre Yedra y Oranel, sin ventana.\n\n"
            << usage << Qt::flush;
        return 0;
    }
    if (!arguments.isEmpty() && (arguments.first() == QStringLiteral("exportar") ||
                                 arguments.first() == QStringLiteral("importar"))) {
        err << "quelvana-cli: la orden «" << arguments.first()
            << "» todavía no está disponible en esta versión." << Qt::endl;
        return 1;
    }
    err << usage << Qt::flush;
    return 2;
}
