#pragma once

#include "to_yedra/controlprofes/proftcolumns.h"

#include <QAbstractItemDelegate>
#include <QTableView>
#include <array>
#include <functional>

namespace controlprofes {

class ProftModel;

// The grid: a table view of X_EMPLEADO and F_TOMAPOS with a second view, of the row indicator,
// ABREV and NOMBRE, laid over its row-indicator area, which is made as wide as both. The fixed
// columns so stay in view and nothing scrolls under them. Every column is as wide as its title
// and its widest value, NOMBRE at least forty characters; NOMBRE takes the rest of the grid's
// width, so that a grid as wide as neededWidth() shows every column whole and never scrolls
// sideways: no column moves under the pointer while the user types. In a narrower grid NOMBRE
// gives way first, down to its title; only past that does the grid scroll sideways, by whole
// columns.
class ProftGrid : public QTableView {
public:
    explicit ProftGrid(QWidget* parent) : QTableView(parent), m_fixed(new QTableView(this)) {}

    // Builds the grid over `model`; `mayLeaveFor` decides whether the cursor leaves its row,
    // `escapePressed` is told of an Escape that undoes the row's changes: outside a cell
    // editor, or in one where nothing was typed since it opened.
    void setUp(ProftModel* model, std::function<bool(int)> mayLeaveFor,
               std::function<void()> escapePressed);

    QTableView* fixedColumns() const { return m_fixed; }

    // The width at which every column shows whole at its least width, the vertical scroll bar
    // and the frame included.
    int neededWidth() const;

    QWidget* openEditor() const { return indexWidget(currentIndex()); }
    // The text of the cell being typed goes into the row; the editor stays open.
    void commitOpenEditor();
    void discardOpenEditor();
    // The current row's cell in `column` edited again, its text kept and the cursor after it:
    // the user mends a refused value by typing on.
    void editAgain(int column);

    // The focus to the window's next control after the grid (or the one before it), as Tab
    // gives it: Ctrl+Tab (Ctrl+Shift+Tab) from anywhere in the grid, and Tab (Shift+Tab) or
    // Enter from its last (first) cell. Tab elsewhere in the grid moves between its cells.
    void leave(bool forward);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

    void keyPressEvent(QKeyEvent* event) override;

    void updateGeometries() override;

    void scrollContentsBy(int dx, int dy) override;

    void resizeEvent(QResizeEvent* event) override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Each column's least width: as wide as its title, its widest value in the table and, for
    // the columns typed in, the widest value its mask lets in; NOMBRE as wide as forty average
    // characters (a longer name shows whole in its tooltip).
    void fitColumns();

    // NOMBRE as wide as the grid leaves it.
    void fillWidth();

    // At the end of its scroll bar the header lines the last column up with the right edge,
    // which leaves the column before it partly in view, its first characters cut: the first
    // column in view is always a whole one.
    void keepWholeColumns();

    static int titleWidth(const QHeaderView* header, int section);

    // The cursor on the last cell (forward) or the first one, from where Tab leaves the grid.
    bool atEnd(bool forward) const;

    int fixedWidth() const;

    void updateFixedGeometry();

    QTableView* m_fixed;
    std::array<int, ColumnCount> m_least = {}; // each column's least width
    std::function<void()> m_escapePressed;
    bool m_placing = false;
};

} // namespace controlprofes
