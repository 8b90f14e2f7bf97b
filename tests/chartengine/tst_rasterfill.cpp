#include "rasterfill.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPicture>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>

using namespace ChartRender;

namespace {
const QRgb White = 0xffffffff;
const QRgb Ink = 0xff2040c0;

QImage Blank(int w = 40, int h = 30)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(White);
    return img;
}

int Count(const QImage &img, QRgb c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) == c ? 1 : 0;
    return n;
}

// Share of ink in a pixel blended over white, from its red channel.
double Coverage(QRgb p)
{
    return (255.0 - qRed(p)) / (255.0 - qRed(Ink));
}
} // namespace

class TstRasterFill : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void rectangleTakesPixelsWithCentresInside();
    void neighboursNeitherOverlapNorGap();
    void filledAreaMatchesPolygonArea();
    void clipIsHonoured();
    void followsThePainterScale();
    void horizontalLine();
    void lineReachingFarOut();
    void slantedLineCoversOnePixelPerColumn();
    void onlyForPlainImages();
    void pixelsWithCentresInside_data();
    void pixelsWithCentresInside();
    void denseTraceSpansEachColumn();
    void denseTraceShowsSpikeAndStaysInItsColumns();
    void sparseTraceIsLeftToLines();
    void stepsAsSpansOrLine();
    void pieceMatchesFillThenStep_data();
    void pieceMatchesFillThenStep();
    void piecesReachingFarOut();
};

void TstRasterFill::rectangleTakesPixelsWithCentresInside()
{
    QImage img = Blank();
    {
        QPainter p(&img);
        TRasterTarget t(p, QRectF(img.rect()));
        QVERIFY(t.IsValid());
        const QPointF q[4] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
        t.FillConvex(q, 4, Ink);
        // Edges through pixel centres: 2.5 to 7.5 covers the centres 2.5 .. 6.5 only.
        const QPointF r[4] = {{20.5, 10.5}, {20.5, 15.5}, {25.5, 15.5}, {25.5, 10.5}};
        t.FillConvex(r, 4, Ink);
    }
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const bool first = x >= 1 && x < 5 && y >= 1 && y < 4;
            const bool second = x >= 20 && x < 25 && y >= 10 && y < 15;
            QCOMPARE(img.pixel(x, y) == Ink, first || second);
        }
}

void TstRasterFill::neighboursNeitherOverlapNorGap()
{
    // Ribbon pieces share their ends; each pixel of the joint belongs to one of them.
    QRandomGenerator rng(11);
    for (int round = 0; round < 50; ++round) {
        const QPointF a(rng.bounded(30.0), rng.bounded(20.0)),
            b(rng.bounded(30.0) + 5, rng.bounded(20.0) + 5);
        const QPointF d(3.3, -2.7);
        const QPointF c(b.x() + rng.bounded(8.0), rng.bounded(25.0));
        // Where the trace folds back over the depth direction the pieces really overlap;
        // here only pieces on either side of their common edge.
        auto side = [&d, &b](const QPointF &p) {
            return d.x() * (p.y() - b.y()) - d.y() * (p.x() - b.x());
        };
        if (side(a) * side(c) >= 0)
            continue;
        QImage one = Blank(), two = Blank(), both = Blank();
        const QPointF q1[4] = {a, b, b + d, a + d};
        const QPointF q2[4] = {b, c, c + d, b + d};
        for (QImage *img : {&one, &two, &both}) {
            QPainter p(img);
            TRasterTarget t(p, QRectF(img->rect()));
            if (img != &two)
                t.FillConvex(q1, 4, Ink);
            if (img != &one)
                t.FillConvex(q2, 4, Ink);
        }
        for (int y = 0; y < one.height(); ++y)
            for (int x = 0; x < one.width(); ++x) {
                const bool in1 = one.pixel(x, y) == Ink, in2 = two.pixel(x, y) == Ink;
                QVERIFY(!(in1 && in2));
                QCOMPARE(both.pixel(x, y) == Ink, in1 || in2);
            }
    }
}

void TstRasterFill::filledAreaMatchesPolygonArea()
{
    QRandomGenerator rng(5);
    for (int round = 0; round < 100; ++round) {
        // A parallelogram, the shape of a ribbon piece.
        const QPointF a(rng.bounded(10.0) + 5, rng.bounded(10.0) + 20);
        const QPointF u(rng.bounded(20.0) + 1, rng.bounded(20.0) - 10);
        const QPointF v(rng.bounded(8.0) + 1, -rng.bounded(8.0) - 1);
        const QPointF q[4] = {a, a + u, a + u + v, a + v};
        QImage img = Blank(60, 50);
        {
            QPainter p(&img);
            TRasterTarget(p, QRectF(img.rect())).FillConvex(q, 4, Ink);
        }
        const double area = std::fabs(u.x() * v.y() - u.y() * v.x());
        const double perimeter = 2 * (std::hypot(u.x(), u.y()) + std::hypot(v.x(), v.y()));
        const int n = Count(img, Ink);
        QVERIFY2(std::fabs(n - area) <= perimeter / 2 + 2,
                 qPrintable(QStringLiteral("%1 pixels for area %2").arg(n).arg(area)));
    }
}

void TstRasterFill::clipIsHonoured()
{
    QImage img = Blank();
    {
        QPainter p(&img);
        TRasterTarget t(p, QRectF(10, 5, 10, 10));
        const QPointF q[4] = {{-100, -100}, {100, -100}, {100, 100}, {-100, 100}};
        t.FillConvex(q, 4, Ink);
        t.Line(QPointF(-50, 7.5), QPointF(80, 7.5), 0xff00ff00);
    }
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const bool inside = x >= 10 && x < 20 && y >= 5 && y < 15;
            QCOMPARE(img.pixel(x, y) != White, inside);
        }
}

void TstRasterFill::followsThePainterScale()
{
    QImage img = Blank();
    {
        QPainter p(&img);
        p.scale(2, 2);
        TRasterTarget t(p, QRectF(0, 0, 20, 15));
        QVERIFY(t.IsValid());
        const QPointF q[4] = {{1, 1}, {3, 1}, {3, 3}, {1, 3}};
        t.FillConvex(q, 4, Ink);
    }
    QCOMPARE(Count(img, Ink), 16);
    QCOMPARE(img.pixel(2, 2), Ink);
    QCOMPARE(img.pixel(5, 5), Ink);
    QCOMPARE(img.pixel(6, 6), White);
}

void TstRasterFill::horizontalLine()
{
    QImage img = Blank();
    {
        QPainter p(&img);
        TRasterTarget(p, QRectF(img.rect())).Line(QPointF(2.5, 5.5), QPointF(10.5, 5.5), Ink);
    }
    for (int x = 3; x <= 9; ++x)
        QCOMPARE(img.pixel(x, 5), Ink);
    // The end pixels are half covered; nothing above, below or beyond.
    QVERIFY(std::fabs(Coverage(img.pixel(2, 5)) - 0.5) < 0.02);
    QVERIFY(std::fabs(Coverage(img.pixel(10, 5)) - 0.5) < 0.02);
    for (int x = 0; x < img.width(); ++x) {
        QCOMPARE(img.pixel(x, 4), White);
        QCOMPARE(img.pixel(x, 6), White);
    }
    QCOMPARE(img.pixel(1, 5), White);
    QCOMPARE(img.pixel(11, 5), White);
}

void TstRasterFill::lineReachingFarOut()
{
    // Ends far beyond any image (pixel numbers past the range of whole numbers) still
    // give the visible part of the line, as a line ending just outside does.
    for (const QPointF &far : {QPointF(1e12, 5.5), QPointF(3e9, 5.5), QPointF(1e300, 5.5)}) {
        QImage img = Blank(), near = Blank();
        {
            QPainter p(&img);
            TRasterTarget(p, QRectF(img.rect())).Line(QPointF(2.5, 5.5), far, Ink);
            QPainter q(&near);
            TRasterTarget(q, QRectF(near.rect())).Line(QPointF(2.5, 5.5), QPointF(300, 5.5), Ink);
        }
        QCOMPARE(img.pixel(20, 5), Ink);
        QCOMPARE(img, near);
    }
    // Steep, from far above down into the image.
    QImage img = Blank();
    {
        QPainter p(&img);
        TRasterTarget(p, QRectF(img.rect())).Line(QPointF(7.5, -1e13), QPointF(7.5, 20.5), Ink);
    }
    for (int y = 0; y < 20; ++y)
        QCOMPARE(img.pixel(7, y), Ink);
    QCOMPARE(img.pixel(7, 25), White);
}

void TstRasterFill::slantedLineCoversOnePixelPerColumn()
{
    for (bool steep : {false, true}) {
        QImage img = Blank(40, 40);
        const QPointF a(0.5, 0.5), b = steep ? QPointF(12.5, 30.5) : QPointF(30.5, 12.5);
        {
            QPainter p(&img);
            TRasterTarget(p, QRectF(img.rect())).Line(a, b, Ink);
        }
        // Across the line, the weights of each step add up to one whole pixel.
        for (int i = 1; i < 30; ++i) {
            double sum = 0;
            for (int j = 0; j < 40; ++j)
                sum += Coverage(steep ? img.pixel(j, i) : img.pixel(i, j));
            QVERIFY2(std::fabs(sum - 1) < 0.03, qPrintable(QString::number(sum)));
        }
    }
}

void TstRasterFill::onlyForPlainImages()
{
    QPicture pic;
    QPainter pp(&pic);
    QVERIFY(!TRasterTarget(pp, QRectF(0, 0, 10, 10)).IsValid());
    pp.end();
    QImage rotated = Blank();
    {
        QPainter pr(&rotated);
        pr.rotate(30);
        TRasterTarget t(pr, QRectF(0, 0, 10, 10));
        QVERIFY(!t.IsValid());
        const QPointF q[4] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
        t.FillConvex(q, 4, Ink); // does nothing
    }
    QCOMPARE(Count(rotated, Ink), 0);
    QImage grey(10, 10, QImage::Format_Grayscale8);
    QPainter pg(&grey);
    QVERIFY(!TRasterTarget(pg, QRectF(0, 0, 10, 10)).IsValid());
}

// Whether point (px, py) lies inside the convex polygon q (either turning direction), and
// how far it is from the nearest edge line.
bool InsideConvex(const QPointF *q, int n, double px, double py, double *margin)
{
    int sign = 0;
    *margin = 1e300;
    for (int i = 0; i < n; ++i) {
        const QPointF &a = q[i], &b = q[(i + 1) % n];
        const double len = std::hypot(b.x() - a.x(), b.y() - a.y());
        const double cross = (b.x() - a.x()) * (py - a.y()) - (b.y() - a.y()) * (px - a.x());
        *margin = std::min(*margin, std::fabs(cross) / len);
        const int s = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (s != 0 && sign != 0 && s != sign)
            return false;
        sign = s ? s : sign;
    }
    return true;
}

void TstRasterFill::pixelsWithCentresInside_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    // Ribbon pieces of a dense trace are tall and narrow, those of a sparse one wide.
    QTest::newRow("tall and narrow") << 2.5 << 30.0;
    QTest::newRow("wide and flat") << 30.0 << 2.5;
    QTest::newRow("about square") << 12.0 << 12.0;
}

void TstRasterFill::pixelsWithCentresInside()
{
    QFETCH(double, width);
    QFETCH(double, height);
    QRandomGenerator rng(23);
    for (int round = 0; round < 60; ++round) {
        // A parallelogram: a front step of the given size and a short depth offset.
        const QPointF a(5 + rng.bounded(10.0), 5 + rng.bounded(10.0));
        const QPointF u(rng.bounded(width), (rng.bounded(2) ? 1 : -1) * rng.bounded(height));
        const QPointF d(rng.bounded(3.0), -rng.bounded(3.0));
        const QPointF q[4] = {a + QPointF(0, 12), a + u + QPointF(0, 12),
                              a + u + d + QPointF(0, 12), a + d + QPointF(0, 12)};
        QImage img = Blank(60, 70);
        {
            QPainter p(&img);
            TRasterTarget(p, QRectF(img.rect())).FillConvex(q, 4, Ink);
        }
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                double margin = 0;
                const bool inside = InsideConvex(q, 4, x + 0.5, y + 0.5, &margin);
                if (margin < 1e-6)
                    continue; // centre on an edge: either way is right
                QVERIFY2(
                    (img.pixel(x, y) == Ink) == inside,
                    qPrintable(QStringLiteral("round %1 pixel %2,%3").arg(round).arg(x).arg(y)));
            }
    }
}

// Rows of ink in column x: first and last, or -1 when the column is blank.
QPair<int, int> InkRows(const QImage &img, int x, QRgb ink = Ink)
{
    int first = -1, last = -1;
    for (int y = 0; y < img.height(); ++y)
        if (img.pixel(x, y) == ink) {
            first = first < 0 ? y : first;
            last = y;
        }
    return {first, last};
}

void TstRasterFill::denseTraceSpansEachColumn()
{
    // Three points a column over columns 5 .. 34, climbing steeply: each column is one
    // solid, unbroken span, and neighbouring spans meet.
    QVector<QPointF> pts;
    for (int i = 0; i <= 90; ++i)
        pts.append(QPointF(5 + i / 3.0, 5 + i * 0.6));
    QImage img = Blank(40, 70);
    {
        QPainter p(&img);
        QVERIFY(
            TRasterTarget(p, QRectF(img.rect())).DenseTrace(pts.constData(), int(pts.size()), Ink));
    }
    int prevLast = -1;
    for (int x = 0; x < img.width(); ++x) {
        const auto [first, last] = InkRows(img, x);
        if (x < 5 || x > 35) {
            QCOMPARE(first, -1);
            continue;
        }
        QVERIFY2(first >= 0, qPrintable(QStringLiteral("column %1 blank").arg(x)));
        for (int y = first; y <= last; ++y)
            QCOMPARE(img.pixel(x, y), Ink);
        if (prevLast >= 0)
            QVERIFY2(first <= prevLast + 1,
                     qPrintable(QStringLiteral("gap before column %1").arg(x)));
        prevLast = last;
    }
    // Nothing but ink and white: no blending.
    QCOMPARE(Count(img, Ink) + Count(img, White), img.width() * img.height());
}

void TstRasterFill::denseTraceShowsSpikeAndStaysInItsColumns()
{
    // A level trace at row 40 with one point up at row 3 and one down at row 75.
    QVector<QPointF> pts;
    for (int i = 0; i < 120; ++i)
        pts.append(QPointF(10.2 + i / 4.0, i == 50 ? 3.5 : i == 90 ? 75.5 : 40.5));
    QImage img = Blank(50, 80);
    {
        QPainter p(&img);
        QVERIFY(
            TRasterTarget(p, QRectF(img.rect())).DenseTrace(pts.constData(), int(pts.size()), Ink));
    }
    const int spikeCol = int(10.2 + 50 / 4.0), dipCol = int(10.2 + 90 / 4.0);
    QCOMPARE(InkRows(img, spikeCol).first, 3);
    QCOMPARE(InkRows(img, dipCol).second, 75);
    for (int x = 0; x < img.width(); ++x) {
        const auto [first, last] = InkRows(img, x);
        const bool inTrace = x >= 10 && x <= int(10.2 + 119 / 4.0);
        QCOMPARE(first >= 0, inTrace);
        // Away from the spike and the dip the trace is one row.
        if (inTrace && std::abs(x - spikeCol) > 1 && std::abs(x - dipCol) > 1) {
            QCOMPARE(first, 40);
            QCOMPARE(last, 40);
        }
    }
}

void TstRasterFill::sparseTraceIsLeftToLines()
{
    // Points four columns apart: not dense, nothing drawn, the caller draws lines.
    const QPointF pts[4] = {{2, 5}, {6, 9}, {10, 5}, {14, 9}};
    QImage img = Blank();
    {
        QPainter p(&img);
        QVERIFY(!TRasterTarget(p, QRectF(img.rect())).DenseTrace(pts, 4, Ink));
    }
    QCOMPARE(Count(img, White), img.width() * img.height());
    // A dense trace with one wide step (a gap in the recording) draws that step as a line,
    // reaching the columns in between.
    QVector<QPointF> gap;
    for (int i = 0; i < 40; ++i)
        gap.append(QPointF(2 + i / 2.0 + (i >= 20 ? 15 : 0), 10.5));
    QImage img2 = Blank(60, 30);
    {
        QPainter p(&img2);
        QVERIFY(TRasterTarget(p, QRectF(img2.rect()))
                    .DenseTrace(gap.constData(), int(gap.size()), Ink));
    }
    for (int x = 0; x < img2.width(); ++x)
        QVERIFY2((img2.pixel(x, 10) != White) == (x >= 2 && x <= 36),
                 qPrintable(QStringLiteral("column %1").arg(x)));
}

void TstRasterFill::stepsAsSpansOrLine()
{
    QImage img = Blank(40, 40);
    {
        QPainter p(&img);
        TRasterTarget t(p, QRectF(img.rect()));
        t.Step(QPointF(3.5, 2.5), QPointF(3.7, 12.5), Ink);    // one column
        t.Step(QPointF(10.5, 2.5), QPointF(11.5, 12.5), Ink);  // two neighbouring columns
        t.Step(QPointF(20.5, 30.5), QPointF(35.5, 30.5), Ink); // wide: a line
        t.Step(QPointF(38.5, 18.5), QPointF(36.5, 2.5), Ink);  // three columns, leftwards
    }
    // Each column up to where the step crosses its border, solid ink.
    QCOMPARE(InkRows(img, 36), qMakePair(2, 6));
    QCOMPARE(InkRows(img, 37), qMakePair(6, 14));
    QCOMPARE(InkRows(img, 38), qMakePair(14, 18));
    for (int y = 2; y <= 18; ++y)
        QCOMPARE(img.pixel(y < 6 ? 36 : y < 14 ? 37 : 38, y), Ink);
    QCOMPARE(InkRows(img, 3), qMakePair(2, 12));
    QCOMPARE(InkRows(img, 10), qMakePair(2, 7));
    QCOMPARE(InkRows(img, 11), qMakePair(7, 12));
    for (int x = 21; x <= 34; ++x)
        QCOMPARE(img.pixel(x, 30), Ink);
    QCOMPARE(img.pixel(27, 29), White);
}

void TstRasterFill::pieceMatchesFillThenStep_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRectF>("clip");
    QTest::addColumn<double>("depthX");
    QTest::addColumn<double>("depthY");
    QTest::addColumn<double>("stepX");
    QTest::newRow("steep, back up and right") << 1.0 << QRectF(0, 0, 60, 50) << 1.3 << -2.2 << 1.0;
    QTest::newRow("steep, back down and left") << 1.0 << QRectF(0, 0, 60, 50) << -0.7 << 3.1 << 1.0;
    QTest::newRow("deep ribbon") << 1.0 << QRectF(0, 0, 60, 50) << 2.5 << -9.0 << 0.8;
    QTest::newRow("wide steps, some drawn as lines")
        << 1.0 << QRectF(0, 0, 60, 50) << 1.0 << -2.0 << 4.5;
    QTest::newRow("clipped") << 1.0 << QRectF(7.5, 6.2, 33, 27) << 1.3 << -2.2 << 1.2;
    QTest::newRow("scaled") << 1.5 << QRectF(0, 0, 40, 33) << 1.1 << -1.7 << 0.9;
}

// A ribbon's pieces drawn in one call each, face and rim, must come out pixel for pixel as
// the face filled and the rim stepped over it, whatever lies underneath.
void TstRasterFill::pieceMatchesFillThenStep()
{
    QFETCH(double, scale);
    QFETCH(QRectF, clip);
    QFETCH(double, depthX);
    QFETCH(double, depthY);
    QFETCH(double, stepX);
    QImage background = Blank(60, 50);
    for (int y = 0; y < background.height(); ++y)
        for (int x = 0; x < background.width(); ++x)
            background.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 0xff));
    QImage exact = background, joined = background;
    QRandomGenerator rng(20261207);
    for (int ribbon = 0; ribbon < 6; ++ribbon) {
        QPointF f0(-3 + rng.bounded(4.0), rng.bounded(40.0));
        const QPointF depth(depthX * (1 + ribbon * 0.1), depthY);
        const QRgb face = qRgb(ribbon * 40, 200, 90), rim = qRgb(10, ribbon * 30, 240);
        for (int i = 0; i < 60; ++i) {
            // Steep and flat stretches, the odd spike, and one step out of sight.
            const double dy = i % 17 == 5 ? 25 - rng.bounded(50.0) : rng.bounded(12.0) - 6;
            QPointF f1(f0.x() + stepX * (0.3 + rng.bounded(1.4)), f0.y() + dy);
            if (i == 31)
                f1 = QPointF(f0.x() + 0.5, qInf());
            const QPointF q[4] = {f0, f1, f1 + depth, f0 + depth};
            {
                QPainter p(&exact);
                p.scale(scale, scale);
                TRasterTarget t(p, clip);
                t.FillConvex(q, 4, face);
                t.Step(f0, f1, rim);
            }
            {
                QPainter p(&joined);
                p.scale(scale, scale);
                TRasterTarget t(p, clip);
                const QTransform d = t.DeviceTransform();
                t.DevicePiece(d.map(f0), d.map(f1), d.map(q[2]), d.map(q[3]), face, rim);
            }
            f0 = std::isfinite(f1.y()) ? f1 : QPointF(f1.x(), 20);
        }
    }
    QVERIFY(exact != background);
    for (int y = 0; y < exact.height(); ++y)
        for (int x = 0; x < exact.width(); ++x)
            if (joined.pixel(x, y) != exact.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3 instead of %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(joined.pixel(x, y), 8, 16)
                                     .arg(exact.pixel(x, y), 8, 16)));
}

QTEST_MAIN(TstRasterFill)
#include "tst_rasterfill.moc"

void TstRasterFill::piecesReachingFarOut()
{
    // Corners far above, below or beside the image (beyond the range of whole pixel
    // numbers): nothing is drawn out of place, and what reaches into the image is drawn as
    // the shape and its rim drawn one after the other draw it.
    const QRgb face = qRgb(200, 40, 40), rim = qRgb(10, 10, 200);
    const double far[] = {1e15, -1e15, 1e300, -1e300, 3e9};
    for (double d : far) {
        const QPointF pieces[][4] = {
            {{5.5, d}, {6.5, d + 3}, {7.5, d + 1}, {6.5, d - 2}}, // wholly out of sight
            {{10.2, 8}, {11.1, d}, {12.3, d}, {11.4, 6}},         // the rim runs out
            {{15.2, d}, {16.1, 12}, {17.3, 10}, {16.4, d}},       // starts out of sight
            {{d, 5.5}, {20.5, 9.5}, {21.5, 7.5}, {d, 3.5}},       // reaches in from the side
        };
        QImage exact = Blank(), joined = Blank();
        for (const auto &q : pieces) {
            {
                QPainter p(&exact);
                TRasterTarget t(p, QRectF(exact.rect()));
                t.FillConvex(q, 4, face);
                t.Step(q[0], q[1], rim);
            }
            {
                QPainter p(&joined);
                TRasterTarget(p, QRectF(joined.rect()))
                    .DevicePiece(q[0], q[1], q[2], q[3], face, rim);
            }
        }
        QVERIFY2(joined == exact, qPrintable(QStringLiteral("corner at %1").arg(d)));
        // The piece wholly out of sight left its columns alone (below the one reaching in
        // from the side).
        for (int y = 12; y < exact.height(); ++y)
            QCOMPARE(exact.pixel(6, y), White);
    }
}
