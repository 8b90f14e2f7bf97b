// The bridge with a real Mosquitto broker: the whole program's sources published and
// commanded from the network, a broker that goes away and comes back, held-back states that
// are merged but never lost, the broker's password check and the last will of a killed
// station.

#include "broker.h"
#include "mqttbridge.h"
#include "network.h"
#include "services.h"
#include "wholeprogram.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>

namespace {

TMqttSettings Settings(int port, const QString &prefix, bool allow)
{
    TMqttSettings s;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = port;
    s.ClientId = prefix;
    s.Prefix = prefix;
    s.AllowControl = allow;
    return s;
}

// A source in slot 1 that answers, without a panel or a port.
void BareSource()
{
    InitTables();
    Devices[1].Used = true;
    Devices[1].Line = 1;
    Devices[1].Address = 4;
    Devices[1].Link = lkAnswering;
    DeviceCount = 1;
}

// A bridge alone on the source of BareSource with its own broker (prefix "s"), and a
// subscriber to all it says.
struct TBareStation
{
    broker::Broker mq;
    std::unique_ptr<broker::Subscriber> sub;
    std::unique_ptr<TMqttBridge> bridge;

    // True once the bridge is connected and has said so.
    bool Start(bool allowControl)
    {
        if (!mq.Start())
            return false;
        BareSource();
        sub = std::make_unique<broker::Subscriber>(mq.Port(), QStringLiteral("s/#"));
        bridge =
            std::make_unique<TMqttBridge>(Settings(mq.Port(), QStringLiteral("s"), allowControl));
        return bridge->Start() && sub->WaitFor({"s/status online"});
    }
    bool Publish(const QString &rest, const QByteArray &message, bool retain = false)
    {
        return broker::Publish(mq.Port(), QStringLiteral("s/") + rest, message, retain);
    }
};

int CountLines(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
}

} // namespace

class TstBridge : public QObject
{
    Q_OBJECT
private slots:
    void init() { ResetServices(); }

    // The program's own sources on the network: state, commands taken the panel's way, and a
    // run that goes on untouched while the broker is away.
    void wholeProgram()
    {
        broker::Broker mq;
        QVERIFY(mq.Start());
        WholeProgram prog;
        const QByteArray mqtt = QStringLiteral("[MQTT]\r\nHost=127.0.0.1\r\nPort=%1\r\nPrefix=lab/"
                                               "st1\r\nAllowControl=1\r\n")
                                    .arg(mq.Port())
                                    .toLatin1();
        QCOMPARE(prog.Start({{QStringLiteral("addr=1,type=ZDR300-S,serial=4711,u=0,out=1,slew=40"),
                              QStringLiteral("addr=5,type=ZDR150,serial=99,u=12,out=1")}},
                            {}, mqtt),
                 QString());
        const int s1 = prog.Connect(1, 1), s2 = prog.Connect(1, 5);
        QVERIFY(s1 && s2);
        broker::Subscriber sub(mq.Port(), QStringLiteral("lab/st1/#"));
        QVERIFY(sub.WaitFor({"lab/st1/status online"}));
        QVERIFY(
            sub.WaitFor({QStringLiteral("lab/st1/source/%1/state").arg(s2), R"("answering":true)",
                         R"("type":"ZDR150")", R"("serial":"99")", R"("u":12)", R"("out":true)"}));
        QVERIFY(sub.WaitFor({"lab/st1/sources", R"("address":1)", R"("address":5)"}));
        // A late subscriber finds the retained state.
        broker::Subscriber late(mq.Port(), QStringLiteral("lab/st1/source/%1/state").arg(s2));
        QVERIFY(late.WaitFor({R"("address":5)"}));

        // Recording on, then a voltage from the network: on the wire, on the panel, in the file.
        Devices[s1].CheckBox1->click();
        QVERIFY(broker::Publish(mq.Port(), QStringLiteral("lab/st1/source/%1/set").arg(s1),
                                R"({"u": 120})"));
        QVERIFY(QTest::qWaitFor([&] { return prog.Sim().Received(1).join().contains("NAP120"); },
                                8000));
        QVERIFY(QTest::qWaitFor([&] { return Devices[s1].Edit1->text() == "120"; }, 2000));
        QVERIFY(sub.WaitFor({QStringLiteral("source/%1/state").arg(s1), R"("uSet":120)"}));
        // Refused: nothing pending, the reason on the slot's error topic, no error box.
        QVERIFY(broker::Publish(mq.Port(), QStringLiteral("lab/st1/source/%1/set").arg(s2),
                                R"({"tol": 3})"));
        QVERIFY(sub.WaitFor({QStringLiteral("source/%1/error").arg(s2), "cannot stabilise"}));
        QVERIFY(!Devices[s2].PendTol);
        QVERIFY(prog.Errors().isEmpty());
        // A source removed: its retained state is taken off the broker, the list follows.
        Devices[s2].ButtonDel->click();
        QVERIFY(sub.WaitFor({QStringLiteral("lab/st1/source/%1/state (null)").arg(s2)}));
        QVERIFY(QTest::qWaitFor(
            [&] { return sub.Lines().filter("lab/st1/sources").last().count("address") == 1; },
            3000));

        // The broker goes: the lines, the panels and the recording go on.
        mq.Stop();
        QVERIFY(QTest::qWaitFor([] { return !NetworkBridge()->IsConnected(); }, 5000));
        QCOMPARE(prog.Form()->LabMqtt->text(), QStringLiteral("MQTT: odpojeno"));
        const QString csv = QDir(prog.Dir()).entryList({QStringLiteral("*.csv")}).value(0);
        QVERIFY(!csv.isEmpty());
        const int rows = CountLines(prog.Dir() + QLatin1Char('/') + csv);
        const qsizetype frames = prog.Sim().Frames().size();
        WholeProgram::Run(2500);
        QVERIFY(prog.Sim().Frames().size() > frames);
        QVERIFY(CountLines(prog.Dir() + QLatin1Char('/') + csv) > rows);
        QVERIFY(Devices[s1].Disp1->text() != QStringLiteral("U = 000 V"));

        // It comes back: connected again and everything published to the new broker.
        QVERIFY(mq.Start());
        broker::Subscriber again(mq.Port(), QStringLiteral("lab/st1/#"));
        QVERIFY(again.WaitFor({"lab/st1/status online"}, 10000));
        QVERIFY(again.WaitFor({QStringLiteral("source/%1/state").arg(s1), R"("uSet":120)"}));
        QCOMPARE(prog.Form()->LabMqtt->text(), QStringLiteral("MQTT: připojeno"));
    }

    // Changes faster than a state may go are merged, and the last one always goes.
    void heldBackNotLost()
    {
        TBareStation st;
        QVERIFY(st.Start(false));
        QVERIFY(st.sub->WaitFor({"s/source/1/state", R"("u":0)"}));
        for (int u = 1; u <= 20; ++u) {
            Devices[1].U = u;
            NoteChange(1);
            QTest::qWait(10);
        }
        QVERIFY(st.sub->WaitFor({"s/source/1/state", R"("u":20)"}));
        QTest::qWait(TMqttBridge::StateInterval * 2);
        const QStringList states = st.sub->Lines().filter(QStringLiteral("s/source/1/state"));
        QVERIFY(states.size() < 10); // 20 changes in about 200 ms: two or three states
        QVERIFY(states.last().contains(R"("u":20)"));
    }

    // A command that cannot be taken changes nothing and is answered with the reason: with
    // control off, and a command left retained on the broker even while connected (the empty
    // message that takes it off is no command at all).
    void refused_data()
    {
        QTest::addColumn<bool>("control");
        QTest::addColumn<bool>("retained");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("reason");
        QTest::newRow("control off") << false << false << "source/1/set"
                                     << "s/source/1/error"
                                     << "AllowControl=0";
        QTest::newRow("control off, all") << false << false << "all/set"
                                          << "s/error"
                                          << "AllowControl=0";
        QTest::newRow("retained") << true << true << "source/1/set"
                                  << "s/source/1/error"
                                  << "retained";
    }

    void refused()
    {
        QFETCH(bool, control);
        QFETCH(bool, retained);
        QFETCH(QString, topic);
        QFETCH(QString, answer);
        QFETCH(QString, reason);
        TBareStation st;
        QVERIFY(st.Start(control));
        QVERIFY(st.Publish(topic, R"({"out": true})", retained));
        QVERIFY(st.sub->WaitFor({answer, reason}));
        QVERIFY(!Devices[1].PendOut);
        if (retained) {
            QVERIFY(st.Publish(topic, {}, true));
            QVERIFY(st.Publish(topic, R"({"out": true})"));
            QVERIFY(QTest::qWaitFor([] { return Devices[1].PendOut; }, 5000));
            QTest::qWait(200);
            QCOMPARE(st.sub->Lines().filter(answer).size(), 1);
        }
    }

    // The broker's checks: its password, and its certificate against the certificate file.
    void brokerChecks_data()
    {
        QTest::addColumn<QString>("password"); // empty: an anonymous broker with TLS
        QTest::addColumn<QString>("trusted");  // the certificate file given, for TLS
        QTest::addColumn<bool>("connects");
        QTest::newRow("right password") << "s3cret"
                                        << "" << true;
        QTest::newRow("wrong password") << "guess"
                                        << "" << false;
        QTest::newRow("the broker's certificate") << ""
                                                  << "broker" << true;
        QTest::newRow("another certificate") << ""
                                             << "other" << false;
    }

    void brokerChecks()
    {
        QFETCH(QString, password);
        QFETCH(QString, trusted);
        QFETCH(bool, connects);
        broker::Broker mq;
        if (password.isEmpty()) {
            QVERIFY(mq.MakeCertificate(QStringLiteral("broker")));
            QVERIFY(mq.MakeCertificate(QStringLiteral("other")));
            QVERIFY(mq.Start({}, {},
                             QStringLiteral("certfile %1\nkeyfile %2\n")
                                 .arg(mq.File("broker.pem"), mq.File("broker.key"))));
        } else {
            QVERIFY(mq.Start(QStringLiteral("station"), QStringLiteral("s3cret")));
        }
        TMqttSettings s = Settings(mq.Port(), QStringLiteral("p"), false);
        if (!password.isEmpty()) {
            s.User = QStringLiteral("station");
            s.Password = password;
        } else {
            s.CaFile = mq.File(trusted + QStringLiteral(".pem"));
        }
        TMqttBridge bridge(s);
        QVERIFY(bridge.Start());
        if (connects) {
            QVERIFY(QTest::qWaitFor([&] { return bridge.IsConnected(); }, 5000));
        } else {
            QVERIFY(QTest::qWaitFor([&] { return !bridge.LastError().isEmpty(); }, 5000));
            QVERIFY(!bridge.IsConnected());
            if (!password.isEmpty())
                QVERIFY2(bridge.LastError().contains("refused"), qPrintable(bridge.LastError()));
        }
    }

    // A station killed outright shows offline: the broker sends its last will.
    void lastWill()
    {
        broker::Broker mq;
        QVERIFY(mq.Start());
        broker::Subscriber sub(mq.Port(), QStringLiteral("k/status"));
        QProcess station;
        station.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--station"), QString::number(mq.Port())});
        QVERIFY(sub.WaitFor({"k/status online"}));
        ::kill(pid_t(station.processId()), SIGKILL);
        QVERIFY(sub.WaitFor({"k/status offline"}));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The killed station of lastWill: a bridge alone, until it is killed.
    if (argc == 3 && QByteArray(argv[1]) == "--station") {
        TMqttBridge bridge(Settings(QByteArray(argv[2]).toInt(), QStringLiteral("k"), false));
        bridge.Start();
        return app.exec();
    }
    TstBridge t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_bridge.moc"
