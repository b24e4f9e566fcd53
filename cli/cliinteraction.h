#pragma once

#include "components/report/interaction.h"

#include <QStringList>
#include <QTextStream>

// The engine's questions answered from quelvana-cli's command line: the time frames from
// --frames; the teacher data cannot be completed here; messages go to the error stream.
class CliInteraction : public Interaction {
public:
    CliInteraction(QStringList frames, QTextStream& err) : m_frames(std::move(frames)), m_err(err)
    {
    }

    void showMessage(const QString& text) override;
    // "Aviso: " and the text, on the error stream at once.
    void warn(const QString& text) override;
    FrameChoice chooseFrames(const XmlDocument& document) override;
    bool completeTeachers(const QString& tablePath) override;

private:
    QStringList m_frames;
    QTextStream& m_err;
};
