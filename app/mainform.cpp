#include "app/mainform.h"

#include <QGuiApplication>
#include <QScreen>

TMForm::TMForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MForm"));
    setWindowTitle(QStringLiteral("Exportar e importar datos entre Oranel y Yedra"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                   Qt::WindowTitleHint);
    setFixedSize(632, 266);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
