#include "widgets/messageboxes.h"

#include "widgets/detailsbox.h"
#include "widgets/ordinarypointer.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

// A message of many lines (a list of records) shows its first lines; the whole list is behind
// the box's details button.
constexpr int LinesShown = 25;

void showBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
             const QStringList& warnings, const QString& written = QString(),
             const QString& reportFile = QString())
{
    DetailsBox box(icon, text, owner);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList details;
    if (lines.size() > LinesShown) {
        box.setText(lines.mid(0, LinesShown).join(QLatin1Char('\n')) + QStringLiteral("\n…"));
        details << text;
    }
    if (!written.isEmpty())
        details << written;
    // A report that could not be saved says so in itself.
    const bool saved = !reportFile.isEmpty() && QFileInfo(reportFile).isFile();
    QStringList underText;
    if (saved)
        underText
            << QStringLiteral("Informe guardado en %1").arg(QDir::toNativeSeparators(reportFile));
    if (!warnings.isEmpty()) {
        underText << (warnings.size() == 1
                          ? QStringLiteral("Hay 1 aviso: véalo en los detalles.")
                          : QStringLiteral("Hay %1 avisos: véalos en los detalles.")
                                .arg(warnings.size()));
        details << QStringLiteral("Avisos:\n") + warnings.join(QLatin1Char('\n'));
    }
    if (!underText.isEmpty())
        box.setInformativeText(underText.join(QLatin1Char('\n')));
    if (!details.isEmpty())
        box.setDetailedText(details.join(QStringLiteral("\n\n")));
    if (saved)
        box.addOpenButton(QStringLiteral("Abrir el informe"), reportFile);
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

void showRunEndBox(QWidget* owner, const QString& text, const QStringList& warnings,
                   const QString& report, const QString& reportFile)
{
    showBox(owner, QMessageBox::NoIcon, text, warnings, report, reportFile);
}
