#include "to_yedra/controlprofes/navigatorglyphs.h"

#include "widgets/glyphs.h"

#include <QPainter>
#include <QPolygonF>
#include <functional>

namespace controlprofes {
namespace {

// The navigator's glyphs: navy shapes.
QIcon drawnGlyph(const std::function<void(QPainter&)>& draw)
{
    return glyphs::drawn([&](QPainter& painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x00, 0x00, 0x80));
        draw(painter);
    });
}

// A triangle pointing left (or right) with its tip at x.
QPolygonF arrow(double tip, bool right)
{
    const double back = right ? tip - 5.5 : tip + 5.5;
    return QPolygonF({QPointF(tip, 8), QPointF(back, 2.5), QPointF(back, 13.5)});
}

} // namespace

QIcon navigatorGlyph(Glyph glyph)
{
    return drawnGlyph([glyph](QPainter& p) {
        switch (glyph) {
        case Glyph::First:
            p.drawRect(QRectF(3, 2.5, 2, 11));
            p.drawPolygon(arrow(5.5, false));
            break;
        case Glyph::PriorPage:
            p.drawPolygon(arrow(2.5, false));
            p.drawPolygon(arrow(8, false));
            break;
        case Glyph::Prior:
            p.drawPolygon(arrow(5, false));
            break;
        case Glyph::Next:
            p.drawPolygon(arrow(11, true));
            break;
        case Glyph::NextPage:
            p.drawPolygon(arrow(8, true));
            p.drawPolygon(arrow(13.5, true));
            break;
        case Glyph::Last:
            p.drawPolygon(arrow(10.5, true));
            p.drawRect(QRectF(11, 2.5, 2, 11));
            break;
        case Glyph::Edit:
            p.drawPolygon(QPolygonF({QPointF(8, 4), QPointF(13.5, 11.5), QPointF(2.5, 11.5)}));
            break;
        case Glyph::Refresh: {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0x00, 0x00, 0x80), 1.8));
            p.drawArc(QRectF(3, 3, 10, 10), 100 * 16, 280 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x00, 0x00, 0x80));
            p.drawPolygon(QPolygonF({QPointF(8.5, 0.8), QPointF(12.3, 3.2), QPointF(8.5, 5.8)}));
            break;
        }
        }
    });
}

} // namespace controlprofes
