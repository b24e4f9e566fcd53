#include "app/startup.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace startup {
namespace {

const char* const Usage =
    "Uso:\n"
    "  quelvana                    abre la ventana de Quelvana\n"
    "  quelvana ORDEN ARGUMENTO    como lo arranca Oranel (ORDEN: exportar o importar)\n"
    "  quelvana --help | -h\n"
    "  quelvana --version\n"
    "\n"
    "quelvana es el programa con ventana de Quelvana, que traslada los datos del horario de un\n"
    "instituto entre Yedra (documentos XML) y Oranel (tablas dBase de la carpeta de horarios).\n"
    "En la ventana, un botón lleva un documento de Yedra a Oranel (exportar) y el otro el\n"
    "horario resuelto por Oranel a un documento para Yedra (importar).\n"
    "\n"
    "Con exactamente dos argumentos, el primero dice la conversión y el segundo no se lee: la\n"
    "conversión empieza sola con el cuadro para elegir el documento, y al cerrarse el programa\n"
    "deja el resultado en Oranel.ini, junto al programa (1 si la conversión terminó, -1 si el\n"
    "documento no existía, 0 en otro caso). En una carpeta de programas del sistema, como\n"
    "/usr/bin, no escribe Oranel.ini: use el archivo portátil descomprimido junto a Oranel.\n"
    "\n"
    "Necesita una sesión gráfica; para convertir sin ventana, use quelvana-cli\n"
    "(quelvana-cli --help, man quelvana-cli).\n"
    "\n"
    "Termina con 0 al cerrarse la ventana y con 3 si no se puede abrir ninguna ventana (no hay\n"
    "pantalla). La ayuda completa está en la propia ventana (tecla F1) y en man quelvana.\n";

// Messages Qt gave while the platform was starting, for after it has.
struct Held {
    QtMsgType type;
    QString text;
    QByteArray file, function, category; // the context's, kept
    int line;
};
QList<Held>* held = nullptr;
QtMessageHandler previousHandler = nullptr;

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        reportNoDisplay();
        std::_Exit(NoDisplayExit);
    }
    if (held)
        held->append({type, text, context.file, context.function, context.category, context.line});
}

} // namespace

QString optionText(const QStringList& arguments)
{
    if (arguments.size() == 2)
        return QString();
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return QString::fromUtf8(Usage);
    }
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--version"))
            return QStringLiteral("quelvana " QUELVANA_VERSION "\n");
    }
    return QString();
}

bool displayNamed(const QStringList& qtArguments)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    QString platforms = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (qsizetype i = 0; i + 1 < qtArguments.size(); ++i) {
        if (qtArguments[i] == QLatin1String("-platform") ||
            qtArguments[i] == QLatin1String("--platform"))
            platforms = qtArguments[i + 1];
    }
    // Any platform but X11's and Wayland's needs no display of the session.
    for (const QString& entry : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (!name.isEmpty() && name != QLatin1String("xcb") &&
            !name.startsWith(QLatin1String("wayland")))
            return true;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(qtArguments);
    return true;
#endif
}

void reportNoDisplay()
{
    std::fputs("quelvana: no hay pantalla disponible: Quelvana necesita una sesión gráfica "
               "(ni DISPLAY ni WAYLAND_DISPLAY llevan a una) y no puede abrir su ventana. Para "
               "convertir sin ventana, use quelvana-cli (quelvana-cli --help).\n",
               stderr);
    std::fflush(stderr);
}

PlatformGuard::PlatformGuard()
{
    held = new QList<Held>;
    previousHandler = qInstallMessageHandler(holdOrEnd);
}

PlatformGuard::~PlatformGuard()
{
    qInstallMessageHandler(previousHandler);
    QList<Held>* messages = std::exchange(held, nullptr);
    const auto text = [](const QByteArray& bytes) {
        return bytes.isEmpty() ? nullptr : bytes.constData();
    };
    for (const Held& message : *messages) {
        const QMessageLogContext context(text(message.file), message.line, text(message.function),
                                         text(message.category));
        qt_message_output(message.type, context, message.text);
    }
    delete messages;
}

} // namespace startup
