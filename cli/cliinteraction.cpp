#include "cli/cliinteraction.h"

#include "components/platform/engineerror.h"
#include "exchange/yedradocument.h"
#include "to_timetable/frameselection.h"

void CliInteraction::showMessage(const QString& text)
{
    m_err << text << Qt::endl;
}

void CliInteraction::warn(const QString& text)
{
    m_err << "Aviso: " << text << Qt::endl;
}

FrameChoice CliInteraction::chooseFrames(const XmlDocument& document)
{
    // The frame list as the dialog shows it: every time frame's code, as the document has it.
    QStringList entries;
    for (const yedra::Record& frame : yedra::records(document, yedra::JornadasEscolares))
        entries << (frame.valueCount() > 0 ? frame.rawValue(0) : QString());

    QList<bool> selected(entries.size(), false);
    QStringList unknown;
    for (const QString& code : std::as_const(m_frames)) {
        bool found = false;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (yedra::trimValue(entries.at(i)) == yedra::trimValue(code)) {
                selected[i] = true; // a code names every entry that has it
                found = true;
            }
        }
        if (!found)
            unknown << yedra::trimValue(code);
    }
    const qsizetype count = std::count(selected.begin(), selected.end(), true);

    QString problem;
    if (m_frames.isEmpty())
        problem = QStringLiteral("El documento tiene varios Marcos Horarios: elija de 1 a 5 con "
                                 "--frames.");
    else if (!unknown.isEmpty())
        problem = QStringLiteral("El documento no tiene el Marco Horario %1.")
                      .arg(unknown.join(QStringLiteral(", ")));
    else if (count > 5)
        problem = QStringLiteral("Demasiados Marcos Horarios seleccionados: como máximo puede "
                                 "seleccionar 5.");
    if (!problem.isEmpty()) {
        QStringList listed;
        for (const yedra::Record& frame : yedra::records(document, yedra::JornadasEscolares)) {
            QStringList values;
            for (int k = 0; k < std::min(frame.valueCount(), 4); ++k)
                values << frame.value(k);
            listed << QStringLiteral("  ") + values.join(QStringLiteral(" | "));
        }
        throw EngineError(problem +
                          QStringLiteral("\nMarcos Horarios del documento (código | "
                                         "nombre | desde | hasta):\n") +
                          listed.join(QLatin1Char('\n')));
    }
    return FrameChoice{true, frameSelectionString(entries, selected), int(entries.size())};
}

bool CliInteraction::completeTeachers(const QString&)
{
    return false;
}
