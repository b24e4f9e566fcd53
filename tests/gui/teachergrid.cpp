#include "tests/gui/teachergrid.h"

#include "components/dbase/dbftable.h"
#include "components/timetablefolder/tablelayouts.h"
#include "tests/tablesupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

namespace teachergrid {

Proft::Proft(const Rows& teachers)
{
    DbfTable table(dir.path(), layouts::proft.name);
    table.create(layouts::proft.fields);
    table.open(DbfTable::Access::Exclusive);
    int dni = 1000;
    for (const Row& teacher : teachers) {
        table.append();
        table.setText(QStringLiteral("ABREV"), teacher[0]);
        table.setText(QStringLiteral("NOMBRE"), teacher[1]);
        table.setText(QStringLiteral("DEPART"), QStringLiteral("Dpto. ") + teacher[0]);
        table.setInteger(QStringLiteral("DNI"), ++dni);
        table.setText(QStringLiteral("X_EMPLEADO"), teacher[2]);
        table.setText(QStringLiteral("F_TOMAPOS"), teacher[3]);
        table.post();
    }
    path = table.path();
    table.close();
}

Rows Proft::rows() const
{
    Rows out;
    for (const QStringList& fields : tableRows(path))
        out << Row{fields[0], fields[1], fields[5], fields[6]};
    return out;
}

const Rows staff = {
    {"MGL", "Martín García, Lucía", "4411", "01/09/2015"},
    {"PRS", "Pérez Ruiz, Sergio", "", ""},
    {"ALV", "Álvarez López, Víctor", "5120", ""},
    {"BEN", "Benítez Mora, Ana", "", "15/09/2019"},
};

const Rows widest = {
    {"MMMMMMMMMM", "Wenceslao Montalbán Wamba, Maximiliano Guillermo", "8888888888", "28/08/2008"}};

QTableView* grid(QWidget& dialog)
{
    return dialog.findChild<QTableView*>(QStringLiteral("ProftDBGrid"));
}

QToolButton* navigator(QWidget& dialog, const char* name)
{
    return dialog.findChild<QWidget*>(QStringLiteral("wwDBNavigator1"))
        ->findChild<QToolButton*>(QLatin1String(name));
}

// Every row as the grid shows it.
Rows shown(QWidget& dialog)
{
    const QAbstractItemModel* model = grid(dialog)->model();
    Rows out;
    for (int r = 0; r < model->rowCount(); ++r) {
        Row row;
        for (int c = 0; c < model->columnCount(); ++c)
            row << model->index(r, c).data().toString();
        out << row;
    }
    return out;
}

QModelIndex current(QWidget& dialog)
{
    return grid(dialog)->currentIndex();
}

// The dialog active, as the user meets it on the screen.
void activate(QWidget& dialog)
{
    QApplication::setActiveWindow(&dialog);
    dialog.activateWindow();
    QApplication::processEvents();
}

void showActive(QDialog& dialog)
{
    dialog.show();
    activate(dialog);
}

// A click on a cell, as the user makes it.
void clickCell(QWidget& dialog, int row, int column)
{
    QTableView* view = grid(dialog);
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(index).center());
}

// The cell editor that has the focus.
QLineEdit* editor()
{
    return qobject_cast<QLineEdit*>(QApplication::focusWidget());
}

// Goes to a cell with a click, opens its editor with F2, replaces its text by typing `keys`
// and leaves the editor open, as the user leaves a cell just typed. (A click on the current
// cell would open its editor after the double-click interval.)
void typeInCell(QWidget& dialog, int row, int column, const QString& keys)
{
    if (current(dialog) != grid(dialog)->model()->index(row, column))
        clickCell(dialog, row, column);
    QTest::keyClick(grid(dialog), Qt::Key_F2);
    QLineEdit* edit = editor();
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, keys);
}

void clickSalir(QWidget& dialog)
{
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1")), Qt::LeftButton);
}

// The close box: the window system asks the dialog's window to close.
void clickCloseBox(QWidget& dialog)
{
    QCloseEvent event;
    QApplication::sendEvent(dialog.windowHandle(), &event);
}

} // namespace teachergrid
