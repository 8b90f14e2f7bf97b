#include "chartrender.h"
#include "datetimelabel.h"
#include "tchart.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtNumeric>
#include <cmath>
#include <stdexcept>

namespace {

const double Second = 1.0 / 86400.0;
const double T0 = ChartMath::EncodeDateTime(QDate(2024, 3, 18), QTime(10, 15, 0));
const QColor Red(255, 0, 0), Green(0, 200, 0), Blue(0, 0, 255);

// Pixels where one channel clearly leads: the traces' colours over the white, grey and
// black of walls, grid and text.
enum class Hue { None, Red, Green, Blue };
Hue Classify(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if (r - std::max(g, b) > 70)
        return Hue::Red;
    if (g - std::max(r, b) > 70)
        return Hue::Green;
    if (b - std::max(r, g) > 70)
        return Hue::Blue;
    return Hue::None;
}

struct Blob
{
    int count = 0;
    double sx = 0, sy = 0;
    int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
    QPointF Centre() const { return QPointF(sx / count, sy / count); }
};

Blob Find(const QImage &img, Hue hue)
{
    Blob b;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Classify(img.pixel(x, y)) == hue) {
                ++b.count;
                b.sx += x;
                b.sy += y;
                b.minX = std::min(b.minX, x);
                b.maxX = std::max(b.maxX, x);
                b.minY = std::min(b.minY, y);
                b.maxY = std::max(b.maxY, y);
            }
    return b;
}

QImage Render(TChart &c, QSize size = QSize(800, 500))
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::black);
    QPainter p(&img);
    c.render(p, QRectF(img.rect()));
    return img;
}

// A flat trace over a minute, in one colour.
void Flat(TChartSeries *s, double volts, const QColor &c, int points = 61)
{
    for (int i = 0; i < points; ++i)
        s->AddXY(T0 + i * Second, volts, QString(), c);
}

class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void Drag(QWidget *w, QPoint from, QPoint to)
{
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(w, (from + to) / 2);
    QTest::mouseMove(w, to);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, to);
}

} // namespace

class TstTChart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pointsAreStoredInOrder();
    void deletingMovesPointsDown();
    void badIndicesAreRefused_data();
    void badIndicesAreRefused();
    void activeSeriesAreCounted();
    void bottomRangeFollowsActiveSeriesOnly();
    void viewRangeOfLonePointAndFlatAxis();
    void settingsAreHeldInRange();
    void ticksStayReadableAtAnySize_data();
    void ticksStayReadableAtAnySize();
    void oneRepaintForManyPoints();
    void segmentTakesItsPointsColour_data();
    void segmentTakesItsPointsColour();
    void hiddenSeriesAndOutOfRangeValuesAreNotDrawn();
    void backRibbonLiesUpRight_data();
    void backRibbonLiesUpRight();
    void zoomAndUndoByMouse_data();
    void zoomAndUndoByMouse();
    void zoomIsAnimated();
    void printAreaHonoursMargins_data();
    void printAreaHonoursMargins();
    void printsIntoPdf();
    void previewDrawsThroughRender();
    void pixelFontPrintsAtItsScreenSize_data();
    void pixelFontPrintsAtItsScreenSize();

private:
    QTemporaryDir m_dir;
};

void TstTChart::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TstTChart::pointsAreStoredInOrder()
{
    TChart c;
    TChartSeries *s = c.Series(3);
    QCOMPARE(s->Count(), 0);
    s->AddXY(T0, 12, QString(), Red);
    s->AddXY(T0 + 2 * Second, 14.5, QStringLiteral("b"), Blue);
    // A late point of an earlier time goes to its place instead of breaking the order.
    s->AddXY(T0 + Second, 13, QString(), Green);
    s->AddXY(T0 + 2 * Second, 15, QString(), Red); // equal X keeps arrival order
    QCOMPARE(s->Count(), 4);
    const double xs[] = {T0, T0 + Second, T0 + 2 * Second, T0 + 2 * Second};
    const double ys[] = {12, 13, 14.5, 15};
    const QColor cs[] = {Red, Green, Blue, Red};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(s->XValue(i), xs[i]);
        QCOMPARE(s->YValue(i), ys[i]);
        QCOMPARE(s->PointColor(i), cs[i]);
    }
    QCOMPARE(s->PointLabel(2), QStringLiteral("b"));
    // Values without a place on the axes are refused and change nothing.
    for (auto [x, y] : {std::pair{qQNaN(), 1.0}, std::pair{T0, qInf()}}) {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, s->AddXY(x, y, QString(), Red));
        QCOMPARE(s->Count(), 4);
    }
    QCOMPARE(c.Series(2)->Count(), 0);
    s->Clear();
    QCOMPARE(s->Count(), 0);
}

void TstTChart::deletingMovesPointsDown()
{
    TChart c;
    TChartSeries *s = c.Series(0);
    for (int i = 0; i < 5; ++i)
        s->AddXY(T0 + i * Second, i * 10, QString(), QColor::fromHsv(i * 60, 255, 255));
    s->Delete(0);
    QCOMPARE(s->Count(), 4);
    QCOMPARE(s->XValue(0), T0 + Second);
    QCOMPARE(s->YValue(0), 10.0);
    QCOMPARE(s->PointColor(0), QColor::fromHsv(60, 255, 255));
    s->Delete(2);
    QCOMPARE(s->Count(), 3);
    QCOMPARE(s->YValue(2), 40.0);
    while (s->Count() > 0)
        s->Delete(0);
    QCOMPARE(s->Count(), 0);
}

void TstTChart::badIndicesAreRefused_data()
{
    QTest::addColumn<int>("what");
    QTest::addColumn<int>("index");
    QTest::newRow("delete on empty") << 0 << 0;
    QTest::newRow("delete past the end") << 0 << 3;
    QTest::newRow("delete negative") << 0 << -1;
    QTest::newRow("X past the end") << 1 << 3;
    QTest::newRow("Y negative") << 2 << -1;
    QTest::newRow("colour past the end") << 3 << 3;
    QTest::newRow("series 50") << 4 << 50;
    QTest::newRow("series -1") << 4 << -1;
}

void TstTChart::badIndicesAreRefused()
{
    QFETCH(int, what);
    QFETCH(int, index);
    TChart c;
    TChartSeries *s = c.Series(1);
    if (!(what == 0 && index == 0))
        for (int i = 0; i < 3; ++i)
            s->AddXY(T0 + i * Second, i, QString(), Red);
    const int before = s->Count();
    try {
        switch (what) {
        case 0:
            s->Delete(index);
            break;
        case 1:
            s->XValue(index);
            break;
        case 2:
            s->YValue(index);
            break;
        case 3:
            s->PointColor(index);
            break;
        default:
            c.Series(index);
            break;
        }
        QFAIL("no error raised");
    } catch (const std::out_of_range &e) {
        QCOMPARE(QString::fromLatin1(e.what()),
                 QStringLiteral("List index out of bounds (%1)").arg(index));
    }
    QCOMPARE(s->Count(), before);
}

void TstTChart::activeSeriesAreCounted()
{
    TChart c;
    QCOMPARE(c.SeriesCount(), 50);
    QCOMPARE(c.CountActiveSeries(), 0);
    for (int k : {0, 7, 49})
        c.Series(k)->SetActive(true);
    QCOMPARE(c.CountActiveSeries(), 3);
    c.Series(7)->SetActive(true);
    QCOMPARE(c.CountActiveSeries(), 3);
    c.Series(7)->SetActive(false);
    QCOMPARE(c.CountActiveSeries(), 2);
    QVERIFY(c.Series(49)->Active());
    QVERIFY(!c.Series(7)->Active());
}

void TstTChart::bottomRangeFollowsActiveSeriesOnly()
{
    TChart c;
    QVERIFY(!c.HasBottomRange());
    TChartSeries *a = c.Series(1), *b = c.Series(2);
    for (int i = 10; i <= 20; ++i)
        a->AddXY(T0 + i * Second, 5, QString(), Red);
    for (int i = 0; i <= 30; ++i)
        b->AddXY(T0 + i * Second, 5, QString(), Blue);
    QVERIFY(!c.HasBottomRange()); // nothing shown yet
    a->SetActive(true);
    QVERIFY(c.HasBottomRange());
    QCOMPARE(c.BottomAxisMin(), T0 + 10 * Second);
    QCOMPARE(c.BottomAxisMax(), T0 + 20 * Second);
    b->SetActive(true);
    QCOMPARE(c.BottomAxisMin(), T0);
    QCOMPARE(c.BottomAxisMax(), T0 + 30 * Second);
    // Dropping old points moves the start.
    for (int i = 0; i < 15; ++i)
        b->Delete(0);
    QCOMPARE(c.BottomAxisMin(), T0 + 10 * Second);
    a->SetActive(false);
    QCOMPARE(c.BottomAxisMin(), T0 + 15 * Second);
    c.RecalcBottomAxis();
    QCOMPARE(c.BottomAxisMax(), T0 + 30 * Second);
    const TChartRange v = c.ViewRange();
    QCOMPARE(v.xMin, T0 + 15 * Second);
    QCOMPARE(v.xMax, T0 + 30 * Second);
    b->Clear();
    QVERIFY(!c.HasBottomRange());
}

void TstTChart::viewRangeOfLonePointAndFlatAxis()
{
    TChart c;
    c.SetLeftAxisMax(50);
    c.Series(4)->SetActive(true);
    c.Series(4)->AddXY(T0, 20, QString(), Red);
    TChartRange v = c.ViewRange();
    QVERIFY(std::fabs((v.xMax - v.xMin) / Second - 1) < 1e-4);
    QVERIFY(std::fabs((v.xMax + v.xMin) / 2 - T0) < 1e-4 * Second);
    QCOMPARE(v.yMin, 0.0);
    QCOMPARE(v.yMax, 50.0);
    // An axis maximum of 0 still leaves a range to draw in, and drawing works.
    c.SetLeftAxisMax(0);
    QCOMPARE(c.LeftAxisMax(), 0.0);
    v = c.ViewRange();
    QVERIFY(v.yMax > v.yMin);
    const QImage img = Render(c);
    QCOMPARE(img.pixel(3, 3), qRgb(255, 255, 255));
}

void TstTChart::settingsAreHeldInRange()
{
    TChart c;
    QCOMPARE(c.Chart3DPercent(), 20);
    QCOMPARE(c.Rotation(), 345);
    QCOMPARE(c.Zoom(), 100);
    c.SetRotation(200);
    c.SetElevation(400);
    c.SetZoom(1000);
    c.SetChart3DPercent(0);
    c.SetPrintMargins(-5, 3, 60, 45);
    QCOMPARE(c.Rotation(), 270);
    QCOMPARE(c.Elevation(), 360);
    QCOMPARE(c.Zoom(), 500);
    QCOMPARE(c.Chart3DPercent(), 1);
    QCOMPARE(c.PrintMargins(), QMargins(0, 3, 45, 45));
}

void TstTChart::ticksStayReadableAtAnySize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("in3D");
    for (const QSize s : {QSize(250, 180), QSize(640, 400), QSize(1900, 1100)})
        for (bool in3D : {false, true})
            QTest::addRow("%dx%d %s", s.width(), s.height(), in3D ? "3D" : "2D") << s << in3D;
}

void TstTChart::ticksStayReadableAtAnySize()
{
    QFETCH(QSize, size);
    QFETCH(bool, in3D);
    TChart c;
    c.SetView3D(in3D);
    c.SetOrthogonal(false);
    c.SetLeftAxisMax(300);
    c.SetLeftAxisTitle(QStringLiteral("U [V]"));
    c.Series(0)->SetActive(true);
    Flat(c.Series(0), 100, Red, 301);
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    const ChartRender::TLayout l = ChartRender::Compute(c, &img, QRectF(img.rect()));
    QVERIFY(l.xTicks.size() >= 1);
    QVERIFY(l.yTicks.size() >= 2);
    // Neighbouring labels never touch: turned date labels are two lines thick, value
    // labels one line high.
    for (int i = 1; i < l.xTicks.size(); ++i) {
        const double a = ChartRender::ToModel(l, l.xTicks[i - 1], 0).x();
        const double b = ChartRender::ToModel(l, l.xTicks[i], 0).x();
        QVERIFY(l.proj.Map(b, 0, 0).x() - l.proj.Map(a, 0, 0).x() > 2 * l.lineH);
    }
    for (int i = 1; i < l.yTicks.size(); ++i) {
        const double a = ChartRender::ToModel(l, l.range.xMin, l.yTicks[i - 1]).y();
        const double b = ChartRender::ToModel(l, l.range.xMin, l.yTicks[i]).y();
        QVERIFY(l.proj.Map(0, a, 0).y() - l.proj.Map(0, b, 0).y() > 1.5 * l.lineH);
    }
    // And there are not needlessly few of them: with room for many, the steps stay fine.
    if (size.width() > 1000 && !in3D) {
        QVERIFY(l.xTicks.size() >= 10);
        QVERIFY(l.yTicks.size() >= 10);
    }
}

void TstTChart::oneRepaintForManyPoints()
{
    TChart c;
    c.resize(400, 300);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    QTest::qWait(50);
    PaintCounter counter;
    c.installEventFilter(&counter);
    c.Series(0)->SetActive(true);
    for (int i = 0; i < 300; ++i)
        for (int k = 0; k < 3; ++k)
            c.Series(k)->AddXY(T0 + i * Second, 10 + k, QString(), Red);
    QTest::qWait(50);
    QCOMPARE(counter.paints, 1);

    // Nothing visible changed: no repaint.
    counter.paints = 0;
    c.Series(5)->AddXY(T0, 1, QString(), Red); // hidden series
    c.SetLeftAxisMax(c.LeftAxisMax());
    c.SetRotation(300); // 3D is off
    c.SetZoom(200);
    c.Series(0)->SetActive(true);
    QTest::qWait(50);
    QCOMPARE(counter.paints, 0);

    c.SetLeftAxisMax(100);
    c.SetView3D(true);
    QTest::qWait(50);
    QCOMPARE(counter.paints, 1);
    c.removeEventFilter(&counter);
}

void TstTChart::segmentTakesItsPointsColour_data()
{
    QTest::addColumn<bool>("in3D");
    QTest::newRow("2D") << false;
    QTest::newRow("3D") << true;
}

void TstTChart::segmentTakesItsPointsColour()
{
    QFETCH(bool, in3D);
    TChart c;
    c.SetLeftAxisMax(300);
    c.SetView3D(in3D);
    c.SetOrthogonal(false);
    TChartSeries *s = c.Series(0);
    s->SetActive(true);
    // The first point's colour has no segment; each later one colours the segment to it.
    s->AddXY(T0, 100, QString(), Red);
    s->AddXY(T0 + 20 * Second, 200, QString(), Green);
    s->AddXY(T0 + 40 * Second, 150, QString(), Blue);
    s->AddXY(T0 + 60 * Second, 150, QString(), Blue);
    const QImage img = Render(c);
    const Blob red = Find(img, Hue::Red), green = Find(img, Hue::Green),
               blue = Find(img, Hue::Blue);
    QCOMPARE(red.count, 0);
    QVERIFY(green.count > 50);
    QVERIFY(blue.count > 2 * green.count / 2);
    // Green runs over the first third, blue over the rest; in 3D the ribbon's far edge
    // reaches a little further right.
    if (in3D)
        QVERIFY(green.minX < blue.minX - 50 && green.Centre().x() < blue.Centre().x() - 50);
    else
        QVERIFY(green.maxX <= blue.minX + 3);
    QVERIFY(blue.maxX - blue.minX > green.maxX - green.minX);
    // The green segment rises: its right end is higher than its left end.
    int leftY = -1, rightY = -1;
    for (int y = 0; y < img.height(); ++y) {
        if (Classify(img.pixel(green.minX + 2, y)) == Hue::Green && leftY < 0)
            leftY = y;
        if (Classify(img.pixel(green.maxX - 2, y)) == Hue::Green && rightY < 0)
            rightY = y;
    }
    QVERIFY(leftY > rightY + 20);
}

void TstTChart::hiddenSeriesAndOutOfRangeValuesAreNotDrawn()
{
    for (bool in3D : {false, true}) {
        TChart c;
        c.SetView3D(in3D);
        c.SetLeftAxisMax(300);
        c.Series(0)->SetActive(true);
        // Climbs far above the axis maximum: cut at the top of the box.
        c.Series(0)->AddXY(T0, 100, QString(), Blue);
        c.Series(0)->AddXY(T0 + 10 * Second, 3000, QString(), Blue);
        Flat(c.Series(1), 50, Red); // not active
        const QImage img = Render(c);
        QCOMPARE(Find(img, Hue::Red).count, 0);
        const Blob blue = Find(img, Hue::Blue);
        QVERIFY(blue.count > 20);
        QVERIFY2(blue.minY > 10, qPrintable(QString::number(blue.minY)));
    }
}

void TstTChart::backRibbonLiesUpRight_data()
{
    QTest::addColumn<bool>("ortho");
    QTest::addColumn<int>("rotation");
    QTest::newRow("perspective") << false << 345;
    QTest::newRow("oblique") << true << 345;
    QTest::newRow("perspective, turned further") << false << 320;
}

void TstTChart::backRibbonLiesUpRight()
{
    QFETCH(bool, ortho);
    QFETCH(int, rotation);
    TChart c;
    c.SetLeftAxisMax(300);
    c.SetView3D(true);
    c.SetOrthogonal(ortho);
    c.SetRotation(rotation);
    c.SetChart3DPercent(60);
    // Series 0 is in front, series 1 behind it, at the same voltage.
    for (int k : {0, 1}) {
        c.Series(k)->SetActive(true);
        Flat(c.Series(k), 150, k == 0 ? Green : Blue);
    }
    const QImage img = Render(c);
    const Blob front = Find(img, Hue::Green), back = Find(img, Hue::Blue);
    QVERIFY(front.count > 100);
    QVERIFY(back.count > 100);
    QVERIFY2(back.Centre().x() > front.Centre().x() + 5, "back ribbon not to the right");
    QVERIFY2(back.Centre().y() < front.Centre().y() - 5, "back ribbon not higher");
    // A ribbon, not a line: seen from above, the upper side shows some depth.
    QVERIFY(front.maxY - front.minY > 6);

    // In 2D the same traces lie on one another.
    c.SetView3D(false);
    const QImage flat = Render(c);
    const Blob f2 = Find(flat, Hue::Green), b2 = Find(flat, Hue::Blue);
    QVERIFY(b2.count > 100);
    QVERIFY(f2.count == 0 || std::fabs(f2.Centre().y() - b2.Centre().y()) < 2);
}

void TstTChart::zoomAndUndoByMouse_data()
{
    QTest::addColumn<bool>("in3D");
    QTest::newRow("2D") << false;
    QTest::newRow("3D") << true;
}

void TstTChart::zoomAndUndoByMouse()
{
    QFETCH(bool, in3D);
    TChart c;
    c.SetAnimatedZoom(false);
    c.SetView3D(in3D);
    c.SetOrthogonal(false);
    c.resize(800, 500);
    c.Series(0)->SetActive(true);
    Flat(c.Series(0), 120, Red, 121);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    const TChartRange full = c.ViewRange();

    // A click is not a zoom.
    QTest::mouseClick(&c, Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
    QVERIFY(!c.Zoomed());

    // Left to right and downwards over the middle: a smaller window inside the old one.
    Drag(&c, QPoint(300, 150), QPoint(500, 300));
    QVERIFY(c.Zoomed());
    const TChartRange z = c.ViewRange();
    QVERIFY(z.xMin > full.xMin && z.xMax < full.xMax);
    QVERIFY(z.yMin > full.yMin && z.yMax < full.yMax);
    QVERIFY((z.xMax - z.xMin) < 0.5 * (full.xMax - full.xMin));
    QVERIFY((z.xMin + z.xMax) / 2 > full.xMin + 0.3 * (full.xMax - full.xMin));
    QVERIFY((z.xMin + z.xMax) / 2 < full.xMin + 0.8 * (full.xMax - full.xMin));
    // The upper part of the window is the higher voltage.
    QVERIFY(z.yMax > 0.3 * full.yMax);
    QVERIFY(z.yMin < 0.8 * full.yMax);

    // New points do not move a zoomed window.
    c.Series(0)->AddXY(T0 + 300 * Second, 10, QString(), Red);
    QCOMPARE(c.ViewRange().xMax, z.xMax);

    // Right to left undoes the zoom; the automatic range now includes the new point.
    Drag(&c, QPoint(500, 300), QPoint(300, 150));
    QVERIFY(!c.Zoomed());
    QCOMPARE(c.ViewRange().xMax, T0 + 300 * Second);
    QCOMPARE(c.ViewRange().yMax, full.yMax);
}

void TstTChart::zoomIsAnimated()
{
    TChart c;
    QVERIFY(c.AnimatedZoom());
    c.Series(0)->SetActive(true);
    Flat(c.Series(0), 120, Red, 121);
    const TChartRange full = c.ViewRange();
    TChartRange target{T0 + 20 * Second, T0 + 40 * Second, 100, 150};
    c.ZoomTo(target);
    QVERIFY(c.Zoomed());
    // Not there at once, there within a fraction of a second.
    QVERIFY(c.ViewRange().xMax - c.ViewRange().xMin > 1.5 * (target.xMax - target.xMin));
    QTRY_VERIFY_WITH_TIMEOUT(std::fabs(c.ViewRange().xMax - target.xMax) < 1e-9 &&
                                 std::fabs(c.ViewRange().yMin - target.yMin) < 1e-9,
                             2000);
    c.UndoZoom();
    QVERIFY(c.Zoomed()); // still on the way back
    QTRY_VERIFY_WITH_TIMEOUT(!c.Zoomed(), 2000);
    QCOMPARE(c.ViewRange().xMin, full.xMin);
    QCOMPARE(c.ViewRange().yMax, full.yMax);
}

void TstTChart::printAreaHonoursMargins_data()
{
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<bool>("proportional");
    QTest::addColumn<QSizeF>("screen");
    QTest::addColumn<QRectF>("area");
    const QSizeF screen(800, 400);
    QTest::newRow("3 percent, filling")
        << QMargins(3, 3, 3, 3) << false << screen << QRectF(30, 60, 940, 1880);
    QTest::newRow("uneven, filling")
        << QMargins(10, 5, 20, 15) << false << screen << QRectF(100, 100, 700, 1600);
    // Keeps 2:1 inside 700 x 1600, centred.
    QTest::newRow("uneven, proportional")
        << QMargins(10, 5, 20, 15) << true << screen << QRectF(100, 725, 700, 350);
    QTest::newRow("proportional, no screen size")
        << QMargins(0, 0, 0, 0) << true << QSizeF() << QRectF(0, 0, 1000, 2000);
}

void TstTChart::printAreaHonoursMargins()
{
    QFETCH(QMargins, margins);
    QFETCH(bool, proportional);
    QFETCH(QSizeF, screen);
    QFETCH(QRectF, area);
    const QRectF got = TChart::PrintArea(QRectF(0, 0, 1000, 2000), margins, proportional, screen);
    QVERIFY2(std::fabs(got.left() - area.left()) < 1e-6 &&
                 std::fabs(got.top() - area.top()) < 1e-6 &&
                 std::fabs(got.width() - area.width()) < 1e-6 &&
                 std::fabs(got.height() - area.height()) < 1e-6,
             qPrintable(QStringLiteral("%1 %2 %3 %4")
                            .arg(got.left())
                            .arg(got.top())
                            .arg(got.width())
                            .arg(got.height())));
}

void TstTChart::printsIntoPdf()
{
    TChart c;
    c.resize(800, 400);
    c.SetLeftAxisTitle(QStringLiteral("U [V]"));
    c.Series(0)->SetActive(true);
    Flat(c.Series(0), 120, Blue, 121);
    c.SetPrintMargins(10, 5, 20, 15);
    c.SetPrintProportional(false);
    QRectF seen;
    c.SetRenderObserver([&seen](const QRectF &r) { seen = r; });

    const QString file = m_dir.filePath(QStringLiteral("chart.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setFullPage(true);
    printer.setPageOrientation(QPageLayout::Landscape);
    const QRectF area = c.Print(printer);
    const double pw = printer.width(), ph = printer.height();
    const QRectF expected(0.10 * pw, 0.05 * ph, 0.70 * pw, 0.80 * ph);
    QCOMPARE(seen, area);
    QVERIFY(std::fabs(area.left() - expected.left()) < 1e-6);
    QVERIFY(std::fabs(area.top() - expected.top()) < 1e-6);
    QVERIFY(std::fabs(area.right() - expected.right()) < 1e-6);
    QVERIFY(std::fabs(area.bottom() - expected.bottom()) < 1e-6);

    QFile pdf(file);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.size() > 1000);
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
    pdf.close();

    // Where a PDF renderer is installed, look at the page itself: the chart's frame sits
    // on the margins, and the trace is drawn.
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty())
        QSKIP("pdftoppm not installed; page content not checked");
    const int dpi = 50;
    QProcess proc;
    proc.start(pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                          QStringLiteral("-singlefile"), file, m_dir.filePath("page")});
    QVERIFY(proc.waitForFinished(20000));
    QCOMPARE(proc.exitCode(), 0);
    const QImage page(m_dir.filePath(QStringLiteral("page.png")));
    QVERIFY(!page.isNull());
    const double k = double(dpi) / printer.resolution();
    int minX = page.width(), maxX = -1, minY = page.height(), maxY = -1;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 245) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    QVERIFY(std::abs(minX - expected.left() * k) <= 2);
    QVERIFY(std::abs(maxX + 1 - expected.right() * k) <= 2);
    QVERIFY(std::abs(minY - expected.top() * k) <= 2);
    QVERIFY(std::abs(maxY + 1 - expected.bottom() * k) <= 2);
    QVERIFY(Find(page, Hue::Blue).count > 30);
}

void TstTChart::previewDrawsThroughRender()
{
    TChart c;
    c.resize(600, 300);
    c.Series(0)->SetActive(true);
    Flat(c.Series(0), 120, Blue);
    int renders = 0;
    QRectF lastRect;
    c.SetRenderObserver([&](const QRectF &r) {
        ++renders;
        lastRect = r;
    });
    c.SetPrintMargins(3, 3, 3, 3);
    c.SetPrintProportional(false);
    bool sawPreview = false;
    QTimer poll;
    int waited = 0;
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dlg = qobject_cast<QPrintPreviewDialog *>(modal);
        waited += 20;
        if (!dlg && waited < 5000)
            return;
        sawPreview = dlg != nullptr;
        if (dlg && renders == 0 && waited < 5000)
            return;
        if (dlg)
            dlg->reject();
        poll.stop();
    });
    poll.start(20);
    c.PrintPreview(nullptr);
    poll.stop();
    QVERIFY(sawPreview);
    QVERIFY(renders > 0);
    // Drawn at the printer's resolution, far larger than the widget.
    QVERIFY(lastRect.width() > 3 * c.width());
    QVERIFY(lastRect.left() > 0);
}

void TstTChart::pixelFontPrintsAtItsScreenSize_data()
{
    QTest::addColumn<bool>("pdf");
    QTest::addColumn<bool>("in3D");
    for (bool pdf : {true, false})
        for (bool in3D : {false, true})
            QTest::addRow("%s %s", pdf ? "pdf printer" : "600 dpi image", in3D ? "3D" : "2D")
                << pdf << in3D;
}

// The window font may be set in pixels; printed, it must keep the size it has on the
// screen, with as many ticks as there, not turn into specks among hundreds of grid lines.
void TstTChart::pixelFontPrintsAtItsScreenSize()
{
    QFETCH(bool, pdf);
    QFETCH(bool, in3D);
    QFont points = QApplication::font();
    points.setPointSizeF(9);
    QFont pixels = points;
    pixels.setPixelSize(12); // 9 pt on a 96 dpi screen

    TChart c;
    c.resize(800, 400);
    c.SetView3D(in3D);
    c.SetLeftAxisTitle(QStringLiteral("U [V]"));
    c.Series(0)->SetActive(true);
    for (int i = 0; i <= 360; ++i)
        c.Series(0)->AddXY(T0 + 10 * i * Second, 100 + i % 50, QString(), Blue);
    c.SetPrintProportional(true);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("font.pdf")));
    printer.setPageOrientation(QPageLayout::Landscape);
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(int(std::lround(600 / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(600 / 0.0254)));
    QPaintDevice *device = pdf ? static_cast<QPaintDevice *>(&printer) : &image;
    const double k = device->logicalDpiY() / 96.0;
    QVERIFY(k > 5);

    QImage screen(c.size(), QImage::Format_ARGB32_Premultiplied);
    const QRectF screenRect(screen.rect());
    const QRectF page(screenRect.topLeft() * k, screenRect.size() * k);
    struct Seen
    {
        ChartRender::TLayout onScreen, onPage;
    };
    auto layouts = [&](const QFont &f) {
        c.setFont(f);
        if (pdf)
            c.Print(printer); // the drawing itself must go through at this resolution
        return Seen{ChartRender::Compute(c, &screen, screenRect),
                    ChartRender::Compute(c, device, page)};
    };
    const Seen pt = layouts(points), px = layouts(pixels);

    // On the screen both fonts are the same size.
    QCOMPARE(px.onScreen.lineH, pt.onScreen.lineH);
    QCOMPARE(px.onScreen.xTicks.size(), pt.onScreen.xTicks.size());
    // On the page the pixel font grows with the resolution exactly like the point font...
    QVERIFY2(std::fabs(px.onPage.lineH - pt.onPage.lineH) < 0.02 * pt.onPage.lineH,
             qPrintable(QStringLiteral("%1 / %2").arg(px.onPage.lineH).arg(pt.onPage.lineH)));
    QCOMPARE(px.onPage.xTicks.size(), pt.onPage.xTicks.size());
    QCOMPARE(px.onPage.yTicks.size(), pt.onPage.yTicks.size());
    // ...and keeps its share of the page it had of the window, with about as many ticks.
    const double share =
        px.onPage.lineH / page.height() / (px.onScreen.lineH / screenRect.height());
    QVERIFY2(share > 0.8 && share < 1.25, qPrintable(QString::number(share)));
    QVERIFY2(std::abs(px.onPage.xTicks.size() - px.onScreen.xTicks.size()) <=
                 px.onScreen.xTicks.size() / 2 + 1,
             qPrintable(QStringLiteral("%1 ticks printed, %2 on screen")
                            .arg(px.onPage.xTicks.size())
                            .arg(px.onScreen.xTicks.size())));
    QVERIFY(px.onScreen.xTicks.size() >= 3);
}

QTEST_MAIN(TstTChart)
#include "tst_tchart.moc"
