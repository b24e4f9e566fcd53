#include "cli/clitool.h"

#include "cli/cliinteraction.h"
#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/platform/platform.h"
#include "components/platform/systemerror.h"
#include "components/timetablefolder/backuprestore.h"
#include "to_timetable/documentcheck.h"
#include "to_timetable/exportarrun.h"
#include "to_yedra/importarrun.h"
#include "to_yedra/teachercheck.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMap>
#include <optional>

namespace {

const char* const usage =
    "Uso:\n"
    "  quelvana-cli exportar DOCUMENTO [--timetable-folder CARPETA] [--lookup NIVELCAN.DBF]\n"
    "                        [--frames CÓDIGO[,CÓDIGO...]] [--dry-run] [--codigos-nuevos]\n"
    "                        [--json]\n"
    "  quelvana-cli importar DOCUMENTO [--timetable-folder CARPETA] [--json]\n"
    "  quelvana-cli comprobar DOCUMENTO [--lookup NIVELCAN.DBF] [--frames CÓDIGO[,CÓDIGO...]]\n"
    "                         [--json]\n"
    "  quelvana-cli restaurar [COPIA] [--timetable-folder CARPETA]\n"
    "  quelvana-cli [ORDEN] --help | -h\n"
    "  quelvana-cli --version\n";

const char* const description =
    "quelvana-cli: las conversiones de Quelvana sin ventana.\n"
    "\n"
    "  exportar  convierte un documento XML de Yedra en las tablas de Oranel de la carpeta de\n"
    "            horarios.\n"
    "  importar  escribe, junto al DOCUMENTO de Yedra, el documento con el horario resuelto por\n"
    "            Oranel (ResultadoOranel seguido del nombre del documento).\n"
    "  comprobar lee un documento de Yedra como lo leería exportar y enumera todo lo que lo\n"
    "            impediría o cambiaría, sin escribir nada.\n"
    "  restaurar enumera las copias de las tablas que han sustituido las exportaciones, o vuelve\n"
    "            a poner las de la COPIA nombrada.\n"
    "\n"
    "La carpeta de horarios es la de --timetable-folder; sin ella, la de la variable de entorno\n"
    "QUELVANA_TIMETABLE_FOLDER; sin ninguna de las dos, la misma que usa la ventana (C:\\OTEMP en\n"
    "Windows; drive_c/OTEMP del prefijo de Wine en los demás sistemas).\n"
    "\n"
    "exportar e importar muestran el informe de lo que han hecho (el mismo que guardan en un\n"
    "archivo); con --json, un solo objeto JSON con el mismo contenido.\n"
    "\n"
    "Termina con 0 si la conversión se completa, 1 si falla (el motivo sale por la salida de\n"
    "errores) y 2 si la orden está mal escrita. «quelvana-cli ORDEN --help» explica cada orden.\n";

const char* const exportarHelp =
    "Uso: quelvana-cli exportar DOCUMENTO [--timetable-folder CARPETA] [--lookup NIVELCAN.DBF]\n"
    "                           [--frames CÓDIGO[,CÓDIGO...]] [--dry-run] [--codigos-nuevos]\n"
    "                           [--json]\n"
    "\n"
    "Convierte un documento XML de Yedra en las tablas de Oranel de la carpeta de horarios; las\n"
    "tablas que sustituye se guardan en la carpeta quelvana-copias. Muestra el informe de la\n"
    "exportación: las tablas y sus filas, la copia, los códigos acortados o numerados, los\n"
    "registros que no se han podido usar, los valores guardados de otra forma y la comparación\n"
    "con las tablas que había. El informe se guarda en la copia y, como el último, en\n"
    "quelvana-informe.txt de la carpeta de horarios.\n"
    "\n"
    "Si la carpeta de horarios ya tiene las tablas, cada profesor, aula, grupo y materia que ya\n"
    "está en ellas conserva su código (el horario resuelto en SOLUC.DBF los usa), y uno nuevo\n"
    "nunca recibe un código que conserva otro ni uno que SOLUC usa.\n"
    "\n"
    "  --timetable-folder CARPETA  la carpeta de horarios (por omisión, QUELVANA_TIMETABLE_FOLDER\n"
    "                              o la de la ventana)\n"
    "  --lookup NIVELCAN.DBF       la tabla de niveles (por omisión, NIVELCAN.DBF junto al\n"
    "                              programa)\n"
    "  --frames CÓDIGO,...         los Marcos Horarios que se toman cuando el documento tiene\n"
    "                              varios (de 1 a 5 códigos separados por comas)\n"
    "  --dry-run                   hace la conversión en una carpeta temporal y solo muestra lo\n"
    "                              que escribiría y en qué cambiarían las tablas (los datos\n"
    "                              escritos en Oranel que se perderían, ante todo), sin tocar la\n"
    "                              carpeta de horarios\n"
    "  --codigos-nuevos            da todos los códigos por la regla, como en una carpeta vacía,\n"
    "                              aunque las tablas que hay den otros; el informe nombra cada\n"
    "                              código que pasa a otro dueño y las filas de SOLUC con él\n"
    "  --json                      el informe como un objeto JSON\n"
    "  -h, --help                  esta ayuda\n";

const char* const importarHelp =
    "Uso: quelvana-cli importar DOCUMENTO [--timetable-folder CARPETA] [--json]\n"
    "\n"
    "Escribe, junto al DOCUMENTO de Yedra, el documento con el horario resuelto por Oranel\n"
    "(ResultadoOranel seguido del nombre del documento) y muestra el informe: su ruta, los\n"
    "profesores con sus actividades, las filas de SOLUC que no se han llevado y por qué, y los\n"
    "valores vacíos por campo. El informe se guarda junto al documento\n"
    "(ResultadoOranel<documento>.informe.txt). Si a algún profesor le faltan X_EMPLEADO o\n"
    "F_TOMAPOS, falla y los enumera (se completan en la ventana).\n"
    "\n"
    "  --timetable-folder CARPETA  la carpeta de horarios (por omisión, QUELVANA_TIMETABLE_FOLDER\n"
    "                              o la de la ventana)\n"
    "  --json                      el informe como un objeto JSON\n"
    "  -h, --help                  esta ayuda\n";

const char* const comprobarHelp =
    "Uso: quelvana-cli comprobar DOCUMENTO [--lookup NIVELCAN.DBF] [--frames CÓDIGO[,CÓDIGO...]]\n"
    "                            [--json]\n"
    "\n"
    "Lee el documento de Yedra como lo leería exportar y enumera, de una vez, todo lo que\n"
    "impediría la exportación (el documento ilegible, la falta de Marcos Horarios, registros\n"
    "cortos, cada valor que no es el número entero que hace falta, la elección de Marcos\n"
    "Horarios) y todo lo que la cambiaría (ofertas de curso y unidades desconocidas, textos que\n"
    "Windows-1252 no admite, códigos acortados o numerados). No escribe nada en ninguna parte.\n"
    "Termina con 0 si el documento se puede convertir y con 1 si no.\n"
    "\n"
    "  --lookup NIVELCAN.DBF       la tabla de niveles (por omisión, NIVELCAN.DBF junto al\n"
    "                              programa)\n"
    "  --frames CÓDIGO,...         los Marcos Horarios que se tomarían, como en exportar\n"
    "  --json                      el informe como un objeto JSON\n"
    "  -h, --help                  esta ayuda\n";

const char* const restaurarHelp =
    "Uso: quelvana-cli restaurar [COPIA] [--timetable-folder CARPETA]\n"
    "\n"
    "Sin COPIA, enumera las copias de la carpeta quelvana-copias, de la más reciente a la más\n"
    "antigua: su nombre, cuándo se hizo, qué la hizo y las tablas que guarda.\n"
    "Con COPIA (su nombre, por ejemplo 2026-12-10_09-05-07), vuelve a poner esas tablas en la\n"
    "carpeta de horarios, todas o ninguna, y quita las que la exportación creó nuevas. Las tablas\n"
    "que haya en ese momento se guardan antes en una copia nueva, de modo que una restauración\n"
    "también se puede deshacer. Cierre Oranel antes.\n"
    "\n"
    "  --timetable-folder CARPETA  la carpeta de horarios (por omisión, QUELVANA_TIMETABLE_FOLDER\n"
    "                              o la de la ventana)\n"
    "  -h, --help                  esta ayuda\n";

struct Command {
    QString verb;
    QString document;
    QString timetableFolder;
    QString lookup;
    std::optional<QStringList> frames;
    bool dryRun = false;
    bool newCodes = false;
    bool json = false;
};

// The command line read, or the reason it is wrong.
struct Parsed {
    std::optional<Command> command;
    QString problem;
};

// Where a command writes, and the folder of the program (where its data lies).
struct Context {
    QString executableFolder;
    QTextStream& out;
    QTextStream& err;
};

// A command of quelvana-cli: its name, its help, what it takes and what it does.
struct Verb {
    const char* name;
    const char* help;
    QStringList valueOptions;
    QStringList flagOptions;
    bool documentOptional; // restaurar names a backup, or nothing
    int (*run)(const Command&, const Context&);
};

int exportar(const Command& command, const Context& context);
int importar(const Command& command, const Context& context);
int comprobar(const Command& command, const Context& context);
int restaurar(const Command& command, const Context& context);

const std::vector<Verb>& verbs()
{
    static const std::vector<Verb> table = {
        {"exportar",
         exportarHelp,
         {QStringLiteral("--timetable-folder"), QStringLiteral("--lookup"),
          QStringLiteral("--frames")},
         {QStringLiteral("--dry-run"), QStringLiteral("--codigos-nuevos"),
          QStringLiteral("--json")},
         false,
         exportar},
        {"importar",
         importarHelp,
         {QStringLiteral("--timetable-folder")},
         {QStringLiteral("--json")},
         false,
         importar},
        {"comprobar",
         comprobarHelp,
         {QStringLiteral("--lookup"), QStringLiteral("--frames")},
         {QStringLiteral("--json")},
         false,
         comprobar},
        {"restaurar", restaurarHelp, {QStringLiteral("--timetable-folder")}, {}, true, restaurar},
    };
    return table;
}

const Verb* findVerb(const QString& name)
{
    for (const Verb& verb : verbs()) {
        if (name == QLatin1String(verb.name))
            return &verb;
    }
    return nullptr;
}

Parsed parse(const QStringList& arguments)
{
    Command command;
    if (arguments.isEmpty())
        return {std::nullopt, QStringLiteral("falta la orden")};
    command.verb = arguments.first();
    const Verb* verb = findVerb(command.verb);
    if (!verb)
        return {std::nullopt, QStringLiteral("orden desconocida: %1").arg(command.verb)};
    // What each command takes; an option of another command is named as such.
    const QStringList& valueOptions = verb->valueOptions;
    const QStringList& flagOptions = verb->flagOptions;
    const QStringList anyCommandOptions = {
        QStringLiteral("--timetable-folder"), QStringLiteral("--lookup"),
        QStringLiteral("--frames"),           QStringLiteral("--dry-run"),
        QStringLiteral("--codigos-nuevos"),   QStringLiteral("--json")};

    QMap<QString, QString> options;
    QStringList positional;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!argument.startsWith(QLatin1String("--"))) {
            positional << argument;
            continue;
        }
        QString name = argument;
        std::optional<QString> value;
        if (const qsizetype equals = argument.indexOf(QLatin1Char('=')); equals > 0) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
        }
        if (!valueOptions.contains(name) && !flagOptions.contains(name))
            return {std::nullopt,
                    anyCommandOptions.contains(name)
                        ? QStringLiteral("la orden %1 no admite %2").arg(command.verb, name)
                        : QStringLiteral("opción desconocida para %1: %2").arg(command.verb, name)};
        if (options.contains(name))
            return {std::nullopt, QStringLiteral("la opción %1 aparece dos veces").arg(name)};
        if (flagOptions.contains(name)) {
            if (value)
                return {std::nullopt, QStringLiteral("la opción %1 no lleva valor").arg(name)};
            options.insert(name, QString());
            continue;
        }
        if (!value) {
            if (i + 1 >= arguments.size())
                return {std::nullopt, QStringLiteral("falta el valor de %1").arg(name)};
            value = arguments.at(++i);
        }
        options.insert(name, *value);
    }
    if (verb->documentOptional && positional.size() > 1)
        return {std::nullopt, QStringLiteral("sobra el argumento %1").arg(positional.at(1))};
    if (!verb->documentOptional && positional.size() != 1)
        return {std::nullopt, positional.isEmpty()
                                  ? QStringLiteral("falta el DOCUMENTO")
                                  : QStringLiteral("sobra el argumento %1").arg(positional.at(1))};
    command.document = positional.value(0);
    command.dryRun = options.contains(QStringLiteral("--dry-run"));
    command.newCodes = options.contains(QStringLiteral("--codigos-nuevos"));
    command.json = options.contains(QStringLiteral("--json"));
    // The folder given, else the one the window uses (QUELVANA_TIMETABLE_FOLDER, else the
    // platform's own).
    const QString folder = options.value(QStringLiteral("--timetable-folder"));
    if (options.contains(QStringLiteral("--timetable-folder")) && folder.isEmpty())
        return {std::nullopt, QStringLiteral("falta el valor de --timetable-folder")};
    command.timetableFolder = folder.isEmpty() ? platform::timetableFolder() : folder;
    command.lookup = options.value(QStringLiteral("--lookup"));
    if (options.contains(QStringLiteral("--frames")))
        command.frames =
            options.value(QStringLiteral("--frames")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    return {command, QString()};
}

// The report on standard output: its text, or with --json one JSON object.
void printReport(const RunReport& report, const Command& command, QTextStream& out)
{
    if (command.json)
        out << QString::fromUtf8(QJsonDocument(report.json()).toJson(QJsonDocument::Indented));
    else
        out << report.text();
    out.flush();
}

// The lookup table a command uses, or the message saying it is missing.
std::optional<QString> lookupTable(const Command& command, const QString& executableFolder,
                                   QTextStream& err)
{
    const QString lookup =
        command.lookup.isEmpty()
            ? platform::dataFile(executableFolder, QStringLiteral("NIVELCAN.DBF"))
            : platform::resolveLetterCase(command.lookup);
    if (!QFileInfo(lookup).isFile()) {
        err << "ATENCIÓN - NIVELCAN.DBF No encontrado - Reinstale QUELVANA ("
            << QDir::toNativeSeparators(lookup) << ")" << Qt::endl;
        return std::nullopt;
    }
    return lookup;
}

bool documentExists(const Command& command, QTextStream& err)
{
    if (QFileInfo(command.document).isFile())
        return true;
    err << "No existe archivo: " << QDir::toNativeSeparators(command.document) << Qt::endl;
    return false;
}

// A timetable folder that names a file (or a link to one) is said to be one, not a folder that
// does not exist.
bool timetableFolderNotAFile(const QString& folder, QTextStream& err)
{
    if (!QFileInfo(folder).isFile())
        return true;
    err << "La carpeta de horarios «" << QDir::toNativeSeparators(folder)
        << "» es un archivo, no una carpeta." << Qt::endl;
    return false;
}

// What exportar and comprobar need first: the document, and the lookup table they read it with.
std::optional<QString> documentAndLookup(const Command& command, const QString& executableFolder,
                                         QTextStream& err)
{
    if (!documentExists(command, err))
        return std::nullopt;
    return lookupTable(command, executableFolder, err);
}

int exportar(const Command& command, const Context& context)
{
    const QString& executableFolder = context.executableFolder;
    QTextStream& out = context.out;
    QTextStream& err = context.err;
    const std::optional<QString> lookup = documentAndLookup(command, executableFolder, err);
    if (!lookup)
        return 1;
    CliInteraction interaction(command.frames.value_or(QStringList()), err);
    const QString folder = platform::resolveLetterCase(command.timetableFolder);
    if (!timetableFolderNotAFile(folder, err))
        return 1;
    ExportarRun run(folder, *lookup, interaction);
    run.setDryRun(command.dryRun);
    run.setNewCodes(command.newCodes);
    const ExportarRun::Result result = run.run(command.document);
    if (result.outcome != ExportarRun::Result::Outcome::Done) {
        err << result.message << Qt::endl;
        if (!result.otherProblems.isEmpty())
            err << "\nOtros problemas del documento (corríjalos todos en Yedra antes de volver a "
                   "exportar):\n\n"
                << result.otherProblems.join(QStringLiteral("\n\n")) << Qt::endl;
        return 1;
    }
    printReport(run.report(), command, out);
    return 0;
}

int comprobar(const Command& command, const Context& context)
{
    const QString& executableFolder = context.executableFolder;
    QTextStream& out = context.out;
    QTextStream& err = context.err;
    const std::optional<QString> lookup = documentAndLookup(command, executableFolder, err);
    if (!lookup)
        return 1;
    // The frames are checked as exportar takes them; the problems go into the report, not here.
    QString ignored;
    QTextStream quiet(&ignored);
    CliInteraction interaction(command.frames.value_or(QStringList()), quiet);
    const RunReport report = documentcheck::check(command.document, *lookup, interaction);
    printReport(report, command, out);
    return report.problems().isEmpty() ? 0 : 1;
}

int importar(const Command& command, const Context& context)
{
    QTextStream& out = context.out;
    QTextStream& err = context.err;
    if (!documentExists(command, err))
        return 1;
    const QString folder = platform::resolveLetterCase(command.timetableFolder);
    if (!timetableFolderNotAFile(folder, err))
        return 1;
    CliInteraction interaction(QStringList(), err);
    ImportarRun run(folder, interaction);
    const ImportarRun::Result result = run.run(command.document);
    switch (result.outcome) {
    case ImportarRun::Outcome::Saved:
        run.saveReport();
        printReport(run.report(), command, out);
        return 0;
    case ImportarRun::Outcome::Refused:
    case ImportarRun::Outcome::Failed:
        err << result.message << Qt::endl;
        return 1;
    case ImportarRun::Outcome::Incomplete: {
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

int restaurar(const Command& command, const Context& context)
{
    QTextStream& out = context.out;
    QTextStream& err = context.err;
    const QString folder = platform::resolveLetterCase(command.timetableFolder);
    if (!timetableFolderNotAFile(folder, err))
        return 1;
    CliInteraction interaction(QStringList(), err);
    if (!command.document.isEmpty()) {
        const QString kept = backuprestore::restore(folder, command.document, interaction);
        out << "Restaurada la copia " << command.document << "." << Qt::endl;
        if (!kept.isEmpty())
            out << "Las tablas que había se han guardado en " << QDir::toNativeSeparators(kept)
                << Qt::endl;
        return 0;
    }
    const std::vector<Backup> backups = backuprestore::available(folder);
    if (backups.empty()) {
        out << "No hay copias en " << QDir::toNativeSeparators(folder) << Qt::endl;
        return 0;
    }
    for (const Backup& backup : backups) {
        out << backup.name << "  " << platform::regionalDateTime(backup.date) << "  "
            << backup.origin
            << (backup.olderVersion ? QStringLiteral(" (de una versión anterior)") : QString())
            << Qt::endl;
        out << "    " << backup.files.join(QStringLiteral(", ")) << Qt::endl;
    }
    return 0;
}

} // namespace

int runQuelvanaCli(const QStringList& arguments, const QString& executableFolder, QTextStream& out,
                   QTextStream& err)
{
    // Help anywhere on the line, for the command it names when it names one.
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        if (const Verb* verb = findVerb(arguments.value(0)))
            out << verb->help << Qt::flush;
        else
            out << description << "\n" << usage << Qt::flush;
        return 0;
    }
    if (arguments == QStringList{QStringLiteral("--version")}) {
        out << "quelvana-cli " << QUELVANA_VERSION << Qt::endl;
        return 0;
    }
    const Parsed parsed = parse(arguments);
    if (!parsed.command) {
        err << "quelvana-cli: " << parsed.problem << "\n\n" << usage << Qt::flush;
        return 2;
    }
    try {
        const Context context{executableFolder, out, err};
        return findVerb(parsed.command->verb)->run(*parsed.command, context);
    } catch (const EngineError& error) {
        err << error.message() << Qt::endl;
        return 1;
    } catch (const std::exception& error) {
        err << systemerror::describe(error) << Qt::endl;
        return 1;
    }
}
