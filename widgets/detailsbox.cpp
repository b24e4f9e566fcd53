#include "widgets/detailsbox.h"

#include "widgets/textwindow.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTextEdit>
#include <QUrl>
#include <algorithm>

namespace {

// The details' least size, so that the box also fits a small screen, and the size they are
// given when they open, as far as the screen has room.
constexpr int LeastColumns = 40;
constexpr int LeastLines = 6;
constexpr int OpenColumns = 100;
constexpr int OpenLines = 24;

// What a title bar holds besides the title, in title-bar heights: the window's icon, its
// buttons and the room around them.
constexpr int TitleBarButtons = 6;

} // namespace

DetailsBox::DetailsBox(Icon icon, const QString& text, QWidget* owner)
    : QMessageBox(icon, QStringLiteral("Quelvana"), text, QMessageBox::Ok, owner,
                  Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("QuelvanaMessage"));
    setDefaultButton(QMessageBox::Ok);
    setEscapeButton(QMessageBox::Ok);
}

QPushButton* DetailsBox::addOpenButton(const QString& caption, const QString& path)
{
    QPushButton* open = addButton(caption, QMessageBox::ActionRole);
    open->setObjectName(QStringLiteral("OpenFile"));
    // The box closes on any of its buttons: this one opens the file and leaves it up.
    disconnect(open, &QAbstractButton::clicked, nullptr, nullptr);
    connect(open, &QAbstractButton::clicked, this, [this, path] {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            TextWindow::showFile(this, path);
    });
    setDefaultButton(QMessageBox::Ok);
    return open;
}

QTextEdit* DetailsBox::detailsText() const
{
    return findChild<QTextEdit*>();
}

bool DetailsBox::detailsShown() const
{
    const QTextEdit* text = detailsText();
    return text && text->isVisibleTo(this);
}

bool DetailsBox::event(QEvent* event)
{
    // QMessageBox fixes its size again at every new layout; while the details show, the size
    // is the user's.
    if (event->type() == QEvent::LayoutRequest && m_growing)
        return QDialog::event(event);
    const bool handled = QMessageBox::event(event);
    if (event->type() == QEvent::LayoutRequest && isVisible())
        widenForTitle();
    return handled;
}

void DetailsBox::showEvent(QShowEvent* event)
{
    if (!m_buttonsSetUp)
        setUpButtons();
    QMessageBox::showEvent(event);
    widenForTitle();
    if (!event->spontaneous())
        keepOnScreen();
}

void DetailsBox::setUpButtons()
{
    m_buttonsSetUp = true;
    const QAbstractButton* ok = button(QMessageBox::Ok);
    for (QPushButton* push : findChildren<QPushButton*>()) {
        if (push == ok)
            continue;
        // Enter after a click on this button still accepts the box.
        push->setAutoDefault(false);
        // Queued: QMessageBox shows or hides its details, and fixes its size, after this.
        if (push->objectName() != QLatin1String("OpenFile"))
            connect(push, &QAbstractButton::clicked, this, &DetailsBox::detailsToggled,
                    Qt::QueuedConnection);
    }
    QTextEdit* text = detailsText();
    if (!text)
        return;
    text->setLineWrapMode(QTextEdit::WidgetWidth);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFocusPolicy(Qt::StrongFocus);
    const QFontMetrics metrics(text->font());
    text->setMinimumSize(LeastColumns * metrics.averageCharWidth(),
                         LeastLines * metrics.lineSpacing());
    text->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QWidget* part = text->parentWidget(); // the details with their separating line
    part->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        if (const int at = grid->indexOf(part); at >= 0) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(at, &row, &column, &rows, &columns);
            grid->setRowStretch(row, 1);
        }
    }
}

void DetailsBox::detailsToggled()
{
    // QMessageBox has shown or hidden the details and fixed its size to them.
    QTextEdit* text = detailsText();
    m_growing = detailsShown();
    setSizeGripEnabled(m_growing);
    if (m_growing && text) {
        const QPoint centre = geometry().center();
        setMinimumSize(layout()->totalMinimumSize());
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        const QFontMetrics metrics(text->font());
        const QSize wanted(OpenColumns * metrics.averageCharWidth(),
                           OpenLines * metrics.lineSpacing());
        const QSize more = wanted - text->size();
        resize(size() + QSize(std::max(0, more.width()), std::max(0, more.height())));
        // Grown about its centre; move() places the frame.
        const QPoint frameOffset = geometry().topLeft() - pos();
        move(centre - QPoint(width() / 2, height() / 2) - frameOffset);
        text->setFocus(Qt::OtherFocusReason); // the keys scroll it at once
    }
    // Without setDefaultButton(), which would take the focus from the details.
    if (auto* ok = qobject_cast<QPushButton*>(button(QMessageBox::Ok)))
        ok->setDefault(true);
    keepOnScreen();
}

void DetailsBox::widenForTitle()
{
    if (m_growing)
        return;
    QFont title = font();
    title.setBold(true);
    const int least = QFontMetrics(title).horizontalAdvance(windowTitle()) +
                      TitleBarButtons * style()->pixelMetric(QStyle::PM_TitleBarHeight);
    if (width() < least)
        setFixedWidth(least);
}

void DetailsBox::keepOnScreen()
{
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    const QRect area = shownOn->availableGeometry();
    const QRect frame = frameGeometry();
    const QSize frameExtra = frame.size() - size();
    const QSize most = area.size() - frameExtra;
    if (m_growing && (width() > most.width() || height() > most.height()))
        resize(size().boundedTo(most).expandedTo(minimumSize()));
    const QSize outer = size() + frameExtra;
    QPoint at = frameGeometry().topLeft();
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    move(at);
}
