#include "cli/clitool.h"

#include "cli/cliinteraction.h"
#include "components/dbftable.h"
#include "components/engineerror.h"
#include "components/platform.h"
#include "components/systemerror.h"
#include "to_timetable/timetablerun.h"
#include "to_yedra/exportrun.h"
#include "to_yedra/teachercheck.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <optional>

namespace {

const char* const usage =
    "Uso:\n"
    "  quelvana-cli exportar DOCUMENTO --timetable-folder CARPETA [--lookup NIVELCAN.DBF]\n"
    "                        [--frames CÓDIGO[,CÓDIGO...]] [--dry-run]\n"
    "  quelvana-cli importar DOCUMENTO --timetable-folder CARPETA\n"
    "  quelvana-cli --help | --version\n";

const char* const description =
    "quelvana-cli: las conversiones de Quelvana sin ventana.\n"
    "\n"
    "  exportar  convierte un documento XML de Yedra en las tablas de Oranel de la carpeta de\n"
    "            horarios. --lookup indica la tabla de niveles (por omisión, NIVELCAN.DBF junto\n"
    "            al programa); --frames, los Marcos Horarios que se toman cuando el documento\n"
    "            tiene varios (de 1 a 5 códigos separados por comas); --dry-run hace la\n"
    "            conversión en una carpeta temporal y solo muestra lo que escribiría, sin\n"
    "            tocar la carpeta de horarios.\n"
    "  importar  escribe, junto al DOCUMENTO de Yedra, el documento con el horario resuelto por\n"
    "            Oranel (ResultadoOranel seguido del nombre del documento).\n"
    "\n"
    "Termina con 0 si la conversión se completa, 1 si falla (el motivo sale por la salida de\n"
    "errores) y 2 si la orden está mal escrita.\n";

struct Command {
    QString verb;
    QString document;
    QString timetableFolder;
    QString lookup;
    std::optional<QStringList> frames;
    bool dryRun = false;
};

// The command line read, or the reason it is wrong.
struct Parsed {
    std::optional<Command> command;
    QString problem;
};

Parsed parse(const QStringList& arguments)
{
    Command command;
    if (arguments.isEmpty())
        return {std::nullopt, QStringLiteral("falta la orden")};
    command.verb = arguments.first();
    if (command.verb != QLatin1String("exportar") && command.verb != QLatin1String("importar"))
        return {std::nullopt, QStringLiteral("orden desconocida: %1").arg(command.verb)};

    QMap<QString, QString> options;
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!argument.startsWith(QLatin1String("--"))) {
            positional << argument;
            continue;
        }
        if (argument == QLatin1String("--dry-run") && command.verb == QLatin1String("exportar")) {
            if (command.dryRun)
                return {std::nullopt, QStringLiteral("la opción --dry-run aparece dos veces")};
            command.dryRun = true;
            continue;
        }
        QString name = argument;
        QString value;
        if (const qsizetype equals = argument.indexOf(QLatin1Char('=')); equals > 0) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            return {std::nullopt, QStringLiteral("falta el valor de %1").arg(name)};
        }
        const bool known =
            name == QLatin1String("--timetable-folder") ||
            (command.verb == QLatin1String("exportar") &&
             (name == QLatin1String("--lookup") || name == QLatin1String("--frames")));
        if (!known)
            return {std::nullopt,
                    QStringLiteral("opción desconocida para %1: %2").arg(command.verb, name)};
        if (options.contains(name))
            return {std::nullopt, QStringLiteral("la opción %1 aparece dos veces").arg(name)};
        options.insert(name, value);
    }
    if (positional.size() != 1)
        return {std::nullopt, positional.isEmpty()
                                  ? QStringLiteral("falta el DOCUMENTO")
                                  : QStringLiteral("sobra el argumento %1").arg(positional.at(1))};
    command.document = positional.first();
    if (!options.contains(QStringLiteral("--timetable-folder")) ||
        options.value(QStringLiteral("--timetable-folder")).isEmpty())
        return {std::nullopt, QStringLiteral("falta --timetable-folder")};
    command.timetableFolder = options.value(QStringLiteral("--timetable-folder"));
    command.lookup = options.value(QStringLiteral("--lookup"));
    if (options.contains(QStringLiteral("--frames")))
        command.frames =
            options.value(QStringLiteral("--frames")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    return {command, QString()};
}

int exportar(const Command& command, const QString& executableFolder, QTextStream& out,
             QTextStream& err)
{
    if (!QFileInfo(command.document).isFile()) {
        err << "No existe archivo: " << QDir::toNativeSeparators(command.document) << Qt::endl;
        return 1;
    }
    const QString lookup = platform::resolveLetterCase(
        command.lookup.isEmpty() ? QDir(executableFolder).filePath(QStringLiteral("NIVELCAN.DBF"))
                                 : command.lookup);
    if (!QFileInfo(lookup).isFile()) {
        err << "ATENCIÓN - NIVELCAN.DBF No encontrado - Reinstale QUELVANA ("
            << QDir::toNativeSeparators(lookup) << ")" << Qt::endl;
        return 1;
    }
    CliInteraction interaction(command.frames.value_or(QStringList()), err);
    TimetableRun run(platform::resolveLetterCase(command.timetableFolder), lookup, interaction);
    run.setDryRun(command.dryRun);
    if (const QString refusal = run.loadDocument(command.document); !refusal.isEmpty()) {
        err << refusal << Qt::endl;
        return 1;
    }
    run.begin();
    run.runSteps();
    const QList<QPair<QString, int>> tables = run.stagedTables();
    if (command.dryRun)
        out << "Prueba: la carpeta de horarios no se ha tocado. Se escribirían estas tablas:"
            << Qt::endl;
    else
        run.commit();
    for (const auto& [name, rows] : tables)
        out << name << ": " << rows << (rows == 1 ? " fila" : " filas") << Qt::endl;
    return 0;
}

int importar(const Command& command, QTextStream& out, QTextStream& err)
{
    if (!QFileInfo(command.document).isFile()) {
        err << "No existe archivo: " << QDir::toNativeSeparators(command.document) << Qt::endl;
        return 1;
    }
    const QString folder = platform::resolveLetterCase(command.timetableFolder);
    CliInteraction interaction(QStringList(), err);
    ExportRun run(folder, interaction);
    const ExportRun::Result result = run.run(command.document);
    switch (result.outcome) {
    case ExportRun::Outcome::Saved:
        out << QDir::toNativeSeparators(result.savedPath) << Qt::endl;
        return 0;
    case ExportRun::Outcome::Refused:
        err << result.message << Qt::endl;
        return 1;
    case ExportRun::Outcome::Incomplete: {
        err << "Faltan X_EMPLEADO o F_TOMAPOS de estos profesores (complételos en la tabla "
               "PROFT desde la ventana de Quelvana o en Oranel):"
            << Qt::endl;
        DbfTable proft(folder, QStringLiteral("PROFT"));
        proft.open();
        for (const QString& teacher : incompleteTeachers(proft))
            err << "  " << teacher << Qt::endl;
        return 1;
    }
    }
    return 1;
}

} // namespace

int runQuelvanaCli(const QStringList& arguments, const QString& executableFolder, QTextStream& out,
                   QTextStream& err)
{
    if (arguments == QStringList{QStringLiteral("--version")}) {
        out << "quelvana-cli " << QUELVANA_VERSION << Qt::endl;
        return 0;
    }
    if (arguments == QStringList{QStringLiteral("--help")}) {
        out << description << "\n" << usage << Qt::flush;
        return 0;
    }
    const Parsed parsed = parse(arguments);
    if (!parsed.command) {
        err << "quelvana-cli: " << parsed.problem << "\n\n" << usage << Qt::flush;
        return 2;
    }
    try {
        if (parsed.command->verb == QLatin1String("exportar"))
            return exportar(*parsed.command, executableFolder, out, err);
        return importar(*parsed.command, out, err);
    } catch (const EngineError& error) {
        err << error.message() << Qt::endl;
        return 1;
    } catch (const std::exception& error) {
        err << systemerror::describe(error) << Qt::endl;
        return 1;
    }
}
