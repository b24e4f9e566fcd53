#include "widgets/formsetup.h"

#include "widgets/helpviewer.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

namespace form {
namespace {

// Presses the button it watches on Enter. A held key presses it once.
class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            modifiers != Qt::NoModifier)
            return false;
        auto* button = static_cast<QAbstractButton*>(watched);
        if (!key->isAutoRepeat() && button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

void setUpFixed(QWidget* form, const QString& title, const QSize& size)
{
    form->setWindowTitle(title);
    form->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    form->setFixedSize(size);
}

void centreOnScreen(QWidget* form)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form->move(screen->availableGeometry().center() - form->rect().center());
}

void addHelpKey(QWidget* form, int context)
{
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), form);
    QObject::connect(f1, &QShortcut::activated, form,
                     [form, context] { help::showContext(form, context); });
}

void enterPressesButtons(QWidget* form)
{
    auto* filter = new EnterPresses(form);
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
        if (button->window() == form) // not those of a dialog the form owns
            button->installEventFilter(filter);
    }
}

} // namespace form
