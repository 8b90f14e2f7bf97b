// A trace with many more points than the chart has pixel columns (an hour of one-second
// points on a narrow chart) is drawn column by column from its lowest to its highest
// point: a single-point spike or dip must still show, in 2D and in 3D, and the trace must
// still reach across the whole time span.

#include "datetimelabel.h"
#include "tchart.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QTest>

class TstDenseTrace : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void extremesShow_data();
    void extremesShow();
};

namespace {

struct TExtent
{
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
};

// Where the pixels of the trace colour (pure red, or its darker faces in 3D) lie.
TExtent RedExtent(const QImage &img)
{
    TExtent e;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = row[x];
            if (qRed(c) > 90 && qGreen(c) < 60 && qBlue(c) < 60) {
                e.top = std::min(e.top, y);
                e.bottom = std::max(e.bottom, y);
                e.left = std::min(e.left, x);
                e.right = std::max(e.right, x);
            }
        }
    }
    return e;
}

// One series of n points a second apart at 100 V, with the given single-point deviations.
QImage Draw(bool view3D, int n, const QList<QPair<int, double>> &deviations)
{
    TChart chart;
    chart.resize(420, 300);
    chart.SetLeftAxisMax(300);
    chart.SetView3D(view3D);
    TChartSeries *s = chart.Series(0);
    s->SetActive(true);
    const double start = ChartMath::EncodeDateTime(QDate(2026, 3, 1), QTime(9, 0, 0));
    for (int i = 0; i < n; ++i) {
        double u = 100;
        for (const auto &[at, value] : deviations)
            if (at == i)
                u = value;
        s->AddXY(start + i / 86400.0, u, QString(), QColor(255, 0, 0));
    }
    QImage img(420, 300, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    chart.render(p, QRectF(img.rect()));
    return img;
}

} // namespace

void TstDenseTrace::extremesShow_data()
{
    QTest::addColumn<bool>("view3D");
    QTest::addColumn<int>("points");
    QTest::newRow("2D, hour") << false << 3600;
    QTest::newRow("3D, hour") << true << 3600;
    QTest::newRow("2D, 20 points a column") << false << 8000;
    QTest::newRow("3D, 20 points a column") << true << 8000;
}

void TstDenseTrace::extremesShow()
{
    QFETCH(bool, view3D);
    QFETCH(int, points);
    const TExtent flat = RedExtent(Draw(view3D, points, {}));
    QVERIFY(flat.bottom >= 0);
    const TExtent spike = RedExtent(Draw(view3D, points, {{points / 3, 250}}));
    const TExtent dip = RedExtent(Draw(view3D, points, {{points * 2 / 3 + 1, 10}}));
    // 150 V of a 300 V axis is far more than 30 pixels on any layout of this chart.
    QVERIFY2(spike.top < flat.top - 30,
             qPrintable(QStringLiteral("spike top %1, flat top %2").arg(spike.top).arg(flat.top)));
    QVERIFY2(dip.bottom > flat.bottom + 30,
             qPrintable(
                 QStringLiteral("dip bottom %1, flat bottom %2").arg(dip.bottom).arg(flat.bottom)));
    // The deviations add height only: the trace spans the same columns.
    QCOMPARE(spike.left, flat.left);
    QCOMPARE(spike.right, flat.right);
    QCOMPARE(dip.left, flat.left);
    QCOMPARE(dip.right, flat.right);
}

QTEST_MAIN(TstDenseTrace)
#include "tst_densetrace.moc"
