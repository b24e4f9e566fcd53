#include "app/windowinteraction.h"

#include "to_timetable/plantihoras.h"
#include "to_yedra/controlprofes.h"
#include "widgets/messageboxes.h"

#include <QApplication>

void WindowInteraction::showMessage(const QString& text)
{
    showMessageBox(m_owner, text);
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
    // One dialog per showing; its verdict is read before it goes.
    TPlantillas dialog(document, m_owner);
    dialog.exec();
    return FrameChoice{dialog.resultMH, dialog.resultado, dialog.frameCount()};
}

bool WindowInteraction::completeTeachers(const QString& tablePath)
{
    // One dialog per showing; its verdict is read before it goes.
    TControlProfesores dialog(tablePath, m_owner);
    dialog.exec();
    return dialog.result;
}

void WindowInteraction::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
