#include "widgets/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace glyphs {

QIcon drawn(const std::function<void(QPainter&)>& paint)
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        paint(painter);
        icon.addPixmap(pixmap);
    }
    return icon;
}

namespace {

QIcon stroked(const QColor& colour, const QPainterPath& path)
{
    return drawn([&](QPainter& painter) {
        painter.setPen(QPen(colour, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    });
}

} // namespace

QIcon checkMark()
{
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.5, 12.5);
    path.lineTo(13.5, 3.5);
    return stroked(QColor(0x00, 0x80, 0x00), path);
}

QIcon cross()
{
    QPainterPath path;
    path.moveTo(3.5, 3.5);
    path.lineTo(12.5, 12.5);
    path.moveTo(12.5, 3.5);
    path.lineTo(3.5, 12.5);
    return stroked(QColor(0xC0, 0x00, 0x00), path);
}

} // namespace glyphs
