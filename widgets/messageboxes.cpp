#include "widgets/messageboxes.h"

#include "widgets/ordinarypointer.h"

#include <QMessageBox>

namespace {

// A message of many lines (a list of records) shows its first lines; the whole list is behind
// the box's details button.
constexpr int LinesShown = 25;

void showBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
             const QString& details = QString())
{
    QMessageBox box(icon, QStringLiteral("Quelvana"), text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("QuelvanaMessage"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > LinesShown) {
        box.setText(lines.mid(0, LinesShown).join(QLatin1Char('\n')) + QStringLiteral("\n…"));
        box.setDetailedText(text);
    }
    if (!details.isEmpty())
        box.setDetailedText(box.detailedText().isEmpty()
                                ? details
                                : box.detailedText() + QStringLiteral("\n\n") + details);
    OrdinaryPointer pointer;
    pointer.take();
    box.exec();
}

} // namespace

void showMessageBox(QWidget* owner, const QString& text, const QString& details)
{
    showBox(owner, QMessageBox::NoIcon, text, details);
}

void showErrorBox(QWidget* owner, const QString& text)
{
    showBox(owner, QMessageBox::Critical, text);
}
