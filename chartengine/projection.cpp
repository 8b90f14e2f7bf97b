#include "projection.h"

#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace ChartMath {

namespace {
// Viewer distance as a multiple of the box's largest side: close enough for the walls to
// converge visibly, far enough not to distort the traces.
constexpr double ViewerDistance = 2.5;

double Radians(int degrees)
{
    return degrees * std::numbers::pi / 180.0;
}
} // namespace

void TProjection::Setup(double width, double height, double depth, const TViewSettings &view,
                        const QRectF &target)
{
    m_w = std::max(width, 1e-9);
    m_h = std::max(height, 1e-9);
    m_d = view.view3D ? std::max(depth, 0.0) : 0.0;
    m_3d = view.view3D;
    m_ortho = view.orthogonal;
    const double a = Radians(360 - std::clamp(view.rotation, 270, 360));
    const double e = Radians(360 - std::clamp(view.elevation, 270, 360));
    m_cosA = std::cos(a);
    m_sinA = std::sin(a);
    m_cosE = std::cos(e);
    m_sinE = std::sin(e);
    m_dist = ViewerDistance * std::max({m_w, m_h, m_d});

    m_sx = target.width() / m_w;
    m_sy = target.height() / m_h;
    if (!m_3d) {
        m_scale = 1;
        m_offX = target.left();
        m_offY = target.bottom();
    } else {
        double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
        for (int i = 0; i < 8; ++i) {
            const QPointF r = Raw(i & 1 ? m_w : 0, i & 2 ? m_h : 0, i & 4 ? m_d : 0);
            minX = std::min(minX, r.x());
            maxX = std::max(maxX, r.x());
            minY = std::min(minY, r.y());
            maxY = std::max(maxY, r.y());
        }
        const double bw = std::max(maxX - minX, 1e-9), bh = std::max(maxY - minY, 1e-9);
        m_scale = std::min(target.width() / bw, target.height() / bh) *
                  std::clamp(view.zoom, 25, 500) / 100.0;
        // Centre of the raw box onto the centre of the target; screen y grows downwards.
        m_offX = target.center().x() - m_scale * (minX + maxX) / 2;
        m_offY = target.center().y() + m_scale * (minY + maxY) / 2;
    }

    const QPolygonF model({QPointF(0, 0), QPointF(m_w, 0), QPointF(m_w, m_h), QPointF(0, m_h)});
    const QPolygonF screen({Map(0, 0, 0), Map(m_w, 0, 0), Map(m_w, m_h, 0), Map(0, m_h, 0)});
    if (!QTransform::quadToQuad(model, screen, m_front))
        m_front = QTransform();
}

QTransform TProjection::Plane(double z) const
{
    if (!m_3d)
        return QTransform(m_scale * m_sx, 0, 0, -m_scale * m_sy, m_offX, m_offY);
    if (m_ortho) {
        const double shift = z * ObliqueShare * m_scale;
        return QTransform(m_scale, 0, 0, -m_scale, m_offX + shift, m_offY - shift);
    }
    // Raw() written out for a fixed z: the turned and tilted coordinates are linear in x
    // and y, and the perspective divides by a third linear form (w below, the distance
    // from the eye over m_dist).
    const double pz = z - m_d / 2;
    const double k1 = pz * m_sinA - m_w / 2 * m_cosA;   // x1 = cosA x + k1
    const double z1c = pz * m_cosA + m_w / 2 * m_sinA;  // z1 = -sinA x + z1c
    const double k3 = -m_h / 2 * m_cosE + m_sinE * z1c; // y2 = -sinA sinE x + cosE y + k3
    const double k4 = m_h / 2 * m_sinE + m_cosE * z1c;  // z2 = -sinA cosE x - sinE y + k4
    const double w13 = -m_sinA * m_cosE / m_dist, w23 = -m_sinE / m_dist, w33 = 1 + k4 / m_dist;
    return QTransform(m_offX * w13 + m_scale * m_cosA, m_offY * w13 + m_scale * m_sinA * m_sinE,
                      w13, m_offX * w23, m_offY * w23 - m_scale * m_cosE, w23,
                      m_offX * w33 + m_scale * k1, m_offY * w33 - m_scale * k3, w33);
}

double TProjection::ViewerX() const
{
    if (!m_3d || m_ortho)
        return 1e300;
    // The eye sits at distance m_dist in front of the turned and tilted box's centre.
    return m_w / 2 + m_dist * m_cosE * m_sinA;
}

bool ClipSegment(QPointF &a, QPointF &b, const QRectF &box)
{
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(),
                         box.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1)
                return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0)
                return false;
            t1 = std::min(t1, t);
        }
    }
    const QPointF a0 = a;
    if (t0 > 0)
        a = QPointF(a0.x() + t0 * dx, a0.y() + t0 * dy);
    if (t1 < 1)
        b = QPointF(a0.x() + t1 * dx, a0.y() + t1 * dy);
    return true;
}

} // namespace ChartMath
