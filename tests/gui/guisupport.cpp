#include "tests/gui/guisupport.h"

#include "widgets/helpviewer.h"
#include "widgets/helpwindow.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QWindow>

NoSystemViewer::NoSystemViewer() : m_path(qgetenv("PATH")), m_browser(qgetenv("BROWSER"))
{
    qputenv("PATH", QFile::encodeName(m_emptyPath.path()));
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
    help::setProgramFolder(QStringLiteral(QUELVANA_BIN_DIR));
}

NoSystemViewer::~NoSystemViewer()
{
    qputenv("PATH", m_path);
    if (!m_browser.isNull())
        qputenv("BROWSER", m_browser);
    help::setProgramFolder(QString());
}

HelpWindow* shownHelpWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<HelpWindow*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

void systemClick(QWidget* widget, const QPoint& point)
{
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      widget->mapTo(window, point));
    QApplication::processEvents();
}

void systemKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(widget->window()->windowHandle(), key, modifiers);
    QApplication::processEvents();
}
