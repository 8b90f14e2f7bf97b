#pragma once

// Direct drawing of the many small shapes of the traces into a 32-bit image. The generic
// painter spends a microsecond or more per shape whatever its size, which is too slow for
// 50 traces of 300 points redrawn every second; a trace segment covers only a few pixels.
// Used only when the painter paints straight into such an image; printing goes through
// the painter.

#include <QPainter>
#include <QRgb>
#include <cmath>

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
    // Steps across more than three columns are drawn as lines. Returns false, drawing nothing, when
    // the points are on average more than two columns apart; the caller then draws lines.
    bool DenseTrace(const QPointF *pts, int n, QRgb colour);
    // One step of a dense trace: as spans when it crosses at most three pixel columns,
    // otherwise as a line.
    void Step(const QPointF &a, const QPointF &b, QRgb colour);
    // The painter's coordinates mapped to the image's pixels (a scale and a shift).
    QTransform DeviceTransform() const { return QTransform(m_sx, 0, 0, m_sy, m_dx, m_dy); }
    // A piece of a 3D ribbon with its corners in the image's pixels: front f0 to f1, back
    // b0 to b1. The same pixels as FillConvex({f0, f1, b1, b0}) and then Step(f0, f1, rim)
    // would take in the painter's coordinates, but a column's face and rim are written
    // in one pass.
    void DevicePiece(const QPointF &f0, const QPointF &f1, const QPointF &b1, const QPointF &b0,
                     QRgb face, QRgb rim);

private:
    static bool Finite(const QPointF &p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }
    void Span(int column, double top, double bottom, quint32 colour);
    // Rows from to to (both included) of a column inside the clip.
    void ColumnFill(int column, int from, int to, quint32 colour);
    // The polygon (device coordinates) filled row by row, or column by column.
    void Rows(const QPointF *v, int n, quint32 colour);
    void Columns(const QPointF *v, int n, double xmin, double xmax, quint32 colour);
    // v: n mapped vertices; false when one is not finite.
    static bool Bounds(const QPointF *v, int n, double &xmin, double &xmax, double &ymin,
                       double &ymax);
    // The drawing itself, in the image's pixels.
    void FillDevice(const QPointF *v, int n, QRgb colour);
    void LineDevice(const QPointF &a, const QPointF &b, QRgb colour);
    void StepDevice(const QPointF &a, const QPointF &b, QRgb colour);

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
