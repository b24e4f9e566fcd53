#pragma once

#include <QStyledItemDelegate>

class QListView;

// The items of a list drawn whole within the list's width: a text longer than a line wraps (at
// word boundaries, or anywhere in a word longer than the line) and its item grows, so the list
// never scrolls sideways. The item that has the focus is marked by a dotted frame in the text
// colour only, never by a coloured one that would look like a selection.
class WrappingItems : public QStyledItemDelegate {
public:
    explicit WrappingItems(QListView* list);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    int margin() const;
    int textWidth() const;

    QListView* m_list;
};
