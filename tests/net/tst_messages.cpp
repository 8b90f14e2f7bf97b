// The network's commands taken as the panels take them, refused whole when anything in them
// is wrong, and the state and list of sources as the network reads them.

#include "global.h"
#include "messages.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class TstMessages : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QList<QPair<int, bool>> m_runs; // the program starts and stops asked for

    // A source in slot 3 at address 7 that answers and can stabilise, recording on.
    void Connect(bool canStab, TLinkState link, int step)
    {
        InitTables();
        TDevice &d = Devices[3];
        d.Used = true;
        d.Line = 2;
        d.Address = 7;
        d.Link = link;
        d.CanStab = canStab;
        d.StepNo = step;
        d.Recording = true;
        DeviceCount = 1;
    }

    // What the command left for the scheduler and the program run, and whether it wrote a row.
    QString Effects(int slot, uint32_t triesBefore) const
    {
        const TDevice &d = Devices[slot];
        QString s;
        if (d.PendU)
            s += QStringLiteral("U%1%2 ").arg(d.USet).arg(d.UEntry ? "*" : "");
        if (d.PendTol)
            s += QStringLiteral("T%1 ").arg(d.TolSet);
        if (d.PendOut)
            s += QStringLiteral("O%1 ").arg(int(d.OutSet));
        if (d.PendSta)
            s += QStringLiteral("S%1 ").arg(int(d.StaSet));
        for (const auto &r : m_runs)
            s += QStringLiteral("P%1 ").arg(int(r.second));
        if (d.RecordTries != triesBefore)
            s += QStringLiteral("R ");
        return s.trimmed();
    }

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }

    void sourceCommand_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("allow");
        QTest::addColumn<bool>("canStab");
        QTest::addColumn<int>("link");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("effects"); // empty: refused
        QTest::addColumn<QString>("reason");  // a part of the refusal
        // clang-format off
        QTest::newRow("voltage, as SET") << QByteArray(R"({"u": 120})") << true << true << 1 << 0 << "U120* R" << "";
        QTest::newRow("voltage 0 and 255") << QByteArray(R"({"u": 255.0})") << true << true << 1 << 0 << "U255* R" << "";
        QTest::newRow("tolerance") << QByteArray(R"({"tol": 3})") << true << true << 1 << 0 << "T3" << "";
        QTest::newRow("output, stabilisation") << QByteArray(R"({"out": true, "sta": false})") << true << true << 1 << 0 << "O1 S0" << "";
        QTest::newRow("not yet answered") << QByteArray(R"({"out": false})") << true << false << 0 << 0 << "O0" << "";
        QTest::newRow("program start") << QByteArray(R"({"program": "start"})") << true << true << 1 << 0 << "P1" << "";
        QTest::newRow("program stop") << QByteArray(R"({"program": "stop"})") << true << true << 1 << 4 << "P0" << "";
        QTest::newRow("stop when stopped") << QByteArray(R"({"program": "stop"})") << true << true << 1 << 0 << "" << "";
        QTest::newRow("control off") << QByteArray(R"({"u": 1})") << false << true << 1 << 0 << "" << "AllowControl=0";
        QTest::newRow("silent source") << QByteArray(R"({"u": 1})") << true << true << 2 << 0 << "" << "does not answer";
        QTest::newRow("bad JSON") << QByteArray(R"({"u": )") << true << true << 1 << 0 << "" << "not JSON";
        QTest::newRow("an array") << QByteArray(R"([1])") << true << true << 1 << 0 << "" << "not a JSON object";
        QTest::newRow("empty object") << QByteArray("{}") << true << true << 1 << 0 << "" << "no command";
        QTest::newRow("unknown key, none taken") << QByteArray(R"({"out": true, "volts": 3})") << true << true << 1 << 0 << "" << "unknown key \"volts\"";
        QTest::newRow("voltage too high") << QByteArray(R"({"u": 256})") << true << true << 1 << 0 << "" << "0 to 255";
        QTest::newRow("voltage below 0") << QByteArray(R"({"u": -1})") << true << true << 1 << 0 << "" << "0 to 255";
        QTest::newRow("voltage not whole") << QByteArray(R"({"u": 12.5})") << true << true << 1 << 0 << "" << "0 to 255";
        QTest::newRow("voltage as text") << QByteArray(R"({"u": "12"})") << true << true << 1 << 0 << "" << "0 to 255";
        QTest::newRow("tolerance 0") << QByteArray(R"({"tol": 0})") << true << true << 1 << 0 << "" << "1 to 9";
        QTest::newRow("tolerance 10") << QByteArray(R"({"tol": 10})") << true << true << 1 << 0 << "" << "1 to 9";
        QTest::newRow("tolerance, no stabilisation") << QByteArray(R"({"tol": 3})") << true << false << 1 << 0 << "" << "cannot stabilise";
        QTest::newRow("stabilisation, none") << QByteArray(R"({"sta": true})") << true << false << 1 << 0 << "" << "cannot stabilise";
        QTest::newRow("output as 1") << QByteArray(R"({"out": 1})") << true << true << 1 << 0 << "" << "true or false";
        QTest::newRow("program resume") << QByteArray(R"({"program": "go"})") << true << true << 1 << 0 << "" << "start";
        QTest::newRow("program started twice") << QByteArray(R"({"program": "start"})") << true << true << 1 << 2 << "" << "already running";
        // clang-format on
    }

    void sourceCommand()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, allow);
        QFETCH(bool, canStab);
        QFETCH(int, link);
        QFETCH(int, step);
        QFETCH(QString, effects);
        QFETCH(QString, reason);
        Connect(canStab, TLinkState(link), step);
        m_runs.clear();
        TCommandRules rules;
        rules.AllowControl = allow;
        rules.RunProgram = [this](int slot, bool run) { m_runs.append({slot, run}); };
        const uint32_t tries = Devices[3].RecordTries;
        const QString why = TakeSourceCommand(3, payload, rules);
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(why.isEmpty(), reason.isEmpty());
        QCOMPARE(Effects(3, tries), effects);
        // The same command for a slot with no source is refused and changes nothing there.
        Connect(canStab, TLinkState(link), step);
        m_runs.clear();
        QVERIFY(!TakeSourceCommand(4, payload, rules).isEmpty());
        QCOMPARE(Effects(4, 0), QString());
    }

    void allCommand_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("effects");
        QTest::newRow("outputs on") << QByteArray(R"({"out": true})") << "O1";
        QTest::newRow("outputs off") << QByteArray(R"({"out": false})") << "O0";
        QTest::newRow("all to 0 V") << QByteArray(R"({"u": 0})") << "U0*";
        QTest::newRow("all to 5 V") << QByteArray(R"({"u": 5})") << "";
        QTest::newRow("two at once") << QByteArray(R"({"out": true, "u": 0})") << "";
        QTest::newRow("tolerance") << QByteArray(R"({"tol": 2})") << "";
        QTest::newRow("not JSON") << QByteArray("on") << "";
    }

    void allCommand()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, effects);
        Connect(true, lkAnswering, 0);
        m_runs.clear();
        TCommandRules rules;
        rules.AllowControl = true;
        QCOMPARE(TakeAllCommand(payload, rules).isEmpty(), !effects.isEmpty());
        QCOMPARE(Effects(3, Devices[3].RecordTries), effects);
        rules.AllowControl = false;
        Connect(true, lkAnswering, 0);
        QVERIFY(!TakeAllCommand(payload, rules).isEmpty());
        QCOMPARE(Effects(3, Devices[3].RecordTries), QString());
    }

    void stateAndList()
    {
        Connect(true, lkNew, 0);
        TDevice &d = Devices[3];
        d.TypeText = QStringLiteral("ZDR300-S   v.č.: 4711\r");
        d.Color = 0x00FF80;
        d.U = 0; // not yet read: no reading for the network either
        QJsonObject s = QJsonDocument::fromJson(StateJson(3)).object();
        QCOMPARE(s.value("answering").toBool(true), false);
        QVERIFY(s.value("u").isNull());
        QVERIFY(s.value("tol").isNull());

        d.Link = lkAnswering;
        d.U = 118;
        d.USet = 120;
        d.Tol = 2;
        d.OutOn = true;
        d.StepNo = 2;
        s = QJsonDocument::fromJson(StateJson(3)).object();
        QCOMPARE(s.value("slot").toInt(), 3);
        QCOMPARE(s.value("line").toString(), QStringLiteral("B"));
        QCOMPARE(s.value("address").toInt(), 7);
        QCOMPARE(s.value("type").toString(), QStringLiteral("ZDR300-S"));
        QCOMPARE(s.value("serial").toString(), QStringLiteral("4711"));
        QCOMPARE(s.value("u").toDouble(), 118.0);
        QCOMPARE(s.value("uSet").toDouble(), 120.0);
        QCOMPARE(s.value("tol").toDouble(), 2.0);
        QCOMPARE(s.value("out").toBool(), true);
        QCOMPARE(s.value("recording").toBool(), true);
        QCOMPARE(s.value("program").toObject().value("step").toInt(), 2);
        d.U = -1; // an unreadable reply
        QVERIFY(QJsonDocument::fromJson(StateJson(3)).object().value("u").isNull());
        QVERIFY(StateJson(4).isEmpty());
        // Whatever the source calls itself, the state stays JSON and says it back.
        const QString odd = QStringLiteral("Z\"D\\R\x01ř");
        d.TypeText = odd + QStringLiteral("   v.č.: 1");
        QJsonParseError err{};
        s = QJsonDocument::fromJson(StateJson(3), &err).object();
        QCOMPARE(err.error, QJsonParseError::NoError);
        QCOMPARE(s.value("type").toString(), odd);
        d.Line = 4; // the same source moved to another line is said so at once
        QCOMPARE(QJsonDocument::fromJson(StateJson(3)).object().value("line").toString(),
                 QStringLiteral("D"));

        const QJsonArray list = QJsonDocument::fromJson(SourcesJson()).array();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].toObject().value("color").toString(), QStringLiteral("#00FF80"));
        QCOMPARE(list[0].toObject().value("slot").toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(TstMessages)
#include "tst_messages.moc"
