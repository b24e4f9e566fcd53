#include "to_timetable/documentcheck.h"

#include "components/platform/engineerror.h"
#include "components/platform/systemerror.h"
#include "to_timetable/exportarrun.h"

namespace documentcheck {

RunReport check(const QString& documentPath, const QString& lookupTable, Interaction& interaction)
{
    ExportarRun run(QString(), lookupTable, interaction);
    run.setCheckOnly(true);
    if (const QString refusal = run.loadDocument(documentPath); !refusal.isEmpty()) {
        // Where an unreadable document goes wrong, to the column.
        const XmlParseError error = run.document().parseError();
        run.report().addProblem(
            error.isNull() || error.column <= 0
                ? refusal
                : QStringLiteral("El archivo XML no es válido: %1.").arg(error.toString()));
        return run.report();
    }
    // What ends the steps is the last problem found: every value a step could go on past is
    // already listed.
    try {
        run.begin();
        run.runSteps();
    } catch (const EngineError& error) {
        run.report().addProblem(error.message());
    } catch (const std::exception& error) {
        run.report().addProblem(systemerror::describe(error));
    }
    return run.report();
}

} // namespace documentcheck
