#pragma once

#include "to_yedra/controlprofes/proftcolumns.h"

#include <QAbstractTableModel>
#include <QList>
#include <QSet>
#include <array>
#include <functional>

class DbfTable;

namespace controlprofes {

// The grid's data source over the dialog's teacher table: every row in natural order, the
// table's cursor on the grid's current row, and that row's edit in progress read from the
// table itself.
class ProftModel : public QAbstractTableModel {
public:
    ProftModel(DbfTable& table, QObject* parent) : QAbstractTableModel(parent), m_table(table) {}

    // Told the message of a table error met while the grid wrote a value.
    std::function<void(const QString&)> reportError;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;

    QVariant data(const QModelIndex& index, int role) const override;

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    Qt::ItemFlags flags(const QModelIndex& index) const override;

    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    int fieldWidth(int column) const;

    // Reads every row again; the cursor stays on the same row number as far as there is one.
    void reload();

    int currentRow() const { return m_current; }
    bool isEditing() const;

    // The caller saves or cancels the row being edited first: moving the table's cursor would
    // save it past the masks.
    void moveTo(int row);

    // The current row into editing; a table without rows has nothing to edit. A table error is
    // reported, and the row stays as it was.
    void edit();

    // Why the row being edited cannot be saved: a value typed in it that does not fit its mask.
    // Empty when it can.
    QString refusal() const;

    // Writes the row being edited to the table; a row without changes is left as it was.
    void post();

    void cancel();

    // The column whose value the row being edited cannot be saved with; -1 when there is none.
    int refusedColumn() const;

private:
    // A value Yedra needs that the teacher lacks, as the completeness test sees it.
    bool isMissing(int row, int column) const;

    QString value(int row, int column) const;

    // The row's values may all have changed: an editor open on it shows the value it now has.
    void rowChanged(int row);

    DbfTable& m_table;
    QList<std::array<QString, ColumnCount>> m_rows; // as saved
    int m_current = -1;
    QSet<int> m_changed; // the columns typed in the row being edited
};

} // namespace controlprofes
