// The whole program (main window, dialogs, real serial ports) on simulated sources, with
// sources connected through the connection dialog as the operator does it:
//   tick     one tick pass (TSystemTimer) with 50 sources on four lines, every source
//            answering (simulator paced at 9600 bit/s): main page, chart page in 2D and in
//            3D with all 50 series plotted, and both again with one-hour series (3600
//            points, typed into MaxX); median and 99th percentile per run, the median of
//            the runs reported; the steps of the pass apart; the chart frame drawn in 2D and
//            3D at the size the chart has in the window.
//   poll     requests per second on one line with one source, then on four lines polled
//            together (simulator paced, answering at once), against the bound of the tick
//            and the reply pause.
//   latency  from a reply's last byte written to the panel text changed, and from a SET
//            click to its frame on the wire, with a peer of our own on a pseudo-terminal of
//            line B (timestamps of one monotonic clock on both sides) while the simulator
//            serves 49 more sources on lines A, C and D.
// Usage: QT_QPA_PLATFORM=offscreen bench_system [tick|poll|latency ...] [--runs N]
//        [--seconds S]  (all three by default; 3 runs of 8 s each)
// With ARDEMO_BENCH_OUT set, the figures are appended to that file (see benchreport.h).

#include "benchreport.h"
#include "fiftysources.h"
#include "wholeprogram.h"

#include "afcomport.h"
#include "chartpage.h"
#include "controls.h"
#include "sysutils.h"
#include "tchart.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using Bench::Bound;
using Bench::Report;

namespace {

int Runs = 3;
double Seconds = 8;

// Runs the event loop for ms, sleeping while nothing is due, as the program's own loop does.
void Run(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double NowMs()
{
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Context switches of the calling thread so far: taken away by the scheduler
// (involuntary) and given up while waiting (voluntary).
void ThreadSwitches(long &involuntary, long &voluntary)
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    involuntary = u.ru_nivcsw;
    voluntary = u.ru_nvcsw;
}

// The times of the passes and of their steps while it is installed.
struct TTickProbe
{
    std::vector<double> pass, cpu, sample, arrange, programs, serve;
    // Of the passes over 1 ms of wall time: how many there were, how many of them the
    // scheduler interrupted, how many waited for something.
    int slow = 0, slowPreempted = 0, slowWaited = 0;
    double stepSample = 0, stepArrange = 0, stepPrograms = 0, stepServe = 0;
    bool on = false;

    void Install(TDM *dm)
    {
        const TTickSteps orig = dm->Steps;
        auto timed = [](double &acc, auto f) {
            return [&acc, f](auto... a) {
                const double t0 = NowMs();
                f(a...);
                acc += NowMs() - t0;
            };
        };
        dm->Steps.SampleChart = timed(stepSample, orig.SampleChart);
        dm->Steps.ArrangePanels = timed(stepArrange, orig.ArrangePanels);
        dm->Steps.RunPrograms = timed(stepPrograms, orig.RunPrograms);
        dm->Steps.ServeLine = [this, f = orig.ServeLine](int line) {
            const double t0 = NowMs();
            f(line);
            stepServe += NowMs() - t0;
        };
        // The pass itself, timed around the program's own handler.
        QObject::disconnect(dm->TSystem, &QTimer::timeout, dm, &TDM::TSystemTimer);
        QObject::connect(dm->TSystem, &QTimer::timeout, dm, [this, dm] {
            stepSample = stepArrange = stepPrograms = stepServe = 0;
            long inv0, vol0, inv1, vol1;
            ThreadSwitches(inv0, vol0);
            const double t0 = NowMs(), c0 = ThreadCpuMs();
            dm->TSystemTimer();
            const double t = NowMs() - t0, c = ThreadCpuMs() - c0;
            ThreadSwitches(inv1, vol1);
            if (!on)
                return;
            if (t > 1) {
                ++slow;
                slowPreempted += inv1 > inv0 ? 1 : 0;
                slowWaited += vol1 > vol0 ? 1 : 0;
            }
            pass.push_back(t);
            cpu.push_back(c);
            sample.push_back(stepSample);
            arrange.push_back(stepArrange);
            programs.push_back(stepPrograms);
            serve.push_back(stepServe);
        });
    }
    void Clear()
    {
        for (auto *v : {&pass, &cpu, &sample, &arrange, &programs, &serve})
            v->clear();
        slow = slowPreempted = slowWaited = 0;
    }
};

// Runs the scenario Runs times and reports the median over the runs of each run's median
// and 99th percentile of the pass, and the medians of the steps.
void MeasureTicks(TTickProbe &probe, const char *goal, const QString &name)
{
    std::vector<double> med, p99, cpuMed, cpuP99, maxes, sample, arrange, programs, serve, counts;
    int slow = 0, slowPreempted = 0, slowWaited = 0;
    for (int r = 0; r < Runs; ++r) {
        probe.Clear();
        probe.on = true;
        Run(int(Seconds * 1000));
        probe.on = false;
        med.push_back(Bench::Median(probe.pass));
        p99.push_back(Bench::Quantile(probe.pass, 0.99));
        cpuMed.push_back(Bench::Median(probe.cpu));
        cpuP99.push_back(Bench::Quantile(probe.cpu, 0.99));
        maxes.push_back(Bench::Quantile(probe.pass, 1));
        sample.push_back(Bench::Quantile(probe.sample, 0.99));
        arrange.push_back(Bench::Median(probe.arrange));
        programs.push_back(Bench::Median(probe.programs));
        serve.push_back(Bench::Median(probe.serve));
        counts.push_back(double(probe.pass.size()));
        slow += probe.slow;
        slowPreempted += probe.slowPreempted;
        slowWaited += probe.slowWaited;
    }
    Report(goal, name + QStringLiteral(": pass median"), Bench::Median(med), "ms", Bound::Max, 0.5);
    Report(goal, name + QStringLiteral(": pass p99"), Bench::Median(p99), "ms", Bound::Max, 2);
    Report(goal, name + QStringLiteral(": pass processor time median"), Bench::Median(cpuMed), "ms",
           Bound::Max, 0.5);
    Report(goal, name + QStringLiteral(": pass processor time p99"), Bench::Median(cpuP99), "ms",
           Bound::Max, 2);
    Report(goal, name + QStringLiteral(": pass max (worst run)"),
           *std::max_element(maxes.begin(), maxes.end()), "ms");
    Report(goal, name + QStringLiteral(": passes over 1 ms (all runs)"), slow, "");
    Report(goal, name + QStringLiteral(":   of them interrupted by the scheduler"), slowPreempted,
           "");
    Report(goal, name + QStringLiteral(":   of them waiting (gave up the processor)"), slowWaited,
           "");
    Report(goal, name + QStringLiteral(": passes per second"), Bench::Median(counts) / Seconds,
           "1/s");
    Report(goal, name + QStringLiteral(": panel layout, 50 panels (median)"),
           Bench::Median(arrange) * 1000, "us");
    Report(goal, name + QStringLiteral(": chart sample (p99, once a second)"),
           Bench::Median(sample) * 1000, "us");
    Report(goal, name + QStringLiteral(": program stepping (median)"),
           Bench::Median(programs) * 1000, "us");
    Report(goal, name + QStringLiteral(": four lines served (median)"), Bench::Median(serve) * 1000,
           "us");
}

// Frames of the program's chart: drawn into a 1200 x 800 image (a chart page on a usual
// screen), median wall time and processor time of n frames; then once more at the size
// the chart has in this window, which grows with the panels of 50 sources.
void MeasureFrames(TChart *graf, const char *goal, const QString &name, int n = 40)
{
    auto frames = [graf, n](const QSize &size, double &cpuMs) {
        QImage img(size, QImage::Format_ARGB32_Premultiplied);
        std::vector<double> wall, cpu;
        for (int i = 0; i < n + 3; ++i) {
            const double t0 = NowMs(), c0 = ThreadCpuMs();
            QPainter p(&img);
            graf->render(p, QRectF(img.rect()));
            p.end();
            if (i >= 3) { // the first frames warm fonts and caches
                wall.push_back(NowMs() - t0);
                cpu.push_back(ThreadCpuMs() - c0);
            }
        }
        cpuMs = Bench::Median(cpu);
        return Bench::Median(wall);
    };
    double cpu = 0;
    const double wall = frames(QSize(1200, 800), cpu);
    Report(goal, name + QStringLiteral(", 1200x800: wall"), wall, "ms", Bound::Max, 10);
    Report(goal, name + QStringLiteral(", 1200x800: processor"), cpu, "ms", Bound::Max, 10);
    double cpuIn = 0;
    const double wallIn = frames(graf->size(), cpuIn);
    Report(goal,
           name +
               QStringLiteral(", in the window %1x%2: wall").arg(graf->width()).arg(graf->height()),
           wallIn, "ms");
}

void PlotAll(TFormMain *form, bool view3D)
{
    TCheckListBox *list = form->CheckZaz;
    for (int i = 0; i < list->count(); ++i)
        list->SetChecked(i, true);
    CheckZazClickCheck(list, 0);
    if (form->CB_3d->isChecked() != view3D)
        form->CB_3d->click();
}

// The chart window typed into MaxX, then every plotted series filled with a point per
// second of that window, as after running that long.
void FillWindow(TFormMain *form, int seconds)
{
    form->MaxX->setText(QString::number(seconds));
    QTest::keyClick(form->MaxX, Qt::Key_Return);
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 1; s <= MaxDevices; ++s) {
        if (!Devices[s].Used || !Devices[s].InChart)
            continue;
        TChartSeries *series = form->Graf->Series(s - 1);
        series->Clear();
        for (int k = seconds; k >= 1; --k)
            series->AddXY(DateTimeToNumber(now.addSecs(-k)), 20 + s + (k % 7), QString(),
                          Devices[s].PanelCol ? Devices[s].PanelCol->Color() : Qt::black);
    }
}

int TickBench()
{
    std::printf("== tick: 50 sources on four lines, simulator paced at 9600 bit/s\n");
    WholeProgram prog;
    if (!StartFiftySources(prog))
        return 1;
    TFormMain *form = prog.Form();
    TTickProbe probe;
    probe.Install(qobject_cast<TDM *>(DM));
    Run(6000); // every source answers once (13 first turns of 225 ms on a line), panels filled
    int answering = 0;
    for (int s = 1; s <= MaxDevices; ++s)
        answering += Devices[s].Used && Devices[s].PanNekom && Devices[s].PanNekom->isHidden() &&
                     !Devices[s].TypeText.isEmpty();
    Report("1", QStringLiteral("sources connected and answering"), answering, "", Bound::Min, 50);

    form->PageCont->setCurrentIndex(0);
    MeasureTicks(probe, "1", QStringLiteral("main page"));

    form->PageCont->setCurrentIndex(1);
    PlotAll(form, false);
    Run(2000);
    MeasureTicks(probe, "1", QStringLiteral("chart page 2D, 50 series"));
    const int points = form->Graf->Series(0)->Count();
    PlotAll(form, true);
    Run(1000);
    MeasureTicks(probe, "1", QStringLiteral("chart page 3D, 50 series"));

    // Frames of 301 points: five minutes at one point a second, as after a long run.
    FillWindow(form, 300);
    MeasureFrames(form->Graf, "5", QStringLiteral("chart frame 3D, 50 x 301 points"));
    PlotAll(form, false);
    MeasureFrames(form->Graf, "5", QStringLiteral("chart frame 2D, 50 x 301 points"));

    // One hour typed into MaxX, every series full.
    FillWindow(form, 3600);
    Run(1000);
    MeasureTicks(probe, "6", QStringLiteral("chart page 2D, 50 x 3600 points"));
    MeasureFrames(form->Graf, "6", QStringLiteral("chart frame 2D, 50 x 3600 points"), 15);
    PlotAll(form, true);
    Run(1000);
    MeasureTicks(probe, "6", QStringLiteral("chart page 3D, 50 x 3600 points"));
    MeasureFrames(form->Graf, "6", QStringLiteral("chart frame 3D, 50 x 3600 points"), 15);
    form->PageCont->setCurrentIndex(0);
    Run(1000);
    MeasureTicks(probe, "6", QStringLiteral("main page, 50 x 3600 points kept"));
    std::printf("  (points per series before the hour was filled: %d)\n", points);
    if (!prog.Errors().isEmpty())
        std::printf("  errors shown: %s\n", qPrintable(prog.Errors().join(QStringLiteral("; "))));
    return 0;
}

// Request frames per second that the simulator heard on the line, between the first and
// the last heard after the mark.
double Rate(const QList<SimFrame> &frames, int line, qint64 fromMs)
{
    QList<qint64> t;
    for (const SimFrame &f : frames)
        if (f.line == line && f.kind == "RX" && f.ms >= fromMs)
            t << f.ms;
    return t.size() < 2 ? 0 : double(t.size() - 1) * 1000.0 / double(t.last() - t.first());
}

// The share of requests on the line after the mark that came later than three ticks and a
// half after the one before (a reply taken after the tick that followed its request).
double LateShare(const QList<SimFrame> &frames, int line, qint64 fromMs)
{
    qint64 prev = -1;
    int all = 0, late = 0;
    for (const SimFrame &f : frames)
        if (f.line == line && f.kind == "RX" && f.ms >= fromMs) {
            if (prev >= 0) {
                ++all;
                late += f.ms - prev > 87;
            }
            prev = f.ms;
        }
    return all ? 100.0 * late / all : 0;
}

qint64 LastMs(const QList<SimFrame> &frames)
{
    return frames.isEmpty() ? 0 : frames.last().ms;
}

int PollBench()
{
    std::printf("== poll: simulator paced at 9600 bit/s, answering at once\n");
    WholeProgram prog;
    QList<QStringList> lines;
    for (int l = 0; l < 4; ++l)
        lines << QStringList{QStringLiteral("addr=%1,u=50,out=1,slew=0").arg(l + 1)};
    const QString err = prog.Start(lines, {QStringLiteral("--pace")});
    if (!err.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 1;
    }
    // The longest reply (identification, 21 bytes) takes 21.9 ms at 9600 bit/s and so
    // comes within the tick after its request; the pause of 50 ms is then two more ticks:
    // one request every three ticks.
    const double bound = 1000.0 / (25.0 + 50.0);
    if (!prog.Connect(1, 1))
        return 1;
    Run(1500);
    std::vector<double> one, oneLate;
    for (int r = 0; r < Runs; ++r) {
        const qint64 mark = LastMs(prog.Sim().Frames());
        Run(int(Seconds * 1000));
        one.push_back(Rate(prog.Sim().Frames(), 1, mark + 1));
        oneLate.push_back(LateShare(prog.Sim().Frames(), 1, mark + 1));
    }
    const double single = Bench::Median(one);
    Report("2", QStringLiteral("bound: one request per tick + pause (75 ms)"), bound, "req/s");
    Report("2", QStringLiteral("one line, one source"), single, "req/s", Bound::Min, 0.95 * bound);
    Report("2", QStringLiteral("one line, requests later than 3.5 ticks"), Bench::Median(oneLate),
           "%");
    for (int l = 2; l <= 4; ++l)
        if (!prog.Connect(l, l))
            return 1;
    Run(1500);
    std::vector<double> total, worst, late;
    for (int r = 0; r < Runs; ++r) {
        const qint64 mark = LastMs(prog.Sim().Frames());
        Run(int(Seconds * 1000));
        const QList<SimFrame> frames = prog.Sim().Frames();
        double sum = 0, low = 1e9;
        for (int l = 1; l <= 4; ++l) {
            const double rate = Rate(frames, l, mark + 1);
            late.push_back(LateShare(frames, l, mark + 1));
            sum += rate;
            low = std::min(low, rate);
        }
        total.push_back(sum);
        worst.push_back(low);
    }
    Report("2", QStringLiteral("four lines together, slowest line"), Bench::Median(worst), "req/s",
           Bound::Min, 0.95 * bound);
    Report("2", QStringLiteral("four lines together, sum"), Bench::Median(total), "req/s",
           Bound::Min, 0.95 * 4 * single);
    Report("2", QStringLiteral("four lines together, requests later than 3.5 ticks"),
           Bench::Median(late), "%");
    return 0;
}

// A source of our own on a pseudo-terminal: answers at once, as one write per reply, and
// notes on the monotonic clock when each voltage reply was written and when each SET
// frame was read whole.
class PtyPeer
{
public:
    ~PtyPeer() { Stop(); }

    bool Open(const QString &link, int address)
    {
        m_address = address;
        m_fd = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_fd < 0 || grantpt(m_fd) != 0 || unlockpt(m_fd) != 0)
            return false;
        const char *name = ptsname(m_fd);
        QFile::remove(link);
        if (!name || !QFile::link(QString::fromLocal8Bit(name), link))
            return false;
        m_thread = std::thread([this] { Loop(); });
        return true;
    }

    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    struct Stamp
    {
        int value;
        double ms;
    };
    std::vector<Stamp> Written()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_written;
    }
    std::vector<Stamp> Sets()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_sets;
    }

private:
    void Loop()
    {
        QByteArray frame;
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buf[256];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) {
                // No one has the other side open yet.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '@')
                    frame.clear();
                frame += buf[i];
                if (buf[i] == '\r')
                    Answer(frame, NowMs());
            }
        }
    }

    void Answer(const QByteArray &frame, double readMs)
    {
        if (frame.size() < 6 || frame[0] != '@' || frame.mid(1, 2).toInt(nullptr, 16) != m_address)
            return;
        const QByteArray body = frame.mid(3, frame.size() - 6); // command and value
        const QByteArray head =
            QByteArray('#' + QByteArray::number(m_address, 16).rightJustified(2, '0').toUpper());
        QByteArray reply;
        int value = -1;
        if (body == "NAP???") {
            value = 100 + (m_counter++ % 800); // a new text every time
            reply = head + "NAP" + QByteArray::number(value) + '\r';
        } else if (body.startsWith("NAP")) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_sets.push_back({body.mid(3).toInt(), readMs});
            reply = head + "OK\r";
        } else if (body == "OUT?") {
            reply = head + "OUT1\r";
        } else if (body == "STA?") {
            reply = head + "STA0\r";
        } else if (body == "ID?") {
            reply = head + "TYPZDR300-SVC1005\r";
        } else if (body == "TOL?") {
            reply = head + "TOL1\r";
        } else {
            reply = head + "OK\r";
        }
        if (::write(m_fd, reply.constData(), size_t(reply.size())) != reply.size())
            return;
        const double at = NowMs();
        if (value >= 0) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_written.push_back({value, at});
        }
    }

    int m_fd = -1;
    int m_address = 0;
    int m_counter = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<Stamp> m_written, m_sets;
};

int LatencyBench()
{
    std::printf("== latency: our own peer on line B; the simulator serves 49 sources on A, C, D\n");
    WholeProgram prog;
    PtyPeer peer;
    const QString peerLink = prog.Dir() + QStringLiteral("/peerB");
    if (!peer.Open(peerLink, 5)) {
        std::fprintf(stderr, "cannot open a pseudo-terminal\n");
        return 1;
    }
    QList<QStringList> lines(4);
    QList<QPair<int, int>> where;
    for (int i = 0; i < 49; ++i) {
        const int line = i % 3 == 0 ? 1 : i % 3 == 1 ? 3 : 4;
        lines[line - 1]
            << QStringLiteral("addr=%1,u=%2,out=1,slew=0,noise=3").arg(i / 3).arg(10 + i);
        where << qMakePair(line, i / 3);
    }
    // Line B's port is the peer; the simulator's line B stays unused.
    const QString err = prog.Start(lines, {QStringLiteral("--pace")}, {}, {{2, peerLink}});
    if (!err.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 1;
    }
    // The dialog offers the lines in order: A, then the peer on B, then C and D.
    std::stable_sort(where.begin(), where.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    int slot = 0;
    for (const auto &[line, address] : where) {
        if (line == 3 && !slot && !(slot = prog.Connect(2, 5))) {
            std::fprintf(stderr, "cannot connect the peer\n");
            return 1;
        }
        if (!prog.Connect(line, address)) {
            std::fprintf(stderr, "cannot connect line %d address %d\n", line, address);
            return 1;
        }
    }
    TDevice &dev = Devices[slot];

    // The panel text is set inside the port's received-data handler: looked at right
    // after the handler, its change is seen within microseconds of being made.
    std::vector<PtyPeer::Stamp> changes;
    QString last;
    const TAfCPTDataReceivedEvent orig = DM->PortB->OnDataRecived;
    DM->PortB->OnDataRecived = [&, orig](QObject *sender, int32_t count) {
        orig(sender, count);
        const QString t = dev.Disp1 ? dev.Disp1->text() : QString();
        if (t != last) {
            const double at = NowMs();
            last = t;
            QString digits;
            for (QChar c : t)
                if (c.isDigit())
                    digits += c;
            changes.push_back({digits.toInt(), at});
        }
    };
    Run(2000);

    std::vector<double> runMedians, all;
    for (int r = 0; r < Runs; ++r) {
        changes.clear();
        Run(int(Seconds * 1000));
        const std::vector<PtyPeer::Stamp> written = peer.Written();
        std::vector<double> lat;
        for (const PtyPeer::Stamp &c : changes)
            for (auto w = written.rbegin(); w != written.rend(); ++w)
                if (w->value == c.value && w->ms <= c.ms) {
                    lat.push_back(c.ms - w->ms);
                    break;
                }
        if (lat.empty())
            continue;
        runMedians.push_back(Bench::Median(lat));
        all.insert(all.end(), lat.begin(), lat.end());
    }
    Report("3", QStringLiteral("reply last byte -> panel text: samples"), double(all.size()), "");
    Report("3", QStringLiteral("reply last byte -> panel text: median"), Bench::Median(runMedians),
           "ms", Bound::Max, 5);
    Report("3", QStringLiteral("reply last byte -> panel text: p95"), Bench::Quantile(all, 0.95),
           "ms");
    Report("3", QStringLiteral("reply last byte -> panel text: max"), Bench::Quantile(all, 1),
           "ms");

    // SET clicks at random moments; each value once, so that its frame is known.
    std::vector<double> set;
    const int trials = std::max(20, Runs * 10);
    for (int i = 0; i < trials; ++i) {
        Run(QRandomGenerator::global()->bounded(0, 150));
        const int v = 200 + i;
        if (!dev.Edit1 || !dev.ButtSetU || !dev.ButtSetU->isEnabled())
            continue;
        dev.Edit1->setText(QString::number(v));
        const double t0 = NowMs();
        dev.ButtSetU->click();
        QDeadlineTimer deadline(3000);
        bool seen = false;
        while (!seen && !deadline.hasExpired()) {
            Run(1);
            for (const PtyPeer::Stamp &s : peer.Sets())
                if (s.value == v) {
                    set.push_back(s.ms - t0);
                    seen = true;
                }
        }
    }
    Report("3", QStringLiteral("SET click -> frame on the wire: trials"), double(set.size()), "");
    Report("3", QStringLiteral("SET click -> frame on the wire: median"), Bench::Median(set), "ms",
           Bound::Max, 75);
    Report("3", QStringLiteral("SET click -> frame on the wire: max"), Bench::Quantile(set, 1),
           "ms");
    DM->PortB->OnDataRecived = orig;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList parts;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--runs") && i + 1 < argc)
            Runs = std::max(1, atoi(argv[++i]));
        else if (a == QLatin1String("--seconds") && i + 1 < argc)
            Seconds = std::max(1.0, atof(argv[++i]));
        else
            parts << a;
    }
    if (parts.isEmpty())
        parts = {QStringLiteral("poll"), QStringLiteral("latency"), QStringLiteral("tick")};
    int rc = 0;
    for (const QString &p : parts) {
        if (p == QLatin1String("tick"))
            rc |= TickBench();
        else if (p == QLatin1String("poll"))
            rc |= PollBench();
        else if (p == QLatin1String("latency"))
            rc |= LatencyBench();
        else {
            std::fprintf(stderr, "unknown part %s\n", qPrintable(p));
            return 2;
        }
    }
    return rc;
}
