#pragma once

#include "components/interaction.h"

class QWidget;

// The engine's questions answered by the window's own dialogs.
class WindowInteraction : public Interaction {
public:
    explicit WindowInteraction(QWidget* owner) : m_owner(owner) {}

    void showMessage(const QString& text) override;
    FrameChoice chooseFrames(const XmlDocument& document) override;
    bool completeTeachers(const QString& tablePath) override;
    void setBusy(bool busy) override;

private:
    QWidget* m_owner;
    bool m_busy = false;
};
