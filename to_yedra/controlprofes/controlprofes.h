#pragma once

#include "widgets/ordinarypointer.h"

#include <QDialog>
#include <QString>
#include <memory>

class DbfTable;
class GradientPanel;
class QLabel;
class QPushButton;
class QToolButton;

namespace controlprofes {
class ProftModel;
class ProftGrid;
} // namespace controlprofes

// The teacher data dialog (ControlProfesores): a grid over the whole teacher table PROFT, in
// natural order, in which the user types the two values Yedra knows a teacher by, X_EMPLEADO
// and F_TOMAPOS. ABREV and NOMBRE stay in view and cannot be edited.
//
// The table is opened shared when the dialog is created and edited in place, row by row, so
// every other object open on the file sees a saved row at once. A row is saved when the user
// moves to another row, leaves the grid (for a control other than the navigator, whose buttons
// act on the row), uses the navigator's save button, leaves with "Salir" or closes the window
// with its close box; the cell being typed goes into the row first.
//
// Every control is reached from the keyboard: Tab moves between the grid's cells and, from its
// last cell, on to the navigator and "Salir"; Ctrl+Tab leaves the grid from any cell. Enter on
// a button presses it. A row
// whose values were not changed is left as it is. Typed values must fit their picture masks
// ("#*#": one or more digits; "##/##/####", its slashes filled in while typing); a value that
// does not is refused with a message when the row is saved, and the row stays in editing until
// it is mended or its changes cancelled. Empty values pass the masks.
class TControlProfesores : public QDialog {
    Q_OBJECT

public:
    // Opens the teacher table at `tablePath`; a missing or locked table throws TableError.
    explicit TControlProfesores(const QString& tablePath, QWidget* owner = nullptr);
    ~TControlProfesores() override;

    // The verdict: true when "Salir" found no incomplete teacher. False at creation, and it
    // stays false when the dialog is closed any other way.
    bool result = false;

    // The grid gains the focus: the current row goes into editing unless it already is.
    void ProftDBGridEnter();
    // The grid loses the focus: the row being edited is saved.
    void ProftDBGridExit();
    // "Salir": saves the row being typed, runs the completeness test over the table, closes
    // the table and the dialog. A refused value keeps the dialog open instead.
    void BitBtn1Click();

    // Every way of closing passes through here: the row being edited is saved first, and a
    // refused value keeps the dialog open.
    void done(int r) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The parts of the form, made by the constructor in this order.
    void setUpLabels();
    void setUpGrid();
    void setUpNavigator();
    void setUpExitButton();
    // The window made as much wider as the grid needs to show every column whole, as far as
    // the screen has room: a grid that never scrolls sideways.
    void widenForGrid();

    bool saveRow();
    void cancelRow();
    void refuse(const QString& message);
    bool leaveRowFor(int row);
    void moveBy(int rows);
    void moveToRow(int row);
    void refresh();
    void gridFocusChanged(QWidget* now);
    void updateNavigator();

    std::unique_ptr<DbfTable> wwTableProft;
    controlprofes::ProftModel* wwDataSource1;
    bool m_gridFocused = false;
    bool m_refusing = false; // a refusal message is up: other saves wait for it
    OrdinaryPointer m_pointer;

    GradientPanel* Draw3D1;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label2;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    controlprofes::ProftGrid* ProftDBGrid;
    QWidget* wwDBNavigator1;
    QList<QToolButton*> m_navigatorButtons;
    QPushButton* BitBtn1;
};
