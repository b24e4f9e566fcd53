#include "app/windowinteraction.h"

#include "to_timetable/plantihoras/plantihoras.h"
#include "to_yedra/controlprofes/controlprofes.h"
#include "widgets/messageboxes.h"

#include <QApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <QRegularExpression>

namespace {

// How often a long step lets the windows repaint.
constexpr int PaintEveryMs = 50;

const QString Working = QStringLiteral("Quelvana está trabajando. Espere a que termine.");

// A step that counts ("Profesor 2109 de 4000") fills the bar by its count; any other shows it
// busy. Set on the bar itself: the dialog's own setValue() would take the user's input mid-run.
void showCount(QProgressBar* bar, const QString& step)
{
    static const QRegularExpression count(QStringLiteral("\\b(\\d+) de (\\d+)$"));
    const QRegularExpressionMatch match = count.match(step);
    const int done = match.hasMatch() ? match.captured(1).toInt() : 0;
    const int total = match.hasMatch() ? match.captured(2).toInt() : 0;
    if (total <= 0 || done > total) {
        bar->setRange(0, 0);
        return;
    }
    bar->setRange(0, total);
    bar->setValue(done);
}

} // namespace

const QString WindowInteraction::ProgressName = QStringLiteral("QuelvanaProgress");
int WindowInteraction::showProgressAfterMs = 1000;

WindowInteraction::~WindowInteraction()
{
    closeProgress();
}

void WindowInteraction::showMessage(const QString& text)
{
    closeProgress();
    showMessageBox(m_owner, text);
    m_running.restart();
}

void WindowInteraction::warn(const QString& text)
{
    m_warnings << text;
}

QStringList WindowInteraction::takeWarnings()
{
    return std::exchange(m_warnings, {});
}

FrameChoice WindowInteraction::chooseFrames(const XmlDocument& document)
{
    closeProgress();
    // One dialog per showing; its verdict is read before it goes.
    TPlantillas dialog(document, m_owner);
    dialog.exec();
    m_running.restart();
    return FrameChoice{dialog.resultMH, dialog.resultado, dialog.frameCount()};
}

bool WindowInteraction::completeTeachers(const QString& tablePath)
{
    closeProgress();
    // One dialog per showing; its verdict is read before it goes.
    TControlProfesores dialog(tablePath, m_owner);
    dialog.exec();
    m_running.restart();
    return dialog.result;
}

void WindowInteraction::setBusy(bool busy)
{
    if (!busy) {
        closeProgress();
        m_running.invalidate();
    } else if (!m_running.isValid()) {
        m_running.start();
    }
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WindowInteraction::progress(const QString& step)
{
    if (!m_running.isValid())
        m_running.start();
    const QString text = Working + QStringLiteral("\n\n") + step + QStringLiteral("…");
    if (m_progress) {
        m_progress->setLabelText(text);
        showCount(m_progress->findChild<QProgressBar*>(), step);
        keepPainted(false);
        return;
    }
    if (m_running.elapsed() < showProgressAfterMs) {
        keepPainted(false);
        return;
    }
    // No close button and no cancel button; the busy pointer stays over it.
    auto* dialog =
        new QProgressDialog(m_owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog->setObjectName(ProgressName);
    dialog->setWindowTitle(QStringLiteral("Quelvana"));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setCancelButton(nullptr);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(0);
    auto* bar = new QProgressBar;
    bar->setTextVisible(true);
    dialog->setBar(bar);
    showCount(bar, step);
    dialog->setLabelText(text);
    dialog->setMinimumWidth(420);
    dialog->show();
    m_progress = dialog;
    keepPainted(true);
}

void WindowInteraction::closeProgress()
{
    if (!m_progress)
        return;
    m_progress->hide();
    delete m_progress.data();
}

void WindowInteraction::keepPainted(bool now)
{
    if (!now && m_painted.isValid() && m_painted.elapsed() < PaintEveryMs)
        return;
    // Painting and the windowing system's other events; clicks and keys wait for the run's end,
    // when its last message box takes them.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_painted.restart();
}
