#pragma once

#include "components/report/interaction.h"
#include "components/report/runreport.h"
#include "components/xml/xmldocument.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// The run the command "importar" starts (the timetable export run, as the system's first design
// calls it, for it exports Oranel's timetable to Yedra): the timetable Oranel has solved (SOLUC),
// with the tables of the Yedra-to-timetable run, becomes a Yedra document with every teacher's
// regular weekly timetable, saved beside the chosen document under "ResultadoOranel" and its
// name. The chosen document itself is never changed, and nothing is saved unless the run
// completes.
//
// Errors: run() says how it ended in its Result, a refusal or a failure with the message for the
// user; it throws nothing.
class ImportarRun {
public:
    enum class Outcome {
        Saved,      // the result document is written
        Refused,    // the run ended early with `message` for the user
        Incomplete, // teacher data are still missing after the dialog: the program ends
        Failed,     // an error of the tables or of a conversion stopped it, said in `message`
    };
    struct Result {
        Outcome outcome = Outcome::Refused;
        QString message = {};   // what to tell the user, when not saved
        QString savedPath = {}; // the result document, when saved
        bool verdict = false;   // the last teacher dialog's verdict
        // The document written, kept for the caller to let go of when it is done: freeing a
        // large document just before writing anything else costs more than the rest of the run.
        std::shared_ptr<const XmlDocument> document = {};
    };

    ImportarRun(QString timetableFolder, Interaction& interaction);

    // Runs everything after the document has been chosen and found; nothing is saved unless it
    // ends Saved. The root's fecha is the moment it is built, or `fecha` when given.
    Result run(const QString& documentPath, const std::optional<QDateTime>& fecha = std::nullopt);

    // "ResultadoOranel" put before the file name of the chosen document, in its folder; either
    // separator ends the folder part ('D:\datos\horario.xml' gives
    // 'D:\datos\ResultadoOranelhorario.xml').
    static QString resultPath(const QString& documentPath);
    // Why the result cannot be written at `target`, "" when it can: only a new file or an
    // ordinary one is replaced, never a link (what it points at would be overwritten).
    static QString resultPathProblem(const QString& target);
    // The report beside a result document: its name without ".xml", then ".informe.txt"
    // ('ResultadoOranelhorario.xml' gives 'ResultadoOranelhorario.informe.txt').
    static QString reportPath(const QString& resultPath);

    // What the last run did: the teachers written, every row of SOLUC not carried and why, the
    // empty values by field, the result document.
    RunReport& report() { return m_report; }
    // Writes the report beside the result document; a file that cannot be written is said in
    // the report itself.
    void saveReport();

    static const QString NoPeriods; // "ATENCIÓN - PERIODOS.DBF No encontrado - ..."
    // The line added under the table layer's message when SOLUC.DBF is not in the folder.
    static const QString NoSolucAdvice;
    static const QString TeachersStillIncomplete; // the three-line stop message

private:
    // The run itself: the errors of the tables and of the conversions thrown (EngineError).
    Result runThrowing(const QString& documentPath, const std::optional<QDateTime>& fecha);

    QString m_timetableFolder;
    Interaction& m_interaction;
    RunReport m_report{RunReport::Kind::Importar};
};
