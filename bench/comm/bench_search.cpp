// The line search on a line not yet in use: 13 sources answering among its 32 addresses
// (the simulator at the real 9600 bit/s), the tick at its 25 ms. Goal: searched in under 8 s.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_search [--runs N]

#include "liverig.h"
#include "scheduler.h"
#include "search.h"
#include "strtable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int runs = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--runs")
            runs = QByteArray(argv[i + 1]).toInt();
    const QList<int> answering = {0, 2, 5, 7, 10, 12, 15, 18, 21, 24, 27, 29, 31};
    QStringList sources;
    for (int a : answering)
        sources << QStringLiteral("addr=%1").arg(a);
    LiveRig rig;
    const QString err = rig.Start({sources}, {QStringLiteral("--pace")});
    if (!err.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 1;
    }
    TextDevNo = LoadStr(sDevNo, lsEnglish);
    TAfComPort *port = rig.main.dm.Port(1);
    QList<int> all;
    for (int a = 0; a <= 31; ++a)
        all << a;
    std::printf("== line search: 13 of 32 addresses answering, 9600 bit/s, 25 ms tick\n");
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        port->SetComNumber(1);
        port->Open();
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(25);
        QEventLoop loop;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            ServeLines();
            if (!Searching(1))
                loop.quit();
        });
        QElapsedTimer t;
        t.start();
        StartSearch(1, all);
        tick.start();
        loop.exec();
        const double s = double(t.elapsed()) / 1000.0;
        const bool all13 = SearchOf(1).Found.keys() == answering;
        failures += all13 && s < 8 ? 0 : 1;
        std::printf("run %d: %.2f s, %lld found%s   (goal < 8 s)\n", run + 1, s,
                    qlonglong(SearchOf(1).Found.size()), all13 ? "" : " (NOT all 13)");
    }
    return failures ? 1 : 0;
}
