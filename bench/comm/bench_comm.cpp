// How fast the line conversation goes against the simulator paced at 9600 bit/s, through
// the real serial layer, with the tick run as the application runs it (25 ms, the timer
// stopped during a pass):
//   1. requests per second on each of two lines with one source each;
//   2. the time from a voltage SET to its frame on the wire.
// Usage: bench_comm [seconds for part 1, default 10] [SET trials, default 40]

#include "liverig.h"
#include "logview.h"
#include "panelview.h"
#include "scheduler.h"
#include "strtable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

QElapsedTimer Clock;
double NowMs()
{
    return double(Clock.nsecsElapsed()) / 1e6;
}

// Runs the event loop for ms, or until the condition holds (looked at every 2 ms).
void Wait(double ms, const std::function<bool()> &until = {})
{
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    end.start(int(ms));
    QTimer check;
    if (until) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (until())
                loop.quit();
        });
        check.start(2);
    }
    loop.exec();
}

struct Sent
{
    int line;
    double before; // our clock just before the pass that wrote it
    long tick;
    QByteArray command;
};

// A port without a device, for the program's own cost per request and reply.
class MemPort : public TAfComPort
{
public:
    using TAfComPort::TAfComPort;
    bool Active() const override { return true; }
    void Open() override {}
    void Close() override {}
    int ReadData(char *buffer, int count) override
    {
        const int n = std::min(count, int(rx.size() - pos));
        std::memcpy(buffer, rx.constData() + pos, size_t(n));
        pos += n;
        return n;
    }
    void WriteData(const char *, int count) override { written += count; }
    QByteArray rx;
    qsizetype pos = 0;
    qint64 written = 0;
};

// The command of the frame in a sent-log entry ("...: @05NAP???01↵" gives "NAP").
QByteArray SplitCommand(const QString &entry)
{
    const int at = int(entry.indexOf(QLatin1Char('@')));
    const QByteArray f = entry.mid(at + 3).toLatin1();
    for (const char *c : {"NAP", "OUT", "STA", "TOL", "ID"})
        if (f.startsWith(c))
            return c;
    return "?";
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double runSeconds = argc > 1 ? atof(argv[1]) : 10.0;
    const int trials = argc > 2 ? atoi(argv[2]) : 40;

    // Part 0: the program's own work per request and reply (tick pass with the request,
    // reply assembly, parsing, panel and log), on a port without a device.
    {
        MainRig rig;
        TextDevNo = LoadStr(sDevNo, lsEnglish);
        auto *port = new MemPort(&rig.dm);
        rig.dm.PortA = port;
        rig.Connect(1, 5);
        const QByteArray replies[5] = {"#05OUT1\r", "#05STA0\r", "#05NAP012\r",
                                       "#05TYPZDR300-SVC1005\r", "#05TOL3\r"};
        const int pairs = 20000;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < pairs; ++i) {
            Lines[1].Countdown = 0;
            ServeLine(1);
            const int32_t state = Devices[1].ReqState;
            port->rx = replies[(state % 10 + 4) % 5];
            port->pos = 0;
            PortADataRecived(port, int32_t(port->rx.size()));
            DrawDirtyPanels();
            RefreshLog();
        }
        const double us = double(t.nsecsElapsed()) / 1e3 / pairs;
        std::printf("program's own work per request and reply: %.1f us (%d pairs)\n", us, pairs);
    }

    LiveRig rig;
    const QString err =
        rig.Start({{"addr=5,u=12,out=1,slew=0"}, {"addr=6,u=30,out=1,slew=0"}}, {"--pace"});
    if (!err.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 1;
    }
    Clock.start();
    const double simStart = NowMs(); // the simulator's clock began a little before this

    TextDevNo = LoadStr(sDevNo, lsEnglish);
    TextNoAnswer = LoadStr(sNoAnswer, lsEnglish);
    TDMBase &dm = rig.main.dm;
    dm.TSystem->setTimerType(Qt::PreciseTimer);
    // Each reply's completion on our side, to part the wire from the program.
    QList<double> done[3];
    dm.PortA->OnDataRecived = [&done](QObject *sender, int32_t count) {
        const bool waiting = Lines[1].Waiting;
        PortADataRecived(sender, count);
        if (waiting && !Lines[1].Waiting)
            done[1] << NowMs();
    };
    dm.PortB->OnDataRecived = [&done](QObject *sender, int32_t count) {
        const bool waiting = Lines[2].Waiting;
        PortBDataRecived(sender, count);
        if (waiting && !Lines[2].Waiting)
            done[2] << NowMs();
    };
    for (int line = 1; line <= 2; ++line)
        rig.main.Connect(line, line == 1 ? 5 : 6);

    // The tick, as the application runs it.
    QList<Sent> sent;
    long ticks = 0;
    double firstTick = 0, lastTick = 0;
    QObject::connect(dm.TSystem, &QTimer::timeout, [&] {
        dm.TSystem->stop();
        const double before = NowMs();
        if (ticks++ == 0)
            firstTick = before;
        lastTick = before;
        ServeLines();
        RefreshLog();
        for (int l = 1; l <= 2; ++l)
            if (Lines[l].Waiting && Lines[l].Countdown == ReplyTimeout)
                sent << Sent{l, before, ticks,
                             SplitCommand(FormMain->SentMemo(l)->document()->firstBlock().text())};
        dm.TSystem->start();
    });
    dm.TSystem->start();

    // Part 1: free running.
    Wait(runSeconds * 1000);
    const long ticks1 = ticks;
    const double tickPeriod = (lastTick - firstTick) / double(ticks1 - 1);
    const QList<SimFrame> frames1 = rig.sim.Frames();

    // Part 2: SET at random moments on line A; each value once, so its frame is known.
    std::map<int, double> setAt; // value -> our time of the SET
    for (int i = 0; i < trials; ++i) {
        const int v = 100 + i;
        Wait(QRandomGenerator::global()->bounded(0, 150));
        Devices[1].USet = v;
        Devices[1].PendU = true;
        setAt[v] = NowMs();
        Wait(3000, [v] { return Devices[1].U == v; });
    }
    dm.TSystem->stop();
    const QList<SimFrame> frames = rig.sim.Frames();

    // The simulator's clock against ours: no frame reaches it before we wrote it.
    double offset = 1e18;
    {
        QList<double> rx[3];
        for (const SimFrame &f : frames)
            if (f.kind == "RX" && f.line >= 1 && f.line <= 2)
                rx[f.line] << double(f.ms);
        int idx[3] = {0, 0, 0};
        for (const Sent &s : sent) {
            if (idx[s.line] < rx[s.line].size())
                offset = std::min(offset, rx[s.line][idx[s.line]] - s.before);
            ++idx[s.line];
        }
    }

    std::printf("simulator paced at 9600 bit/s, replies at once; tick 25 ms, pause 50 ms\n");
    std::printf("mean tick period: %.2f ms over %ld ticks\n", tickPeriod, ticks1);
    for (int line = 1; line <= 2; ++line) {
        QList<qint64> t;
        qint64 txBytes = 0;
        int txCount = 0;
        for (const SimFrame &f : frames1)
            if (f.line == line && f.kind == "RX")
                t << f.ms;
            else if (f.line == line && f.kind == "TX")
                txBytes += f.text.size(), ++txCount;
        if (t.size() < 2)
            continue;
        const double rate = double(t.size() - 1) * 1000.0 / double(t.last() - t.first());
        const double perTurnIdeal = 3 * 25.0;
        std::printf("line %c: %lld requests, %.2f requests/s (%.1f ms each); mean reply %.1f "
                    "bytes = %.1f ms on the wire\n",
                    'A' + line - 1, qlonglong(t.size()), rate, 1000.0 / rate,
                    double(txBytes) / txCount, double(txBytes) / txCount * 10.0 / 9.6);
        std::printf("  bound 3 ticks per request: %.2f requests/s at 25 ms, %.2f at the "
                    "measured tick; reached %.1f %% / %.1f %%\n",
                    1000.0 / perTurnIdeal, 1000.0 / (3 * tickPeriod),
                    100.0 * rate / (1000.0 / perTurnIdeal),
                    100.0 * rate / (1000.0 / (3 * tickPeriod)));
    }

    // Ticks from each request to the next on its line, by the command of the first.
    std::map<QByteArray, std::map<long, int>> gaps;
    for (int line = 1; line <= 2; ++line) {
        const Sent *prev = nullptr;
        for (const Sent &s : sent) {
            if (s.line != line || s.tick > ticks1)
                continue;
            if (prev)
                ++gaps[prev->command][s.tick - prev->tick];
            prev = &s;
        }
    }
    std::printf("ticks from a request to the next, by command (both lines):");
    for (const auto &[cmd, hist] : gaps) {
        std::printf("\n  %-3s", cmd.constData());
        for (const auto &[n, count] : hist)
            std::printf("  %ld ticks: %d", n, count);
    }
    std::printf("\n");

    // From the reply's last byte leaving the simulator to the reply parsed here.
    {
        QList<double> delay;
        for (int line = 1; line <= 2; ++line) {
            int i = 0;
            for (const SimFrame &f : frames1) {
                if (f.line != line || f.kind != "TX")
                    continue;
                if (i >= done[line].size())
                    break;
                const double lastByte = double(f.ms) - offset + (f.text.size() - 1) * 10.0 / 9.6;
                delay << done[line][i++] - lastByte;
            }
        }
        std::sort(delay.begin(), delay.end());
        if (!delay.isEmpty())
            std::printf("last reply byte sent to reply parsed: median %.1f ms, 90th %.1f ms "
                        "(simulator clock in whole ms)\n",
                        delay[delay.size() / 2], delay[delay.size() * 9 / 10]);
    }

    QList<double> lat;
    for (const SimFrame &f : frames)
        if (f.line == 1 && f.kind == "RX" && f.text.startsWith("@05NAP")) {
            const int v = f.text.mid(6, 3).toInt();
            if (setAt.count(v))
                lat << double(f.ms) - offset - setAt[v];
        }
    std::sort(lat.begin(), lat.end());
    if (!lat.isEmpty()) {
        double sum = 0;
        for (double x : lat)
            sum += x;
        std::printf("SET to frame on the wire (%lld trials): mean %.1f ms, median %.1f ms, "
                    "min %.1f ms, max %.1f ms\n",
                    qlonglong(lat.size()), sum / lat.size(), lat[lat.size() / 2], lat.first(),
                    lat.last());
        std::printf("  bound: the next request of the source, at most one request cycle "
                    "(%.0f ms), on average half of it (%.0f ms)\n",
                    3 * tickPeriod, 1.5 * tickPeriod);
    }
    std::printf("clock offset simulator - bench: %.1f ms (start seen %.1f ms after launch)\n",
                offset, simStart);

    return 0;
}
