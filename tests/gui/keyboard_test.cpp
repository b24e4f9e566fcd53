// Every control within reach of the keyboard: Enter presses the button that has the focus in the
// main window and in both dialogs, and the teacher dialog lets the focus out of its grid.

#include "app/mainform.h"
#include "components/xml/xmldocument.h"
#include "tests/gui/guisupport.h"
#include "tests/gui/modalscript.h"
#include "tests/gui/teachergrid.h"
#include "tests/stepfixture.h"
#include "tests/testsupport.h"
#include "to_timetable/plantihoras/plantihoras.h"
#include "to_yedra/controlprofes/controlprofes.h"
#include "widgets/helpwindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace teachergrid;

namespace {

// Enter as the user presses it: the main key, and the keypad's.
struct EnterKey {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};
const EnterKey enterKeys[] = {{"Enter", Qt::Key_Return, Qt::NoModifier},
                              {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier}};

void pressOn(QWidget* focused, const EnterKey& enter)
{
    focused->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), focused);
    systemKey(focused, enter.key, enter.modifiers);
}

QWidget* focused()
{
    return QApplication::focusWidget();
}

QString nameOf(const QWidget* widget)
{
    return widget ? widget->objectName() : QStringLiteral("(nada)");
}

} // namespace

// In the main window, Enter on the button that has the focus presses it: both run buttons,
// "F1 Ayuda" and "Salir".
TEST(Keyboard, EnterPressesTheFocusedButtonInTheMainWindow)
{
    NoSystemViewer noViewer;
    QTemporaryDir dir;
    for (const EnterKey& enter : enterKeys) {
        SCOPED_TRACE(enter.name);
        TMForm form(ShellSetup{{}, dir.path(), dir.path(), {}});
        form.show();
        activate(form);
        for (const char* run : {"BExportar", "BImportar"}) {
            SCOPED_TRACE(run);
            ModalScript script;
            script.then(ModalScript::cancel()).then(script.acknowledge());
            pressOn(form.findChild<QPushButton*>(QLatin1String(run)), enter);
            EXPECT_TRUE(script.done());
            EXPECT_EQ(script.messages, QStringList{QStringLiteral("No existe archivo")});
            EXPECT_EQ(script.unexpected, QStringList());
            activate(form);
        }
        pressOn(form.findChild<QPushButton*>(QStringLiteral("Button1")), enter);
        HelpWindow* help = shownHelpWindow();
        EXPECT_NE(help, nullptr);
        if (help)
            help->close();
        activate(form);
        pressOn(form.findChild<QPushButton*>(QStringLiteral("BClose")), enter);
        EXPECT_TRUE(form.hasClosed());
        EXPECT_FALSE(form.isVisible());
    }
}

// In the time-frame dialog, Enter on "Continuar" closes it with the frames chosen.
TEST(Keyboard, EnterPressesContinuar)
{
    const QByteArray xml = yedraDocument({{QStringLiteral("JORNADAS_ESCOLARES"),
                                           {{"M1", "Mañana", "01/09/2026", "30/06/2027"},
                                            {"T1", "Tarde", "01/09/2026", "30/06/2027"}}}});
    XmlDocument document;
    ASSERT_TRUE(document.loadXml(xml));
    for (const EnterKey& enter : enterKeys) {
        SCOPED_TRACE(enter.name);
        TPlantillas dialog(document);
        dialog.show();
        activate(dialog);
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("ListBox2"));
        ASSERT_NE(list, nullptr);
        list->setFocus();
        systemKey(list, Qt::Key_Down);
        systemKey(list, Qt::Key_Space); // the second frame chosen from the keyboard
        pressOn(dialog.findChild<QPushButton*>(QStringLiteral("BitBtnContinuar")), enter);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(dialog.resultMH);
        EXPECT_EQ(dialog.resultado.trimmed(), QStringLiteral("T1"));
    }
}

// In the teacher dialog, Enter on "Salir" and on the navigator's buttons presses them; in the
// grid it keeps moving to the next column.
TEST(Keyboard, EnterPressesTheTeacherDialogsButtons)
{
    for (const EnterKey& enter : enterKeys) {
        SCOPED_TRACE(enter.name);
        const Proft proft(staff);
        ModalScript script;
        TControlProfesores dialog(proft.path);
        showActive(dialog);
        pressOn(navigator(dialog, "Last"), enter);
        EXPECT_EQ(current(dialog).row(), staff.size() - 1);
        pressOn(navigator(dialog, "First"), enter);
        EXPECT_EQ(current(dialog).row(), 0);
        pressOn(dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1")), enter);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_FALSE(dialog.result); // staff lacks data
        EXPECT_EQ(script.unexpected, QStringList());
    }
}

// From the grid the keyboard reaches every control of the teacher dialog: Ctrl+Tab leaves the
// grid forward and Ctrl+Shift+Tab backward, from a cell being typed as well; Tab from the last
// cell leaves it, Shift+Tab from the first; Tab then goes round every button that can be used,
// "Salir" included, and back into the grid.
TEST(Keyboard, EveryControlOfTheTeacherDialogIsReachable)
{
    const Proft proft(staff);
    ModalScript script;
    TControlProfesores dialog(proft.path);
    showActive(dialog);
    QTableView* view = grid(dialog);
    auto* salir = dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1"));
    const auto inGrid = [&] { return focused() == view || view->isAncestorOf(focused()); };
    ASSERT_TRUE(inGrid());

    // Backward out of the grid: "Salir" is the control before it.
    systemKey(view, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(focused(), salir) << nameOf(focused());
    systemKey(salir, Qt::Key_Tab);
    EXPECT_TRUE(inGrid()) << nameOf(focused());

    // A middle row, so that every button that moves can be used.
    clickCell(dialog, 1, XEmpleado);
    QApplication::processEvents();
    systemKey(view, Qt::Key_Tab, Qt::ControlModifier);
    QApplication::processEvents();
    ASSERT_FALSE(inGrid());
    QList<QToolButton*> usable; // the navigator's buttons that can be used on this row
    for (QToolButton* button : dialog.findChildren<QToolButton*>()) {
        if (button->isEnabled())
            usable << button;
    }
    QSet<QWidget*> reached;
    for (int i = 0; i < 30 && !inGrid(); ++i) {
        reached.insert(focused());
        systemKey(focused(), Qt::Key_Tab);
        QApplication::processEvents();
    }
    EXPECT_TRUE(inGrid()) << nameOf(focused());
    QStringList missed;
    for (QToolButton* button : usable) {
        if (!reached.contains(button))
            missed << button->objectName();
    }
    if (!reached.contains(salir))
        missed << salir->objectName();
    EXPECT_EQ(missed, QStringList());
    EXPECT_GE(usable.size(), 8);

    // Ctrl+Tab from a cell being typed: the value goes into the row, still being edited in the
    // navigator, whose save button takes it to the table; its edit button then comes back.
    typeInCell(dialog, 1, XEmpleado, QStringLiteral("3020"));
    ASSERT_NE(editor(), nullptr);
    systemKey(editor(), Qt::Key_Tab, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(focused(), navigator(dialog, "First")) << nameOf(focused());
    EXPECT_EQ(shown(dialog)[1][XEmpleado], QStringLiteral("3020"));
    EXPECT_EQ(proft.rows()[1][XEmpleado], QString());
    // Saving and undoing are there for this row, after the buttons that move.
    QToolButton* post = navigator(dialog, "Post");
    for (int i = 0; i < 12 && focused() != post; ++i)
        systemKey(focused(), Qt::Key_Tab);
    EXPECT_EQ(focused(), post) << nameOf(focused());
    systemKey(post, Qt::Key_Tab);
    EXPECT_EQ(focused(), navigator(dialog, "Cancel")) << nameOf(focused());
    systemKey(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(focused(), post) << nameOf(focused());
    systemKey(post, enterKeys[0].key);
    QApplication::processEvents();
    EXPECT_EQ(proft.rows()[1][XEmpleado], QStringLiteral("3020"));
    QToolButton* edit = navigator(dialog, "Edit");
    ASSERT_TRUE(edit->isEnabled());
    for (int i = 0; i < 12 && focused() != edit; ++i)
        systemKey(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), edit) << nameOf(focused());

    // Tab from the last cell, typing or not, and Shift+Tab from the first.
    clickCell(dialog, staff.size() - 1, FTomapos);
    QApplication::processEvents();
    systemKey(view, Qt::Key_Tab);
    EXPECT_FALSE(inGrid()) << nameOf(focused());
    typeInCell(dialog, staff.size() - 1, FTomapos, QStringLiteral("01092020"));
    systemKey(editor(), Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_FALSE(inGrid()) << nameOf(focused());
    EXPECT_EQ(shown(dialog).last()[FTomapos], QStringLiteral("01/09/2020"));
    clickCell(dialog, 0, XEmpleado);
    QApplication::processEvents();
    systemKey(view, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), salir) << nameOf(focused());

    // Elsewhere Tab still moves between the cells.
    clickCell(dialog, 0, XEmpleado);
    systemKey(view, Qt::Key_Tab);
    EXPECT_EQ(current(dialog), view->model()->index(0, FTomapos));
    EXPECT_TRUE(inGrid());
    EXPECT_EQ(script.unexpected, QStringList());
    clickCloseBox(dialog);
}
