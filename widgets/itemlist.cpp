#include "widgets/itemlist.h"

#include <QApplication>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// One line per entry, as wide as the list's inside less room for its vertical scroll bar,
// which may come or go.
class OneLineItems : public QStyledItemDelegate {
public:
    explicit OneLineItems(QListWidget* list) : QStyledItemDelegate(list), m_list(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int scrollBar =
            m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
        return QSize(m_list->width() - 2 * m_list->frameWidth() - scrollBar,
                     QStyledItemDelegate::sizeHint(option, index).height());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const bool focused = item.state & QStyle::State_HasFocus;
        item.state &= ~QStyle::State_HasFocus;
        const QWidget* widget = item.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
        if (focused) {
            painter->save();
            painter->setPen(QPen(item.palette.color(QPalette::Text), 1, Qt::DotLine));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(item.rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }

private:
    QListWidget* m_list;
};

} // namespace

ItemList::ItemList(QWidget* parent) : QListWidget(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setItemDelegate(new OneLineItems(this));
}

void ItemList::addEntry(const QString& text)
{
    auto* item = new QListWidgetItem(text, this);
    item->setToolTip(text);
}

void ItemList::paintEvent(QPaintEvent* event)
{
    QListWidget::paintEvent(event);
    if (!hasFocus() || count() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
    painter.drawRect(viewport()->rect().adjusted(1, 1, -2, -2));
}

void ItemList::focusInEvent(QFocusEvent* event)
{
    QListWidget::focusInEvent(event);
    viewport()->update();
}

void ItemList::focusOutEvent(QFocusEvent* event)
{
    QListWidget::focusOutEvent(event);
    viewport()->update();
}
