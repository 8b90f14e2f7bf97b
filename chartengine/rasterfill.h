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
    // A polyline in an opaque colour whose points are about a pixel column apart or less
    // (a dense trace): each pixel column is filled as one vertical span from the lowest to
    // the highest point the trace reaches in it, a step into the next column counted up
    // to the column border. Far fewer pixels are touched than by anti-aliased pieces
    // between the points, and a spike of a single point still shows at its full height.
    // Steps across more than three columns are drawn as lines. Returns false, drawing nothing, when the points are on average
    // more than two columns apart; the caller then draws lines.
    bool DenseTrace(const QPointF *pts, int n, QRgb colour);
    // One step of a dense trace: as spans when it crosses at most three pixel columns,
    // otherwise as a line.
    void Step(const QPointF &a, const QPointF &b, QRgb colour);
    // A piece of a 3D ribbon: FillConvex(pts, n, face) and then Step(a, b, rim), the same
    // pixels, but the face is not first filled where the rim's spans then cover it (on a
    // steep piece most of its column).
    void Piece(const QPointF *pts, int n, QRgb face, const QPointF &a, const QPointF &b, QRgb rim);

private:
    void Span(int column, double top, double bottom, quint32 colour);
    // The polygon (device coordinates) filled row by row, or column by column.
    void Rows(const QPointF *v, int n, quint32 colour);
    // One column's rows from and to (both included) of a step's spans.
    struct TColumnSpan
    {
        int column, from, to;
    };
    // skip: up to four spans whose pixels are left alone.
    void Columns(const QPointF *v, int n, double xmin, double xmax, quint32 colour,
                 const TColumnSpan *skip = nullptr, int skipCount = 0);
    // v: n mapped vertices; false when one is not finite.
    static bool Bounds(const QPointF *pts, int n, QPointF *v, const TRasterTarget &t,
                       double &xmin, double &xmax, double &ymin, double &ymax);

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
