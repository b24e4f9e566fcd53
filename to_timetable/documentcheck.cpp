#include "to_timetable/documentcheck.h"

#include "components/platform/engineerror.h"
#include "components/platform/systemerror.h"
#include "exchange/yedradocument.h"
#include "to_timetable/exportarrun.h"

namespace documentcheck {

namespace {

// The questions of a check made after a run stopped, answered without asking again.
class CheckInteraction : public Interaction {
public:
    explicit CheckInteraction(FrameChoice frames) : m_frames(std::move(frames)) {}
    void showMessage(const QString&) override {}
    void warn(const QString&) override {}
    FrameChoice chooseFrames(const XmlDocument& document) override
    {
        if (m_frames.resultMH)
            return m_frames;
        const std::vector<yedra::Record> frames =
            yedra::records(document, yedra::JornadasEscolares);
        return {true, frames.front().valueCount() > 0 ? frames.front().rawValue(0) : QString(),
                int(frames.size())};
    }
    bool completeTeachers(const QString&) override { return false; }

private:
    FrameChoice m_frames;
};

} // namespace

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

QStringList otherProblems(const QString& documentPath, const QString& lookupTable,
                          const FrameChoice& frames, const QString& stoppedBy)
{
    CheckInteraction interaction(frames);
    const QString shown = stoppedBy.endsWith(QLatin1Char('.')) ? stoppedBy.chopped(1) : stoppedBy;
    QStringList others;
    const RunReport report = check(documentPath, lookupTable, interaction);
    for (const QString& problem : report.problems()) {
        if (!problem.startsWith(shown))
            others << problem;
    }
    return others;
}

} // namespace documentcheck
