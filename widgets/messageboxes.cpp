#include "widgets/messageboxes.h"

#include "widgets/detailsbox.h"
#include "widgets/ordinarypointer.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QScreen>
#include <QStringList>
#include <algorithm>

namespace {

// A message of many lines (a list of records) shows its first lines, as many as the screen has
// room for; the whole list is behind the box's details button.
constexpr int LinesShown = 25;

// What the box holds besides its text, in lines of text: the title bar, the margins, the
// buttons, the spaces between them and the "…" of a text cut.
constexpr int BoxLines = 10;

// How many of `lines` show in a box with `linesUnder` lines under its text on the screen of
// `owner`, from the first, each as many lines as it takes wrapped: at most LinesShown, at
// least one.
qsizetype linesThatFit(const QWidget* owner, const QStringList& lines, qsizetype linesUnder)
{
    const QScreen* screen = owner ? owner->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return LinesShown;
    const QRect area = screen->availableGeometry();
    const QFontMetrics metrics(QApplication::font("QMessageBoxLabel"));
    // The box wraps its text at half the screen's width, 500 pixels at most; the icon takes
    // part of it.
    const int wrap = std::max(100, std::min(area.width() / 2, 500) - 100);
    int room = area.height() - int(BoxLines + linesUnder) * metrics.lineSpacing();
    qsizetype shown = 0;
    for (const QString& line : lines) {
        const int rows = std::max(1, (metrics.horizontalAdvance(line) + wrap - 1) / wrap);
        room -= rows * metrics.lineSpacing();
        if (room < 0 || shown == LinesShown)
            break;
        ++shown;
    }
    return std::max<qsizetype>(shown, 1);
}

void showBox(QWidget* owner, QMessageBox::Icon icon, const QString& text,
             const QStringList& warnings, const QString& written = QString(),
             const QString& reportFile = QString())
{
    DetailsBox box(icon, text, owner);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList details;
    // A report that could not be saved says so in itself.
    const bool saved = !reportFile.isEmpty() && QFileInfo(reportFile).isFile();
    if (const qsizetype shown =
            linesThatFit(owner, lines, (saved ? 1 : 0) + (warnings.isEmpty() ? 0 : 1));
        lines.size() > shown) {
        box.setText(lines.mid(0, shown).join(QLatin1Char('\n')) + QStringLiteral("\n…"));
        details << text;
    }
    if (!written.isEmpty())
        details << written;
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
