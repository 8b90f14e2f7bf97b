// The network bridge under fifty sources whose readings change every second: how long a
// reading takes from the moment it is taken in to its delivery by a real Mosquitto broker
// to a subscriber, and how much processor time the bridge takes for it (its network thread
// and its work on the interface thread).

#include "benchreport.h"
#include "broker.h"

#include "global.h"
#include "mqttbridge.h"
#include "services.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdlib>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// When each source's latest reading was taken in, and the delays seen at the subscriber.
struct TSeen
{
    std::mutex lock;
    double u[MaxDevices + 1]; // none yet: the states published at connection are not counted
    Clock::time_point at[MaxDevices + 1];
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
    if (o.value("u").toDouble() == seen->u[slot])
        seen->ms.push_back(std::chrono::duration<double, std::milli>(now - seen->at[slot]).count());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--seconds")
            seconds = std::max(5, std::atoi(argv[++i]));
    broker::Broker mq;
    if (!mq.Start()) {
        std::fprintf(stderr, "no broker (is mosquitto installed?)\n");
        return 1;
    }
    InitTables();
    for (int s = 1; s <= MaxDevices; ++s) {
        Devices[s].Used = true;
        Devices[s].Line = 1 + (s - 1) % MaxLines;
        Devices[s].Address = s % 32;
        Devices[s].Link = lkAnswering;
        Devices[s].TypeText = QStringLiteral("ZDR300-S   v.č.: %1").arg(4700 + s);
    }
    DeviceCount = MaxDevices;

    TSeen seen;
    std::fill(std::begin(seen.u), std::end(seen.u), -1.0);
    mosquitto_lib_init();
    mosquitto *sub = mosquitto_new("bench-sub", true, &seen);
    mosquitto_message_callback_set(sub, OnMessage);
    if (mosquitto_connect(sub, "127.0.0.1", mq.Port(), 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(sub, nullptr, "b/source/+/state", 1) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(sub) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "the subscriber could not connect\n");
        return 1;
    }

    TMqttSettings settings;
    settings.Host = QStringLiteral("127.0.0.1");
    settings.Port = mq.Port();
    settings.ClientId = settings.Prefix = QStringLiteral("b");
    TMqttBridge bridge(settings);
    bridge.Start();
    QElapsedTimer wait;
    wait.start();
    while (!bridge.IsConnected() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!bridge.IsConnected()) {
        std::fprintf(stderr, "the bridge did not connect\n");
        return 1;
    }

    // The states published at connection are out of their interval before the run begins.
    QEventLoop loop;
    QTimer::singleShot(2 * TMqttBridge::StateInterval, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("fifty sources, each reading changing once a second, %d s\n", seconds);
    const double cpuFrom = bridge.CpuSeconds();
    QElapsedTimer run;
    run.start();
    // One source every 20 ms, as the replies of four lines come in; a reading as a reply
    // takes it in: the value, then the mark.
    int next = 1;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        TDevice &d = Devices[next];
        {
            std::lock_guard<std::mutex> g(seen.lock);
            d.U = d.U >= 250 ? 1 : d.U + 1;
            seen.u[next] = d.U;
            seen.at[next] = Clock::now();
        }
        NoteChange(next);
        next = next % MaxDevices + 1;
    });
    tick.start(20);
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    tick.stop();
    const double wall = run.nsecsElapsed() / 1e9;
    const double cpu = bridge.CpuSeconds() - cpuFrom;
    QTimer::singleShot(300, &loop, &QEventLoop::quit); // the last states arrive
    loop.exec();
    if (qEnvironmentVariableIsSet("BENCH_THREADS")) {
        QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile f(tasks.filePath(t) + QStringLiteral("/stat"));
            f.open(QIODevice::ReadOnly);
            const QByteArray stat = f.readAll();
            const QList<QByteArray> p = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
            QFile sched(tasks.filePath(t) + QStringLiteral("/schedstat"));
            sched.open(QIODevice::ReadOnly);
            const QList<QByteArray> q = sched.readAll().split(' ');
            std::printf("thread %s %s cpu %.1f ms, %s switches\n", qPrintable(t),
                        stat.mid(stat.indexOf('('), stat.lastIndexOf(')') - stat.indexOf('(') + 1)
                            .constData(),
                        q.value(0).toDouble() / 1e6, q.value(2).trimmed().constData());
        }
    }
    mosquitto_loop_stop(sub, true);
    mosquitto_destroy(sub);

    std::lock_guard<std::mutex> g(seen.lock);
    Bench::Report("mqtt", QStringLiteral("readings delivered (of %1)").arg(seconds * 50),
                  double(seen.ms.size()), "", Bench::Bound::Min, seconds * 50 * 0.95);
    Bench::Report("mqtt", QStringLiteral("reading to subscriber, median"), Bench::Median(seen.ms),
                  "ms", Bench::Bound::Max, 20);
    Bench::Report("mqtt", QStringLiteral("reading to subscriber, 99th percentile"),
                  Bench::Quantile(seen.ms, 0.99), "ms");
    Bench::Report("mqtt", QStringLiteral("bridge processor time, share of a core"),
                  100 * cpu / wall, "%", Bench::Bound::Max, 1);
    return 0;
}
