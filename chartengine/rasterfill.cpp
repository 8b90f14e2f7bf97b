#include "rasterfill.h"

#include "projection.h"

#include <QImage>
#include <QPaintDevice>
#include <algorithm>
#include <cmath>

namespace ChartRender {

namespace {
// Pixel numbers beyond this lie outside any image; rounding works within it.
constexpr double Beyond = 16777216.0; // 2^24

// Largest whole number not above v, v finite; values beyond Beyond come out as Beyond.
// std::floor is a library call on the baseline x86-64 instruction set, and this runs
// several times for every piece of every ribbon: shifted to positive numbers, whose
// whole part is their floor, it takes an addition and a conversion. The shift costs the
// last bits: a value less than 4e-9 below a whole number counts as that number.
inline int FloorInt(double v)
{
    return int(qint64(std::clamp(v, -Beyond, Beyond) + Beyond) - qint64(Beyond));
}

// Smallest whole number not below v, as FloorInt.
inline int CeilInt(double v)
{
    return -FloorInt(-v);
}

// The vertex after i going round a polygon of n vertices by step (1 or n - 1), without the
// division of a remainder: this runs for every piece of every ribbon.
inline int Next(int i, int step, int n)
{
    const int j = i + step;
    return j >= n ? j - n : j;
}
// Hands reach(column, y0, y1) the part of the step a-b (device coordinates, |x| < Beyond) in
// each pixel column it crosses, in order from a; false, handing nothing, when the step
// crosses more than a few columns and is better drawn as a line.
template <class Reach> bool ByColumns(const QPointF &a, const QPointF &b, Reach &&reach)
{
    const int ca = FloorInt(a.x()), cb = FloorInt(b.x());
    if (ca == cb) {
        reach(ca, a.y(), b.y());
        return true;
    }
    if (std::abs(cb - ca) > 3)
        return false;
    if (std::abs(cb - ca) == 1) {
        // Most steps of a dense trace: taken as crossing the border half way up.
        const double mid = (a.y() + b.y()) / 2;
        reach(ca, a.y(), mid);
        reach(cb, mid, b.y());
        return true;
    }
    const int dir = cb > ca ? 1 : -1;
    const double slope = (b.y() - a.y()) / (b.x() - a.x());
    double y = a.y();
    for (int x = ca; x != cb; x += dir) {
        // Where the step crosses the border to the next column.
        const double border = dir > 0 ? x + 1 : x;
        const double yb = a.y() + (border - a.x()) * slope;
        reach(x, y, yb);
        y = yb;
    }
    reach(cb, y, b.y());
    return true;
}

// An edge of a convex polygon from its left end, so that two shapes sharing an edge find
// the same rows on it.
struct TEdge
{
    double xl, xr, yl, slope;
};

inline TEdge EdgeOf(const QPointF &a, const QPointF &b)
{
    const bool ab = a.x() < b.x();
    const double xl = ab ? a.x() : b.x(), xr = ab ? b.x() : a.x();
    const double yl = ab ? a.y() : b.y(), yr = ab ? b.y() : a.y();
    // An upright edge meets no column centre line; its slope is never used.
    return {xl, xr, yl, (yr - yl) / (xr > xl ? xr - xl : 1.0)};
}

// Where the line x = xc crosses the polygon of the n edges e: from lo to hi; lo > hi when
// it misses. The centre line meets two edges of a convex polygon; an edge counts from its
// left end up to but not including its right end, so a vertex on the line is met once from
// each side.
inline void CrossingAt(const TEdge *e, int n, double xc, double &lo, double &hi)
{
    lo = 1e300;
    hi = -1e300;
    for (int i = 0; i < n; ++i) {
        const TEdge &g = e[i];
        const bool in = (g.xl <= xc) & (xc < g.xr);
        const double y = g.yl + (xc - g.xl) * g.slope;
        lo = in ? std::min(lo, y) : lo;
        hi = in ? std::max(hi, y) : hi;
    }
}

} // namespace

TRasterTarget::TRasterTarget(QPainter &p, const QRectF &clip)
{
    QPaintDevice *dev = p.device();
    if (!dev || dev->devType() != QInternal::Image)
        return;
    QImage *img = static_cast<QImage *>(dev);
    const QImage::Format f = img->format();
    if (f != QImage::Format_ARGB32_Premultiplied && f != QImage::Format_RGB32 &&
        f != QImage::Format_ARGB32)
        return;
    // Writing into a shared image would detach it away from the painter's buffer.
    if (!img->isDetached())
        return;
    m_t = p.deviceTransform();
    if (m_t.type() > QTransform::TxScale)
        return;
    m_sx = m_t.m11();
    m_sy = m_t.m22();
    m_dx = m_t.dx();
    m_dy = m_t.dy();
    QRect c = m_t.mapRect(clip).toAlignedRect() & img->rect();
    if (p.hasClipping()) {
        const QRectF pc = p.clipBoundingRect();
        if (!pc.isEmpty())
            c &= m_t.mapRect(pc).toAlignedRect();
    }
    if (c.isEmpty())
        return;
    m_x0 = c.left();
    m_y0 = c.top();
    m_x1 = c.right() + 1;
    m_y1 = c.bottom() + 1;
    m_stride = img->bytesPerLine();
    m_bits = img->bits();
}

bool TRasterTarget::Bounds(const QPointF *v, int n, double &xmin, double &xmax, double &ymin,
                           double &ymax)
{
    xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i].x()) || !std::isfinite(v[i].y()))
            return false;
        xmin = std::min(xmin, v[i].x());
        xmax = std::max(xmax, v[i].x());
        ymin = std::min(ymin, v[i].y());
        ymax = std::max(ymax, v[i].y());
    }
    return true;
}

void TRasterTarget::FillConvex(const QPointF *pts, int n, QRgb colour)
{
    if (!m_bits || n < 3)
        return;
    n = std::min(n, 8);
    QPointF v[8];
    for (int i = 0; i < n; ++i)
        v[i] = Map(pts[i]);
    FillDevice(v, n, colour);
}

void TRasterTarget::FillDevice(const QPointF *v, int n, QRgb colour)
{
    double xmin, xmax, ymin, ymax;
    if (!Bounds(v, n, xmin, xmax, ymin, ymax))
        return;
    // The pieces of a dense ribbon are tall and one or two pixels wide: such a shape is
    // filled column by column (one vertical span per column) rather than row by row, which
    // costs far less and fills the same pixels: those whose centres lie inside.
    if (ymax - ymin > xmax - xmin) {
        Columns(v, n, xmin, xmax, colour | 0xff000000u);
    } else {
        Rows(v, n, colour | 0xff000000u);
    }
}

void TRasterTarget::DevicePiece(const QPointF &f0, const QPointF &f1, const QPointF &b1,
                                const QPointF &b0, QRgb face, QRgb rim)
{
    if (!m_bits)
        return;
    const QPointF v[4] = {f0, f1, b1, b0};
    if (!(Finite(f0) && Finite(f1) && Finite(b1) && Finite(b0) && std::fabs(f0.x()) < Beyond &&
          std::fabs(f1.x()) < Beyond)) {
        FillDevice(v, 4, face);
        StepDevice(f0, f1, rim);
        return;
    }
    // The rim's spans first, as Step and Span would draw them: rows rimFrom to rimTo (both
    // included) of the columns base to base + 3; the rim crosses at most four.
    int rimFrom[4] = {1, 1, 1, 1}, rimTo[4] = {0, 0, 0, 0};
    const int base = FloorInt(std::min(f0.x(), f1.x()));
    auto reach = [&](int x, double y0, double y1) {
        if (x < m_x0 || x >= m_x1)
            return;
        rimFrom[x - base] = std::max(m_y0, FloorInt(std::min(y0, y1)));
        rimTo[x - base] = std::min(m_y1 - 1, FloorInt(std::max(y0, y1)));
    };
    if (!ByColumns(f0, f1, reach)) {
        FillDevice(v, 4, face);
        StepDevice(f0, f1, rim);
        return;
    }
    const quint32 fc = face | 0xff000000u, rc = rim | 0xff000000u;
    const double xmin = std::min(std::min(f0.x(), f1.x()), std::min(b0.x(), b1.x()));
    const double xmax = std::max(std::max(f0.x(), f1.x()), std::max(b0.x(), b1.x()));
    const double ymin = std::min(std::min(f0.y(), f1.y()), std::min(b0.y(), b1.y()));
    const double ymax = std::max(std::max(f0.y(), f1.y()), std::max(b0.y(), b1.y()));
    const int first = std::max(m_x0, CeilInt(xmin - 0.5));
    const int end = std::min(m_x1, CeilInt(xmax - 0.5));
    if (!(ymax - ymin > xmax - xmin) || end - first > 4) {
        // A flat or wide piece (few of a dense ribbon): the face, then the rim over it.
        FillDevice(v, 4, face);
        for (int k = 0; k < 4; ++k)
            if (rimFrom[k] <= rimTo[k])
                ColumnFill(base + k, rimFrom[k], rimTo[k], rc);
        return;
    }
    // The usual piece of a dense ribbon: a few columns wide, each column's face span found
    // from the four edges (as Columns would) and written with the rim's span in one pass.
    const TEdge e[4] = {EdgeOf(f0, f1), EdgeOf(f1, b1), EdgeOf(b1, b0), EdgeOf(b0, f0)};
    // The columns of the face and of the rim.
    const int last = std::max(end, FloorInt(std::max(f0.x(), f1.x())) + 1);
    for (int x = std::min(first, base); x < last; ++x) {
        int from = 0, to = 0; // the face's rows [from, to)
        if (x >= first && x < end) {
            double lo, hi;
            CrossingAt(e, 4, x + 0.5, lo, hi);
            if (lo <= hi) {
                from = std::max(m_y0, CeilInt(lo - 0.5));
                to = std::min(m_y1, CeilInt(hi - 0.5));
            }
        }
        const unsigned k = unsigned(x - base);
        const bool hasRim = k < 4 && rimFrom[k] <= rimTo[k];
        if (from >= to) {
            if (hasRim)
                ColumnFill(x, rimFrom[k], rimTo[k], rc);
            continue;
        }
        if (!hasRim) {
            ColumnFill(x, from, to - 1, fc);
            continue;
        }
        const int rf = rimFrom[k], rt = rimTo[k];
        if (rf > to || rt + 1 < from) {
            ColumnFill(x, from, to - 1, fc);
            ColumnFill(x, rf, rt, rc);
            continue;
        }
        // Face and rim meet: one pass down both, each pixel in the rim's colour or the
        // face's, as the face filled first and the rim drawn over it would leave it.
        const int lo = std::min(from, rf), hi = std::max(to, rt + 1);
        const unsigned rimRows = unsigned(rt - rf);
        uchar *p = m_bits + qsizetype(lo) * m_stride + qsizetype(x) * 4;
        for (int y = lo; y < hi; ++y, p += m_stride)
            *reinterpret_cast<quint32 *>(p) = unsigned(y - rf) <= rimRows ? rc : fc;
    }
}

void TRasterTarget::Columns(const QPointF *v, int n, double xmin, double xmax, quint32 c)
{
    const int first = std::max(m_x0, CeilInt(xmin - 0.5));
    const int end = std::min(m_x1, CeilInt(xmax - 0.5));
    if (first >= end)
        return;
    TEdge e[8];
    for (int i = 0; i < n; ++i)
        e[i] = EdgeOf(v[i], v[Next(i, 1, n)]);
    for (int x = first; x < end; ++x) {
        double lo, hi;
        CrossingAt(e, n, x + 0.5, lo, hi);
        if (lo > hi)
            continue;
        const int from = std::max(m_y0, CeilInt(lo - 0.5));
        const int to = std::min(m_y1, CeilInt(hi - 0.5));
        if (from < to)
            ColumnFill(x, from, to - 1, c);
    }
}

void TRasterTarget::Rows(const QPointF *v, int n, quint32 c)
{
    int top = 0;
    double ymax = -1e300;
    for (int i = 0; i < n; ++i) {
        if (v[i].y() < v[top].y())
            top = i;
        ymax = std::max(ymax, v[i].y());
    }
    // Two chains run down from the top vertex, one each way round; on a convex polygon
    // every row meets exactly one edge of each. x steps by the edge's slope per row.
    struct Chain
    {
        int to, dir;
        double x, slope;
    };
    const int rowFirst = std::max(m_y0, CeilInt(v[top].y() - 0.5));
    const int rowEnd = std::min(m_y1, CeilInt(ymax - 0.5));
    if (rowFirst >= rowEnd)
        return;
    // Moves chain c down to the edge that spans row centre yc and puts x on it.
    auto seek = [v, n](Chain &c, int from, double yc) {
        for (int guard = 0; v[c.to].y() <= yc && guard < n; ++guard) {
            from = c.to;
            c.to = Next(c.to, c.dir, n);
        }
        const QPointF &a = v[from], &b = v[c.to];
        c.slope = b.y() > a.y() ? (b.x() - a.x()) / (b.y() - a.y()) : 0;
        c.x = a.x() + (yc - a.y()) * c.slope;
    };
    Chain ch[2] = {{Next(top, 1, n), 1, 0, 0}, {Next(top, n - 1, n), n - 1, 0, 0}};
    double yc = rowFirst + 0.5;
    seek(ch[0], top, yc);
    seek(ch[1], top, yc);
    for (int y = rowFirst; y < rowEnd; ++y, yc += 1) {
        for (Chain &e : ch) {
            if (v[e.to].y() <= yc) {
                const int from = e.to;
                e.to = Next(e.to, e.dir, n);
                seek(e, from, yc);
            }
        }
        const double xl = std::min(ch[0].x, ch[1].x), xr = std::max(ch[0].x, ch[1].x);
        const int from = std::max(m_x0, CeilInt(xl - 0.5));
        const int to = std::min(m_x1, CeilInt(xr - 0.5));
        quint32 *row = reinterpret_cast<quint32 *>(m_bits + y * m_stride);
        // Trace spans are a few pixels; a plain loop beats the block fill's start-up.
        for (int x = from; x < to; ++x)
            row[x] = c;
        ch[0].x += ch[0].slope;
        ch[1].x += ch[1].slope;
    }
}

void TRasterTarget::Line(const QPointF &pa, const QPointF &pb, QRgb colour)
{
    if (m_bits)
        LineDevice(Map(pa), Map(pb), colour);
}

void TRasterTarget::LineDevice(const QPointF &pa, const QPointF &pb, QRgb colour)
{
    // Xiaolin Wu's line: two pixels per step across the line, weighted by distance, in
    // 16.16 fixed point.
    if (!Finite(pa) || !Finite(pb))
        return;
    // Pixel numbers must stay within the fixed point's range: a line reaching far out is
    // first cut to a box far beyond any image.
    QPointF a = pa, b = pb;
    const double Far = 1e6;
    if (std::max(std::max(std::fabs(a.x()), std::fabs(a.y())),
                 std::max(std::fabs(b.x()), std::fabs(b.y()))) > Far &&
        !ChartMath::ClipSegment(a, b, QRectF(-Far, -Far, 2 * Far, 2 * Far)))
        return;
    double x0 = a.x() - 0.5, y0 = a.y() - 0.5, x1 = b.x() - 0.5, y1 = b.y() - 0.5;
    const bool steep = std::fabs(y1 - y0) > std::fabs(x1 - x0);
    if (steep) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const double dx = x1 - x0;
    const double gradient = dx < 1e-9 ? 0 : (y1 - y0) / dx;
    const int first = int(std::floor(x0 + 0.5)), last = int(std::floor(x1 + 0.5));
    const int majorLo = steep ? m_y0 : m_x0, majorHi = steep ? m_y1 - 1 : m_x1 - 1;
    const int minorLo = steep ? m_x0 : m_y0, minorHi = steep ? m_x1 - 1 : m_y1 - 1;
    const int from = std::max(first, majorLo), to = std::min(last, majorHi);
    if (from > to)
        return;
    const quint32 src = colour | 0xff000000u;
    // stepX moves one pixel along the minor axis in memory.
    const qsizetype stepMajor = steep ? m_stride : 4, stepMinor = steep ? 4 : m_stride;
    auto blend = [&](int major, int minor, int alpha) {
        if (minor < minorLo || minor > minorHi || alpha <= 0)
            return;
        quint32 &d = *reinterpret_cast<quint32 *>(m_bits + major * stepMajor + minor * stepMinor);
        const quint32 ia = 256 - alpha;
        const quint32 rb = (((src & 0xff00ff) * alpha + (d & 0xff00ff) * ia) >> 8) & 0xff00ff;
        const quint32 g = (((src & 0x00ff00) * alpha + (d & 0x00ff00) * ia) >> 8) & 0x00ff00;
        d = 0xff000000u | rb | g;
    };
    qint64 yf = qint64(std::floor((y0 + gradient * (from - x0)) * 65536.0 + 0.5));
    const qint64 gf = qint64(std::floor(gradient * 65536.0 + 0.5));
    for (int x = from; x <= to; ++x, yf += gf) {
        const int iy = int(yf >> 16);
        const int f = int((yf >> 8) & 0xff); // 0..255 share of the lower pixel
        int along = 256;
        // The end pixels are covered only partly along the line.
        if (x == first || x == last) {
            double part = 1;
            if (first == last)
                part = x1 - x0;
            else if (x == first)
                part = first + 0.5 - x0;
            else
                part = x1 - (last - 0.5);
            along = int(std::clamp(part, 0.0, 1.0) * 256);
        }
        blend(x, iy, ((256 - f) * along) >> 8);
        blend(x, iy + 1, (f * along) >> 8);
    }
}

void TRasterTarget::Span(int column, double top, double bottom, quint32 colour)
{
    if (column < m_x0 || column >= m_x1)
        return;
    // Every pixel row the span reaches, so that a level trace still makes one row.
    ColumnFill(column, std::max(m_y0, FloorInt(top)), std::min(m_y1 - 1, FloorInt(bottom)), colour);
}

void TRasterTarget::ColumnFill(int column, int from, int to, quint32 colour)
{
    uchar *p = m_bits + qsizetype(from) * m_stride + qsizetype(column) * 4;
    for (int y = from; y <= to; ++y, p += m_stride)
        *reinterpret_cast<quint32 *>(p) = colour;
}

void TRasterTarget::Step(const QPointF &pa, const QPointF &pb, QRgb colour)
{
    if (m_bits)
        StepDevice(Map(pa), Map(pb), colour);
}

void TRasterTarget::StepDevice(const QPointF &a, const QPointF &b, QRgb colour)
{
    if (Finite(a) && Finite(b) && std::fabs(a.x()) < Beyond && std::fabs(b.x()) < Beyond) {
        const quint32 c = colour | 0xff000000u;
        auto span = [this, c](int x, double y0, double y1) {
            Span(x, std::min(y0, y1), std::max(y0, y1), c);
        };
        if (ByColumns(a, b, span))
            return;
    }
    LineDevice(a, b, colour);
}

bool TRasterTarget::DenseTrace(const QPointF *pts, int n, QRgb colour)
{
    if (!m_bits || n < 2)
        return false;
    const QPointF first = Map(pts[0]), last = Map(pts[n - 1]);
    const double width = std::fabs(last.x() - first.x());
    // A trace thinned to one point per column may come out a little wider than its
    // number of steps; the odd step wider than a column is drawn as a line below.
    if (!std::isfinite(width) || width > 2.0 * (n - 1))
        return false;
    const quint32 c = colour | 0xff000000u;
    bool open = false;
    int col = 0;
    double lo = 0, hi = 0;
    auto reach = [&](int x, double y0, double y1) {
        if (open && x == col) {
            lo = std::min({lo, y0, y1});
            hi = std::max({hi, y0, y1});
            return;
        }
        if (open)
            Span(col, lo, hi, c);
        open = true;
        col = x;
        lo = std::min(y0, y1);
        hi = std::max(y0, y1);
    };
    QPointF a = first;
    for (int i = 1; i < n; ++i) {
        const QPointF b = Map(pts[i]);
        const bool finite = std::isfinite(a.x()) && std::isfinite(a.y()) && std::isfinite(b.x()) &&
                            std::isfinite(b.y()) && std::fabs(a.x()) < Beyond &&
                            std::fabs(b.x()) < Beyond;
        if (!finite || !ByColumns(a, b, reach)) {
            if (open)
                Span(col, lo, hi, c);
            open = false;
            LineDevice(a, b, colour);
        }
        a = b;
    }
    if (open)
        Span(col, lo, hi, c);
    return true;
}

} // namespace ChartRender
