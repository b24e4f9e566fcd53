#pragma once

#include "components/interaction.h"

#include <QStringList>

class QWidget;

// The engine's questions answered by the window's own dialogs.
class WindowInteraction : public Interaction {
public:
    explicit WindowInteraction(QWidget* owner) : m_owner(owner) {}

    void showMessage(const QString& text) override;
    // Kept until the window shows the message that ends the run.
    void warn(const QString& text) override;
    // The warnings of the run so far, forgotten here.
    QStringList takeWarnings();
    FrameChoice chooseFrames(const XmlDocument& document) override;
    bool completeTeachers(const QString& tablePath) override;
    void setBusy(bool busy) override;

private:
    QWidget* m_owner;
    bool m_busy = false;
    QStringList m_warnings;
};
