#include "flags.h"

#include <QPainter>
#include <QPainterPath>

namespace {
QPixmap Framed(QPixmap pm)
{
    QPainter p(&pm);
    p.setPen(QColor(90, 90, 90));
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return pm;
}
} // namespace

QPixmap CzechFlag(int height)
{
    const int w = height * 3 / 2;
    QPixmap pm(w, height);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.fillRect(QRectF(0, height / 2.0, w, height / 2.0), QColor(0xD7, 0x14, 0x1A));
    p.setBrush(QColor(0x11, 0x45, 0x7E));
    const QPointF wedge[3] = {{0, 0}, {w / 2.0, height / 2.0}, {0, double(height)}};
    p.drawPolygon(wedge, 3);
    p.end();
    return Framed(pm);
}

QPixmap BritishFlag(int height)
{
    const int w = height * 2;
    QPixmap pm(w, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 60 x 30 grid.
    p.scale(w / 60.0, height / 30.0);
    const QColor blue(0x01, 0x21, 0x69), red(0xC8, 0x10, 0x2E);
    p.fillRect(QRectF(0, 0, 60, 30), blue);

    QPainterPath diagonals;
    diagonals.moveTo(0, 0);
    diagonals.lineTo(60, 30);
    diagonals.moveTo(60, 0);
    diagonals.lineTo(0, 30);
    p.setPen(QPen(Qt::white, 6));
    p.drawPath(diagonals);

    // The red saltire is counterchanged: each arm lies on the clockwise side of its white
    // arm, which the four triangles of this clip give.
    QPainterPath clip;
    clip.addPolygon(QPolygonF({{30, 15}, {60, 15}, {60, 30}}));
    clip.addPolygon(QPolygonF({{30, 15}, {30, 30}, {0, 30}}));
    clip.addPolygon(QPolygonF({{30, 15}, {0, 15}, {0, 0}}));
    clip.addPolygon(QPolygonF({{30, 15}, {30, 0}, {60, 0}}));
    p.save();
    p.setClipPath(clip);
    p.setPen(QPen(red, 4));
    p.drawPath(diagonals);
    p.restore();

    QPainterPath cross;
    cross.moveTo(30, 0);
    cross.lineTo(30, 30);
    cross.moveTo(0, 15);
    cross.lineTo(60, 15);
    p.setPen(QPen(Qt::white, 10));
    p.drawPath(cross);
    p.setPen(QPen(red, 6));
    p.drawPath(cross);
    p.end();
    return Framed(pm);
}
