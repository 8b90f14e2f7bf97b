#include "mqttbridge.h"

#include "guarded.h"
#include "services.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <time.h>

namespace {

constexpr int KeepAlive = 30;  // s between pings on a quiet connection
constexpr int LoopWait = 1000; // ms the network thread waits at most: a publish wakes it at once
constexpr int FirstDelay = 1;  // s before the first new try after a failure
constexpr int LongestDelay = 30;
constexpr auto StopWait = std::chrono::milliseconds(1500); // for "offline" to get out

qint64 ThreadNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The processor time of the interface thread's share, for the bridge's own figure.
class TOwnTime
{
public:
    explicit TOwnTime(qint64 &sum) : m_sum(sum), m_from(ThreadNs()) {}
    ~TOwnTime() { m_sum += ThreadNs() - m_from; }

private:
    qint64 &m_sum;
    qint64 m_from;
};

QString Why(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

// The network side: the library's handle and the thread that runs it. It outlives the
// bridge when the thread cannot be stopped in time (a name lookup that hangs), so the
// thread never reaches a bridge that is gone: Owner is cleared under the lock first.
struct TMqttNet
{
    mosquitto *mosq = nullptr;
    std::mutex lock;
    std::condition_variable wake;
    TMqttBridge *owner = nullptr;     // under lock
    bool stopping = false;            // under lock
    bool done = false;                // under lock: the thread has ended
    std::atomic<bool> session{false}; // a connection was accepted since the last try
    std::atomic<clockid_t> clock{0};
    std::atomic<bool> clockValid{false};

    QByteArray host;
    int port = 0;

    // Hands a call to the bridge on the interface thread, if the bridge is still there; a
    // call still queued when the bridge goes is dropped with it.
    template <typename F> void post(F f)
    {
        std::lock_guard<std::mutex> g(lock);
        if (TMqttBridge *b = owner)
            QMetaObject::invokeMethod(
                b, [b, f] { Guarded([&] { f(b); }); }, Qt::QueuedConnection);
    }

    static void OnConnect(mosquitto *, void *obj, int rc)
    {
        auto *net = static_cast<TMqttNet *>(obj);
        if (rc == 0)
            net->session = true;
        // The broker's reason code (MQTT 5) in words.
        const QString reason = rc == 0 ? QString() : QString::fromUtf8(mosquitto_reason_string(rc));
        net->post([rc, reason](TMqttBridge *b) { b->connected(rc, reason); });
    }

    static void OnMessage(mosquitto *, void *obj, const mosquitto_message *m)
    {
        const QByteArray topic(m->topic);
        const QByteArray payload(static_cast<const char *>(m->payload), m->payloadlen);
        const bool retained = m->retain;
        static_cast<TMqttNet *>(obj)->post(
            [topic, payload, retained](TMqttBridge *b) { b->received(topic, payload, retained); });
    }

    bool isStopping()
    {
        std::lock_guard<std::mutex> g(lock);
        return stopping;
    }

    void run()
    {
        // Named, so that it can be told apart among the program's threads (top -H, ps -L).
        pthread_setname_np(pthread_self(), "ardemo-mqtt");
        clockid_t id{};
        if (pthread_getcpuclockid(pthread_self(), &id) == 0) {
            clock = id;
            clockValid = true;
        }
        int delay = FirstDelay;
        while (!isStopping()) {
            int rc = mosquitto_connect_async(mosq, host.constData(), port, KeepAlive);
            // A connection on its way is seen through by the loop.
            if (rc == MOSQ_ERR_CONN_PENDING)
                rc = MOSQ_ERR_SUCCESS;
            QString reason = rc == MOSQ_ERR_SUCCESS ? QString() : Why(rc);
            auto stopAt = std::chrono::steady_clock::time_point::max();
            while (rc == MOSQ_ERR_SUCCESS) {
                rc = mosquitto_loop(mosq, LoopWait, 1);
                if (rc != MOSQ_ERR_SUCCESS) {
                    reason = rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN
                                 ? QStringLiteral("connection lost")
                                 : Why(rc);
                    break;
                }
                // A stop lets the "offline" and the disconnection go out first, briefly.
                if (isStopping()) {
                    const auto now = std::chrono::steady_clock::now();
                    if (stopAt == std::chrono::steady_clock::time_point::max())
                        stopAt = now + StopWait;
                    else if (now > stopAt)
                        break;
                }
            }
            if (isStopping())
                break;
            post([reason](TMqttBridge *b) { b->lost(reason); });
            if (session.exchange(false))
                delay = FirstDelay;
            std::unique_lock<std::mutex> g(lock);
            wake.wait_for(g, std::chrono::seconds(delay), [this] { return stopping; });
            delay = std::min(delay * 2, LongestDelay);
        }
        clockValid = false;
        mosquitto_destroy(mosq);
        mosq = nullptr;
        std::lock_guard<std::mutex> g(lock);
        done = true;
        wake.notify_all();
    }
};

TMqttBridge::TMqttBridge(const TMqttSettings &Settings, QObject *Parent)
    : QObject(Parent), m_settings(Settings)
{
    m_rules.AllowControl = Settings.AllowControl;
    m_clock.start();
    m_check.setSingleShot(true);
    m_check.setInterval(0);
    connect(&m_check, &QTimer::timeout, this, [this] { Guarded([this] { check(); }); });
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, [this] { Guarded([this] { due(); }); });
    m_sweep.setInterval(SweepInterval);
    connect(&m_sweep, &QTimer::timeout, this, [this] { Guarded([this] { sweep(); }); });
}

TMqttBridge::~TMqttBridge()
{
    if (!m_net)
        return;
    Services().Changed = nullptr;
    std::shared_ptr<TMqttNet> net = m_net;
    if (m_connected && net->mosq) {
        // A clean end: the last will is not sent then, so "offline" is said here.
        publish(topic(QStringLiteral("status")), "offline", true);
        mosquitto_disconnect(net->mosq);
    }
    std::unique_lock<std::mutex> g(net->lock);
    net->owner = nullptr;
    net->stopping = true;
    net->wake.notify_all();
    net->wake.wait_for(g, StopWait + std::chrono::milliseconds(500), [&] { return net->done; });
    // A thread still in a name lookup is left to end by itself; it keeps its own handle.
}

bool TMqttBridge::Start()
{
    if (m_net || !m_settings.Enabled())
        return false;
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    auto net = std::make_shared<TMqttNet>();
    net->host = m_settings.Host.toUtf8();
    net->port = m_settings.Port;
    net->mosq = mosquitto_new(m_settings.ClientId.toUtf8().constData(), true, net.get());
    if (!net->mosq) {
        m_error = QStringLiteral("the MQTT library could not be started");
        emit LinkChanged();
        return false;
    }
    mosquitto_threaded_set(net->mosq, true);
    // Version 5, so that a command left retained on the broker is known as such even when it
    // arrives while the station is connected (retain as published).
    mosquitto_int_option(net->mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    const QByteArray status = topic(QStringLiteral("status"));
    int rc = mosquitto_will_set(net->mosq, status.constData(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.User.isEmpty())
        rc = mosquitto_username_pw_set(
            net->mosq, m_settings.User.toUtf8().constData(),
            m_settings.Password.isEmpty() ? nullptr : m_settings.Password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.CaFile.isEmpty())
        rc = mosquitto_tls_set(net->mosq, m_settings.CaFile.toLocal8Bit().constData(), nullptr,
                               nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        m_error = Why(rc);
        mosquitto_destroy(net->mosq);
        emit LinkChanged();
        return false;
    }
    mosquitto_connect_callback_set(net->mosq, &TMqttNet::OnConnect);
    mosquitto_message_callback_set(net->mosq, &TMqttNet::OnMessage);
    net->owner = this;
    m_net = net;
    Services().Changed = [this](int slot) { mark(slot); };
    m_sweep.start();
    std::thread([net] { net->run(); }).detach();
    return true;
}

double TMqttBridge::CpuSeconds() const
{
    double s = m_ownNs / 1e9;
    if (m_net && m_net->clockValid) {
        timespec ts{};
        if (clock_gettime(m_net->clock, &ts) == 0)
            s += ts.tv_sec + ts.tv_nsec / 1e9;
    }
    return s;
}

QByteArray TMqttBridge::topic(const QString &Rest) const
{
    return (m_settings.Prefix + QLatin1Char('/') + Rest).toUtf8();
}

void TMqttBridge::publish(const QByteArray &Topic, const QByteArray &Payload, bool Retain)
{
    if (!m_net || !m_net->mosq)
        return;
    // Only joins the library's queue; the network thread writes it.
    mosquitto_publish(m_net->mosq, nullptr, Topic.constData(), int(Payload.size()),
                      Payload.constData(), 1, Retain);
}

void TMqttBridge::connected(int Rc, const QString &Reason)
{
    TOwnTime t(m_ownNs);
    if (Rc != 0) {
        m_error = QStringLiteral("the broker refused the connection: ") + Reason;
        emit LinkChanged();
        return;
    }
    m_connected = true;
    m_error.clear();
    publish(topic(QStringLiteral("status")), "online", true);
    for (const char *t : {"source/+/set", "all/set"})
        mosquitto_subscribe_v5(m_net->mosq, nullptr, topic(QString::fromLatin1(t)).constData(), 1,
                               MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
    // Everything again, nothing held back: the broker may have lost it. A state left by a
    // source that went while the broker was away goes; at the first connection, any left by
    // an earlier run.
    for (int s = 1; s <= MaxDevices; ++s)
        m_sent[s] =
            TSent{!m_everConnected || !m_sent[s].last.isEmpty() ? QByteArray("-") : QByteArray()};
    m_everConnected = true;
    m_sources.clear();
    publishSources();
    for (int s = 1; s <= MaxDevices; ++s)
        publishState(s);
    emit LinkChanged();
}

void TMqttBridge::lost(const QString &Reason)
{
    TOwnTime t(m_ownNs);
    const bool was = m_connected;
    m_connected = false;
    if (m_error.isEmpty() || was)
        m_error = Reason;
    m_due.stop();
    emit LinkChanged();
}

void TMqttBridge::mark(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    m_marked[Slot] = true;
    // Looked at when the event loop comes round, after the change is made; a timer of no
    // delay needs no wake-up of the loop, which is running anyway.
    if (!m_check.isActive())
        m_check.start();
}

void TMqttBridge::check()
{
    TOwnTime t(m_ownNs);
    bool listChanged = false;
    for (int s = 1; s <= MaxDevices; ++s) {
        if (!m_marked[s])
            continue;
        m_marked[s] = false;
        // A source that came or went, or whose identification or colour changed.
        const TDevice &d = Devices[s];
        const TListed now{d.Used, d.Line, d.Address, d.Used ? d.Color : 0,
                          d.Used ? d.TypeText : QString()};
        if (!(now == m_listed[s])) {
            m_listed[s] = now;
            listChanged = true;
        }
        publishState(s, false);
    }
    if (listChanged)
        publishSources();
}

void TMqttBridge::sweep()
{
    TOwnTime t(m_ownNs);
    if (!m_connected)
        return;
    publishSources();
    for (int s = 1; s <= MaxDevices; ++s)
        publishState(s);
}

void TMqttBridge::due()
{
    TOwnTime t(m_ownNs);
    for (int s = 1; s <= MaxDevices; ++s)
        if (m_sent[s].pending) {
            m_sent[s].pending = false;
            publishState(s);
        }
}

void TMqttBridge::publishSources()
{
    if (!m_connected)
        return;
    const QByteArray list = SourcesJson();
    if (list == m_sources)
        return;
    m_sources = list;
    publish(topic(QStringLiteral("sources")), list, true);
}

void TMqttBridge::publishState(int Slot, bool Seconds)
{
    if (!m_connected)
        return;
    TSent &sent = m_sent[Slot];
    // A running program's seconds go out once a second with the sweep. Looked at with the
    // count it said last, a state changed by nothing else is not published: the count alone
    // would take up the source's interval and hold back the reading that its next reply
    // brings. What does go out carries the count as it is now.
    const int seconds = ProgramSeconds(Slot);
    const int said = Seconds || sent.seconds < 0 ? seconds : sent.seconds;
    QByteArray state = StateJson(Slot, said);
    if (state == sent.last)
        return;
    if (said != seconds)
        state = StateJson(Slot, seconds);
    const qint64 now = m_clock.elapsed();
    if (!state.isEmpty() && now - sent.at < StateInterval) {
        // Held back, not lost: the latest state goes when the interval is over.
        if (!sent.pending) {
            sent.pending = true;
            const int wait = int(sent.at + StateInterval - now);
            if (!m_due.isActive() || m_due.remainingTime() > wait)
                m_due.start(std::max(wait, 0));
        }
        return;
    }
    sent.pending = false;
    sent.last = state;
    sent.at = now;
    sent.seconds = seconds;
    // An empty retained message takes a removed source's state off the broker.
    if (m_stateTopic[Slot].isEmpty())
        m_stateTopic[Slot] = topic(QStringLiteral("source/%1/state").arg(Slot));
    publish(m_stateTopic[Slot], state, true);
}

void TMqttBridge::answerError(int Slot, const QString &Reason, const QByteArray &Command)
{
    const QByteArray t = Slot > 0 ? topic(QStringLiteral("source/%1/error").arg(Slot))
                                  : topic(QStringLiteral("error"));
    publish(t, ErrorJson(Reason, Command), false);
}

void TMqttBridge::received(const QByteArray &Topic, const QByteArray &Payload, bool Retained)
{
    TOwnTime t(m_ownNs);
    const QByteArray prefix = topic(QString());
    if (!Topic.startsWith(prefix))
        return;
    // An empty message is how a command left retained is taken off the broker: nothing to do.
    if (Payload.isEmpty())
        return;
    const QList<QByteArray> parts = Topic.mid(prefix.size()).split('/');
    int slot = 0;
    bool all = parts.size() == 2 && parts[0] == "all" && parts[1] == "set";
    if (parts.size() == 3 && parts[0] == "source" && parts[2] == "set") {
        bool ok = false;
        const int n = parts[1].toInt(&ok);
        if (ok && n >= 1 && n <= MaxDevices && QByteArray::number(n) == parts[1])
            slot = n;
        else {
            answerError(
                0, QStringLiteral("\"%1\" is not a slot 1 to 50").arg(QString::fromUtf8(parts[1])),
                Payload);
            return;
        }
    }
    if (!slot && !all)
        return;
    QString why;
    // A retained command would be carried out again at every connection.
    if (Retained)
        why = QStringLiteral("retained commands are not taken");
    else
        why = all ? TakeAllCommand(Payload, m_rules) : TakeSourceCommand(slot, Payload, m_rules);
    if (!why.isEmpty())
        answerError(slot, why, Payload);
}
