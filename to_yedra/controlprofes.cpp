#include "to_yedra/controlprofes.h"

#include "app/glyphs.h"
#include "app/gradientpanel.h"
#include "app/helpviewer.h"
#include "app/windowinteraction.h"
#include "components/dbftable.h"
#include "components/engineerror.h"
#include "components/texts.h"
#include "to_yedra/teachercheck.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QShortcut>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QValidator>
#include <algorithm>
#include <array>
#include <functional>

namespace {

// The grid's columns, in order; the first two are fixed.
struct GridColumn {
    QString field;
    int characters; // the column's width
    QString title;
};
const std::array<GridColumn, 4> Columns = {{
    {QStringLiteral("ABREV"), 4, QStringLiteral("ABREV")},
    {QStringLiteral("NOMBRE"), 40, QStringLiteral("NOMBRE")},
    {QStringLiteral("X_EMPLEADO"), 10, QStringLiteral("X_EMPLEADO")},
    {QStringLiteral("F_TOMAPOS"), 10, QStringLiteral("F_TOMAPOS")},
}};
constexpr int ColumnCount = int(Columns.size());
constexpr int FixedColumns = 2;
constexpr int XEmpleado = 2;
constexpr int FTomapos = 3;
constexpr int PageRows = 10;                // the navigator's "back ten" and "forward ten"
const QColor MissingTint(0xFF, 0xD2, 0xD2); // a value Yedra needs that the teacher lacks

// The room a cell needs around its text, drawn or being typed.
int cellPadding(const QStyle* style)
{
    const int drawn = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    const int typed = 2 * 2 + 1; // the line edit's margins and its cursor
    return std::max(drawn, typed) + 2;
}

// A picture mask in the syntax of Paradox picture strings, as far as the teacher values use it:
// "#" one digit, "*" the next element any number of times, any other character itself.
class Picture {
public:
    explicit Picture(const QString& mask)
    {
        bool repeated = false;
        for (QChar c : mask) {
            if (c == QLatin1Char('*')) {
                repeated = true;
                continue;
            }
            m_elements.push_back({c, c == QLatin1Char('#'), repeated});
            repeated = false;
        }
    }

    bool matches(const QString& text) const { return matchFrom(0, text, 0, false); }
    // A beginning of a text that matches: what may stand in a cell while it is being typed.
    bool fitsSoFar(const QString& text) const { return matchFrom(0, text, 0, true); }

    // `text` with the literal characters the mask puts before a typed character filled in and,
    // when `trailing`, those that follow the last one. Only masks of a fixed length get them.
    QString filled(const QString& text, bool trailing) const
    {
        const bool fixedLength = std::none_of(m_elements.cbegin(), m_elements.cend(),
                                              [](const Element& e) { return e.repeated; });
        if (!fixedLength)
            return text;
        QString out;
        qsizetype e = 0;
        for (QChar c : text) {
            while (e < m_elements.size() && !m_elements[e].digit && m_elements[e].literal != c)
                out += m_elements[e++].literal;
            out += c;
            ++e;
        }
        while (trailing && !out.isEmpty() && e < m_elements.size() && !m_elements[e].digit)
            out += m_elements[e++].literal;
        return out;
    }

private:
    struct Element {
        QChar literal;
        bool digit;
        bool repeated;
    };

    bool matchFrom(qsizetype e, const QString& text, qsizetype at, bool prefix) const
    {
        if (at == text.size())
            return prefix || std::all_of(m_elements.cbegin() + e, m_elements.cend(),
                                         [](const Element& el) { return el.repeated; });
        if (e == m_elements.size())
            return false;
        const Element& element = m_elements[e];
        if (element.repeated && matchFrom(e + 1, text, at, prefix))
            return true;
        const QChar c = text[at];
        const bool fits =
            element.digit ? (c >= QLatin1Char('0') && c <= QLatin1Char('9')) : c == element.literal;
        return fits && matchFrom(element.repeated ? e : e + 1, text, at + 1, prefix);
    }

    QList<Element> m_elements;
};

// The two values the user types, each with its mask and the form it asks for.
struct MaskedField {
    int column;
    Picture picture;
    QString form;
};

const std::array<MaskedField, 2>& maskedFields()
{
    static const std::array<MaskedField, 2> fields = {{
        {XEmpleado, Picture(QStringLiteral("#*#")),
         QStringLiteral("una o más cifras, sin ningún otro carácter")},
        {FTomapos, Picture(QStringLiteral("##/##/####")),
         QStringLiteral("una fecha dd/mm/aaaa: dos cifras, «/», dos cifras, «/» y cuatro cifras")},
    }};
    return fields;
}

const MaskedField* maskedField(int column)
{
    for (const MaskedField& masked : maskedFields()) {
        if (masked.column == column)
            return &masked;
    }
    return nullptr;
}

// Keeps a cell editor to its picture mask whichever way text comes in (keys, paste, drop,
// input methods): a change that cannot lead to a fitting value is refused, and the mask's
// literal characters are filled in. A value that did not fit to begin with (one written by
// another program) can be changed freely, as the line edit only refuses a change from a value
// the validator accepted; the mask is enforced when the row is saved.
class PictureValidator : public QValidator {
public:
    PictureValidator(const Picture& picture, QObject* parent)
        : QValidator(parent), m_picture(picture)
    {
    }

    State validate(QString& input, int& position) const override
    {
        const bool atEnd = position == input.size();
        // The literals after the last character come only while the text grows at its end, so
        // that a slash can be deleted.
        const bool grew = input.size() > m_previous.size();
        const QString shaped = m_picture.filled(input, atEnd && grew);
        if (!m_picture.fitsSoFar(shaped))
            return Invalid;
        position = atEnd ? int(shaped.size()) : position + int(shaped.size() - input.size());
        input = shaped;
        m_previous = shaped;
        return shaped.isEmpty() || m_picture.matches(shaped) ? Acceptable : Intermediate;
    }

private:
    const Picture& m_picture;
    mutable QString m_previous; // the text last let through
};

// The navigator's glyphs: navy shapes.
QIcon drawnGlyph(const std::function<void(QPainter&)>& draw)
{
    return glyphs::drawn([&](QPainter& painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x00, 0x00, 0x80));
        draw(painter);
    });
}

// A triangle pointing left (or right) with its tip at x.
QPolygonF arrow(double tip, bool right)
{
    const double back = right ? tip - 5.5 : tip + 5.5;
    return QPolygonF({QPointF(tip, 8), QPointF(back, 2.5), QPointF(back, 13.5)});
}

enum class Glyph { First, PriorPage, Prior, Next, NextPage, Last, Edit, Refresh };

QIcon navigatorGlyph(Glyph glyph)
{
    return drawnGlyph([glyph](QPainter& p) {
        switch (glyph) {
        case Glyph::First:
            p.drawRect(QRectF(3, 2.5, 2, 11));
            p.drawPolygon(arrow(5.5, false));
            break;
        case Glyph::PriorPage:
            p.drawPolygon(arrow(2.5, false));
            p.drawPolygon(arrow(8, false));
            break;
        case Glyph::Prior:
            p.drawPolygon(arrow(5, false));
            break;
        case Glyph::Next:
            p.drawPolygon(arrow(11, true));
            break;
        case Glyph::NextPage:
            p.drawPolygon(arrow(8, true));
            p.drawPolygon(arrow(13.5, true));
            break;
        case Glyph::Last:
            p.drawPolygon(arrow(10.5, true));
            p.drawRect(QRectF(11, 2.5, 2, 11));
            break;
        case Glyph::Edit:
            p.drawPolygon(QPolygonF({QPointF(8, 4), QPointF(13.5, 11.5), QPointF(2.5, 11.5)}));
            break;
        case Glyph::Refresh: {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0x00, 0x00, 0x80), 1.8));
            p.drawArc(QRectF(3, 3, 10, 10), 100 * 16, 280 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x00, 0x00, 0x80));
            p.drawPolygon(QPolygonF({QPointF(8.5, 0.8), QPointF(12.3, 3.2), QPointF(8.5, 5.8)}));
            break;
        }
        }
    });
}

// A label at `position`, word-wrapped within `wrapWidth` when one is given, on `background` or
// on the panel itself.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QPoint& position,
                  const QFont& font, const QColor& colour, int wrapWidth = 0,
                  const QColor& background = QColor())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText); // the runs of blanks stay as they are
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        label->setAutoFillBackground(true);
    } else {
        label->setAttribute(Qt::WA_TranslucentBackground);
    }
    label->setPalette(palette);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->move(position);
    if (wrapWidth > 0) {
        label->setWordWrap(true);
        label->resize(wrapWidth, label->heightForWidth(wrapWidth));
    } else {
        label->adjustSize();
    }
    return label;
}

} // namespace

namespace controlprofes {

// The grid's data source over the dialog's teacher table: every row in natural order, the
// table's cursor on the grid's current row, and that row's edit in progress read from the
// table itself.
class ProftModel : public QAbstractTableModel {
public:
    ProftModel(DbfTable& table, QObject* parent) : QAbstractTableModel(parent), m_table(table) {}

    // Told the message of a table error met while the grid wrote a value.
    std::function<void(const QString&)> reportError;

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : ColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const int column = index.column();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return value(index.row(), column);
        case Qt::BackgroundRole:
            if (column < FixedColumns)
                return QApplication::palette().button(); // the title colour
            if (isMissing(index.row(), column))
                return MissingTint;
            break;
        case Qt::ForegroundRole:
            if (column < FixedColumns)
                return QApplication::palette().buttonText();
            break;
        case Qt::ToolTipRole:
            if (column == 1)
                return value(index.row(), column); // a long name, whole
            if (isMissing(index.row(), column))
                return QStringLiteral("Falta %1: Yedra lo necesita para recibir el horario "
                                      "de este profesor")
                    .arg(Columns[column].field);
            break;
        default:
            break;
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal) {
            if (role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
                return Columns[section].title;
            return {};
        }
        // The row indicator: the current row, and whether it is being edited.
        if (role == Qt::DisplayRole && section == m_current)
            return isEditing() ? QStringLiteral("I") : QStringLiteral("\u25B8");
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        // The fixed columns can neither take the cursor nor be edited.
        if (!index.isValid() || index.column() < FixedColumns)
            return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::EditRole || !index.isValid() || index.column() < FixedColumns)
            return false;
        const int row = index.row();
        const int column = index.column();
        const QString text = value.toString();
        // A cell committed after the cursor left its row: the row was saved with it then.
        if (row != m_current)
            return text == m_rows[row][column];
        if (!isEditing() && text == m_rows[row][column])
            return true;
        const QString& field = Columns[column].field;
        edit();
        if (!isEditing())
            return false;
        try {
            m_table.setText(field, text);
        } catch (const EngineError& error) {
            if (reportError)
                reportError(error.message());
            return false;
        }
        if (m_table.text(field) != m_rows[row][column])
            m_changed.insert(column);
        else
            m_changed.remove(column);
        emit dataChanged(index, index);
        return true;
    }

    int fieldWidth(int column) const
    {
        for (const DbfField& field : m_table.fields()) {
            if (field.name == Columns[column].field)
                return field.width;
        }
        return 0;
    }

    // Reads every row again; the cursor stays on the same row number as far as there is one.
    void reload()
    {
        beginResetModel();
        m_rows.clear();
        m_changed.clear();
        for (m_table.first(); !m_table.eof(); m_table.next()) {
            std::array<QString, ColumnCount> row;
            for (int c = 0; c < ColumnCount; ++c)
                row[c] = m_table.text(Columns[c].field);
            m_rows.push_back(row);
        }
        const int wanted = std::max(m_current, 0);
        m_current = -1;
        endResetModel();
        if (!m_rows.isEmpty())
            moveTo(wanted);
    }

    int currentRow() const { return m_current; }
    bool isEditing() const { return m_table.isOpen() && m_table.isEditing(); }

    // The caller saves or cancels the row being edited first: moving the table's cursor would
    // save it past the masks.
    void moveTo(int row)
    {
        if (m_rows.isEmpty() || isEditing())
            return;
        row = std::clamp(row, 0, int(m_rows.size()) - 1);
        const int previous = m_current;
        m_table.first();
        for (int i = 0; i < row; ++i)
            m_table.next();
        m_current = row;
        if (previous >= 0 && previous < m_rows.size())
            emit headerDataChanged(Qt::Vertical, previous, previous);
        emit headerDataChanged(Qt::Vertical, row, row);
    }

    // The current row into editing; a table without rows has nothing to edit. A table error is
    // reported, and the row stays as it was.
    void edit()
    {
        if (isEditing() || m_current < 0)
            return;
        try {
            m_table.edit();
        } catch (const EngineError& error) {
            if (reportError)
                reportError(error.message());
            return;
        }
        m_changed.clear();
        emit headerDataChanged(Qt::Vertical, m_current, m_current);
    }

    // Why the row being edited cannot be saved: a value typed in it that does not fit its mask.
    // Empty when it can.
    QString refusal() const
    {
        if (!isEditing())
            return {};
        for (const MaskedField& masked : maskedFields()) {
            if (!m_changed.contains(masked.column))
                continue;
            const GridColumn& column = Columns[masked.column];
            const QString value = m_table.text(column.field);
            if (value.isEmpty() || masked.picture.matches(value))
                continue;
            return QStringLiteral("El valor «%1» de %2 del profesor %3 no es válido: debe ser "
                                  "%4.\n\nCorríjalo, o deshaga los cambios de la fila con el "
                                  "botón de cancelar o la tecla Esc.")
                .arg(value, column.field, m_table.text(Columns[0].field), masked.form);
        }
        return {};
    }

    // Writes the row being edited to the table; a row without changes is left as it was.
    void post()
    {
        if (!isEditing())
            return;
        if (m_changed.isEmpty())
            m_table.cancel();
        else
            m_table.post();
        m_changed.clear();
        for (int c = 0; c < ColumnCount; ++c)
            m_rows[m_current][c] = m_table.text(Columns[c].field);
        rowChanged(m_current);
    }

    void cancel()
    {
        if (!isEditing())
            return;
        m_table.cancel();
        m_changed.clear();
        rowChanged(m_current);
    }

    // The column whose value the row being edited cannot be saved with; -1 when there is none.
    int refusedColumn() const
    {
        if (!isEditing())
            return -1;
        for (const MaskedField& masked : maskedFields()) {
            const QString value = m_table.text(Columns[masked.column].field);
            if (m_changed.contains(masked.column) && !value.isEmpty() &&
                !masked.picture.matches(value))
                return masked.column;
        }
        return -1;
    }

private:
    // A value Yedra needs that the teacher lacks, as the completeness test sees it.
    bool isMissing(int row, int column) const
    {
        return (column == XEmpleado || column == FTomapos) &&
               texts::trimmed(value(row, column)).isEmpty();
    }

    QString value(int row, int column) const
    {
        if (row == m_current && isEditing())
            return m_table.text(Columns[column].field);
        return m_rows[row][column];
    }

    // The row's values may all have changed: an editor open on it shows the value it now has.
    void rowChanged(int row)
    {
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        emit headerDataChanged(Qt::Vertical, row, row);
    }

    DbfTable& m_table;
    QList<std::array<QString, ColumnCount>> m_rows; // as saved
    int m_current = -1;
    QSet<int> m_changed; // the columns typed in the row being edited
};

// The grid's cursor: it never stands on a fixed column, and it leaves its row only when the
// dialog lets it (the row being edited saved first).
class RowGate : public QItemSelectionModel {
public:
    RowGate(QAbstractItemModel* model, QObject* parent, std::function<bool(int)> mayLeaveFor)
        : QItemSelectionModel(model, parent), m_mayLeaveFor(std::move(mayLeaveFor))
    {
    }

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override
    {
        QModelIndex target = index;
        const QModelIndex current = currentIndex();
        if (target.isValid() && target.column() < FixedColumns)
            target = model()->index(target.row(), current.isValid() ? current.column() : XEmpleado);
        if (target.isValid() && current.isValid() && target.row() != current.row() &&
            !m_mayLeaveFor(target.row()))
            return;
        QItemSelectionModel::setCurrentIndex(target, command);
    }

    void select(const QItemSelection& selection, SelectionFlags command) override
    {
        // A click on another row whose move was refused selects nothing there.
        const QModelIndex current = currentIndex();
        for (const QModelIndex& index : selection.indexes()) {
            if (!current.isValid() || index.row() != current.row())
                return;
        }
        QItemSelectionModel::select(selection, command);
    }
    using QItemSelectionModel::select;

private:
    std::function<bool(int)> m_mayLeaveFor;
};

// The cells' editors: a line edit kept to its mask, and Enter moving on as Tab does. Tab,
// Enter and leaving the cell take the text into the row even when the mask does not accept it
// yet: the row's save refuses it then, with a message saying why.
class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(ProftModel& model, QObject* parent) : QStyledItemDelegate(parent), m_model(model)
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        const MaskedField* masked = maskedField(index.column());
        if (!masked)
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setValidator(new PictureValidator(masked->picture, editor));
        // The first change typed puts the row into editing, as the navigator then shows.
        connect(editor, &QLineEdit::textEdited, this, [this] { m_model.edit(); });
        if (const int width = m_model.fieldWidth(index.column()); width > 0)
            editor->setMaxLength(width);
        return editor;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* editor = qobject_cast<QWidget*>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            QAbstractItemDelegate::EndEditHint hint = QAbstractItemDelegate::NoHint;
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                (key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier)))
                hint = QAbstractItemDelegate::EditNextItem;
            else if (key->key() == Qt::Key_Backtab ||
                     (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier)))
                hint = QAbstractItemDelegate::EditPreviousItem;
            if (hint != QAbstractItemDelegate::NoHint) {
                emit commitData(editor);
                emit closeEditor(editor, hint);
                return true;
            }
        }
        if (editor && event->type() == QEvent::FocusOut) {
            // The base class commits only a value the validator accepts; a value on its way
            // goes into the row all the same. Focus moving inside the editor is no leaving.
            const QWidget* focus = QApplication::focusWidget();
            const bool inside = focus && (focus == editor || editor->isAncestorOf(focus));
            const auto* line = qobject_cast<QLineEdit*>(editor);
            if (line && !line->hasAcceptableInput() && !inside)
                emit commitData(editor);
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    ProftModel& m_model;
};

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

    QTableView* fixedColumns() const { return m_fixed; }

    QWidget* openEditor() const { return indexWidget(currentIndex()); }
    // The text of the cell being typed goes into the row; the editor stays open.
    void commitOpenEditor()
    {
        if (QWidget* editor = openEditor())
            commitData(editor);
    }
    void discardOpenEditor()
    {
        if (QWidget* editor = openEditor())
            closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    // The current row's cell in `column` edited again, its text kept and the cursor after it:
    // the user mends a refused value by typing on.
    void editAgain(int column)
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

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override
    {
        // Only the current row is edited: a refused move leaves the cursor where it was.
        if (index.isValid() && currentIndex().isValid() && index.row() != currentIndex().row())
            return false;
        return QTableView::edit(index, trigger, event);
    }

    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override
    {
        if (hint != QAbstractItemDelegate::EditNextItem &&
            hint != QAbstractItemDelegate::EditPreviousItem) {
            QTableView::closeEditor(editor, hint);
            return;
        }
        // Tab or Enter in a cell: the next cell is edited once the cursor is there, and a row
        // that could not be saved keeps it.
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        const QModelIndex next = moveCursor(
            hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious, Qt::NoModifier);
        if (!next.isValid() || next == currentIndex())
            return;
        setCurrentIndex(next);
        if (currentIndex() == next)
            QTableView::edit(next);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
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

    void updateGeometries() override
    {
        QTableView::updateGeometries();
        updateFixedGeometry();
        keepWholeColumns();
    }

    void scrollContentsBy(int dx, int dy) override
    {
        QTableView::scrollContentsBy(dx, dy);
        keepWholeColumns();
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QTableView::resizeEvent(event);
        updateFixedGeometry();
    }

    bool eventFilter(QObject* watched, QEvent* event) override
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

private:
    // Each column as wide as its title, its widest value in the table and, for the columns
    // typed in, the widest value its mask lets in; NOMBRE as wide as forty average characters
    // (a longer name shows whole in its tooltip).
    void fitColumns()
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
                    width = std::max(width,
                                     cells.horizontalAdvance(data->index(r, c).data().toString()) +
                                         padding);
            }
            if (c == 0)
                width = std::max(width, Columns[c].characters * cells.averageCharWidth() + padding);
            view->setColumnWidth(c, width);
        }
        updateFixedGeometry();
    }

    // At the end of its scroll bar the header lines the last column up with the right edge,
    // which leaves the column before it partly in view, its first characters cut: the first
    // column in view is always a whole one.
    void keepWholeColumns()
    {
        QHeaderView* header = horizontalHeader();
        const int first = header->logicalIndexAt(0);
        if (first < 0 || header->sectionViewportPosition(first) >= 0)
            return;
        header->setOffsetToSectionPosition(horizontalScrollBar()->value());
        updateEditorGeometries();
        viewport()->update();
    }

    static int titleWidth(const QHeaderView* header, int section)
    {
        const QString title = header->model()->headerData(section, Qt::Horizontal).toString();
        return QFontMetrics(header->font()).horizontalAdvance(title) +
               2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 2;
    }

    int fixedWidth() const
    {
        return m_fixed->verticalHeader()->width() + m_fixed->columnWidth(0) +
               m_fixed->columnWidth(1);
    }

    void updateFixedGeometry()
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

    QTableView* m_fixed;
    std::function<void()> m_escapePressed;
    bool m_placing = false;
};

} // namespace controlprofes

using controlprofes::ProftGrid;
using controlprofes::ProftModel;

TControlProfesores::TControlProfesores(const QString& tablePath, QWidget* owner)
    : QDialog(owner), wwTableProft(std::make_unique<DbfTable>(tablePath))
{
    wwTableProft->open(DbfTable::Access::Shared);

    setObjectName(QStringLiteral("ControlProfesores"));
    setWindowTitle(QStringLiteral("Control de Profesores"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(754, 499);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    Draw3D1 = new GradientPanel(QColor(0xC2, 0xCD, 0xFE), QColor(0xCF, 0xF2, 0xFE),
                                QColor(0xCC, 0xD8, 0xE6), this);
    Draw3D1->setObjectName(QStringLiteral("Draw3D1"));
    Draw3D1->setGeometry(0, 0, 754, 499);

    QFont bold = font();
    bold.setBold(true);
    QFont larger = bold;
    larger.setPointSize(10);
    QFont underlined = bold;
    underlined.setUnderline(true);
    const QColor navy(0x00, 0x00, 0x80);
    const QColor red(0xFF, 0x00, 0x00);
    const QColor green(0x00, 0x80, 0x00);
    constexpr int WrapWidth = 228; // from the labels' left edge to the window's right edge

    const QString title = QStringLiteral("CONTROL DE DATOS DE LOS PROFESORES");
    Label1 = makeLabel(Draw3D1, "Label1", title, QPoint(9, 12), larger, Qt::black,
                       QFontMetrics(larger).horizontalAdvance(title) + 4, Qt::yellow);
    Label3 = makeLabel(Draw3D1, "Label3", QStringLiteral("INCIDENCIAS EN EL TRASPASO"),
                       QPoint(525, 66), underlined, red);
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label2 = makeLabel(Draw3D1, "Label2",
                       QStringLiteral("Se ha detectado que existe algún Profesor sin todos los "
                                      "datos necesarios. (Seguramente hayan sido creados "
                                      "directamente desde Oranel.)      Para poder realizar "
                                      "correctamente la integración del Horario en YEDRA, "
                                      "deberán asignarlos en esta rejilla. "),
                       QPoint(519, 91), bold, navy, WrapWidth);
    Label4 = makeLabel(Draw3D1, "Label4",
                       QStringLiteral("Los Profesores deberán estar creados previamente en "
                                      "YEDRA, con los mismos Datos de X_EMPLEADO y F_TOMAPOS. "),
                       QPoint(519, 195), bold, red, WrapWidth);
    Label5 = makeLabel(Draw3D1, "Label5",
                       QStringLiteral("YEDRA, dispone de un proceso mediante el cual pueden "
                                      "obtener la información de estos 2 datos mencionados. "),
                       QPoint(519, 251), bold, green, WrapWidth);
    Label6 = makeLabel(Draw3D1, "Label6",
                       QStringLiteral("Después de haber introducido los datos que faltan, "
                                      "pulsando \"Salir\", se reiniciará el proceso."),
                       QPoint(519, 307), bold, navy, WrapWidth);

    wwDataSource1 = new ProftModel(*wwTableProft, this);
    wwDataSource1->setObjectName(QStringLiteral("wwDataSource1"));
    wwDataSource1->reportError = [this](const QString& message) { refuse(message); };

    ProftDBGrid = new ProftGrid(Draw3D1);
    ProftDBGrid->setObjectName(QStringLiteral("ProftDBGrid"));
    ProftDBGrid->setAccessibleName(QStringLiteral("Datos del profesorado"));
    ProftDBGrid->setAccessibleDescription(
        QStringLiteral("Un profesor por fila; se completan X_EMPLEADO y F_TOMAPOS"));
    ProftDBGrid->setGeometry(9, 56, 490, 433);
    QPalette rows = ProftDBGrid->palette();
    rows.setColor(QPalette::AlternateBase, QColor(0xEE, 0xF3, 0xFF));
    ProftDBGrid->setPalette(rows);
    ProftDBGrid->setUp(
        wwDataSource1, [this](int row) { return leaveRowFor(row); },
        [this] {
            if (!ProftDBGrid->openEditor())
                cancelRow();
        });

    wwDBNavigator1 = new QWidget(Draw3D1);
    wwDBNavigator1->setObjectName(QStringLiteral("wwDBNavigator1"));
    wwDBNavigator1->setGeometry(224, 29, 275, 24);
    struct NavigatorButton {
        const char* name;
        const char* hint; // in Spanish, like the rest of the window; a screen reader says it too
        QIcon glyph;
        std::function<void()> action;
    };
    const NavigatorButton buttons[] = {
        {"First", "Ir al primer profesor", navigatorGlyph(Glyph::First), [this] { moveToRow(0); }},
        {"PriorPage", "Retroceder 10 profesores", navigatorGlyph(Glyph::PriorPage),
         [this] { moveBy(-PageRows); }},
        {"Prior", "Ir al profesor anterior", navigatorGlyph(Glyph::Prior), [this] { moveBy(-1); }},
        {"Next", "Ir al profesor siguiente", navigatorGlyph(Glyph::Next), [this] { moveBy(1); }},
        {"NextPage", "Avanzar 10 profesores", navigatorGlyph(Glyph::NextPage),
         [this] { moveBy(PageRows); }},
        {"Last", "Ir al último profesor", navigatorGlyph(Glyph::Last),
         [this] { moveToRow(wwDataSource1->rowCount() - 1); }},
        {"Edit", "Modificar el profesor actual", navigatorGlyph(Glyph::Edit),
         [this] { wwDataSource1->edit(); }},
        {"Post", "Guardar los cambios del profesor actual", glyphs::checkMark(),
         [this] { saveRow(); }},
        {"Cancel", "Deshacer los cambios del profesor actual", glyphs::cross(),
         [this] { cancelRow(); }},
        {"Refresh", "Volver a leer la tabla de profesores", navigatorGlyph(Glyph::Refresh),
         [this] { refresh(); }},
    };
    const int count = int(std::size(buttons));
    for (int i = 0; i < count; ++i) {
        auto* button = new QToolButton(wwDBNavigator1);
        button->setObjectName(QLatin1String(buttons[i].name));
        button->setToolTip(QString::fromUtf8(buttons[i].hint));
        button->setAccessibleName(QString::fromUtf8(buttons[i].hint));
        button->setIcon(buttons[i].glyph);
        button->setFocusPolicy(Qt::NoFocus); // the grid keeps the focus, and its row its edit
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(500);
        button->setAutoRepeatInterval(100);
        const int left = i * 275 / count;
        button->setGeometry(left, 0, (i + 1) * 275 / count - left, 24);
        connect(button, &QToolButton::clicked, this, [this, action = buttons[i].action] {
            action();
            updateNavigator();
        });
        m_navigatorButtons << button;
    }

    BitBtn1 = new QPushButton(glyphs::cross(), QStringLiteral("Salir"), Draw3D1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAccessibleName(QStringLiteral("Salir"));
    BitBtn1->setAccessibleDescription(
        QStringLiteral("Cierra la ventana y sigue la importación si no falta ningún dato"));
    BitBtn1->setFont(bold);
    BitBtn1->setGeometry(583, 368, 75, 25);
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TControlProfesores::BitBtn1Click);

    // Help context 1 for the window, the grid and the exit button alike.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] { help::showContext(this, 1); });

    connect(wwDataSource1, &QAbstractItemModel::headerDataChanged, this,
            &TControlProfesores::updateNavigator);
    connect(wwDataSource1, &QAbstractItemModel::modelReset, this,
            &TControlProfesores::updateNavigator);

    wwDataSource1->reload();
    if (wwDataSource1->currentRow() >= 0)
        ProftDBGrid->setCurrentIndex(wwDataSource1->index(wwDataSource1->currentRow(), XEmpleado));
    ProftDBGrid->setFocus(); // the grid is the first control: it has the focus when shown
    updateNavigator();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // Last: from here on the destructor disconnects it.
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { gridFocusChanged(now); });
}

TControlProfesores::~TControlProfesores()
{
    disconnect(qApp, nullptr, this, nullptr);
    // A dialog destroyed while open keeps a row being edited whose values fit their masks.
    try {
        if (wwDataSource1->isEditing()) {
            if (wwDataSource1->refusal().isEmpty())
                wwDataSource1->post();
            else
                wwDataSource1->cancel();
        }
        wwTableProft->close();
    } catch (const EngineError&) {
        wwTableProft.reset(); // the file is let go all the same
    }
}

void TControlProfesores::ProftDBGridEnter()
{
    if (wwTableProft->isOpen() && !wwDataSource1->isEditing())
        wwDataSource1->edit();
}

void TControlProfesores::ProftDBGridExit()
{
    if (wwTableProft->isOpen() && wwDataSource1->isEditing())
        saveRow();
}

void TControlProfesores::BitBtn1Click()
{
    if (!wwTableProft->isOpen() || !saveRow())
        return;
    result = true;
    try {
        if (hasIncompleteTeacher(*wwTableProft))
            result = false;
        wwTableProft->close();
    } catch (const EngineError& error) {
        result = false;
        showErrorBox(this, error.message());
    }
    accept();
}

void TControlProfesores::done(int r)
{
    if (!saveRow())
        return;
    QDialog::done(r);
}

void TControlProfesores::showEvent(QShowEvent* event)
{
    // The run shows the busy pointer; the user types with the ordinary one.
    m_pointer.take();
    QDialog::showEvent(event);
}

void TControlProfesores::hideEvent(QHideEvent* event)
{
    m_pointer.release();
    QDialog::hideEvent(event);
}

void TControlProfesores::keyPressEvent(QKeyEvent* event)
{
    // Escape belongs to the grid, where it undoes a row's changes; it never closes the dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TControlProfesores::saveRow()
{
    if (m_refusing)
        return false;
    if (!wwTableProft->isOpen())
        return true;
    ProftDBGrid->commitOpenEditor();
    if (!wwDataSource1->isEditing())
        return true;
    QString problem = wwDataSource1->refusal();
    if (problem.isEmpty()) {
        try {
            wwDataSource1->post();
            return true;
        } catch (const EngineError& error) {
            problem = error.message();
        }
    }
    const int refused = wwDataSource1->refusedColumn();
    refuse(problem);
    // The row stays in editing, and the user is back in the refused cell, typing after its
    // text, to mend the value.
    const QModelIndex current = ProftDBGrid->currentIndex();
    ProftDBGrid->editAgain(refused >= 0        ? refused
                           : current.isValid() ? current.column()
                                               : XEmpleado);
    return false;
}

void TControlProfesores::cancelRow()
{
    ProftDBGrid->discardOpenEditor();
    wwDataSource1->cancel();
}

void TControlProfesores::refuse(const QString& message)
{
    // A held button would go on repeating under the message.
    for (QToolButton* button : std::as_const(m_navigatorButtons))
        button->setDown(false);
    BitBtn1->setDown(false);
    m_refusing = true;
    showErrorBox(this, message);
    m_refusing = false;
    activateWindow(); // the user goes on here, where the focus was
}

bool TControlProfesores::leaveRowFor(int row)
{
    if (!saveRow())
        return false;
    wwDataSource1->moveTo(row);
    return true;
}

void TControlProfesores::moveBy(int rows)
{
    moveToRow(std::max(wwDataSource1->currentRow(), 0) + rows);
}

void TControlProfesores::moveToRow(int row)
{
    const int count = wwDataSource1->rowCount();
    if (count == 0 || !wwTableProft->isOpen())
        return;
    const QModelIndex current = ProftDBGrid->currentIndex();
    ProftDBGrid->setCurrentIndex(wwDataSource1->index(
        std::clamp(row, 0, count - 1), current.isValid() ? current.column() : XEmpleado));
}

void TControlProfesores::refresh()
{
    // As the table component does: the row being edited is saved first.
    if (!wwTableProft->isOpen() || !saveRow())
        return;
    const QModelIndex current = ProftDBGrid->currentIndex();
    wwDataSource1->reload();
    if (wwDataSource1->currentRow() >= 0)
        ProftDBGrid->setCurrentIndex(wwDataSource1->index(
            wwDataSource1->currentRow(), current.isValid() ? current.column() : XEmpleado));
}

void TControlProfesores::gridFocusChanged(QWidget* now)
{
    // Only moves of the focus inside this window count: a message box over it, or another
    // program taking the focus, leaves the grid as it was.
    if (!now || now->window() != this)
        return;
    const bool inGrid = now == ProftDBGrid || ProftDBGrid->isAncestorOf(now);
    if (inGrid == m_gridFocused)
        return;
    m_gridFocused = inGrid;
    if (inGrid) {
        ProftDBGridEnter();
        return;
    }
    // Once the focus change is over: a refusal must not come up in the middle of the mouse
    // press that moved the focus.
    QTimer::singleShot(0, this, [this] {
        if (!m_gridFocused)
            ProftDBGridExit();
    });
}

void TControlProfesores::updateNavigator()
{
    const bool open = wwTableProft->isOpen();
    const int row = wwDataSource1->currentRow();
    const int last = wwDataSource1->rowCount() - 1;
    const bool editing = wwDataSource1->isEditing();
    const bool enabled[] = {
        open && row > 0,
        open && row > 0,
        open && row > 0,
        open && row < last,
        open && row < last,
        open && row < last,
        open && row >= 0 && !editing,
        editing,
        editing,
        open,
    };
    for (int i = 0; i < 10; ++i)
        m_navigatorButtons[i]->setEnabled(enabled[i]);
}
