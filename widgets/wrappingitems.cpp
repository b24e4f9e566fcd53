#include "widgets/wrappingitems.h"

#include "widgets/textlayout.h"

#include <QApplication>
#include <QListView>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

WrappingItems::WrappingItems(QListView* list) : QStyledItemDelegate(list), m_list(list) {}

QSize WrappingItems::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    QTextLayout layout(item.text, item.font);
    const qreal height = widgets::wrapWithin(layout, textWidth());
    return QSize(textWidth() + 2 * margin(), int(std::ceil(height)) + 2);
}

void WrappingItems::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const
{
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const bool focused = item.state & QStyle::State_HasFocus;
    item.state &= ~QStyle::State_HasFocus;
    const QString text = item.text;
    item.text.clear();
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    painter->save();
    const bool selected = item.state & QStyle::State_Selected;
    painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    QTextLayout layout(text, item.font);
    widgets::wrapWithin(layout, textWidth());
    layout.draw(painter, QPointF(item.rect.left() + margin(), item.rect.top() + 1));
    if (focused) {
        painter->setPen(QPen(item.palette.color(QPalette::Text), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(item.rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

int WrappingItems::margin() const
{
    return m_list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1;
}

// The list's inside less room for its vertical scroll bar, which may come or go.
int WrappingItems::textWidth() const
{
    const int scrollBar = m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    return m_list->width() - 2 * m_list->frameWidth() - scrollBar - 2 * margin();
}
