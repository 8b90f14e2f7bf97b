// Frame time of the chart engine: 50 series of 301 points each (five minutes of one-second
// samples), rendered into a 1200 x 800 image in 2D and in 3D, with steady and with noisy
// voltages, and with the whole-program benchmark's saw tooth. Run by hand:
//   bench_chartengine [frames] [--points N] [--view 0|1|2] [--save folder]
// (--view: only 2D, 3D perspective or 3D oblique; --save: PNGs of each view).
// Prints the median wall time of a frame and the processor time per frame; on a shared
// machine the processor time is the steadier figure.

#include "datetimelabel.h"
#include "tchart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

enum class TData { Steady, Noisy, Saw };

const char *Name(TData d)
{
    return d == TData::Steady ? "steady" : d == TData::Noisy ? "noisy" : "saw";
}

// Steady: slow waves; noisy: the same with ±10 V of noise; saw: the whole-program
// benchmark's one-hour fill, a 7 V saw tooth of seven points on each series' own level.
void Fill(TChart &chart, TData data, int points)
{
    const double start = ChartMath::EncodeDateTime(QDate(2024, 3, 18), QTime(10, 15, 0));
    QRandomGenerator rng(7);
    for (int k = 0; k < TChart::SeriesMax; ++k) {
        TChartSeries *s = chart.Series(k);
        s->Clear();
        s->SetActive(true);
        const QColor colour = QColor::fromHsv((k * 47) % 360, 200, 230);
        const QColor later = QColor::fromHsv((k * 47 + 180) % 360, 200, 200);
        const double level = 20 + 5 * k;
        for (int i = 0; i < points; ++i) {
            double u = level + 30 * std::sin((i + 7 * k) / 25.0);
            if (data == TData::Noisy)
                u += rng.bounded(20.0) - 10;
            if (data == TData::Saw)
                u = 21 + k + (points - i) % 7;
            s->AddXY(start + i / 86400.0, u, QString(), i < points * 2 / 3 ? colour : later);
        }
    }
}

double ProcessMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct TFigures
{
    double wallMedian, wallMin, cpuMean;
};

TFigures TimeFrames(TChart &chart, QImage &img, int frames)
{
    std::vector<double> wall;
    const double cpu0 = ProcessMs();
    for (int f = 0; f < frames; ++f) {
        QElapsedTimer t;
        t.start();
        QPainter p(&img);
        chart.render(p, QRectF(img.rect()));
        p.end();
        wall.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const double cpu = (ProcessMs() - cpu0) / frames;
    const double least = *std::min_element(wall.begin(), wall.end());
    std::nth_element(wall.begin(), wall.begin() + wall.size() / 2, wall.end());
    return {wall[wall.size() / 2], least, cpu};
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int frames = 100;
    int points = 301;
    int onlyView = -1; // 0 2D, 1 3D perspective, 2 3D oblique; -1 all
    QString saveDir;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--save") && i + 1 < argc)
            saveDir = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--view") && i + 1 < argc)
            onlyView = atoi(argv[++i]);
        else if (a == QLatin1String("--points") && i + 1 < argc)
            points = std::max(2, atoi(argv[++i]));
        else
            frames = std::max(1, a.toInt());
    }
    TChart chart;
    chart.resize(1200, 800);
    chart.SetLeftAxisMax(300);
    chart.SetLeftAxisTitle(QStringLiteral("U [V]"));
    chart.SetOrthogonal(false);
    QImage img(1200, 800, QImage::Format_ARGB32_Premultiplied);

    std::printf("chart engine, 50 series x %d points, 1200x800, %d frames each\n", points, frames);
    for (TData data : {TData::Steady, TData::Noisy, TData::Saw}) {
        Fill(chart, data, points);
        for (int mode = 0; mode < 3; ++mode) {
            if (onlyView >= 0 && mode != onlyView)
                continue;
            chart.SetView3D(mode > 0);
            chart.SetOrthogonal(mode == 2);
            TimeFrames(chart, img, 3); // warm up fonts and caches
            const TFigures ms = TimeFrames(chart, img, frames);
            const char *name = mode == 0 ? "2D" : mode == 1 ? "3D perspective" : "3D orthogonal";
            std::printf("%-16s %-7s wall %7.2f ms (median) %7.2f (least)  processor %7.2f ms per "
                        "frame\n",
                        name, Name(data), ms.wallMedian, ms.wallMin, ms.cpuMean);
            if (!saveDir.isEmpty())
                img.save(QStringLiteral("%1/chart_%2_%3.png")
                             .arg(saveDir)
                             .arg(mode)
                             .arg(QLatin1String(Name(data))));
        }
    }
    return 0;
}
