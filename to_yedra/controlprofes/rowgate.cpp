#include "to_yedra/controlprofes/rowgate.h"

#include "to_yedra/controlprofes/proftcolumns.h"

namespace controlprofes {

RowGate::RowGate(QAbstractItemModel* model, QObject* parent, std::function<bool(int)> mayLeaveFor)
    : QItemSelectionModel(model, parent), m_mayLeaveFor(std::move(mayLeaveFor))
{
}

void RowGate::setCurrentIndex(const QModelIndex& index, SelectionFlags command)
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

void RowGate::select(const QItemSelection& selection, SelectionFlags command)
{
    // A click on another row whose move was refused selects nothing there.
    const QModelIndex current = currentIndex();
    for (const QModelIndex& index : selection.indexes()) {
        if (!current.isValid() || index.row() != current.row())
            return;
    }
    QItemSelectionModel::select(selection, command);
}

} // namespace controlprofes
