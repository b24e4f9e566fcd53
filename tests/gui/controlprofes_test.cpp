#include "app/windowinteraction.h"
#include "components/dbase/dbftable.h"
#include "components/timetablefolder/tablelayouts.h"
#include "tests/gui/modalscript.h"
#include "tests/gui/teachergrid.h"
#include "tests/tablesupport.h"
#include "tests/testsupport.h"
#include "to_yedra/controlprofes/controlprofes.h"
#include "to_yedra/controlprofes/proftmodel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

using namespace teachergrid;

// The whole teacher table in natural order, complete or not, values as they stand; the window,
// its texts and its controls where the user expects them.
TEST(ControlProfesores, ShowsEveryTeacherAndItsTexts)
{
    Rows teachers = staff;
    teachers << Row{"  ZZ", "Zapata, Íñigo", "  77 ", " 1-9-2020"};
    const Proft proft(teachers);
    ModalScript script;
    TControlProfesores dialog(proft.path);
    showActive(dialog);

    Rows expected = teachers;
    expected.last() = Row{"  ZZ", "Zapata, Íñigo", "  77", " 1-9-2020"}; // pad blanks go
    EXPECT_EQ(shown(dialog), expected);
    EXPECT_FALSE(dialog.result);

    const QAbstractItemModel* model = grid(dialog)->model();
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles << model->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles, (QStringList{"ABREV", "NOMBRE", "X_EMPLEADO", "F_TOMAPOS"}));

    EXPECT_EQ(dialog.windowTitle(), "Control de Profesores");
    // Where the grid needs more room to show every column whole, the window is that much wider
    // and what stands right of the grid moves along.
    const int wider = grid(dialog)->width() - 490;
    EXPECT_GE(wider, 0);
    EXPECT_EQ(dialog.size(), QSize(754 + wider, 499));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    struct Text {
        const char* label;
        QPoint position;
        const char* text;
    };
    const Text texts[] = {
        {"Label1", {9, 12}, "CONTROL DE DATOS DE LOS PROFESORES"},
        {"Label3", {525, 66}, "INCIDENCIAS EN EL TRASPASO"},
        {"Label2",
         {519, 91},
         "Se ha detectado que existe algún Profesor sin todos los datos necesarios. (Seguramente "
         "hayan sido creados directamente desde Oranel.)      Para poder realizar correctamente "
         "la integración del Horario en YEDRA, deberán asignarlos en esta rejilla. "},
        {"Label4",
         {519, 195},
         "Los Profesores deberán estar creados previamente en YEDRA, con los mismos Datos de "
         "X_EMPLEADO y F_TOMAPOS. "},
        {"Label5",
         {519, 251},
         "YEDRA, dispone de un proceso mediante el cual pueden obtener la información de estos 2 "
         "datos mencionados. "},
        {"Label6",
         {519, 307},
         "Después de haber introducido los datos que faltan, pulsando \"Salir\", se reiniciará el "
         "proceso."},
    };
    for (const Text& t : texts) {
        SCOPED_TRACE(t.label);
        const QLabel* label = dialog.findChild<QLabel*>(QLatin1String(t.label));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), t.text);
        const QPoint moved(std::string(t.label) == "Label1" ? 0 : wider, 0);
        EXPECT_EQ(label->mapTo(&dialog, QPoint(0, 0)), t.position + moved);
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(label->wordWrap(), std::string(t.label) != "Label3");
    }
    const auto geometry = [&](const char* name) {
        const QWidget* widget = dialog.findChild<QWidget*>(QLatin1String(name));
        return QRect(widget->mapTo(&dialog, QPoint(0, 0)), widget->size());
    };
    EXPECT_EQ(geometry("ProftDBGrid"), QRect(9, 56, 490 + wider, 433));
    EXPECT_EQ(geometry("wwDBNavigator1"), QRect(224 + wider, 29, 275, 24));
    EXPECT_EQ(geometry("BitBtn1"), QRect(583 + wider, 368, 75, 25));
    EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->text(), "Salir");
}

// What the user types reaches the file row by row, and "Salir" gives the verdict over the table
// as saved: the row still being typed is saved first. The close box saves as well, but its
// verdict is always false. Another object open on the file sees every saved value at once.
TEST(ControlProfesores, SavesWhatIsTypedAndGivesTheVerdict)
{
    struct Edit {
        int row;
        int column;
        QString keys;
    };
    struct Case {
        const char* name;
        Rows teachers;
        QList<Edit> edits;
        bool closeBox;
        bool result;
        Rows saved;
    };
    const Rows completed = {
        {"MGL", "Martín García, Lucía", "4411", "01/09/2015"},
        {"PRS", "Pérez Ruiz, Sergio", "3020", "02/09/2021"},
        {"ALV", "Álvarez López, Víctor", "5120", "03/09/2022"},
        {"BEN", "Benítez Mora, Ana", "907", "15/09/2019"},
    };
    const QList<Edit> completing = {{1, XEmpleado, "3020"},
                                    {1, FTomapos, "02092021"},
                                    {2, FTomapos, "03092022"},
                                    {3, XEmpleado, "907"}};
    Rows oneLeft = completed;
    oneLeft[1][3].clear();
    const Row blanks = {"BLA", "Blanco, Pedro", "   ", "01/09/2015"};
    const Row around = {"ALR", "Alrededor, Eva", " 12", " 1-9-2020"};
    const Case cases[] = {
        {"completing every teacher, then Salir", staff, completing, false, true, completed},
        {"one left incomplete, then Salir", staff, completing.mid(0, 1) + completing.mid(2), false,
         false, oneLeft},
        {"completing every teacher, then the close box", staff, completing, true, false, completed},
        {"typing the one value missing, then Salir at once",
         oneLeft,
         {{1, FTomapos, "02092021"}},
         false,
         true,
         completed},
        {"a value of blanks only, untouched",
         {completed[0], blanks},
         {},
         false,
         false,
         {completed[0], {"BLA", "Blanco, Pedro", "", "01/09/2015"}}},
        {"values with blanks around them, untouched",
         {around},
         {},
         false,
         true,
         {{"ALR", "Alrededor, Eva", " 12", " 1-9-2020"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Proft proft(c.teachers);
        DbfTable other(proft.path); // as the run's own table object, open all along
        other.open();
        ModalScript script;
        TControlProfesores dialog(proft.path);
        showActive(dialog);
        for (const Edit& edit : c.edits)
            typeInCell(dialog, edit.row, edit.column, edit.keys);
        if (c.closeBox)
            clickCloseBox(dialog);
        else
            clickSalir(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(script.unexpected, QStringList());
        EXPECT_EQ(dialog.result, c.result);
        EXPECT_EQ(proft.rows(), c.saved);
        Rows seen;
        for (other.first(); !other.eof(); other.next())
            seen << Row{other.text(QStringLiteral("ABREV")), other.text(QStringLiteral("NOMBRE")),
                        other.text(QStringLiteral("X_EMPLEADO")),
                        other.text(QStringLiteral("F_TOMAPOS"))};
        EXPECT_EQ(seen, c.saved);
    }
}

// Whichever way text comes in (typed, pasted, from an input method), a change that cannot lead
// to a value of the mask is refused and the mask's slashes are filled in; deleting one does not
// bring it back at once.
TEST(ControlProfesores, KeepsTypingToTheMasks)
{
    enum class How { Typed, Pasted, Composed };
    struct Case {
        int column;
        QString keys;
        QString text;
        How how = How::Typed;
    };
    const Case cases[] = {
        {XEmpleado, "12a3", "123"},
        {XEmpleado, " 7-", "7"},
        {XEmpleado, "12345678901", "1234567890"},
        {FTomapos, "01092026", "01/09/2026"},
        {FTomapos, "0109", "01/09/"},
        {FTomapos, "12/03/2026", "12/03/2026"},
        {FTomapos, "1/2", "12/"},
        {FTomapos, "12\b", "12"},
        {FTomapos, "a", ""},
        {FTomapos, "010920261", "01/09/2026"},
        {XEmpleado, "12ab", "", How::Pasted},
        {XEmpleado, "4411", "4411", How::Pasted},
        {FTomapos, "0109", "01/09/", How::Pasted},
        {FTomapos, "1-9-2020", "", How::Pasted},
        {XEmpleado, "ab", "", How::Composed},
        {XEmpleado, "907", "907", How::Composed},
        {FTomapos, "15/09/2019", "15/09/2019", How::Composed},
    };
    const Proft proft(staff);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys.toStdString());
        SCOPED_TRACE(int(c.how));
        ModalScript script;
        TControlProfesores dialog(proft.path);
        showActive(dialog);
        typeInCell(dialog, 1, c.column, c.how == How::Typed ? c.keys : QString());
        ASSERT_NE(editor(), nullptr);
        if (c.how == How::Pasted) {
            QApplication::clipboard()->setText(c.keys);
            QTest::keyClick(editor(), Qt::Key_V, Qt::ControlModifier);
        } else if (c.how == How::Composed) {
            QInputMethodEvent composed;
            composed.setCommitString(c.keys);
            QApplication::sendEvent(editor(), &composed);
        }
        EXPECT_EQ(editor()->text(), c.text);
        QTest::mouseClick(navigator(dialog, "Cancel"), Qt::LeftButton);
        clickCloseBox(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(script.unexpected, QStringList());
    }
    EXPECT_EQ(proft.rows(), staff);
}

// A value that does not fit its mask is refused with a message whenever the row would be
// saved; the row stays in editing, nothing is written, the dialog stays open, and the mended
// value is saved.
TEST(ControlProfesores, RefusesAValueThatDoesNotFitItsMask)
{
    const Rows teachers = {{"PRS", "Pérez Ruiz, Sergio", "3020", ""}, staff[0]};
    const auto postButton = [](QWidget& dialog) {
        QTest::mouseClick(navigator(dialog, "Post"), Qt::LeftButton);
    };
    struct Case {
        const char* name;
        std::function<void(QWidget&)> save;
    };
    const Case cases[] = {
        {"the down arrow", [](QWidget&) { QTest::keyClick(editor(), Qt::Key_Down); }},
        {"Enter past the last column", [](QWidget&) { QTest::keyClick(editor(), Qt::Key_Return); }},
        {"a click on another row", [](QWidget& d) { clickCell(d, 1, XEmpleado); }},
        {"the navigator's save button", postButton},
        {"Salir", clickSalir},
        {"the close box", clickCloseBox},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Proft proft(teachers);
        ModalScript script;
        script.then(script.acknowledge()).then(script.acknowledge());
        TControlProfesores dialog(proft.path);
        showActive(dialog);
        typeInCell(dialog, 0, FTomapos, "1203");
        c.save(dialog);
        QApplication::processEvents(); // the dialog active again under the message
        ASSERT_EQ(script.messages.size(), 1);
        EXPECT_TRUE(script.messages[0].contains(QStringLiteral("«12/03/»")));
        EXPECT_TRUE(script.messages[0].contains(QStringLiteral("F_TOMAPOS")));
        EXPECT_TRUE(script.messages[0].contains(QStringLiteral("PRS")));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(current(dialog).row(), 0);
        EXPECT_EQ(shown(dialog)[0][3], "12/03/");
        EXPECT_TRUE(navigator(dialog, "Post")->isEnabled()); // still editing
        EXPECT_EQ(proft.rows(), teachers);

        // The user is back in the refused cell, typing after its text.
        ASSERT_NE(editor(), nullptr);
        EXPECT_EQ(current(dialog).column(), FTomapos);
        EXPECT_FALSE(editor()->hasSelectedText());
        EXPECT_EQ(editor()->cursorPosition(), 6);
        QTest::keyClicks(editor(), QStringLiteral("2026"));
        EXPECT_EQ(editor()->text(), "12/03/2026");
        clickSalir(dialog);
        EXPECT_EQ(script.messages.size(), 1);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(dialog.result);
        EXPECT_EQ(proft.rows()[0].join(QLatin1Char('|')), "PRS|Pérez Ruiz, Sergio|3020|12/03/2026");
    }
}

// ABREV and NOMBRE never take the cursor: the keys stop at X_EMPLEADO, a click on them moves to
// their row without editing, and they stay in view when the grid scrolls sideways.
TEST(ControlProfesores, TheFixedColumnsCannotBeEdited)
{
    const Proft proft(staff);
    ModalScript script;
    TControlProfesores dialog(proft.path);
    showActive(dialog);
    QTableView* view = grid(dialog);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Home}) {
        QTest::keyClick(view, key);
        EXPECT_EQ(current(dialog), view->model()->index(0, XEmpleado));
    }
    QTableView* fixed = dialog.findChild<QTableView*>(QStringLiteral("ProftDBGridFixedColumns"));
    ASSERT_NE(fixed, nullptr);
    for (int row : {2, 3}) {
        for (int column : {0, 1}) {
            const QPoint cell = fixed->visualRect(fixed->model()->index(row, column)).center();
            QTest::mouseDClick(fixed->viewport(), Qt::LeftButton, Qt::NoModifier, cell);
            EXPECT_EQ(current(dialog), view->model()->index(row, XEmpleado));
            EXPECT_EQ(editor(), nullptr);
        }
    }

    // A wider F_TOMAPOS, as a wider font gives, makes the grid scroll sideways; the fixed
    // columns stay where they are, and the cells scroll only to their right.
    view->setColumnWidth(FTomapos, view->viewport()->width() - view->columnWidth(XEmpleado) / 2);
    QApplication::processEvents(); // the view lays itself out again
    const QRect fixedBefore = fixed->geometry();
    ASSERT_GT(view->horizontalScrollBar()->maximum(), 0);
    view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
    EXPECT_EQ(fixed->geometry(), fixedBefore);
    EXPECT_TRUE(fixed->isVisible());
    EXPECT_EQ(fixed->columnViewportPosition(0), 0);
    EXPECT_GT(view->viewport()->geometry().left(), fixed->geometry().right());
    EXPECT_LE(view->columnViewportPosition(XEmpleado) + view->columnWidth(XEmpleado), 0);
    // The cursor back on X_EMPLEADO brings it whole into view.
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(current(dialog), view->model()->index(3, XEmpleado));
    EXPECT_EQ(view->columnViewportPosition(XEmpleado), 0);
    clickSalir(dialog);
    EXPECT_EQ(proft.rows(), staff);
}

// Measured with the fonts the grid uses: every column is as wide as its title and its widest
// value (for the columns typed in, the widest value their masks let in; NOMBRE forty average
// characters wherever the screen has room for the window that needs), and a value being typed
// shows whole. Nothing is hidden under the fixed columns: after Tab to F_TOMAPOS X_EMPLEADO is
// in view.
TEST(ControlProfesores, EveryColumnAndItsTitleShowWhole)
{
    struct Case {
        const char* name;
        Rows teachers;
    };
    const Case cases[] = {{"the usual teachers", staff}, {"the widest values", staff + widest}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Proft proft(c.teachers);
        ModalScript script;
        TControlProfesores dialog(proft.path);
        showActive(dialog);
        QTableView* view = grid(dialog);
        QTableView* fixed =
            dialog.findChild<QTableView*>(QStringLiteral("ProftDBGridFixedColumns"));
        ASSERT_NE(fixed, nullptr);
        const QFontMetrics cells(view->font());
        const QFontMetrics titles(view->horizontalHeader()->font());
        const int headerMargins = 2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin);
        const QAbstractItemModel* model = view->model();
        for (int column = 0; column < model->columnCount(); ++column) {
            SCOPED_TRACE(column);
            const QTableView* holder = column < 2 ? fixed : view;
            const int width = holder->columnWidth(column);
            const QString title = model->headerData(column, Qt::Horizontal).toString();
            EXPECT_GE(width, titles.horizontalAdvance(title) + headerMargins);
            QStringList values;
            if (column == XEmpleado)
                values << QStringLiteral("9999999999") << QStringLiteral("0000000000");
            if (column == FTomapos)
                values << QStringLiteral("99/99/9999") << QStringLiteral("00/00/0000");
            // Forty characters of the font's average width, longer in a tooltip; a screen too
            // narrow for the window that needs makes NOMBRE give way, down to its title.
            const QScreen* screen = QGuiApplication::primaryScreen();
            const bool room = dialog.width() + 16 < screen->availableGeometry().width();
            if (column == 1 && room)
                EXPECT_GE(width, 40 * cells.averageCharWidth() + 4);
            else if (column == 1)
                EXPECT_GE(width, titles.horizontalAdvance(title) + headerMargins);
            else
                for (int row = 0; row < model->rowCount(); ++row)
                    values << model->index(row, column).data().toString();
            for (const QString& value : values) {
                EXPECT_GT(width, cells.horizontalAdvance(value) + 4) << value.toStdString();
            }
            if (column >= 2) {
                EXPECT_LE(width, view->viewport()->width()); // a whole column fits in view
            }
        }
        EXPECT_EQ(view->horizontalScrollMode(), QAbstractItemView::ScrollPerItem);
        EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);

        const auto underFixed = [&](int column) {
            const int left =
                view->viewport()->geometry().left() + view->columnViewportPosition(column);
            const int right = left + view->columnWidth(column);
            return right > view->viewport()->geometry().left() && left <= fixed->geometry().right();
        };
        const auto whollyShown = [&](int column) {
            const int left = view->columnViewportPosition(column);
            return left >= 0 && left + view->columnWidth(column) <= view->viewport()->width();
        };
        EXPECT_TRUE(whollyShown(XEmpleado));
        QTest::keyClick(view, Qt::Key_Tab);
        ASSERT_EQ(current(dialog), model->index(0, FTomapos));
        EXPECT_FALSE(underFixed(XEmpleado));
        EXPECT_TRUE(whollyShown(FTomapos));
        const int scrolled = view->columnViewportPosition(XEmpleado);
        EXPECT_TRUE(scrolled >= 0 || scrolled + view->columnWidth(XEmpleado) <= 0) << scrolled;
        QTest::keyClick(view, Qt::Key_Backtab);
        EXPECT_TRUE(whollyShown(XEmpleado));

        // Typing the widest code: every digit in view, the first one as well.
        typeInCell(dialog, 0, XEmpleado, QStringLiteral("9999999999"));
        ASSERT_NE(editor(), nullptr);
        EXPECT_LE(cells.horizontalAdvance(editor()->text()) + 5, editor()->width());
        QTest::mouseClick(navigator(dialog, "Cancel"), Qt::LeftButton);
        clickCloseBox(dialog);
    }
}

// The cells of the values a teacher lacks are tinted, so that they are found at a glance; the
// values present, and those only of blanks once trimmed, are told apart as the check does.
TEST(ControlProfesores, TintsTheValuesATeacherLacks)
{
    Rows teachers = staff;
    teachers << Row{"BLA", "Blanco, Pedro", "   ", " 1-9-2020"};
    const Proft proft(teachers);
    ModalScript script;
    TControlProfesores dialog(proft.path);
    showActive(dialog);
    const QAbstractItemModel* model = grid(dialog)->model();
    const QPalette palette = grid(dialog)->palette();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column : {XEmpleado, FTomapos}) {
            SCOPED_TRACE(teachers[row][0].toStdString() + " " + std::to_string(column));
            const bool missing = teachers[row][column].trimmed().isEmpty();
            const QVariant tint = model->index(row, column).data(Qt::BackgroundRole);
            EXPECT_EQ(tint.isValid(), missing);
            if (missing) {
                const QColor colour = tint.value<QColor>();
                EXPECT_NE(colour, palette.color(QPalette::Base));
                EXPECT_NE(colour, palette.color(QPalette::AlternateBase));
                EXPECT_FALSE(model->index(row, column).data(Qt::ToolTipRole).toString().isEmpty());
            }
        }
    }
    // Typing the value takes the tint away.
    typeInCell(dialog, 1, XEmpleado, QStringLiteral("3020"));
    QTest::keyClick(editor(), Qt::Key_Return);
    EXPECT_FALSE(model->index(1, XEmpleado).data(Qt::BackgroundRole).isValid());
    QTest::mouseClick(navigator(dialog, "Cancel"), Qt::LeftButton);
    clickCloseBox(dialog);
}

// The grid's model keeps to the rules of Qt's item models (Qt's own model tester watches it)
// while it reads the table, moves its cursor, edits, saves, undoes and reads the table again.
TEST(ControlProfesores, TheGridModelKeepsToQtsRules)
{
    static QStringList complaints;
    complaints.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type != QtDebugMsg && type != QtInfoMsg)
                complaints << message;
        });
    for (const Rows& teachers : {Rows{}, staff}) {
        SCOPED_TRACE(teachers.size());
        const Proft proft(teachers);
        DbfTable table(proft.path);
        table.open(DbfTable::Access::Shared);
        controlprofes::ProftModel model(table, nullptr);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Warning);
        model.reload();
        model.moveTo(2);
        model.setData(model.index(2, FTomapos), QStringLiteral("03/09/2022"), Qt::EditRole);
        model.post();
        model.moveTo(1);
        model.setData(model.index(1, XEmpleado), QStringLiteral("12ab"), Qt::EditRole);
        model.cancel();
        model.setData(model.index(1, 0), QStringLiteral("NO"), Qt::EditRole); // a fixed column
        model.reload();
        EXPECT_EQ(model.rowCount(), teachers.size());
        table.close();
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(complaints, QStringList());
}

// Enter moves to the next column as Tab does, from a cell being typed as well; past the last
// column it goes to the next row, which saves the row left.
TEST(ControlProfesores, EnterMovesToTheNextColumn)
{
    const Proft proft(staff);
    ModalScript script;
    TControlProfesores dialog(proft.path);
    showActive(dialog);
    const QAbstractItemModel* model = grid(dialog)->model();
    QTest::keyClick(grid(dialog), Qt::Key_Return);
    EXPECT_EQ(current(dialog), model->index(0, FTomapos));
    QTest::keyClick(grid(dialog), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(current(dialog), model->index(1, XEmpleado));

    typeInCell(dialog, 1, XEmpleado, "3020");
    QTest::keyClick(editor(), Qt::Key_Return);
    EXPECT_EQ(current(dialog), model->index(1, FTomapos));
    ASSERT_NE(editor(), nullptr); // typing goes on in the next cell
    QTest::keyClicks(editor(), QStringLiteral("02092021"));
    QTest::keyClick(editor(), Qt::Key_Return);
    EXPECT_EQ(current(dialog), model->index(2, XEmpleado));
    EXPECT_EQ(proft.rows()[1].join(QLatin1Char('|')), "PRS|Pérez Ruiz, Sergio|3020|02/09/2021");
}

// The navigator's ten buttons, in order, with their hints, repeating when held; they move the
// cursor (ten rows at a time within the table's ends), save the row, undo its changes (as
// Escape does in the grid) and read the table again.
TEST(ControlProfesores, TheNavigatorMovesSavesAndCancels)
{
    Rows teachers;
    for (int i = 0; i < 12; ++i)
        teachers << Row{QStringLiteral("P%1").arg(i), QStringLiteral("Profesor %1").arg(i), "", ""};
    const Proft proft(teachers);
    ModalScript script;
    TControlProfesores dialog(proft.path);
    showActive(dialog);

    QStringList hints;
    for (const QToolButton* button : dialog.findChild<QWidget*>(QStringLiteral("wwDBNavigator1"))
                                         ->findChildren<QToolButton*>()) {
        hints << button->toolTip();
        EXPECT_TRUE(button->autoRepeat());
        EXPECT_EQ(button->autoRepeatDelay(), 500);
        EXPECT_EQ(button->autoRepeatInterval(), 100);
    }
    EXPECT_EQ(
        hints,
        (QStringList{"Ir al primer profesor", "Retroceder 10 profesores", "Ir al profesor anterior",
                     "Ir al profesor siguiente", "Avanzar 10 profesores", "Ir al último profesor",
                     "Modificar el profesor actual", "Guardar los cambios del profesor actual",
                     "Deshacer los cambios del profesor actual",
                     "Volver a leer la tabla de profesores"}));

    const std::pair<const char*, int> moves[] = {
        {"Last", 11}, {"PriorPage", 1}, {"PriorPage", 0}, {"NextPage", 10},
        {"Next", 11}, {"Prior", 10},    {"First", 0}};
    for (const auto& [button, row] : moves) {
        SCOPED_TRACE(button);
        QTest::mouseClick(navigator(dialog, button), Qt::LeftButton);
        EXPECT_EQ(current(dialog), grid(dialog)->model()->index(row, XEmpleado));
    }
    EXPECT_FALSE(navigator(dialog, "Prior")->isEnabled());

    typeInCell(dialog, 0, XEmpleado, "55");
    QTest::mouseClick(navigator(dialog, "Cancel"), Qt::LeftButton);
    EXPECT_EQ(shown(dialog)[0][2], "");
    typeInCell(dialog, 0, XEmpleado, "66");
    QTest::keyClick(editor(), Qt::Key_Escape);     // the cell's text
    QTest::keyClick(grid(dialog), Qt::Key_Escape); // the row's changes
    EXPECT_EQ(shown(dialog)[0][2], "");
    EXPECT_FALSE(navigator(dialog, "Post")->isEnabled());
    EXPECT_EQ(proft.rows(), teachers);

    typeInCell(dialog, 0, XEmpleado, "77");
    QTest::mouseClick(navigator(dialog, "Post"), Qt::LeftButton);
    EXPECT_FALSE(navigator(dialog, "Post")->isEnabled());
    EXPECT_EQ(proft.rows()[0][2], "77");

    DbfTable other(proft.path);
    other.open();
    other.first();
    other.next();
    other.edit();
    other.setText(QStringLiteral("X_EMPLEADO"), QStringLiteral("88"));
    other.post();
    QTest::mouseClick(navigator(dialog, "Refresh"), Qt::LeftButton);
    EXPECT_EQ(shown(dialog)[1][2], "88");
    EXPECT_EQ(current(dialog), grid(dialog)->model()->index(0, XEmpleado));
    EXPECT_EQ(script.unexpected, QStringList());
}

// The window's answer to the engine: the dialog shown modally over the busy pointer with the
// ordinary one, and its verdict handed back; the busy pointer returns after it.
TEST(ControlProfesores, TheWindowAsksThroughTheDialog)
{
    const Proft proft({{"PRS", "Pérez Ruiz, Sergio", "3020", ""}});
    QWidget owner;
    WindowInteraction interaction(&owner);
    std::optional<Qt::CursorShape> whileUp;
    ModalScript script;
    script.then([&](QWidget* modal) {
        auto* dialog = qobject_cast<TControlProfesores*>(modal);
        ASSERT_NE(dialog, nullptr);
        whileUp = QApplication::overrideCursor()->shape();
        activate(*dialog);
        typeInCell(*dialog, 0, FTomapos, "01092021");
        QTimer::singleShot(0, dialog, [dialog] { clickSalir(*dialog); });
    });
    interaction.setBusy(true);
    EXPECT_TRUE(interaction.completeTeachers(proft.path));
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    interaction.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(whileUp, Qt::ArrowCursor);
    EXPECT_EQ(proft.rows(), (Rows{{"PRS", "Pérez Ruiz, Sergio", "3020", "01/09/2021"}}));
}

// Entering the grid puts the current row into editing; leaving it saves the row, with the
// dialog still open.
TEST(ControlProfesores, LeavingTheGridSavesTheRow)
{
    const Proft proft(staff);
    ModalScript script;
    TControlProfesores dialog(proft.path);
    showActive(dialog);
    EXPECT_TRUE(navigator(dialog, "Post")->isEnabled());
    typeInCell(dialog, 1, XEmpleado, "3020");
    dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_FALSE(navigator(dialog, "Post")->isEnabled());
    EXPECT_EQ(proft.rows()[1][2], "3020");
    grid(dialog)->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(navigator(dialog, "Post")->isEnabled());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(script.unexpected, QStringList());
}
