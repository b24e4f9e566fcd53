#pragma once

#include <QColor>
#include <QLabel>
#include <QSize>

class QFont;
class QWidget;

// What every form of the program has in common.
namespace form {

// A fixed dialog border: the title, only the close box among the title-bar buttons, a client
// area of `size` that cannot be resized.
void setUpFixed(QWidget* form, const QString& title, const QSize& size);
// The form centred on the screen.
void centreOnScreen(QWidget* form);
// F1 anywhere in the form shows the help topic of `context`.
void addHelpKey(QWidget* form, int context);
// Enter (the main one or the keypad's) on any button of the form that has the focus presses it,
// as on the desktop the users come from; Qt does so only for a dialog's default buttons. Called
// once the form has all its buttons.
void enterPressesButtons(QWidget* form);

// A label on `parent`, transparent over it, its text in `colour` and `font` from its top left.
template <typename Label = QLabel>
Label* label(QWidget* parent, const char* name, const QString& text, const QFont& font,
             const QColor& colour)
{
    auto* label = new Label(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace form
