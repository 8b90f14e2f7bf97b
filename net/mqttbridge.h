#pragma once

// The station on the network: the sources' state published to an MQTT broker and the
// commands of the panels taken from it. The library's network thread does all the I/O;
// what it hears crosses to the interface thread by queued calls, and what the interface
// thread publishes only joins the library's queue. The tick's share is a mark of the
// source that changed (Services().Changed); the state is looked at and published after.

#include "global.h"
#include "messages.h"
#include "mqttsettings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

struct TMqttNet;

class TMqttBridge : public QObject
{
    Q_OBJECT
public:
    static constexpr int StateInterval = 200;  // ms: at most one state a source in this time
    static constexpr int SweepInterval = 1000; // ms: every state looked at again

    explicit TMqttBridge(const TMqttSettings &Settings, QObject *Parent = nullptr);
    // Says "offline", disconnects and lets the network thread go (waiting for it briefly).
    ~TMqttBridge() override;

    // Starts connecting and watching the sources; false when the library refused, with the
    // reason in LastError. A broker that is not there is no failure: it is tried again.
    bool Start();
    bool IsConnected() const { return m_connected; }
    // Why the bridge is not connected (the broker's refusal, the network's error), or empty.
    QString LastError() const { return m_error; }
    const TMqttSettings &Settings() const { return m_settings; }
    // How a program is started (true) or stopped (false), as the panel's buttons do it.
    void SetProgramRunner(std::function<void(int Slot, bool Run)> Run)
    {
        m_rules.RunProgram = std::move(Run);
    }
    // Processor time the bridge has taken so far, its network thread and its work on the
    // interface thread together, in seconds.
    double CpuSeconds() const;

signals:
    // Connected or disconnected, or a new reason for being disconnected.
    void LinkChanged();

private:
    friend struct TMqttNet;
    void connected(int Rc, const QString &Reason);
    void lost(const QString &Reason);
    void received(const QByteArray &Topic, const QByteArray &Payload, bool Retained);

    void mark(int Slot);
    void check();
    void sweep();
    void due();
    // Seconds: a running program's count of seconds alone is a change (the sweep), or not.
    void publishState(int Slot, bool Seconds = true);
    void publishSources();
    void publish(const QByteArray &Topic, const QByteArray &Payload, bool Retain);
    void answerError(int Slot, const QString &Reason, const QByteArray &Command);
    QByteArray topic(const QString &Rest) const;

    struct TSent
    {
        QByteArray last;      // the payload last published (empty: none, or cleared)
        qint64 at = -1000000; // when, on m_clock
        bool pending = false; // changed within the interval: published when it ends
        int seconds = -1;     // the program's seconds it said
    };

    TMqttSettings m_settings;
    TCommandRules m_rules;
    std::shared_ptr<TMqttNet> m_net;
    bool m_connected = false;
    bool m_everConnected = false;
    QString m_error;
    // What the list of sources shows of a slot.
    struct TListed
    {
        bool used = false;
        int line = 0, address = 0;
        uint32_t color = 0;
        QString type;
        bool operator==(const TListed &) const = default;
    };

    TSent m_sent[MaxDevices + 1];
    QByteArray m_stateTopic[MaxDevices + 1];
    QByteArray m_sources;
    TListed m_listed[MaxDevices + 1]; // what the list last showed of each slot
    bool m_marked[MaxDevices + 1] = {};
    QElapsedTimer m_clock;
    QTimer m_check;
    QTimer m_due;
    QTimer m_sweep;
    qint64 m_ownNs = 0; // processor time of the work on the interface thread
};
