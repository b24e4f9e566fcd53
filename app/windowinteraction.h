#pragma once

#include "components/report/interaction.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>

class QProgressDialog;
class QWidget;

// The engine's questions answered by the window's own dialogs.
class WindowInteraction : public Interaction {
public:
    explicit WindowInteraction(QWidget* owner) : m_owner(owner) {}
    ~WindowInteraction() override;

    void showMessage(const QString& text) override;
    // Kept until the window shows the message that ends the run.
    void warn(const QString& text) override;
    // The warnings of the run so far, forgotten here.
    QStringList takeWarnings();
    FrameChoice chooseFrames(const XmlDocument& document) override;
    bool completeTeachers(const QString& tablePath) override;
    // The end of a run (false) also closes its progress dialog.
    void setBusy(bool busy) override;
    // A run that has gone on for showProgressAfterMs (counted again after each dialog it
    // shows) gets a progress dialog with the step, without a cancel button: a run cannot be
    // stopped halfway. Its bar is filled by the step's count when the step counts ("Profesor
    // 2109 de 4000"), and busy otherwise. The windows are repainted meanwhile, but take no input
    // until the run ends. The dialog goes before any other dialog or message of the run.
    void progress(const QString& step) override;

    // 1000; tests that watch the dialog make it 0.
    static int showProgressAfterMs;
    // The progress dialog's name, for whoever looks for it.
    static const QString ProgressName; // "QuelvanaProgress"

private:
    void closeProgress();
    void keepPainted(bool now);

    QWidget* m_owner;
    bool m_busy = false;
    QStringList m_warnings;
    QPointer<QProgressDialog> m_progress;
    QElapsedTimer m_running; // since the run began, or since its last dialog closed
    QElapsedTimer m_painted; // since the windows were last repainted
};
