// The conversation end to end: the scheduler, the protocol and the log against the source
// simulator, through the real serial layer on pseudo-terminals. Line A carries a source
// that always answers (slot 1, address 5) and one that drops every second reply (slot 2,
// address 9); line B one source (slot 3, address 31) whose replies come in pieces behind
// junk bytes.

#include "commlog.h"
#include "liverig.h"
#include "scheduler.h"
#include "strtable.h"

#include <QTest>

#include <memory>

class TstCommLive : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void panelsFillFromReplies();
    void requestsInTurnWithTimeouts();
    void silentSourceShownAndRecovers();
    void setReachesTheWire();
    void memosMatchTheWire();

private:
    std::unique_ptr<LiveRig> m_rig;
    QTimer m_pump;
    int m_ticks = 0;
    // Tick numbers at which slot 2 was asked and was shown as not answering.
    QList<int> m_askedSilent, m_shownSilent;
};

void TstCommLive::initTestCase()
{
    m_rig = std::make_unique<LiveRig>();
    const QString err =
        m_rig->Start({{"addr=5,u=12,tol=3,out=1,slew=0", "addr=9,u=4,drop=2,slew=0"},
                      {"addr=31,type=ZDR150,u=7,out=1,slew=0,split=3,garbage"}});
    QVERIFY2(err.isEmpty(), qPrintable(err));
    TextDevNo = LoadStr(sDevNo, lsCzech);
    TextNoAnswer = LoadStr(sNoAnswer, lsCzech);

    QCOMPARE(m_rig->main.Connect(1, 5), 1);
    QCOMPARE(m_rig->main.Connect(1, 9), 2);
    QCOMPARE(m_rig->main.Connect(2, 31), 3);

    // The tick as the application runs it, watching slot 2 on the way.
    m_pump.setTimerType(Qt::PreciseTimer);
    m_pump.setInterval(25);
    connect(&m_pump, &QTimer::timeout, this, [this] {
        m_pump.stop();
        ++m_ticks;
        const bool hidden = Devices[2].PanNekom->isHidden();
        ServeLines();
        DrawDirtyPanels();
        if (Lines[1].Cur == 2 && Lines[1].Waiting && Lines[1].Countdown == ReplyTimeout)
            m_askedSilent << m_ticks;
        if (hidden && !Devices[2].PanNekom->isHidden())
            m_shownSilent << m_ticks;
        m_pump.start();
    });
    m_pump.start();
}

void TstCommLive::cleanupTestCase()
{
    m_pump.stop();
    m_rig.reset();
}

void TstCommLive::panelsFillFromReplies()
{
    const TDevice &b = Devices[3];
    QTRY_COMPARE_WITH_TIMEOUT(b.Shape1->BrushColor(), QColor(0, 0xFF, 0), 8000);
    QCOMPARE(b.Disp1->text(), QStringLiteral("U = 007 V"));
    QCOMPARE(b.Disp2->text(), QStringLiteral("Tol = 1 V"));
    QCOMPARE(b.Shape2->BrushColor(), QColor(Qt::white)); // cannot stabilise
    QCOMPARE(b.Label1->text(), QStringLiteral("3: Adr.31,  ZDR150   v.č.: 1031\r"));
    QVERIFY(!b.ButtSetTol->isEnabled());
    QVERIFY(b.ButtSetU->isEnabled());

    const TDevice &a = Devices[1];
    QTRY_COMPARE_WITH_TIMEOUT(a.Shape1->BrushColor(), QColor(0, 0xFF, 0), 8000);
    QCOMPARE(a.Disp1->text(), QStringLiteral("U = 012 V"));
    QCOMPARE(a.Disp2->text(), QStringLiteral("Tol = 3 V"));
    QTRY_COMPARE_WITH_TIMEOUT(a.Shape2->BrushColor(), QColor(0xFF, 0, 0), 3000);
    QVERIFY(a.CanStab);
    QVERIFY(a.ButtSetTol->isEnabled());
    QCOMPARE(a.Label1->text(), QStringLiteral("1: Adr.5,  ZDR300-S   v.č.: 1005\r"));
}

void TstCommLive::requestsInTurnWithTimeouts()
{
    // Thirteen requests on line A take two time-outs: a few seconds.
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->sim.Received(1).size() >= 13, 10000);
    const QList<QByteArray> a = m_rig->sim.Received(1);
    const QList<QByteArray> expected = {
        "@09NAP???05\r", "@09ID?35\r",                 // 2nd dropped
        "@05NAP???01\r", "@05ID?31\r",  "@05TOL?93\r", // first turn
        "@09ID?35\r",    "@09TOL?97\r",                // 4th dropped
        "@05OUT?9C\r",   "@05STA?8C\r", "@05NAP???01\r", "@05ID?31\r", "@05TOL?93\r",
        "@09TOL?97\r", // answered
    };
    QCOMPARE(a.mid(0, expected.size()), expected);
    // Line B went its own way meanwhile, turn after turn.
    const QList<QByteArray> b = m_rig->sim.Received(2);
    QVERIFY(b.size() >= 8);
    QCOMPARE(b.mid(0, 8),
             QList<QByteArray>({"@1FNAP???13\r", "@1FID?43\r", "@1FTOL?A5\r", "@1FOUT?AE\r",
                                "@1FSTA?9E\r", "@1FNAP???13\r", "@1FID?43\r", "@1FTOL?A5\r"}));
    for (const SimFrame &f : m_rig->sim.Frames())
        QVERIFY2(f.kind != "BAD", f.text.constData());
}

void TstCommLive::silentSourceShownAndRecovers()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_shownSilent.size() >= 2, 10000);
    // Shown not answering on the 61st tick after the request that got no reply (its first
    // request was answered, the second not).
    QVERIFY(m_askedSilent.size() >= 3);
    QCOMPARE(m_shownSilent[0] - m_askedSilent[1], 61);
    QCOMPARE(m_shownSilent[1] - m_askedSilent[3], 61);
    // Between the two the source answered its next request, which took the overlay away.
    QVERIFY(Devices[2].Reply.startsWith(QStringLiteral("#09")));
    QTRY_VERIFY_WITH_TIMEOUT(Devices[2].PanNekom->isHidden(), 8000);
    QVERIFY(Devices[2].ButtSetU->isEnabled());
    // The other source of the line never looked silent.
    QVERIFY(Devices[1].PanNekom->isHidden());
    QVERIFY(MemoLines(FormMain->RecvMemo(1)).contains(QStringLiteral("Zař.č.2: Neodpovídá")));
}

void TstCommLive::setReachesTheWire()
{
    TDevice &d = Devices[1];
    QVERIFY(d.ButtSetU->OnClick);
    d.Edit1->setText(QStringLiteral("20"));
    d.ButtSetU->OnClick(d.ButtSetU);
    QTRY_COMPARE_WITH_TIMEOUT(d.Disp1->text(), QStringLiteral("U = 020 V"), 8000);
    const QList<QByteArray> a = m_rig->sim.Received(1);
    const qsizetype at = a.indexOf("@05NAP020D6\r");
    QVERIFY(at >= 0);
    QCOMPARE(a.count("@05NAP020D6\r"), 1);
    // The set is acknowledged and read back by the very next request to that source.
    QVERIFY(at + 1 < a.size());
    QCOMPARE(a[at + 1], QByteArray("@05NAP???01\r"));
    bool acked = false;
    for (const SimFrame &f : m_rig->sim.Frames())
        if (f.line == 1 && f.kind == "TX" && f.text == "#05OK\r")
            acked = true;
    QVERIFY(acked);
}

void TstCommLive::memosMatchTheWire()
{
    const QStringList sent = MemoLines(FormMain->SentMemo(1));
    const QStringList recv = MemoLines(FormMain->RecvMemo(1));
    QCOMPARE(sent.size(), recv.size());
    QVERIFY(sent.size() <= LogDepth);
    const qsizetype k = sent.indexOf(QStringLiteral("Zař.č.1, Stav30: @05NAP020D6↵"));
    QVERIFY(k >= 0);
    QCOMPARE(recv[k], QStringLiteral("Zař.č.1, Stav30: #05OK↵"));
    QCOMPARE(recv[k - 1], QStringLiteral("Zař.č.1, Stav31: #05NAP020↵"));
    // Line B's junk before each reply is dropped; the entries begin at the "#".
    const QStringList recvB = MemoLines(FormMain->RecvMemo(2));
    QVERIFY(recvB.size() > 5);
    for (const QString &r : recvB.mid(1))
        QVERIFY2(r.startsWith(QStringLiteral("Zař.č.3, Stav")) &&
                     r.contains(QStringLiteral(": #1F")),
                 qPrintable(r));
}

QTEST_MAIN(TstCommLive)
#include "tst_commlive.moc"
