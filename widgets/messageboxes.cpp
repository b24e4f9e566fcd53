#include "widgets/messageboxes.h"

#include "widgets/ordinarypointer.h"

#include <QMessageBox>
#include <QStringList>
#include <QTextEdit>

namespace {

// A message of many lines (a list of records) shows its first lines; the whole list is behind
// the box's details button.
constexpr int LinesShown = 25;
// The size of the details part, when shown.
constexpr int DetailsWidth = 620;
constexpr int DetailsHeight = 240;

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
    if (!details.isEmpty()) {
        box.setDetailedText(details.join(QStringLiteral("\n\n")));
        // A run's report is long: room to read it without every line broken in two.
        if (auto* edit = box.findChild<QTextEdit*>()) {
            edit->setMinimumWidth(DetailsWidth);
            edit->setFixedHeight(DetailsHeight);
            edit->setLineWrapMode(QTextEdit::NoWrap);
        }
    }
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

void showErrorBox(QWidget* owner, const QString& text, const QStringList& warnings,
                  const QString& details)
{
    showBox(owner, QMessageBox::Critical, text, warnings, details);
}
