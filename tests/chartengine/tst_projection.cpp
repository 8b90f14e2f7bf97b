#include "projection.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>

using namespace ChartMath;

namespace {
const double W = 600, H = 400, D = 120;
const QRectF Target(50, 20, 700, 500);

TProjection Make(bool in3D, int rotation = 345, int elevation = 345, bool ortho = false,
                 int zoom = 100)
{
    TViewSettings v;
    v.view3D = in3D;
    v.rotation = rotation;
    v.elevation = elevation;
    v.orthogonal = ortho;
    v.zoom = zoom;
    TProjection p;
    p.Setup(W, H, D, v, Target);
    return p;
}

QRectF Bounds(const TProjection &p)
{
    QRectF r;
    for (int i = 0; i < 8; ++i) {
        const QPointF s = p.Map(i & 1 ? W : 0, i & 2 ? H : 0, i & 4 ? D : 0);
        r = r.isNull() ? QRectF(s, QSizeF(1e-9, 1e-9)) : r.united(QRectF(s, QSizeF(1e-9, 1e-9)));
    }
    return r;
}

bool Near(const QPointF &a, const QPointF &b, double tol = 1e-6)
{
    return std::fabs(a.x() - b.x()) < tol && std::fabs(a.y() - b.y()) < tol;
}

double Len(const QPointF &a, const QPointF &b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}
} // namespace

class TstProjection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void flatViewFillsTarget();
    void depthRunsUpRight_data();
    void depthRunsUpRight();
    void perspectiveShrinksTheBack();
    void straightOnIsSymmetric();
    void sideView();
    void boxFitsAndZoomScales();
    void planesMatchAndInvert_data();
    void planesMatchAndInvert();
    void eyeSideDecidesDrawingOrder();
    void clipSegment_data();
    void clipSegment();
};

void TstProjection::flatViewFillsTarget()
{
    const TProjection p = Make(false);
    QVERIFY(Near(p.Map(0, 0, 0), Target.bottomLeft()));
    QVERIFY(Near(p.Map(W, H, 0), Target.topRight()));
    QVERIFY(Near(p.Map(W / 2, H / 4, 0), QPointF(Target.center().x(), Target.bottom() - 125)));
    // Depth means nothing in 2D.
    QVERIFY(Near(p.Map(W / 2, H / 2, D), p.Map(W / 2, H / 2, 0)));
    QCOMPARE(p.DepthSize(), 0.0);
}

void TstProjection::depthRunsUpRight_data()
{
    QTest::addColumn<bool>("ortho");
    QTest::newRow("oblique") << true;
    QTest::newRow("perspective") << false;
}

void TstProjection::depthRunsUpRight()
{
    QFETCH(bool, ortho);
    const TProjection p = Make(true, 345, 345, ortho);
    for (double x : {0.0, W / 2, W})
        for (double y : {0.0, H}) {
            const QPointF front = p.Map(x, y, 0), back = p.Map(x, y, D);
            QVERIFY(back.x() > front.x() + 5);
            QVERIFY(back.y() < front.y() - 5);
        }
    if (ortho) {
        // 45 degrees, the front face undistorted.
        const QPointF d = p.Map(0, 0, D) - p.Map(0, 0, 0);
        QVERIFY(std::fabs(d.x() + d.y()) < 1e-6);
        const QPointF a = p.Map(0, 0, 0), b = p.Map(W, 0, 0), c = p.Map(0, H, 0);
        QVERIFY(std::fabs(a.y() - b.y()) < 1e-6);
        QVERIFY(std::fabs(a.x() - c.x()) < 1e-6);
        QVERIFY(std::fabs(Len(a, b) / Len(a, c) - W / H) < 1e-9);
    }
}

void TstProjection::perspectiveShrinksTheBack()
{
    const TProjection p = Make(true, 345, 345, false);
    QVERIFY(Len(p.Map(0, 0, D), p.Map(W, 0, D)) < Len(p.Map(0, 0, 0), p.Map(W, 0, 0)));
    QVERIFY(Len(p.Map(0, 0, D), p.Map(0, H, D)) < Len(p.Map(0, 0, 0), p.Map(0, H, 0)));
    // Turned and tilted: the front face's edges are no longer level and upright.
    QVERIFY(std::fabs(p.Map(0, 0, 0).y() - p.Map(W, 0, 0).y()) > 1);
    QVERIFY(std::fabs(p.Map(0, 0, 0).x() - p.Map(0, H, 0).x()) > 1);
}

void TstProjection::straightOnIsSymmetric()
{
    const TProjection p = Make(true, 360, 360, false);
    const QPointF frontMid = (p.Map(0, 0, 0) + p.Map(W, H, 0)) / 2;
    const QPointF backMid = (p.Map(0, 0, D) + p.Map(W, H, D)) / 2;
    QVERIFY(Near(frontMid, backMid, 1e-6));
    QVERIFY(Near(frontMid, Target.center(), 1e-6));
    QVERIFY(Len(p.Map(0, 0, D), p.Map(W, 0, D)) < Len(p.Map(0, 0, 0), p.Map(W, 0, 0)));
    QVERIFY(std::fabs(p.Map(0, 0, 0).y() - p.Map(W, 0, 0).y()) < 1e-6);
}

void TstProjection::sideView()
{
    // Turned a quarter: the depth runs across the screen, the time axis into it.
    const TProjection p = Make(true, 270, 360, false);
    const QPointF o = p.Map(0, 0, 0), deep = p.Map(0, 0, D), late = p.Map(W, 0, 0);
    QVERIFY(deep.x() > o.x() + 10);
    QVERIFY(std::fabs(deep.y() - o.y()) < 1e-6);
    // Per unit of length, the time axis comes out far shorter than the depth.
    QVERIFY(Len(o, late) / W < 0.5 * Len(o, deep) / D);
}

void TstProjection::boxFitsAndZoomScales()
{
    for (bool ortho : {true, false}) {
        const QRectF b = Bounds(Make(true, 330, 340, ortho));
        QVERIFY(Target.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(b));
        // Touches the target on two opposite sides at least.
        QVERIFY(std::fabs(b.width() - Target.width()) < 1e-6 ||
                std::fabs(b.height() - Target.height()) < 1e-6);
        const QRectF z = Bounds(Make(true, 330, 340, ortho, 200));
        QVERIFY(std::fabs(z.width() - 2 * b.width()) < 1e-6);
        QVERIFY(Near(z.center(), b.center(), 1e-6));
        // Zoom is held to 25..500 percent.
        QVERIFY(std::fabs(Bounds(Make(true, 330, 340, ortho, 5000)).width() - 5 * b.width()) <
                1e-6);
        QVERIFY(std::fabs(Bounds(Make(true, 330, 340, ortho, 1)).width() - b.width() / 4) < 1e-6);
    }
}

void TstProjection::planesMatchAndInvert_data()
{
    QTest::addColumn<bool>("in3D");
    QTest::addColumn<bool>("ortho");
    QTest::addColumn<int>("rotation");
    QTest::newRow("2D") << false << false << 345;
    QTest::newRow("oblique") << true << true << 345;
    QTest::newRow("perspective") << true << false << 345;
    QTest::newRow("perspective steep") << true << false << 290;
}

void TstProjection::planesMatchAndInvert()
{
    QFETCH(bool, in3D);
    QFETCH(bool, ortho);
    QFETCH(int, rotation);
    const TProjection p = Make(in3D, rotation, 320, ortho);
    bool ok = false;
    const QTransform inv = p.FrontPlane().inverted(&ok);
    QVERIFY(ok);
    QRandomGenerator rng(3);
    for (int i = 0; i < 200; ++i) {
        const QPointF m(rng.bounded(W), rng.bounded(H));
        const QPointF s = p.Map(m.x(), m.y(), 0);
        QVERIFY(Near(p.FrontPlane().map(m), s, 1e-6));
        QVERIFY(Near(inv.map(s), m, 1e-6));
        // The plane of any depth, as the ribbons' edges are mapped.
        for (double z : {0.0, D / 3, D}) {
            const QTransform t = p.Plane(z);
            const double w = t.m13() * m.x() + t.m23() * m.y() + t.m33();
            const QPointF viaPlane((t.m11() * m.x() + t.m21() * m.y() + t.m31()) / w,
                                   (t.m12() * m.x() + t.m22() * m.y() + t.m32()) / w);
            QVERIFY2(Near(viaPlane, p.Map(m.x(), m.y(), z), 1e-6),
                     qPrintable(QStringLiteral("depth %1").arg(z)));
        }
    }
}

void TstProjection::eyeSideDecidesDrawingOrder()
{
    // Looking straight on, the eye faces the middle; turned, it moves past the right end,
    // so that a ribbon is drawn from the left; the oblique view has no eye at all.
    QCOMPARE(Make(true, 360, 345).ViewerX(), W / 2);
    const double slight = Make(true, 355, 345).ViewerX();
    QVERIFY(slight > W / 2 && slight < W);
    QVERIFY(Make(true, 330, 345).ViewerX() > W);
    QVERIFY(Make(true, 345, 345, true).ViewerX() > 1e100);
}

void TstProjection::clipSegment_data()
{
    QTest::addColumn<QPointF>("a");
    QTest::addColumn<QPointF>("b");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QPointF>("ca");
    QTest::addColumn<QPointF>("cb");
    QTest::newRow("inside") << QPointF(1, 1) << QPointF(5, 8) << true << QPointF(1, 1)
                            << QPointF(5, 8);
    QTest::newRow("in from the left, out over the top")
        << QPointF(-10, 0) << QPointF(10, 10) << true << QPointF(0, 5) << QPointF(6, 8);
    QTest::newRow("out over the top")
        << QPointF(2, 2) << QPointF(6, 14) << true << QPointF(2, 2) << QPointF(4, 8);
    QTest::newRow("right through")
        << QPointF(-5, 4) << QPointF(15, 4) << true << QPointF(0, 4) << QPointF(10, 4);
    QTest::newRow("wholly above") << QPointF(1, 9) << QPointF(9, 12) << false << QPointF()
                                  << QPointF();
    QTest::newRow("past a corner")
        << QPointF(8, 12) << QPointF(12, 8) << false << QPointF() << QPointF();
    QTest::newRow("upright outside")
        << QPointF(11, 1) << QPointF(11, 7) << false << QPointF() << QPointF();
    QTest::newRow("point inside") << QPointF(3, 3) << QPointF(3, 3) << true << QPointF(3, 3)
                                  << QPointF(3, 3);
    QTest::newRow("along the edge")
        << QPointF(0, -2) << QPointF(0, 5) << true << QPointF(0, 0) << QPointF(0, 5);
}

void TstProjection::clipSegment()
{
    QFETCH(QPointF, a);
    QFETCH(QPointF, b);
    QFETCH(bool, visible);
    const QRectF box(0, 0, 10, 8);
    QCOMPARE(ClipSegment(a, b, box), visible);
    if (visible) {
        QFETCH(QPointF, ca);
        QFETCH(QPointF, cb);
        QVERIFY2(
            Near(a, ca) && Near(b, cb),
            qPrintable(QStringLiteral("%1,%2 %3,%4").arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y())));
    }
}

QTEST_GUILESS_MAIN(TstProjection)
#include "tst_projection.moc"
