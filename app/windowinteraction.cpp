#include "app/windowinteraction.h"

#include "app/ordinarypointer.h"
#include "to_timetable/plantihoras.h"
#include "to_yedra/controlprofes.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>

namespace {

// A message of many lines (a list of records) shows its first lines; the whole list is behind
// the box's details button.
constexpr int LinesShown = 25;

void showBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
             const QStringList& warnings, const QString& written = QString())
{
    QMessageBox box(icon, QStringLiteral("Quelvana"), text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("QuelvanaMessage"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList details;
    if (lines.size() > LinesShown) {
        box.setText(lines.mid(0, LinesShown).join(QLatin1Char('\n')) + QStringLiteral("\n…"));
        details << text;
    }
    if (!written.isEmpty())
        details << written;
    if (!warnings.isEmpty()) {
        box.setInformativeText(
            warnings.size() == 1
                ? QStringLiteral("Hay 1 aviso: véalo en los detalles.")
                : QStringLiteral("Hay %1 avisos: véalos en los detalles.").arg(warnings.size()));
        details << QStringLiteral("Avisos:\n") + warnings.join(QLatin1Char('\n'));
    }
    if (!details.isEmpty())
        box.setDetailedText(details.join(QStringLiteral("\n\n")));
    OrdinaryPointer pointer;
    pointer.take();
    box.exec();
}

} // namespace

void showMessageBox(QWidget* owner, const QString& text, const QStringList& warnings,
                    const QString& written)
{
    showBox(owner, QMessageBox::NoIcon, text, warnings, written);
}

void showErrorBox(QWidget* owner, const QString& text, const QStringList& warnings)
{
    showBox(owner, QMessageBox::Critical, text, warnings);
}
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
