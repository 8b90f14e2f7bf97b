// What the chart page and the recording cost on the interface thread, with 50 sources:
//   1. one chart sample in steady state (every series adds one point and drops one);
//   2. a tick inside the same second (the sample returns at once);
//   3. one recording row (open, append, close), and a chart value export of full series.
// Runs in a temporary folder. Usage: QT_QPA_PLATFORM=offscreen bench_chart [samples, 2000]

#include "chartpage.h"
#include "controls.h"
#include "export.h"
#include "forms.h"
#include "global.h"
#include "recording.h"
#include "sysutils.h"
#include "tchart.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    TFormMainBase main;
    main.Page2 = new QWidget;
    main.setCentralWidget(main.Page2);
    FormMain = &main;
    BuildChartPage(&main);
    InitTables();
    for (int s = 1; s <= MaxDevices; ++s) {
        Devices[s].Used = Devices[s].InChart = true;
        Devices[s].Address = s % 32;
        Devices[s].PanelCol = new TPanel(&main);
        Devices[s].PanelCol->SetColor(QColor::fromHsv(s * 7, 255, 200));
        main.Graf->Series(s - 1)->SetActive(true);
    }
    ChartWindow = 300;
    QDateTime now(QDate(2026, 12, 6), QTime(8, 0, 0, 100));
    SetClockSource([&now] { return now; });
    // Fill the span first, so that the measured samples trim as well as add.
    for (int i = 0; i < 301; ++i) {
        SampleChart();
        now = now.addSecs(1);
    }

    QElapsedTimer t;
    t.start();
    for (int i = 0; i < samples; ++i) {
        for (int s = 1; s <= MaxDevices; ++s)
            Devices[s].U = 100 + 50 * std::sin(i * 0.1 + s);
        SampleChart();
        now = now.addSecs(1);
    }
    const double perSample = t.nsecsElapsed() / 1e3 / samples;
    std::printf("sample, 50 series of %d points: %.1f us\n", main.Graf->Series(0)->Count(),
                perSample);

    t.restart();
    const int sameSecond = samples * 40;
    for (int i = 0; i < sameSecond; ++i)
        SampleChart(); // the clock stands still: same second
    std::printf("tick within the same second: %.3f us\n", t.nsecsElapsed() / 1e3 / sameSecond);

    StartRecording(1);
    t.restart();
    for (int i = 0; i < samples; ++i) {
        Devices[1].U = i;
        WriteRecordRow(1);
    }
    std::printf("recording row (open, append, close): %.1f us\n", t.nsecsElapsed() / 1e3 / samples);

    t.restart();
    ButtSaveGrafClick();
    std::printf("export of 50 x %d points: %.1f ms, %lld bytes\n", main.Graf->Series(0)->Count(),
                t.nsecsElapsed() / 1e6, QFileInfo(ExportFileName).size());
    SetClockSource({});
    QDir::setCurrent(QDir::rootPath());
    return 0;
}
