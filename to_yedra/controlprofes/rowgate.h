#pragma once

#include <QItemSelectionModel>
#include <functional>

namespace controlprofes {

// The grid's cursor: it never stands on a fixed column, and it leaves its row only when the
// dialog lets it (the row being edited saved first).
class RowGate : public QItemSelectionModel {
public:
    RowGate(QAbstractItemModel* model, QObject* parent, std::function<bool(int)> mayLeaveFor);

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override;

    void select(const QItemSelection& selection, SelectionFlags command) override;
    using QItemSelectionModel::select;

private:
    std::function<bool(int)> m_mayLeaveFor;
};

} // namespace controlprofes
