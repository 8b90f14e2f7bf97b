// The network bridge under fifty sources whose readings change every second: how long a
// reading takes from the moment it is taken in to its delivery by a real Mosquitto broker
// to a subscriber, and how much processor time the bridge adds: its network thread, and
// what the interface thread takes more than in a run of the same changes without a bridge.

#include "benchreport.h"
#include "broker.h"

#include "fiftysources.h"
#include "liverig.h"

#include "global.h"
#include "mqttbridge.h"
#include "run.h"
#include "scheduler.h"
#include "services.h"

#include <mosquitto.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

// When each source's latest reading was taken in, and the delays seen at the subscriber.
struct TSeen
{
    std::mutex lock;
    double u[MaxDevices + 1]; // none yet: the states published at connection are not counted
    Clock::time_point at[MaxDevices + 1];
    bool arrived[MaxDevices + 1] = {};
    int taken = 0; // readings taken in since the count began
    std::vector<double> ms;
};

void OnMessage(mosquitto *, void *obj, const mosquitto_message *m)
{
    auto *seen = static_cast<TSeen *>(obj);
    const auto now = Clock::now();
    const QByteArray topic(m->topic);
    const int slot = topic.split('/').value(2).toInt();
    const QJsonObject o =
        QJsonDocument::fromJson(QByteArray(static_cast<const char *>(m->payload), m->payloadlen))
            .object();
    if (slot < 1 || slot > MaxDevices || !o.value("u").isDouble())
        return;
    std::lock_guard<std::mutex> g(seen->lock);
    // A reading counts once, when it first arrives: later states (a program's seconds) carry
    // it again.
    if (o.value("u").toDouble() == seen->u[slot] && !seen->arrived[slot]) {
        seen->arrived[slot] = true;
        seen->ms.push_back(std::chrono::duration<double, std::milli>(now - seen->at[slot]).count());
    }
}

// Processor seconds of the calling thread.
double OwnCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Processor seconds of this process's thread with the given name, 0 when there is none.
double ThreadCpu(const QByteArray &name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(t) + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile sched(tasks.filePath(t) + QStringLiteral("/schedstat"));
        if (sched.open(QIODevice::ReadOnly))
            return sched.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return 0;
}

// A new reading of a source taken in now.
void Taken(TSeen &seen, int slot)
{
    std::lock_guard<std::mutex> g(seen.lock);
    seen.u[slot] = Devices[slot].U;
    seen.at[slot] = Clock::now();
    seen.arrived[slot] = false;
    ++seen.taken;
}

// Runs the event loop for a while.
double Run(int seconds)
{
    QElapsedTimer run;
    run.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return run.nsecsElapsed() / 1e9;
}

// One source's reading changes every 20 ms, as the replies of four lines come in; a reading
// is taken in as a reply takes it: the value, then the mark. Returns the seconds it ran.
double Changes(TSeen &seen, int seconds)
{
    int next = 1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        TDevice &d = Devices[next];
        d.U = d.U >= 250 ? 1 : d.U + 1;
        Taken(seen, next);
        NoteChange(next);
        next = next % MaxDevices + 1;
    });
    tick.start(20);
    return Run(seconds);
}

// A bridge connected to the broker, its states of the connection published and out of their
// interval; null when it did not connect.
std::unique_ptr<TMqttBridge> Connected(int port)
{
    TMqttSettings settings;
    settings.Host = QStringLiteral("127.0.0.1");
    settings.Port = port;
    settings.ClientId = settings.Prefix = QStringLiteral("b");
    auto bridge = std::make_unique<TMqttBridge>(settings);
    if (!bridge->Start() || !QTest::qWaitFor([&] { return bridge->IsConnected(); }, 5000))
        return nullptr;
    QTest::qWait(2 * TMqttBridge::StateInterval);
    return bridge;
}

struct TPhase
{
    double wall = 0, own = 0, net = 0; // seconds
};

// The changes run for a while, the interface thread's and the network thread's processor
// time measured.
TPhase Measure(const std::function<double()> &run)
{
    TPhase p;
    const double own = OwnCpu(), net = ThreadCpu("ardemo-mqtt");
    p.wall = run();
    p.own = OwnCpu() - own;
    p.net = ThreadCpu("ardemo-mqtt") - net;
    return p;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int seconds = 30;
    bool lines = false;
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--seconds" && i + 1 < argc)
            seconds = std::max(5, std::atoi(argv[++i]));
        else if (QByteArray(argv[i]) == "--lines")
            lines = true;
    broker::Broker mq;
    if (!mq.Start()) {
        std::fprintf(stderr, "no broker (is mosquitto installed?)\n");
        return 1;
    }
    TSeen seen;
    std::fill(std::begin(seen.u), std::end(seen.u), -1.0);

    // The sources: fifty on the simulator's four paced lines, polled by the program's own
    // tick, every voltage reply a new reading (noise); or fifty in the tables whose readings
    // change one after another, evenly spread, as no line would bring them.
    std::optional<LiveRig> live;
    std::function<double()> changes;
    if (lines) {
        LiveRig &rig = live.emplace();
        QList<QPair<int, int>> where;
        if (const QString err = rig.Start(FiftySources(where), {QStringLiteral("--pace")});
            !err.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(err));
            return 1;
        }
        // Each running a program of eight steps of four seconds, round and round.
        for (const auto &[line, address] : where) {
            const int slot = rig.main.Connect(line, address);
            for (int step = 1; step <= 8; ++step)
                Devices[slot].Steps[step] = ProgramStep{4, double(10 + 10 * step), step % 8 + 1};
            StartProgram(slot);
        }
        TDMBase &dm = rig.main.dm;
        QObject::connect(dm.TSystem, &QTimer::timeout, [&dm] {
            dm.TSystem->stop();
            RunPrograms();
            ServeLines();
            RefreshLog();
            dm.TSystem->start();
        });
        dm.TSystem->start();
        // A reading is taken in with its reply.
        for (int line = 1; line <= MaxLines; ++line) {
            TAfComPort *port = dm.Port(line);
            port->OnDataRecived = [taken = port->OnDataRecived, &seen](QObject *s, int32_t n) {
                double before[MaxDevices + 1];
                for (int slot = 1; slot <= MaxDevices; ++slot)
                    before[slot] = Devices[slot].U;
                taken(s, n);
                for (int slot = 1; slot <= MaxDevices; ++slot)
                    if (Devices[slot].U != before[slot])
                        Taken(seen, slot);
            };
        }
        changes = [seconds] { return Run(seconds); };
        if (!QTest::qWaitFor(
                [] {
                    return std::all_of(Devices + 1, Devices + MaxDevices + 1,
                                       [](const TDevice &d) { return d.Link == lkAnswering; });
                },
                10000)) {
            std::fprintf(stderr, "not all fifty sources answered\n");
            return 1;
        }
        std::printf("fifty sources on four paced simulated lines, each running a program (its "
                    "state changing every second), every voltage reply a new reading; %d s "
                    "without the bridge, with it, and without it again\n",
                    seconds);
    } else {
        InitTables();
        for (int s = 1; s <= MaxDevices; ++s) {
            Devices[s].Used = true;
            Devices[s].Line = 1 + (s - 1) % MaxLines;
            Devices[s].Address = s % 32;
            Devices[s].Link = lkAnswering;
            Devices[s].TypeText = QStringLiteral("ZDR300-S   v.č.: %1").arg(4700 + s);
        }
        DeviceCount = MaxDevices;
        changes = [&seen, seconds] { return Changes(seen, seconds); };
        std::printf("fifty sources, their readings changing one every 20 ms, evenly spread; %d s "
                    "without the bridge, with it, and without it again\n",
                    seconds);
    }

    mosquitto_lib_init();
    mosquitto *sub = mosquitto_new("bench-sub", true, &seen);
    mosquitto_message_callback_set(sub, OnMessage);
    if (mosquitto_connect(sub, "127.0.0.1", mq.Port(), 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(sub, nullptr, "b/source/+/state", 1) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(sub) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "the subscriber could not connect\n");
        return 1;
    }

    // The interface thread's own work for the same changes with nobody watching them, before
    // and after: what the bridge adds there is the difference.
    const TPhase before = Measure(changes);
    auto bridge = Connected(mq.Port());
    if (!bridge) {
        std::fprintf(stderr, "the bridge did not connect\n");
        return 1;
    }
    {
        std::lock_guard<std::mutex> g(seen.lock);
        // Counted from here on: readings taken in before are not awaited.
        seen.ms.clear();
        seen.taken = 0;
        std::fill(std::begin(seen.arrived), std::end(seen.arrived), true);
    }
    const double cpuFrom = bridge->CpuSeconds();
    const TPhase with = Measure(changes);
    const double own = bridge->CpuSeconds() - cpuFrom;
    Run(1); // the last states arrive
    std::vector<double> ms;
    int taken = 0;
    {
        std::lock_guard<std::mutex> g(seen.lock);
        ms = seen.ms;
        taken = seen.taken;
    }
    bridge.reset();
    const TPhase after = Measure(changes);
    mosquitto_loop_stop(sub, true);
    mosquitto_destroy(sub);

    // The bridge's own count: its network thread and its handlers on the interface thread.
    // From outside: the network thread and what the interface thread took more than without
    // the bridge (which also holds the event loop's turns for the bridge, but varies with
    // everything else the thread does).
    const double share = own / with.wall;
    const double base = (before.own + after.own) / (before.wall + after.wall);
    const double outside = (with.net + with.own - base * with.wall) / with.wall;
    const char *group = lines ? "mqtt lines" : "mqtt spread";
    Bench::Report(group, QStringLiteral("readings delivered (of %1 taken in)").arg(taken),
                  double(ms.size()), "", Bench::Bound::Min, 0.95 * taken);
    Bench::Report(group, QStringLiteral("reading to subscriber, median"), Bench::Median(ms), "ms",
                  Bench::Bound::Max, 20);
    Bench::Report(group, QStringLiteral("reading to subscriber, 99th percentile"),
                  Bench::Quantile(ms, 0.99), "ms");
    Bench::Report(group, QStringLiteral("bridge processor time, share of a core"), 100 * share, "%",
                  Bench::Bound::Max, 1);
    Bench::Report(group, QStringLiteral("the same from outside (rough)"), 100 * outside, "%");
    return 0;
}
