#pragma once

#include <QAbstractItemDelegate>
#include <QTableView>
#include <functional>

namespace controlprofes {

class ProftModel;

// The grid: a table view of X_EMPLEADO and F_TOMAPOS with a second view, of the row indicator,
// ABREV and NOMBRE, laid over its row-indicator area, which is made as wide as both. The fixed
// columns so stay in view and nothing scrolls under them; the grid scrolls sideways by whole
// columns, and every column is as wide as its title and its widest value.
class ProftGrid : public QTableView {
public:
    explicit ProftGrid(QWidget* parent) : QTableView(parent), m_fixed(new QTableView(this)) {}

    // Builds the grid over `model`; `mayLeaveFor` decides whether the cursor leaves its row,
    // `escapePressed` is told of Escape outside a cell editor.
    void setUp(ProftModel* model, std::function<bool(int)> mayLeaveFor,
               std::function<void()> escapePressed);

    QTableView* fixedColumns() const { return m_fixed; }

    QWidget* openEditor() const { return indexWidget(currentIndex()); }
    // The text of the cell being typed goes into the row; the editor stays open.
    void commitOpenEditor();
    void discardOpenEditor();
    // The current row's cell in `column` edited again, its text kept and the cursor after it:
    // the user mends a refused value by typing on.
    void editAgain(int column);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

    void keyPressEvent(QKeyEvent* event) override;

    void updateGeometries() override;

    void scrollContentsBy(int dx, int dy) override;

    void resizeEvent(QResizeEvent* event) override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Each column as wide as its title, its widest value in the table and, for the columns
    // typed in, the widest value its mask lets in; NOMBRE as wide as forty average characters
    // (a longer name shows whole in its tooltip).
    void fitColumns();

    // At the end of its scroll bar the header lines the last column up with the right edge,
    // which leaves the column before it partly in view, its first characters cut: the first
    // column in view is always a whole one.
    void keepWholeColumns();

    static int titleWidth(const QHeaderView* header, int section);

    int fixedWidth() const;

    void updateFixedGeometry();

    QTableView* m_fixed;
    std::function<void()> m_escapePressed;
    bool m_placing = false;
};

} // namespace controlprofes
