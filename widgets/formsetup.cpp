#include "widgets/formsetup.h"

#include "widgets/helpviewer.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

namespace form {

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

} // namespace form
