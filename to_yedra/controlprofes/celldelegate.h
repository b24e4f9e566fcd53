#pragma once

#include <QStyledItemDelegate>

namespace controlprofes {

class ProftModel;

// The cells' editors: a line edit kept to its mask, and Enter moving on as Tab does. Tab,
// Enter and leaving the cell take the text into the row even when the mask does not accept it
// yet: the row's save refuses it then, with a message saying why.
class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(ProftModel& model, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    ProftModel& m_model;
};

} // namespace controlprofes
