// Fifty sources that come back at start: the program started on a settings file whose
// "Sources" section names fifty sources on the four paced simulated lines, and the time
// from the main window's showing until every one of them has answered.

#include "benchreport.h"
#include "fiftysources.h"
#include "wholeprogram.h"

#include "reconnect.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

namespace {
bool AllAnswered()
{
    if (DeviceCount != MaxDevices)
        return false;
    for (int s = 1; s <= MaxDevices; ++s)
        if (!Devices[s].Used || Devices[s].Link != lkAnswering)
            return false;
    return true;
}

// Milliseconds until all fifty answer, or -1 after 20 s; *firstRequest: until the first
// request of the run went out (the start-up's own share). The program's event loop runs as
// in the program, asleep between events: a loop that spun here would take a core from the
// simulator and the ports' threads. Looked at every millisecond.
double UntilAllAnswer(const QElapsedTimer &since, double *firstRequest = nullptr)
{
    bool sent = false;
    double result = -1;
    QEventLoop loop;
    QTimer look;
    look.setTimerType(Qt::PreciseTimer);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (!sent && firstRequest &&
            std::any_of(Lines + 1, Lines + MaxLines + 1,
                        [](const TLines &l) { return l.Waiting; })) {
            sent = true;
            *firstRequest = since.nsecsElapsed() / 1e6;
        }
        if (AllAnswered())
            result = since.nsecsElapsed() / 1e6;
        if (AllAnswered() || since.elapsed() > 20000)
            loop.quit();
    });
    look.start(1);
    loop.exec();
    return result;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int runs = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));

    QList<QPair<int, int>> where;
    const QList<QStringList> lines = FiftySources(where);
    QByteArray section = "[Sources]\r\n";
    for (int slot = 1; slot <= MaxDevices; ++slot) {
        const auto [line, address] = where[slot - 1];
        TSavedSource s{slot, line, line, address, QColor::fromRgb(0x808080), slot % 2 == 1};
        section += (SourceKey(s) + QLatin1Char('=') + SourceValue(s)).toLatin1() + "\r\n";
    }

    std::printf("fifty sources restored at start, four paced lines, %d runs\n", runs);
    WholeProgram prog;
    QElapsedTimer first;
    first.start();
    const QString err = prog.Start(lines, {QStringLiteral("--pace")}, section);
    if (!err.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 1;
    }
    if (UntilAllAnswer(first) < 0) {
        std::fprintf(stderr, "the first start did not bring all fifty back\n");
        return 1;
    }
    std::vector<double> ms, firstRequests;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        prog.Reopen(); // the settings written at the end name the same fifty
        double f = 0;
        const double m = UntilAllAnswer(t, &f);
        firstRequests.push_back(f);
        if (m < 0) {
            std::fprintf(stderr, "run %d: not all fifty answered within 20 s\n", r + 1);
            return 1;
        }
        ms.push_back(m);
    }
    Bench::Report("restore", QStringLiteral("start to all 50 answered, median"), Bench::Median(ms),
                  "ms", Bench::Bound::Max, 3000);
    Bench::Report("restore", QStringLiteral("start to the first request, median"),
                  Bench::Median(firstRequests), "ms");
    Bench::Report("restore", QStringLiteral("start to all 50 answered, worst"),
                  *std::max_element(ms.begin(), ms.end()), "ms", Bench::Bound::Max, 3000);
    prog.Stop();
    return 0;
}
