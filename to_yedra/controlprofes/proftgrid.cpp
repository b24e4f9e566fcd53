#include "to_yedra/controlprofes/proftgrid.h"

#include "to_yedra/controlprofes/celldelegate.h"
#include "to_yedra/controlprofes/proftcolumns.h"
#include "to_yedra/controlprofes/proftmodel.h"
#include "to_yedra/controlprofes/rowgate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

namespace controlprofes {
namespace {

// The room a cell needs around its text, drawn or being typed.
int cellPadding(const QStyle* style)
{
    const int drawn = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    const int typed = 2 * 2 + 1; // the line edit's margins and its cursor
    return std::max(drawn, typed) + 2;
}

} // namespace

void ProftGrid::setUp(ProftModel* model, std::function<bool(int)> mayLeaveFor,
                      std::function<void()> escapePressed)
{
    m_escapePressed = std::move(escapePressed);
    setModel(model);
    QItemSelectionModel* plain = selectionModel();
    setSelectionModel(new RowGate(model, this, std::move(mayLeaveFor)));
    delete plain;
    setItemDelegate(new CellDelegate(*model, this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setAlternatingRowColors(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Always there, so that the room NOMBRE has does not change with the number of teachers.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabKeyNavigation(true);
    setWordWrap(false);

    m_fixed->setModel(model);
    m_fixed->setObjectName(QStringLiteral("ProftDBGridFixedColumns"));
    m_fixed->setFocusPolicy(Qt::NoFocus);
    m_fixed->setSelectionMode(QAbstractItemView::NoSelection);
    m_fixed->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fixed->setFrameShape(QFrame::NoFrame);
    m_fixed->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_fixed->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_fixed->setWordWrap(false);
    m_fixed->setAlternatingRowColors(true);
    m_fixed->verticalHeader()->setSectionsClickable(false);
    for (int c = 0; c < ColumnCount; ++c) {
        setColumnHidden(c, c < FixedColumns);
        m_fixed->setColumnHidden(c, c >= FixedColumns);
    }

    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics cells(font());
    const QFontMetrics titles(bold);
    const int rowHeight = cells.height() + 5;
    const int titleHeight = 2 * titles.height() + 6; // two title lines
    for (QTableView* view : {static_cast<QTableView*>(this), m_fixed}) {
        QHeaderView* header = view->horizontalHeader();
        header->setFont(bold);
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        header->setHighlightSections(false);
        header->setSectionsClickable(false);
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setFixedHeight(titleHeight);
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(rowHeight);
    }
    verticalHeader()->setSectionsClickable(false);
    m_fixed->verticalHeader()->setFixedWidth(cells.height() + 2);

    m_fixed->viewport()->installEventFilter(this);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_fixed->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_fixed->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(),
            &QScrollBar::setValue);
    connect(model, &QAbstractItemModel::modelReset, this, &ProftGrid::fitColumns);
    fitColumns();
}

void ProftGrid::commitOpenEditor()
{
    if (QWidget* editor = openEditor())
        commitData(editor);
}

void ProftGrid::discardOpenEditor()
{
    if (QWidget* editor = openEditor())
        closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void ProftGrid::editAgain(int column)
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex cell = model()->index(current.row(), column);
    if (cell != current) {
        discardOpenEditor();
        setCurrentIndex(cell);
    }
    if (!openEditor())
        QTableView::edit(cell);
    if (auto* line = qobject_cast<QLineEdit*>(openEditor())) {
        line->setFocus();
        line->deselect();
        line->end(false);
    } else {
        setFocus();
    }
}

bool ProftGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Only the current row is edited: a refused move leaves the cursor where it was.
    if (index.isValid() && currentIndex().isValid() && index.row() != currentIndex().row())
        return false;
    return QTableView::edit(index, trigger, event);
}

void ProftGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (hint == QAbstractItemDelegate::RevertModelCache) {
        // Escape in a cell undoes what was typed in it since it opened. With nothing typed (a
        // refused value, the user back in its cell) it undoes the row's changes at once, as
        // Escape outside a cell does.
        const auto* line = qobject_cast<QLineEdit*>(editor);
        const bool typed = line && line->text() != currentIndex().data(Qt::EditRole).toString();
        QTableView::closeEditor(editor, hint);
        if (!typed && m_escapePressed)
            m_escapePressed();
        return;
    }
    if (hint != QAbstractItemDelegate::EditNextItem &&
        hint != QAbstractItemDelegate::EditPreviousItem) {
        QTableView::closeEditor(editor, hint);
        return;
    }
    // Tab or Enter in a cell: the next cell is edited once the cursor is there, and a row
    // that could not be saved keeps it. Past the last cell (or before the first), the focus
    // leaves the grid.
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    const bool forward = hint == QAbstractItemDelegate::EditNextItem;
    if (atEnd(forward)) {
        leave(forward);
        return;
    }
    const QModelIndex next = moveCursor(forward ? MoveNext : MovePrevious, Qt::NoModifier);
    if (!next.isValid() || next == currentIndex())
        return;
    setCurrentIndex(next);
    if (currentIndex() == next)
        QTableView::edit(next);
}

void ProftGrid::leave(bool forward)
{
    QWidget* next = this;
    do {
        next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
        if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() &&
            next->isVisibleTo(window()) && next->window() == window() && !isAncestorOf(next)) {
            next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    } while (next != this);
}

bool ProftGrid::atEnd(bool forward) const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return true;
    const int row = forward ? model()->rowCount() - 1 : 0;
    const int column = forward ? ColumnCount - 1 : FixedColumns;
    return current.row() == row && current.column() == column;
}

void ProftGrid::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        const bool forward =
            event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
        if ((event->modifiers() & Qt::ControlModifier) || atEnd(forward)) {
            leave(forward);
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (atEnd(true)) {
            leave(true);
            event->accept();
            return;
        }
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QTableView::keyPressEvent(&tab);
        event->accept();
        return;
    }
    case Qt::Key_Escape:
        if (m_escapePressed)
            m_escapePressed();
        event->accept();
        return;
    default:
        QTableView::keyPressEvent(event);
    }
}

void ProftGrid::updateGeometries()
{
    QTableView::updateGeometries();
    updateFixedGeometry();
    keepWholeColumns();
}

void ProftGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    keepWholeColumns();
}

void ProftGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    fillWidth();
}

bool ProftGrid::eventFilter(QObject* watched, QEvent* event)
{
    // A click on a fixed cell moves the cursor to its row.
    if (watched == m_fixed->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                           event->type() == QEvent::MouseButtonDblClick)) {
        const int row = m_fixed->rowAt(static_cast<QMouseEvent*>(event)->position().y());
        setFocus(Qt::MouseFocusReason);
        if (row >= 0) {
            const int column = currentIndex().isValid() ? currentIndex().column() : XEmpleado;
            setCurrentIndex(model()->index(row, column));
        }
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void ProftGrid::fitColumns()
{
    const QFontMetrics cells(font());
    const QAbstractItemModel* data = model();
    const int padding = cellPadding(style());
    QString widestDigit = QStringLiteral("0");
    for (char d = '1'; d <= '9'; ++d) {
        if (cells.horizontalAdvance(QLatin1Char(d)) > cells.horizontalAdvance(widestDigit))
            widestDigit = QString(QLatin1Char(d));
    }
    for (int c = 0; c < ColumnCount; ++c) {
        QTableView* view = c < FixedColumns ? m_fixed : this;
        int width = std::max(view->horizontalHeader()->sectionSizeHint(c),
                             titleWidth(view->horizontalHeader(), c));
        if (c == 1) {
            width = std::max(width, Columns[c].characters * cells.averageCharWidth() + padding);
        } else {
            QString widest = QString(Columns[c].characters, QLatin1Char('W'));
            if (c == XEmpleado)
                widest = widestDigit.repeated(Columns[c].characters);
            else if (c == FTomapos)
                widest = maskedField(c)->picture.filled(widestDigit.repeated(8), false);
            else
                widest.truncate(0);
            width = std::max(width, cells.horizontalAdvance(widest) + padding);
            for (int r = 0; r < data->rowCount(); ++r)
                width = std::max(
                    width, cells.horizontalAdvance(data->index(r, c).data().toString()) + padding);
        }
        if (c == 0)
            width = std::max(width, Columns[c].characters * cells.averageCharWidth() + padding);
        m_least[c] = width;
        view->setColumnWidth(c, width);
    }
    fillWidth();
}

int ProftGrid::neededWidth() const
{
    int columns = 0;
    for (int width : m_least)
        columns += width;
    return 2 * frameWidth() + verticalScrollBar()->sizeHint().width() +
           m_fixed->verticalHeader()->width() + columns;
}

void ProftGrid::fillWidth()
{
    const int others = neededWidth() - m_least[1];
    const int name = std::max(width() - others, titleWidth(m_fixed->horizontalHeader(), 1));
    if (m_fixed->columnWidth(1) != name)
        m_fixed->setColumnWidth(1, name);
    updateFixedGeometry();
}

void ProftGrid::keepWholeColumns()
{
    QHeaderView* header = horizontalHeader();
    const int first = header->logicalIndexAt(0);
    if (first < 0 || header->sectionViewportPosition(first) >= 0)
        return;
    header->setOffsetToSectionPosition(horizontalScrollBar()->value());
    updateEditorGeometries();
    viewport()->update();
}

int ProftGrid::titleWidth(const QHeaderView* header, int section)
{
    const QString title = header->model()->headerData(section, Qt::Horizontal).toString();
    return QFontMetrics(header->font()).horizontalAdvance(title) +
           2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 2;
}

int ProftGrid::fixedWidth() const
{
    return m_fixed->verticalHeader()->width() + m_fixed->columnWidth(0) + m_fixed->columnWidth(1);
}

void ProftGrid::updateFixedGeometry()
{
    if (!m_fixed || m_placing)
        return;
    m_placing = true;
    // The grid's own row indicator area holds the fixed view: the cells start after it.
    if (verticalHeader()->width() != fixedWidth()) {
        verticalHeader()->setFixedWidth(fixedWidth());
        QTableView::updateGeometries();
    }
    m_fixed->setGeometry(frameWidth(), frameWidth(), fixedWidth(),
                         viewport()->height() + horizontalHeader()->height());
    m_placing = false;
}

} // namespace controlprofes
