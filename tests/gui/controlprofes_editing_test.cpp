#include "tests/gui/guisupport.h"
#include "tests/gui/modalscript.h"
#include "tests/gui/teachergrid.h"
#include "to_yedra/controlprofes/controlprofes.h"
#include "widgets/helpwindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace teachergrid;

namespace {

// Whether the whole of `column`, and of its title, is in view in the grid or in its fixed part.
bool wholeInView(QWidget& dialog, int column)
{
    QTableView* view = grid(dialog);
    QTableView* fixed = dialog.findChild<QTableView*>(QStringLiteral("ProftDBGridFixedColumns"));
    QTableView* holder = column < 2 ? fixed : view;
    const int left = holder->columnViewportPosition(column);
    const int right = left + holder->columnWidth(column);
    const QHeaderView* titles = holder->horizontalHeader();
    const int titleLeft = titles->sectionViewportPosition(column);
    return left >= 0 && right <= holder->viewport()->width() && titleLeft == left &&
           titles->isVisible() && !holder->isColumnHidden(column);
}

} // namespace

// At the dialog's size the grid shows all four columns and their titles whole, with no
// horizontal scroll bar; Tab from X_EMPLEADO to F_TOMAPOS and typing there move no column, so a
// click where X_EMPLEADO stood lands in X_EMPLEADO of the next teacher.
TEST(ControlProfesores, NoColumnMovesUnderThePointer)
{
    struct Case {
        const char* name;
        Rows teachers;
    };
    const Case cases[] = {{"the usual teachers", staff}, {"the widest values", widest + staff}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Proft proft(c.teachers);
        ModalScript script;
        TControlProfesores dialog(proft.path);
        showActive(dialog);
        QTableView* view = grid(dialog);
        const QAbstractItemModel* model = view->model();
        EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
        EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
        for (int column = 0; column < model->columnCount(); ++column)
            EXPECT_TRUE(wholeInView(dialog, column)) << column;

        // The pointer over the first teacher's X_EMPLEADO, in the dialog's own coordinates.
        const QRect cell = view->visualRect(model->index(0, XEmpleado));
        const QPoint pointer = view->viewport()->mapTo(&dialog, cell.center());
        const auto columnUnderPointer = [&] {
            return view->columnAt(view->viewport()->mapFrom(&dialog, pointer).x());
        };
        EXPECT_EQ(columnUnderPointer(), XEmpleado);
        QTest::keyClick(view, Qt::Key_Tab);
        ASSERT_EQ(current(dialog), model->index(0, FTomapos));
        EXPECT_EQ(columnUnderPointer(), XEmpleado);
        QTest::keyClick(view, Qt::Key_F2);
        ASSERT_NE(editor(), nullptr);
        editor()->selectAll();
        QTest::keyClicks(editor(), QStringLiteral("01092021"));
        EXPECT_EQ(columnUnderPointer(), XEmpleado);
        EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
        for (int column = 0; column < model->columnCount(); ++column)
            EXPECT_TRUE(wholeInView(dialog, column)) << column;

        // The next teacher's X_EMPLEADO under the same x.
        const QPoint below(view->viewport()->mapFrom(&dialog, pointer).x(),
                           view->visualRect(model->index(1, XEmpleado)).center().y());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, below);
        EXPECT_EQ(current(dialog), model->index(1, XEmpleado));
        EXPECT_EQ(proft.rows()[0][FTomapos], "01/09/2021");
        EXPECT_EQ(script.unexpected, QStringList());
        clickCloseBox(dialog);
    }
}

// After a refused value the user is back in its cell; one Escape there restores the row as it
// was saved, as the message says, and the cursor can leave it.
TEST(ControlProfesores, OneEscapeRestoresARefusedRow)
{
    const Rows teachers = {{"PRS", "Pérez Ruiz, Sergio", "3020", ""}, staff[0]};
    const Proft proft(teachers);
    ModalScript script;
    script.then(script.acknowledge());
    TControlProfesores dialog(proft.path);
    showActive(dialog);
    typeInCell(dialog, 0, FTomapos, "1203");
    QTest::mouseClick(navigator(dialog, "Post"), Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_EQ(script.messages.size(), 1);
    EXPECT_TRUE(script.messages[0].contains(QStringLiteral("la tecla Esc")));
    // The same icon as every other error box (the unreadable document's among them).
    EXPECT_EQ(script.icons, QList<int>{QMessageBox::Critical});
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->text(), "12/03/");

    QTest::keyClick(editor(), Qt::Key_Escape);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_EQ(shown(dialog)[0], teachers[0]);
    EXPECT_FALSE(navigator(dialog, "Post")->isEnabled()); // no longer editing
    clickCell(dialog, 1, XEmpleado);
    EXPECT_EQ(current(dialog), grid(dialog)->model()->index(1, XEmpleado));
    EXPECT_EQ(proft.rows(), teachers);
    EXPECT_EQ(script.messages.size(), 1);
    EXPECT_EQ(script.unexpected, QStringList());

    // Escape with typing in the cell takes back the typing first, as before.
    typeInCell(dialog, 1, XEmpleado, "55");
    QTest::keyClick(editor(), Qt::Key_Escape);
    EXPECT_EQ(shown(dialog)[1][XEmpleado], teachers[1][XEmpleado]);
    clickCloseBox(dialog);
}

// F1 in the modal teacher dialog opens the help at its topic in a window the user can use while
// the dialog stays open: it takes clicks and keys as the window system delivers them, the window
// the dialog blocks does not, and Escape closes the help, leaving the dialog up.
TEST(ControlProfesores, TheHelpCanBeUsedWhileTheDialogIsUp)
{
    const NoSystemViewer ownWindows;
    const Proft proft(staff);
    QWidget owner;
    auto* blocked = new QPushButton(QStringLiteral("Detrás"), &owner);
    bool ownerClicked = false;
    QObject::connect(blocked, &QPushButton::clicked, [&] { ownerClicked = true; });
    owner.show();
    TControlProfesores dialog(proft.path, &owner);
    QString topicShown, topicAfterClick, topicAfterKey;
    bool closedByEscape = false;
    bool dialogStayed = false;
    QTimer::singleShot(0, &dialog, [&] {
        activate(dialog);
        systemKey(grid(dialog), Qt::Key_F1);
        QPointer<HelpWindow> help = shownHelpWindow();
        if (!help)
            return dialog.reject();
        topicShown = help->topic();
        auto* index = help->findChild<QListWidget*>(QStringLiteral("HelpIndex"));
        systemClick(index->viewport(), index->visualItemRect(index->item(0)).center());
        topicAfterClick = help->topic();
        systemKey(index, Qt::Key_Down);
        topicAfterKey = help->topic();
        systemClick(blocked, blocked->rect().center());
        systemKey(index, Qt::Key_Escape);
        closedByEscape = !help || !help->isVisible();
        dialogStayed = dialog.isVisible();
        dialog.reject();
    });
    dialog.exec();
    EXPECT_EQ(topicShown, QStringLiteral("datos-profesorado.html"));
    EXPECT_EQ(topicAfterClick, QStringLiteral("index.html"));
    EXPECT_NE(topicAfterKey, topicAfterClick);
    EXPECT_FALSE(topicAfterKey.isEmpty());
    EXPECT_FALSE(ownerClicked);
    EXPECT_TRUE(closedByEscape);
    EXPECT_TRUE(dialogStayed);
}
