#include "to_yedra/controlprofes/proftmodel.h"

#include "components/dbase/dbftable.h"
#include "components/platform/engineerror.h"
#include "components/text/texts.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <algorithm>

namespace controlprofes {
namespace {

const QColor MissingTint(0xFF, 0xD2, 0xD2); // a value Yedra needs that the teacher lacks

} // namespace

bool ProftModel::isEditing() const
{
    return m_table.isOpen() && m_table.isEditing();
}

int ProftModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ProftModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ProftModel::data(const QModelIndex& index, int role) const
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

QVariant ProftModel::headerData(int section, Qt::Orientation orientation, int role) const
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

Qt::ItemFlags ProftModel::flags(const QModelIndex& index) const
{
    // The fixed columns can neither take the cursor nor be edited.
    if (!index.isValid() || index.column() < FixedColumns)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool ProftModel::setData(const QModelIndex& index, const QVariant& value, int role)
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

int ProftModel::fieldWidth(int column) const
{
    for (const DbfField& field : m_table.fields()) {
        if (field.name == Columns[column].field)
            return field.width;
    }
    return 0;
}

void ProftModel::reload()
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

void ProftModel::moveTo(int row)
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

void ProftModel::edit()
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

QString ProftModel::refusal() const
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

void ProftModel::post()
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

void ProftModel::cancel()
{
    if (!isEditing())
        return;
    m_table.cancel();
    m_changed.clear();
    rowChanged(m_current);
}

int ProftModel::refusedColumn() const
{
    if (!isEditing())
        return -1;
    for (const MaskedField& masked : maskedFields()) {
        const QString value = m_table.text(Columns[masked.column].field);
        if (m_changed.contains(masked.column) && !value.isEmpty() && !masked.picture.matches(value))
            return masked.column;
    }
    return -1;
}

bool ProftModel::isMissing(int row, int column) const
{
    return (column == XEmpleado || column == FTomapos) &&
           texts::trimmed(value(row, column)).isEmpty();
}

QString ProftModel::value(int row, int column) const
{
    if (row == m_current && isEditing())
        return m_table.text(Columns[column].field);
    return m_rows[row][column];
}

void ProftModel::rowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

} // namespace controlprofes
