#include "widgets/toolwindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QWidget>
#include <algorithm>

namespace toolwindow {
namespace {

const char* const Placed = "quelvanaToolWindowPlaced";
constexpr int Gap = 8; // between the window and the one it opens beside
constexpr int Cascade = 32;

void adopt(QWidget* window, QWidget* host);

// Hands the window over to its host's owner when the host hides (a dialog closing), so that it
// stays open and usable after the dialog has gone.
class Handover : public QObject {
public:
    Handover(QWidget* window, QWidget* host) : QObject(window), m_window(window), m_host(host)
    {
        setObjectName(Name);
        host->installEventFilter(this);
    }

    // Its name among the window's children (it has no meta-object of its own to be found by).
    static constexpr const char* Name = "quelvanaToolWindowHandover";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A window minimised hides spontaneously: it is still there.
        if (watched == m_host && event->type() == QEvent::Hide && !event->spontaneous() &&
            m_window->parentWidget() == m_host) {
            QWidget* owner = m_host->parentWidget() ? m_host->parentWidget()->window() : nullptr;
            adopt(m_window, owner);
        }
        return false;
    }

private:
    QWidget* m_window;
    QPointer<QWidget> m_host;
};

// `window` belongs to `host` from now on, shown as it was and where it was.
void adopt(QWidget* window, QWidget* host)
{
    if (window->parentWidget() == host)
        return;
    const bool shown = window->isVisible();
    const QRect geometry = window->geometry();
    window->setParent(host, window->windowFlags());
    const QString name = QLatin1String(Handover::Name);
    for (QObject* earlier : window->findChildren<QObject*>(name, Qt::FindDirectChildrenOnly))
        delete earlier;
    if (host)
        new Handover(window, host);
    if (shown) {
        window->setGeometry(geometry);
        window->show();
    }
}

// The first showing: beside `host` where the screen has room, over it where it has not, always
// within the screen; centred on the screen without a host.
void place(QWidget* window, QWidget* host)
{
    const QScreen* screen = host ? host->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The window system's frame is not known before the first showing: the host's tells.
    const QMargins frame =
        host ? QMargins(host->geometry().left() - host->frameGeometry().left(),
                        host->geometry().top() - host->frameGeometry().top(),
                        host->frameGeometry().right() - host->geometry().right(),
                        host->frameGeometry().bottom() - host->geometry().bottom())
             : QMargins();
    const QSize room = area.size().shrunkBy(frame) - QSize(2 * Gap, 2 * Gap);
    window->resize(window->size().boundedTo(room));
    const QSize outer = window->size().grownBy(frame);
    const QRect beside = host ? host->frameGeometry() : area;
    // Over it, moved down and right by a title bar's height: the window that asked stays in
    // sight behind, its title and its left edge.
    QPoint at = host ? beside.topLeft() + QPoint(Cascade, Cascade)
                     : beside.center() - QPoint(outer.width() / 2, outer.height() / 2);
    if (host && beside.right() + Gap + outer.width() <= area.right())
        at = QPoint(beside.right() + 1 + Gap, beside.top());
    else if (host && beside.left() - Gap - outer.width() >= area.left())
        at = QPoint(beside.left() - Gap - outer.width(), beside.top());
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    window->move(at);
}

} // namespace

void show(QWidget* window, QWidget* requester)
{
    QWidget* host = requester ? requester->window() : nullptr;
    if (host == window)
        host = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    adopt(window, host);
    if (!window->isVisible() && !window->property(Placed).toBool()) {
        place(window, host);
        window->setProperty(Placed, true);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void addCloseKeys(QWidget* window)
{
    QList<QKeySequence> keys = {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)};
    for (const QKeySequence& platform : QKeySequence::keyBindings(QKeySequence::Close)) {
        if (!platform.isEmpty() && !keys.contains(platform))
            keys << platform;
    }
    for (const QKeySequence& sequence : std::as_const(keys)) {
        auto* shortcut = new QShortcut(sequence, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
}

} // namespace toolwindow
