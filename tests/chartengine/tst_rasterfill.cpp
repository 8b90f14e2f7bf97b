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
    void slantedLineCoversOnePixelPerColumn();
    void onlyForPlainImages();
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

QTEST_MAIN(TstRasterFill)
#include "tst_rasterfill.moc"
