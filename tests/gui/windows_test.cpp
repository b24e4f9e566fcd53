#include "tests/gui/guisupport.h"
#include "tests/testsupport.h"
#include "widgets/detailsbox.h"
#include "widgets/messageboxes.h"
#include "widgets/textwindow.h"
#include "widgets/toolwindow.h"

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QRect screenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// A report of many long lines, as the L school's runs make.
QString longReport(int lines)
{
    QStringList out;
    for (int i = 1; i <= lines; ++i)
        out << QStringLiteral("ASIGNOMT, registro %1: la materia de la oferta de curso %1 no tiene "
                              "ninguna unidad en el documento y se deja fuera de la tabla")
                   .arg(i);
    return out.join(QLatin1Char('\n'));
}

// The details button of a box: its one push button that is neither OK nor a button of ours.
QPushButton* detailsButton(DetailsBox& box)
{
    for (QPushButton* button : box.findChildren<QPushButton*>()) {
        if (button != box.button(QMessageBox::Ok) &&
            button->objectName() != QLatin1String("OpenFile"))
            return button;
    }
    return nullptr;
}

// Runs `check` once `box` is up, modal, then closes it if `check` has not.
void whileUp(DetailsBox& box, const std::function<void()>& check)
{
    QTimer::singleShot(0, &box, [&box, check] {
        QApplication::setActiveWindow(&box);
        check();
        if (box.isVisible())
            box.reject();
    });
    box.exec();
}

} // namespace

// A tool window opens beside the window that asked for it where the screen has room, over it
// where it has not, always within the screen and no larger than it.
TEST(ToolWindow, OpensBesideTheWindowThatAskedWithinTheScreen)
{
    const QRect area = screenArea();
    struct Case {
        const char* name;
        QRect requester;
        QSize window;
        bool beside;
    };
    const Case cases[] = {
        {"room on the right", QRect(area.left() + 20, area.top() + 20, 300, 200), {300, 200}, true},
        {"room on the left",
         QRect(area.right() - 320, area.top() + 20, 300, 200),
         {300, 200},
         true},
        {"no room beside", QRect(area.left() + 40, area.top() + 40, 700, 300), {880, 580}, false},
        {"larger than the screen", QRect(area.left() + 40, area.top() + 40, 300, 200),
         area.size() * 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget requester;
        requester.setGeometry(c.requester);
        requester.show();
        QPointer<QWidget> window = new QWidget(nullptr, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->resize(c.window);
        toolwindow::show(window, &requester);
        ASSERT_TRUE(window->isVisible());
        const QRect placed = window->frameGeometry();
        EXPECT_TRUE(area.contains(placed))
            << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
        EXPECT_EQ(placed.intersects(requester.frameGeometry()), !c.beside);
        EXPECT_EQ(window->parentWidget(), &requester);
        window->close();
    }
}

// Escape, Ctrl+W and the platform's close keys close a tool window.
TEST(ToolWindow, EscapeAndCtrlWCloseIt)
{
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        SCOPED_TRACE(keys.key());
        QPointer<QWidget> window = new QWidget(nullptr, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* text = new QPlainTextEdit(window);
        toolwindow::addCloseKeys(window);
        toolwindow::show(window, nullptr);
        QApplication::setActiveWindow(window);
        text->setFocus();
        systemKey(text, keys.key(), keys.keyboardModifiers());
        EXPECT_TRUE(!window || !window->isVisible());
        delete window;
    }
}

// A tool window opened from a modal dialog stays open, where it was, when the dialog closes: it
// goes over to the dialog's owner.
TEST(ToolWindow, OutlivesTheDialogThatOpenedIt)
{
    QWidget owner;
    owner.show();
    QPointer<QWidget> window = new QWidget(nullptr, Qt::Window);
    window->resize(200, 150);
    {
        QDialog dialog(&owner);
        QRect whileUp;
        QTimer::singleShot(0, &dialog, [&] {
            toolwindow::show(window, &dialog);
            whileUp = window->geometry();
            dialog.accept();
        });
        dialog.exec();
        QApplication::processEvents();
        ASSERT_TRUE(window);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->parentWidget(), &owner);
        EXPECT_EQ(window->geometry(), whileUp);
    }
    ASSERT_TRUE(window); // the dialog is gone, the window is not
    EXPECT_TRUE(window->isVisible());
    delete window;
}

// After the details are opened with the mouse, Enter accepts the box, with the focus on the
// details or back on the details button alike: OK stays the default button.
TEST(DetailsBox, EnterAcceptsAfterTheDetailsAreOpened)
{
    for (bool backOnTheButton : {false, true}) {
        SCOPED_TRACE(backOnTheButton);
        DetailsBox box(QMessageBox::NoIcon, QStringLiteral("Proceso finalizado"), nullptr);
        box.setDetailedText(longReport(50));
        bool opened = false;
        whileUp(box, [&] {
            QPushButton* details = detailsButton(box);
            ASSERT_NE(details, nullptr);
            QTest::mouseClick(details, Qt::LeftButton);
            QApplication::processEvents();
            opened = box.detailsShown();
            if (backOnTheButton)
                details->setFocus(Qt::MouseFocusReason);
            systemKey(&box, Qt::Key_Return);
        });
        EXPECT_TRUE(opened);
        EXPECT_EQ(box.clickedButton(), box.button(QMessageBox::Ok));
        EXPECT_EQ(box.result(), QMessageBox::Ok);
    }
}

// With the details open the report scrolls with the keys, wraps its long lines, and the box can
// be made larger and stays within the screen, however long the report.
TEST(DetailsBox, TheDetailsReadAtLength)
{
    DetailsBox box(QMessageBox::NoIcon, QStringLiteral("Proceso finalizado"), nullptr);
    box.setInformativeText(QStringLiteral("Informe guardado en /tmp/quelvana-informe.txt"));
    box.setDetailedText(longReport(4680));
    whileUp(box, [&] {
        QTest::mouseClick(detailsButton(box), Qt::LeftButton);
        QApplication::processEvents();
        ASSERT_TRUE(box.detailsShown());
        QTextEdit* text = box.detailsText();
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->hasFocus());
        QScrollBar* down = text->verticalScrollBar();
        // The end and the start in view, within the document's margin.
        const int line = text->fontMetrics().lineSpacing();
        systemKey(text, Qt::Key_End, Qt::ControlModifier);
        EXPECT_GT(down->value(), 0);
        EXPECT_GE(down->value(), down->maximum() - line);
        systemKey(text, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_LE(down->value(), line);
        systemKey(text, Qt::Key_PageDown);
        EXPECT_GT(down->value(), line);
        EXPECT_EQ(text->horizontalScrollBar()->maximum(), 0); // lines wrapped, none cut
        EXPECT_EQ(text->lineWrapMode(), QTextEdit::WidgetWidth);

        const QRect area = screenArea();
        EXPECT_TRUE(area.contains(box.frameGeometry()));
        EXPECT_LT(box.minimumSize().width(), box.maximumSize().width());
        EXPECT_LT(box.minimumSize().height(), box.maximumSize().height());
        const QSize larger = (box.size() + QSize(30, 30)).boundedTo(area.size());
        box.resize(larger);
        QApplication::sendPostedEvents();
        QApplication::processEvents();
        EXPECT_EQ(box.size(), larger); // a new layout keeps the user's size
        EXPECT_GE(text->height(), 6 * text->fontMetrics().lineSpacing());
    });
}

// A box with a short text is still wide enough for its title, with the title bar's icon and
// buttons, to read whole.
TEST(DetailsBox, TheTitleReadsWhole)
{
    DetailsBox box(QMessageBox::NoIcon, QStringLiteral("No existe archivo"), nullptr);
    int width = 0;
    whileUp(box, [&] { width = box.width(); });
    QFont title = box.font();
    title.setBold(true);
    EXPECT_GE(width, QFontMetrics(title).horizontalAdvance(box.windowTitle()) +
                         4 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

// The button that opens the saved report: where the system has nothing to open a text with,
// the program's own text window shows the whole file, usable while the box stays up, and it
// stays open after the box.
TEST(DetailsBox, TheSavedReportOpensFromTheBox)
{
    const NoSystemViewer ownWindows;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quelvana-informe.txt"));
    writeFile(path, "\xEF\xBB\xBF" + longReport(300).replace(QLatin1Char('\n'), "\r\n").toUtf8() +
                        "\r\n");
    QWidget owner;
    owner.show();
    DetailsBox box(QMessageBox::NoIcon, QStringLiteral("Proceso finalizado"), &owner);
    QPushButton* open = box.addOpenButton(QStringLiteral("Abrir el informe"), path);
    QPointer<TextWindow> window;
    bool boxStayed = false;
    int scrolled = -1;
    whileUp(box, [&] {
        QTest::mouseClick(open, Qt::LeftButton);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* shown = qobject_cast<TextWindow*>(widget); shown && shown->isVisible())
                window = shown;
        }
        boxStayed = box.isVisible();
        if (!window)
            return;
        systemKey(window->text(), Qt::Key_End, Qt::ControlModifier);
        scrolled = window->text()->verticalScrollBar()->value();
        box.accept();
    });
    ASSERT_TRUE(window);
    EXPECT_TRUE(boxStayed);
    EXPECT_GT(scrolled, 0);
    EXPECT_EQ(window->path(), path);
    EXPECT_EQ(window->text()->toPlainText(), longReport(300) + QLatin1Char('\n'));
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->parentWidget(), &owner);
    systemKey(window->text(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(!window || !window->isVisible());
}
