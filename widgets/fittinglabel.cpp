#include "widgets/fittinglabel.h"

#include "widgets/textlayout.h"

#include <QPainter>
#include <QTextLayout>
#include <algorithm>

namespace {

constexpr int SmallestPixels = 9;

} // namespace

void FittingLabel::setFittedText(const QString& text)
{
    setText(text);
    setToolTip(text);
    update();
}

QFont FittingLabel::shownFont() const
{
    QFont shown = font();
    if (shown.pixelSize() <= 0)
        shown.setPixelSize(QFontInfo(shown).pixelSize());
    const int smallest = std::min(SmallestPixels, shown.pixelSize());
    while (shown.pixelSize() > smallest && textHeight(shown) > contentsRect().height())
        shown.setPixelSize(shown.pixelSize() - 1);
    return shown;
}

void FittingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setClipRect(contentsRect());
    QTextLayout layout(text(), shownFont());
    widgets::wrapWithin(layout, contentsRect().width(), alignment());
    layout.draw(&painter, contentsRect().topLeft());
}

qreal FittingLabel::textHeight(const QFont& font) const
{
    QTextLayout layout(text(), font);
    return widgets::wrapWithin(layout, contentsRect().width(), alignment());
}
