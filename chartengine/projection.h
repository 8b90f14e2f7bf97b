#pragma once

// Projection of the chart's box onto the screen. Model coordinates: x to the right along the
// bottom axis, y up along the left axis, z into the screen from the front face (z = 0) to
// the back wall (z = depth). The 2D view maps the front face onto the target rectangle; the
// 3D view rotates the box about its centre (rotation about the vertical axis, elevation
// about the horizontal one, both 270..360 degrees, 360 meaning straight on), looks at it in
// perspective or, with the orthogonal flag, draws the depth obliquely at 45 degrees, and fits
// the whole box into the target, scaled by the zoom percent.

#include <QPointF>
#include <QRectF>
#include <QTransform>

namespace ChartMath {

struct TViewSettings
{
    bool view3D = false;
    int rotation = 345;  // degrees, 270..360
    int elevation = 345; // degrees, 270..360
    int zoom = 100;      // percent, 25..500
    bool orthogonal = true;
};

class TProjection
{
public:
    void Setup(double width, double height, double depth, const TViewSettings &view,
               const QRectF &target);

    QPointF Map(double x, double y, double z) const
    {
        const QPointF r = Raw(x, y, z);
        return QPointF(m_offX + m_scale * r.x(), m_offY - m_scale * r.y());
    }
    // Maps (x, y) of the front face (z = 0) to the screen; exact for perspective too,
    // so its inverse turns a mouse position into front-face coordinates.
    QTransform FrontPlane() const { return m_front; }
    // Maps (x, y) of the plane at depth z to the screen, as Map(x, y, z) does: one
    // transform for a whole edge of a ribbon.
    QTransform Plane(double z) const;
    // Model x of the viewer's eye: parts of the box nearer to it in x are nearer to the
    // viewer. Far to the right for the oblique view, whose depth runs to the upper right.
    double ViewerX() const;

    double Width() const { return m_w; }
    double Height() const { return m_h; }
    double DepthSize() const { return m_d; }

private:
    // Projected but not yet scaled: y up, origin anywhere.
    QPointF Raw(double x, double y, double z) const
    {
        if (!m_3d)
            return QPointF(x * m_sx, y * m_sy);
        if (m_ortho)
            return QPointF(x + z * ObliqueShare, y + z * ObliqueShare);
        const double px = x - m_w / 2, py = y - m_h / 2, pz = z - m_d / 2;
        // Turn about the vertical axis, then tilt about the horizontal one.
        const double x1 = px * m_cosA + pz * m_sinA;
        const double z1 = -px * m_sinA + pz * m_cosA;
        const double y2 = py * m_cosE + z1 * m_sinE;
        const double z2 = -py * m_sinE + z1 * m_cosE;
        const double f = m_dist / (m_dist + z2);
        return QPointF(x1 * f, y2 * f);
    }

    // Depth drawn at 45 degrees: cos 45 = sin 45.
    static constexpr double ObliqueShare = 0.70710678118654752;
    double m_sx = 1, m_sy = 1;

    double m_w = 1, m_h = 1, m_d = 0;
    bool m_3d = false, m_ortho = true;
    double m_cosA = 1, m_sinA = 0, m_cosE = 1, m_sinE = 0, m_dist = 1;
    double m_scale = 1, m_offX = 0, m_offY = 0;
    QTransform m_front;
};

// Cuts the segment a-b to box (Liang-Barsky); false when nothing of it lies inside.
bool ClipSegment(QPointF &a, QPointF &b, const QRectF &box);

} // namespace ChartMath
