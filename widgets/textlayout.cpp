#include "widgets/textlayout.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <algorithm>

namespace widgets {

qreal wrapWithin(QTextLayout& layout, qreal width, Qt::Alignment alignment)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    // Line after line at the font's own spacing, as labels space them.
    const qreal spacing = QFontMetricsF(layout.font()).lineSpacing();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += std::max(line.height(), spacing);
    }
    layout.endLayout();
    return y;
}

} // namespace widgets
