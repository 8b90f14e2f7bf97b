#include "chartrender.h"

#include "axisticks.h"
#include "datetimelabel.h"
#include "rasterfill.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <vector>

using namespace ChartMath;

namespace ChartRender {

namespace {

const QColor FrameColour(0xA0, 0xA0, 0xA0);
const QColor GridColour(0xD8, 0xD8, 0xD8);
const QColor FloorColour(0xEC, 0xEC, 0xEC);
const QColor SideWallColour(0xF4, 0xF4, 0xF4);
const QColor WallEdgeColour(0x90, 0x90, 0x90);

double Distance(const QPointF &a, const QPointF &b)
{
    return std::hypot(b.x() - a.x(), b.y() - a.y());
}

// Distance along an axis from o to end that keeps labels of size box apart: an axis seen
// slanted in 3D needs less room per label across the text than along it.
double LabelSpacing(const QPointF &o, const QPointF &end, const QSizeF &box)
{
    const double len = Distance(o, end);
    if (len <= 0)
        return box.height();
    const double dx = std::fabs(end.x() - o.x()) / len, dy = std::fabs(end.y() - o.y()) / len;
    const double alongX = dx > 1e-6 ? box.width() / dx : 1e300;
    const double alongY = dy > 1e-6 ? box.height() / dy : 1e300;
    return std::min(alongX, alongY);
}

void ValueTicks(TLayout &l, double lengthPx, double spacingPx)
{
    const double step = ValueStep(l.range.yMax - l.range.yMin, MaxTicks(lengthPx, spacingPx));
    l.yDecimals = StepDecimals(step);
    l.yTicks = TickPositions(l.range.yMin, l.range.yMax, step);
    // A short axis whose one step overshoots still gets both its ends labelled.
    if (l.yTicks.size() < 2 && lengthPx >= 1.5 * l.lineH) {
        l.yTicks = {l.range.yMin, l.range.yMax};
        l.yDecimals = StepDecimals(NiceStep(l.range.yMax - l.range.yMin) / 10);
    }
}

// Walks the visible segments of one series in model coordinates and hands over unbroken
// chains of one colour. A segment takes the colour of its end point. Chains break where
// the box clips a segment.
class TChainWalker
{
public:
    // onePerColumn: a dense column keeps only its point farthest from the one kept before
    // (the 3D ribbons, whose pieces cost far more than a line and show no finer detail).
    TChainWalker(const TLayout &l, const TChartSeries &s, bool onePerColumn = false)
        : m_l(l), m_s(s), m_one(onePerColumn)
    {
        // The model width of one device pixel column along the traces, taken where the box
        // is drawn widest (front or back edge).
        const TProjection &pr = l.proj;
        const double w = pr.Width();
        const double front = Distance(pr.Map(0, 0, 0), pr.Map(w, 0, 0));
        const double back = Distance(pr.Map(0, 0, pr.DepthSize()), pr.Map(w, 0, pr.DepthSize()));
        const double px = std::max(front, back) * l.unit;
        m_column = px > 1 && w > 0 ? w / px : 0;
        const double h = pr.Height();
        const double py = Distance(pr.Map(0, 0, 0), pr.Map(0, h, 0)) * l.unit;
        m_row = py > 1 && h > 0 ? h / py : 0;
        const TChartRange &r = l.range;
        m_kx = pr.Width() / (r.xMax - r.xMin);
        m_ky = pr.Height() / (r.yMax - r.yMin);
    }

    template <class Sink> void Walk(Sink sink)
    {
        const QVector<double> &xs = m_s.XValues();
        const QVector<double> &ys = m_s.YValues();
        const QVector<QRgb> &cs = m_s.PointRgbs();
        const int n = int(xs.size());
        if (n < 2)
            return;
        // Points are in X order: skip what lies wholly outside the visible range.
        int i0 = int(std::lower_bound(xs.begin(), xs.end(), m_l.range.xMin) - xs.begin()) - 1;
        int i1 = int(std::upper_bound(xs.begin(), xs.end(), m_l.range.xMax) - xs.begin());
        i0 = std::max(i0, 0);
        i1 = std::min(i1, n - 1);
        const double W = m_l.proj.Width(), H = m_l.proj.Height();
        const QRectF box(0, 0, W, H);
        auto inside = [W, H](const QPointF &p) {
            return p.x() >= 0 && p.x() <= W && p.y() >= 0 && p.y() <= H;
        };

        // A chain never holds more than the points walked; a plain buffer of that size
        // keeps the list's checks and growth out of the loop over every point.
        m_chain.resize(std::size_t(std::max(i1 - i0 + 1, 2)));
        m_n = 0;
        QRgb colour = 0;
        const double xMin = m_l.range.xMin, yMin = m_l.range.yMin, kx = m_kx, ky = m_ky;
        const double *x = xs.constData(), *y = ys.constData();
        const QRgb *rgb = cs.constData();
        QPointF *chain = m_chain.data();
        // ToModel, inline.
        auto model = [&](int i) { return QPointF((x[i] - xMin) * kx, (y[i] - yMin) * ky); };
        QPointF prev = model(i0);
        bool prevInside = inside(prev);
        for (int i = i0 + 1; i <= i1; ++i) {
            // Most steps: wholly inside, going on from the chain's last point (which is then
            // prev itself) in the same colour; taken in a run, without branches per test.
            if (prevInside && m_n > 0) {
                int n = m_n;
                for (; i <= i1; ++i) {
                    const QPointF p = model(i);
                    if (!((p.x() >= 0) & (p.x() <= W) & (p.y() >= 0) & (p.y() <= H) &
                          (rgb[i] == colour)))
                        break;
                    chain[n++] = p;
                }
                m_n = n;
                prev = chain[n - 1];
                if (i > i1)
                    break;
            }
            const QPointF next = model(i);
            const bool nextInside = inside(next);
            QPointF a = prev, b = next;
            const bool whole = prevInside && nextInside;
            prev = next;
            prevInside = nextInside;
            if (!whole && !ClipSegment(a, b, box)) {
                Flush(sink, colour);
                continue;
            }
            const QRgb c = cs[i];
            // Exact comparisons: a chain goes on only from the very point it ended at (the
            // fuzzy QPointF comparison would also cost more than the rest of the loop).
            if (m_n > 0 && (c != colour || !Same(a, m_chain[m_n - 1])))
                Flush(sink, colour);
            if (m_n == 0) {
                m_chain[m_n++] = a;
                colour = c;
            }
            m_chain[m_n++] = b;
            if (!Same(b, next))
                Flush(sink, colour);
        }
        Flush(sink, colour);
    }

private:
    static bool Same(const QPointF &a, const QPointF &b)
    {
        return a.x() == b.x() && a.y() == b.y();
    }

    template <class Sink> void Flush(Sink &sink, QRgb colour)
    {
        if (m_n >= 2) {
            Thin();
            sink(static_cast<const QPointF *>(m_chain.data()), m_n, colour);
        }
        m_n = 0;
    }

    // A long time window on a narrow chart puts several points into one pixel column; the
    // trace there covers the column from its lowest to its highest point, whatever the
    // order. Such a run keeps only its lowest and highest point, in their order, so that
    // the drawing cost follows the chart's width rather than the number of points.
    void Thin()
    {
        const int n = m_n;
        QPointF *c = m_chain.data();
        if (m_column <= 0 || n < 4 || (c[n - 1].x() - c[0].x()) / m_column * 2 >= n)
            return;
        int out = 0;
        const double perColumn = 1 / m_column;
        // The chain lies in the box, x from 0 to its width: a pixel column's number is the
        // whole part (the odd clipped end a hair below 0 counts to the first column).
        auto column = [perColumn](double x) { return int(std::max(0.0, x * perColumn)); };
        int col = column(c[0].x());
        for (int i = 0; i < n;) {
            int lo = i, hi = i, j = i, nextCol = col;
            double loY = c[i].y(), hiY = loY;
            while (j + 1 < n) {
                nextCol = column(c[j + 1].x());
                if (nextCol != col)
                    break;
                ++j;
                // Without branches: noisy readings go up and down at random.
                const double y = c[j].y();
                lo = y < loY ? j : lo;
                loY = std::min(loY, y);
                hi = y > hiY ? j : hi;
                hiY = std::max(hiY, y);
            }
            // The chain's own ends stay where they are, so that joined chains still meet.
            // A column whose points lie within one pixel row needs only one of them.
            const bool flat = hiY - loY < m_row;
            int low = flat ? j : std::min(lo, hi), high = flat ? j : std::max(lo, hi);
            if (m_one && !flat) {
                const double before = out > 0 ? c[out - 1].y() : c[i].y();
                low = high = std::fabs(loY - before) > std::fabs(hiY - before) ? lo : hi;
            }
            const int first = i == 0 ? 0 : low;
            const int last = j == n - 1 ? n - 1 : high;
            const int keep[4] = {first, low, high, last};
            int prev = -1;
            for (int k : keep)
                if (k > prev) {
                    c[out++] = c[k];
                    prev = k;
                }
            i = j + 1;
            col = nextCol;
        }
        m_n = out;
    }

    const TLayout &m_l;
    const TChartSeries &m_s;
    std::vector<QPointF> m_chain; // the chain so far: its first m_n points
    int m_n = 0;
    double m_column = 0;       // model x of one device pixel column; 0 draws every point
    double m_row = 0;          // model y of one device pixel row
    double m_kx = 0, m_ky = 0; // model units per day and per volt
    bool m_one = false;
};

void DrawSeries2D(const TChart &chart, const TLayout &l, QPainter &p)
{
    TRasterTarget raster(p, l.frame);
    QPolygonF poly;
    QPen pen(Qt::black, l.unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (int k = 0; k < chart.SeriesCount(); ++k) {
        const TChartSeries &s = *chart.Series(k);
        if (!s.Active())
            continue;
        TChainWalker(l, s).Walk([&](const QPointF *chain, int n, QRgb colour) {
            poly.resize(n);
            for (int i = 0; i < n; ++i)
                poly[i] = l.proj.Map(chain[i].x(), chain[i].y(), 0);
            if (raster.IsValid()) {
                if (raster.DenseTrace(poly.constData(), int(poly.size()), colour))
                    return;
                for (int i = 1; i < poly.size(); ++i)
                    raster.Line(poly[i - 1], poly[i], colour);
                return;
            }
            pen.setColor(QColor::fromRgba(colour));
            p.setPen(pen);
            p.drawPolyline(poly);
        });
    }
}

// Which side of the ribbon segment front[i]..front[i+1] the viewer sees: -1 the upper side,
// +1 the under side (the projected quad's turning direction), 0 when seen edge on.
int Side(const QPointF &f0, const QPointF &f1, const QPointF &b0)
{
    const double cross =
        (f1.x() - f0.x()) * (b0.y() - f0.y()) - (f1.y() - f0.y()) * (b0.x() - f0.x());
    return cross < 0 ? -1 : cross > 0 ? 1 : 0;
}

struct TRibbonPiece
{
    QPointF f0, f1, b0, b1; // front and back ends on the screen
    double xMid;            // model x of the middle, for the drawing order
    QRgb face, rim;
};

void DrawPieces(const QVector<TRibbonPiece> &pieces, int from, int to, int step, QPainter &p,
                double unit)
{
    // Through the painter (printing): joined pieces of one colour make one polygon.
    QPolygonF poly, edge;
    int i = from;
    while (i != to) {
        int j = i + step;
        auto joined = [&](int prev, int next) {
            const TRibbonPiece &a = pieces[prev], &b = pieces[next];
            return a.face == b.face && (step > 0 ? a.f1 == b.f0 : a.f0 == b.f1);
        };
        while (j != to && joined(j - step, j))
            j += step;
        poly.clear();
        edge.clear();
        for (int k = i; k != j; k += step) {
            const TRibbonPiece &r = pieces[k];
            if (k == i)
                edge << (step > 0 ? r.f0 : r.f1);
            edge << (step > 0 ? r.f1 : r.f0);
        }
        poly = edge;
        for (int k = j - step;; k -= step) {
            const TRibbonPiece &r = pieces[k];
            poly << (step > 0 ? r.b1 : r.b0);
            if (k == i) {
                poly << (step > 0 ? r.b0 : r.b1);
                break;
            }
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgb(pieces[i].face));
        p.drawPolygon(poly, Qt::WindingFill);
        p.setPen(QPen(QColor::fromRgb(pieces[i].rim), unit));
        p.drawPolyline(edge);
        i = j;
    }
}

// Each series has its own slot in depth, the first (j = 0) in front; a small gap between the
// ribbons keeps neighbours apart when there are few of them.
void RibbonDepth(const TProjection &pr, int count, int j, double &z0, double &z1)
{
    const double slot = pr.DepthSize() / count;
    const double gap = slot * 0.15;
    z0 = j * slot + gap / 2;
    z1 = (j + 1) * slot - gap / 2;
}

// The upper side of a ribbon in the series colour, the under side darker, and its rim.
struct TRibbonColours
{
    explicit TRibbonColours(QRgb colour)
    {
        const QColor c = QColor::fromRgba(colour);
        upper = c.rgb();
        under = c.darker(150).rgb();
        rim = c.darker(130).rgb();
    }
    QRgb upper, under, rim;
};

// n points through the projective transform t into out: one edge of a ribbon in pixels.
void MapThrough(const QTransform &t, const QPointF *in, int n, QPointF *out)
{
    const double m11 = t.m11(), m12 = t.m12(), m13 = t.m13(), m21 = t.m21(), m22 = t.m22(),
                 m23 = t.m23(), m31 = t.m31(), m32 = t.m32(), m33 = t.m33();
    if (t.type() <= QTransform::TxShear) { // the oblique and the flat view: no division
        for (int i = 0; i < n; ++i) {
            const double x = in[i].x(), y = in[i].y();
            out[i] = QPointF(m11 * x + m21 * y + m31, m12 * x + m22 * y + m32);
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const double x = in[i].x(), y = in[i].y();
        const double r = 1 / (m13 * x + m23 * y + m33);
        out[i] = QPointF((m11 * x + m21 * y + m31) * r, (m12 * x + m22 * y + m32) * r);
    }
}

// The ribbons straight into the image: each edge of a ribbon mapped to pixels by the
// transform of its plane, the pieces drawn from plain arrays.
void DrawRibbonsDirect(const TChart &chart, const TLayout &l, const QVector<int> &active,
                       TRasterTarget &raster)
{
    const TProjection &pr = l.proj;
    const double eyeX = pr.ViewerX();
    const QTransform device = raster.DeviceTransform();
    // The turning direction of a piece in pixels, as in the painter's coordinates.
    const int turn = device.m11() * device.m22() < 0 ? -1 : 1;
    std::vector<QPointF> front, back; // the ribbon's chains one after the other
    std::vector<QRgb> faces, rims;    // of the piece from each point to the next; 0 none
    // Back to front, so that nearer ribbons cover farther ones.
    for (int j = int(active.size()) - 1; j >= 0; --j) {
        const TChartSeries &s = *chart.Series(active[j]);
        double z0, z1;
        RibbonDepth(pr, int(active.size()), j, z0, z1);
        const QTransform toFront = pr.Plane(z0) * device, toBack = pr.Plane(z1) * device;
        front.clear();
        back.clear();
        faces.clear();
        rims.clear();
        std::size_t split = std::size_t(-1);
        TChainWalker(l, s, true).Walk([&](const QPointF *m, int n, QRgb colour) {
            const std::size_t base = front.size();
            if (base > 0) { // no piece from one chain to the next
                faces.push_back(0);
                rims.push_back(0);
            }
            front.resize(base + n);
            back.resize(base + n);
            QPointF *f = front.data() + base, *b = back.data() + base;
            MapThrough(toFront, m, n, f);
            MapThrough(toBack, m, n, b);
            const TRibbonColours c(colour);
            int side = -1;
            for (int i = 0; i + 1 < n; ++i) {
                const int sd = turn * Side(f[i], f[i + 1], b[i]);
                side = sd ? sd : side;
                if (split == std::size_t(-1) && (m[i].x() + m[i + 1].x()) / 2 >= eyeX)
                    split = faces.size();
                faces.push_back(side < 0 ? c.upper : c.under);
                rims.push_back(c.rim);
            }
        });
        // Each piece is drawn after those farther away along the ribbon: towards the
        // viewer's position from both ends.
        const std::size_t count = faces.size();
        split = std::min(split, count);
        auto piece = [&](std::size_t k) {
            if (faces[k])
                raster.DevicePiece(front[k], front[k + 1], back[k + 1], back[k], faces[k], rims[k]);
        };
        for (std::size_t k = 0; k < split; ++k)
            piece(k);
        for (std::size_t k = count; k-- > split;)
            piece(k);
    }
}

// The ribbons through the painter (printing), joined pieces as polygons.
void DrawRibbonsPainted(const TChart &chart, const TLayout &l, const QVector<int> &active,
                        QPainter &p)
{
    const TProjection &pr = l.proj;
    const double eyeX = pr.ViewerX();
    QVector<QPointF> front, back;
    QVector<TRibbonPiece> pieces;
    p.setRenderHint(QPainter::Antialiasing, false);
    // Back to front, so that nearer ribbons cover farther ones.
    for (int j = int(active.size()) - 1; j >= 0; --j) {
        const TChartSeries &s = *chart.Series(active[j]);
        double z0, z1;
        RibbonDepth(pr, int(active.size()), j, z0, z1);
        pieces.clear();
        TChainWalker(l, s, true).Walk([&](const QPointF *m, int n, QRgb colour) {
            front.resize(n);
            back.resize(n);
            // Plain pointers: the lists' checked access costs a test per point here.
            QPointF *f = front.data(), *b = back.data();
            for (int i = 0; i < n; ++i) {
                f[i] = pr.Map(m[i].x(), m[i].y(), z0);
                b[i] = pr.Map(m[i].x(), m[i].y(), z1);
            }
            pieces.reserve(pieces.size() + n);
            const TRibbonColours c(colour);
            int side = -1;
            for (int i = 0; i + 1 < n; ++i) {
                const int sd = Side(f[i], f[i + 1], b[i]);
                side = sd ? sd : side;
                pieces.append({f[i], f[i + 1], b[i], b[i + 1], (m[i].x() + m[i + 1].x()) / 2,
                               side < 0 ? c.upper : c.under, c.rim});
            }
        });
        // Each piece is drawn after those farther away along the ribbon: towards the
        // viewer's position from both ends.
        int split = 0;
        while (split < pieces.size() && pieces[split].xMid < eyeX)
            ++split;
        DrawPieces(pieces, 0, split, 1, p, l.unit);
        DrawPieces(pieces, int(pieces.size()) - 1, split - 1, -1, p, l.unit);
    }
    p.setBrush(Qt::NoBrush);
}

void DrawSeries3D(const TChart &chart, const TLayout &l, QPainter &p)
{
    QVector<int> active;
    for (int k = 0; k < chart.SeriesCount(); ++k)
        if (chart.Series(k)->Active())
            active.append(k);
    if (active.isEmpty())
        return;
    TRasterTarget raster(p, l.frame);
    if (raster.IsValid())
        DrawRibbonsDirect(chart, l, active, raster);
    else
        DrawRibbonsPainted(chart, l, active, p);
}

QPolygonF Quad(const TProjection &pr, const double c[4][3])
{
    QPolygonF q;
    for (int i = 0; i < 4; ++i)
        q << pr.Map(c[i][0], c[i][1], c[i][2]);
    return q;
}

void DrawWalls(const TLayout &l, QPainter &p)
{
    const TProjection &pr = l.proj;
    const double W = pr.Width(), H = pr.Height(), D = pr.DepthSize();
    const QPen gridPen(GridColour, l.unit);
    const bool in3D = D > 0;
    if (in3D) {
        p.setPen(QPen(WallEdgeColour, l.unit));
        const double floor[4][3] = {{0, 0, 0}, {W, 0, 0}, {W, 0, D}, {0, 0, D}};
        const double side[4][3] = {{0, 0, 0}, {0, 0, D}, {0, H, D}, {0, H, 0}};
        p.setBrush(FloorColour);
        p.drawPolygon(Quad(pr, floor));
        p.setBrush(SideWallColour);
        p.drawPolygon(Quad(pr, side));
    }
    const double back[4][3] = {{0, 0, D}, {W, 0, D}, {W, H, D}, {0, H, D}};
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(Quad(pr, back));
    p.setBrush(Qt::NoBrush);

    p.setPen(gridPen);
    for (double t : l.yTicks) {
        const double y = ToModel(l, l.range.xMin, t).y();
        p.drawLine(pr.Map(0, y, D), pr.Map(W, y, D));
        if (in3D)
            p.drawLine(pr.Map(0, y, 0), pr.Map(0, y, D));
    }
    for (double t : l.xTicks) {
        const double x = ToModel(l, t, l.range.yMin).x();
        p.drawLine(pr.Map(x, 0, D), pr.Map(x, H, D));
        if (in3D)
            p.drawLine(pr.Map(x, 0, 0), pr.Map(x, 0, D));
    }
    if (in3D) {
        p.setPen(QPen(WallEdgeColour, l.unit));
        p.drawPolygon(Quad(pr, back));
    }
}

// Text turned to read upwards, its box's top left corner at topLeft once turned.
void DrawTurned(QPainter &p, TLabelCache *cache, const QFont &font, const QPointF &topLeft,
                const QSizeF &box, int align, const QString &text)
{
    if (cache) {
        const QImage img = cache->Turned(text, font, box, align, p.device()->devicePixelRatioF());
        p.drawImage(topLeft, img);
        return;
    }
    p.save();
    p.translate(topLeft.x(), topLeft.y() + box.width());
    p.rotate(-90);
    p.drawText(QRectF(QPointF(0, 0), box), align, text);
    p.restore();
}

void DrawAxes(const TChart &chart, const TLayout &l, QPainter &p, TLabelCache *cache)
{
    const TProjection &pr = l.proj;
    const double W = pr.Width(), H = pr.Height();
    const QPen axisPen(Qt::black, l.unit);
    p.setPen(axisPen);
    p.setBrush(Qt::NoBrush);
    const QPointF o = pr.Map(0, 0, 0), xEnd = pr.Map(W, 0, 0), yEnd = pr.Map(0, H, 0);
    if (pr.DepthSize() > 0) {
        p.drawLine(o, xEnd);
        p.drawLine(o, yEnd);
    } else {
        p.drawPolygon(QPolygonF({o, xEnd, pr.Map(W, H, 0), yEnd}));
    }
    p.setFont(l.font);

    double leftMost = o.x();
    for (double t : l.yTicks) {
        const QPointF pt = pr.Map(0, ToModel(l, l.range.xMin, t).y(), 0);
        p.drawLine(pt, pt - QPointF(l.tickLen, 0));
        const QRectF box(pt.x() - l.tickLen - l.pad - l.yLabelW, pt.y() - l.lineH / 2, l.yLabelW,
                         l.lineH);
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, ValueLabel(t, l.yDecimals));
        leftMost = std::min(leftMost, box.left());
    }
    const QSizeF dateBox(l.dateLen, 2 * l.lineH);
    for (double t : l.xTicks) {
        const QPointF pt = pr.Map(ToModel(l, t, l.range.yMin).x(), 0, 0);
        p.drawLine(pt, pt + QPointF(0, l.tickLen));
        // Time on one line, date on the next, ending just below the tick.
        DrawTurned(p, cache, l.font, QPointF(pt.x() - l.lineH, pt.y() + l.tickLen + l.pad), dateBox,
                   Qt::AlignRight | Qt::AlignVCenter,
                   TimeLabel(t) + QLatin1Char('\n') + DateLabel(t));
    }
    const QString title = chart.LeftAxisTitle();
    if (!title.isEmpty()) {
        const QPointF mid = (o + yEnd) / 2;
        const double len = l.frame.height();
        const double x = std::max(l.frame.left() + l.pad, leftMost - l.pad - l.lineH);
        DrawTurned(p, cache, l.font, QPointF(x, mid.y() - len / 2), QSizeF(len, l.lineH),
                   Qt::AlignCenter, title);
    }
}

} // namespace

QPointF ToModel(const TLayout &l, double x, double y)
{
    const TChartRange &r = l.range;
    return QPointF((x - r.xMin) / (r.xMax - r.xMin) * l.proj.Width(),
                   (y - r.yMin) / (r.yMax - r.yMin) * l.proj.Height());
}

TLayout Compute(const TChart &chart, const QPaintDevice *device, const QRectF &r)
{
    TLayout l;
    l.frame = r;
    l.unit = device ? device->logicalDpiY() / 96.0 : 1.0;
    l.font = chart.font();
    // A font given in pixels is not resized by the device, unlike one in points: on a
    // printer it would come out a few device dots high and the ticks, spaced by label
    // size, would crowd in by the hundred. Such a font is taken as screen pixels, like
    // every other size here, and turned into points so it follows the device.
    if (l.font.pixelSize() > 0 && l.unit != 1.0)
        l.font.setPointSizeF(l.font.pixelSize() * 72.0 / 96.0);
    const QFontMetricsF fm(l.font, device);
    l.lineH = fm.height();
    l.pad = 4 * l.unit;
    l.tickLen = 4 * l.unit;
    l.range = chart.ViewRange();
    l.hasX = chart.HasBottomRange() || chart.Zoomed();
    l.dateLen = std::max(fm.horizontalAdvance(QStringLiteral("88:88:88")),
                         fm.horizontalAdvance(QStringLiteral("88.88.8888"))) +
                l.unit;

    const double top = l.pad + l.lineH;
    const double right = l.pad + l.lineH + l.pad;
    const double bottom = l.tickLen + l.pad + l.dateLen + l.pad;
    const double titleW = chart.LeftAxisTitle().isEmpty() ? 0 : l.lineH + l.pad;

    // Value labels first, on the full height, to know how much room they take at the left.
    ValueTicks(l, r.height() - top - bottom, 2.5 * l.lineH);
    l.yLabelW = 0;
    for (double t : l.yTicks)
        l.yLabelW = std::max(l.yLabelW, fm.horizontalAdvance(ValueLabel(t, l.yDecimals)));
    const double left = l.pad + titleW + l.yLabelW + l.pad + l.tickLen;

    l.plot = r.adjusted(left, top, -right, -bottom);
    if (l.plot.width() < 4 * l.unit)
        l.plot.setWidth(4 * l.unit);
    if (l.plot.height() < 4 * l.unit)
        l.plot.setHeight(4 * l.unit);

    TViewSettings view;
    view.view3D = chart.View3D();
    view.rotation = chart.Rotation();
    view.elevation = chart.Elevation();
    view.zoom = chart.Zoom();
    view.orthogonal = chart.Orthogonal();
    const double W = l.plot.width(), H = l.plot.height();
    const double D = view.view3D ? chart.Chart3DPercent() / 100.0 * std::min(W, H) : 0;
    l.proj.Setup(W, H, D, view, l.plot);

    // Final ticks on the axis lengths as drawn (shorter in 3D).
    const QPointF o = l.proj.Map(0, 0, 0);
    const QPointF yEnd = l.proj.Map(0, H, 0), xEnd = l.proj.Map(W, 0, 0);
    ValueTicks(l, Distance(o, yEnd),
               LabelSpacing(o, yEnd, QSizeF(l.yLabelW + 2 * l.pad, 2.5 * l.lineH)));
    l.xTicks.clear();
    if (l.hasX) {
        const double spanSec = (l.range.xMax - l.range.xMin) * SecondsPerDay;
        const double step = TimeStepSeconds(
            spanSec, MaxTicks(Distance(o, xEnd),
                              LabelSpacing(o, xEnd, QSizeF(3 * l.lineH, l.dateLen + l.lineH))));
        l.xTicks = TimeTicks(l.range.xMin, l.range.xMax, step);
    }
    return l;
}

QImage TLabelCache::Turned(const QString &text, const QFont &font, const QSizeF &box, int align,
                           qreal dpr)
{
    if (font.key() != m_fontKey || dpr != m_dpr) {
        m_images.clear();
        m_fontKey = font.key();
        m_dpr = dpr;
    }
    const QString key =
        QStringLiteral("%1|%2|%3|%4").arg(text).arg(box.width()).arg(box.height()).arg(align);
    const auto it = m_images.constFind(key);
    if (it != m_images.constEnd())
        return it.value();
    // A scrolling time axis brings new labels every few seconds; old ones go in bulk.
    if (m_images.size() > 400)
        m_images.clear();
    QImage straight(QSize(int(std::ceil(box.width() * dpr)), int(std::ceil(box.height() * dpr))),
                    QImage::Format_ARGB32_Premultiplied);
    straight.setDevicePixelRatio(dpr);
    straight.fill(Qt::transparent);
    {
        QPainter tp(&straight);
        tp.setFont(font);
        tp.setPen(Qt::black);
        tp.drawText(QRectF(QPointF(0, 0), box), align, text);
    }
    QImage turned = straight.transformed(QTransform().rotate(-90));
    turned.setDevicePixelRatio(dpr);
    m_images.insert(key, turned);
    return turned;
}

void Draw(const TChart &chart, const TLayout &l, QPainter &p, TLabelCache *cache)
{
    if (!p.paintEngine() || p.paintEngine()->type() != QPaintEngine::Raster)
        cache = nullptr;
    p.save();
    p.setClipRect(l.frame);
    p.fillRect(l.frame, Qt::white);
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawWalls(l, p);
    if (l.proj.DepthSize() > 0) {
        DrawSeries3D(chart, l, p);
    } else {
        p.save();
        p.setRenderHint(QPainter::Antialiasing, true);
        DrawSeries2D(chart, l, p);
        p.restore();
    }
    DrawAxes(chart, l, p, cache);
    p.setPen(QPen(FrameColour, l.unit));
    p.setBrush(Qt::NoBrush);
    const double h = l.unit / 2;
    p.drawRect(l.frame.adjusted(h, h, -h, -h));
    p.restore();
}

} // namespace ChartRender
