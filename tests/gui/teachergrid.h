#pragma once

#include <QList>
#include <QModelIndex>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QDialog;
class QLineEdit;
class QTableView;
class QToolButton;
class QWidget;

// The teacher dialog as its tests meet it: a teacher table to open it on, and its grid driven as
// the user drives it.
namespace teachergrid {

// A teacher as the grid shows it: ABREV, NOMBRE, X_EMPLEADO, F_TOMAPOS.
using Row = QStringList;
using Rows = QList<Row>;

constexpr int XEmpleado = 2;
constexpr int FTomapos = 3;

// PROFT in a temporary timetable folder, with these teachers in this order.
struct Proft {
    QTemporaryDir dir;
    QString path;

    explicit Proft(const Rows& teachers);

    // The four columns of every row as the file holds them now.
    Rows rows() const;
};

extern const Rows staff;
// A teacher whose every value is as wide as the grid's columns let in.
extern const Rows widest;

QTableView* grid(QWidget& dialog);
QToolButton* navigator(QWidget& dialog, const char* name);
// Every row as the grid shows it.
Rows shown(QWidget& dialog);
QModelIndex current(QWidget& dialog);
// The dialog active, as the user meets it on the screen.
void activate(QWidget& dialog);
void showActive(QDialog& dialog);
// A click on a cell, as the user makes it.
void clickCell(QWidget& dialog, int row, int column);
// The cell editor that has the focus.
QLineEdit* editor();
// Goes to a cell with a click, opens its editor with F2, replaces its text by typing `keys`
// and leaves the editor open, as the user leaves a cell just typed. (A click on the current
// cell would open its editor after the double-click interval.)
void typeInCell(QWidget& dialog, int row, int column, const QString& keys);
void clickSalir(QWidget& dialog);
// The close box: the window system asks the dialog's window to close.
void clickCloseBox(QWidget& dialog);

} // namespace teachergrid
