#pragma once

// Direct drawing of the many small shapes of the traces into a 32-bit image. The generic
// painter spends a microsecond or more per shape whatever its size, which is too slow for
// 50 traces of 300 points redrawn every second; a trace segment covers only a few pixels.
// Used only when the painter paints straight into such an image; printing goes through
// the painter.

#include <QPainter>
#include <QRgb>

namespace ChartRender {

class TRasterTarget
{
public:
    // Valid only when p paints into an unshared 32-bit image with no rotation or shear;
    // clip is in the painter's coordinates.
    TRasterTarget(QPainter &p, const QRectF &clip);
    bool IsValid() const { return m_bits != nullptr; }

    // Fills a convex polygon (points in the painter's coordinates) with an opaque colour:
    // the pixels whose centres lie inside, so neighbouring shapes neither overlap nor gap.
    void FillConvex(const QPointF *pts, int n, QRgb colour);
    // A one pixel wide anti-aliased line in an opaque colour.
    void Line(const QPointF &a, const QPointF &b, QRgb colour);

private:
    QPointF Map(const QPointF &p) const
    {
        return QPointF(p.x() * m_sx + m_dx, p.y() * m_sy + m_dy);
    }

    uchar *m_bits = nullptr;
    qsizetype m_stride = 0;
    int m_x0 = 0, m_y0 = 0, m_x1 = 0, m_y1 = 0; // device clip, x1 and y1 exclusive
    QTransform m_t;
    double m_sx = 1, m_sy = 1, m_dx = 0, m_dy = 0; // the transform, scale and shift only
};

} // namespace ChartRender
