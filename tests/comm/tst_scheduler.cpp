#include "commrig.h"

#include <QTest>

// The conversation on a line as the frames that left, as "command value" for one address.
static QStringList Requests(const FakePort *p, int from = 0)
{
    QStringList r;
    for (int i = from; i < p->frames.size(); ++i) {
        const Frame f = SplitFrame(p->frames[i]);
        r << QString::fromLatin1(f.command + ' ' + f.value);
    }
    return r;
}

class TstScheduler : public CommRigTest
{
    Q_OBJECT
private slots:
    void oneTurnOfFiveRequests();
    void firstTurnOfNewSource();
    void pauseAfterReplyIsThreeTicks();
    void commandSubstitution_data();
    void commandSubstitution();
    void outputWaitsForVoltage();
    void timeoutOnSixtyFirstTick();
    void timeoutStopsProgramAndShowsPanel();
    void silentSourceDoesNotHoldUpOthers();
    void setCommandNotRepeatedAfterTimeout();
    void twoLinesServedInSameTick();
    void slotFiftyAloneOnItsLine();
    void removalAfterTimeout();
    void removalOfLastSourceIdlesLine();
    void stateFortyTimesOut();
    void failingWriteCountsAsSent();
    void countdownFollowsTimerInterval();
};

void TstScheduler::oneTurnOfFiveRequests()
{
    rig->Connect(1, 1, 5);
    Devices[1].ReqState = 1; // a source that has been through its first turn
    FakePort *p = rig->port(1);
    for (int i = 0; i < 10; ++i) {
        rig->Tick(3);
        QCOMPARE(p->frames.size(), i + 1);
        rig->AnswerLast(1);
    }
    QCOMPARE(Requests(p), QStringList({"OUT ?", "STA ?", "NAP ???", "ID ?", "TOL ?", "OUT ?",
                                       "STA ?", "NAP ???", "ID ?", "TOL ?"}));
    QCOMPARE(p->frames.first(), BuildFrame(5, cmdOUT, "?"));
    QCOMPARE(Devices[1].ReqState, 1);
    QCOMPARE(Lines[1].Cur, 1);
}

void TstScheduler::firstTurnOfNewSource()
{
    rig->Connect(2, 1, 7);
    rig->Connect(4, 1, 8);
    QCOMPARE(Lines[1].Cur, 4); // the newest source is served first
    FakePort *p = rig->port(1);
    for (int i = 0; i < 6; ++i) {
        rig->Tick(3);
        rig->AnswerLast(1);
    }
    QCOMPARE(Requests(p), QStringList({"NAP ???", "ID ?", "TOL ?", "NAP ???", "ID ?", "TOL ?"}));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(SplitFrame(p->frames[i]).address, 8);
    for (int i = 3; i < 6; ++i)
        QCOMPARE(SplitFrame(p->frames[i]).address, 7);
    // The panel shows what the first turn brought.
    QCOMPARE(Devices[2].Disp1->text(), QStringLiteral("U = 012 V"));
    QCOMPARE(Devices[2].Disp2->text(), QStringLiteral("Tol = 3 V"));
    QVERIFY(Devices[2].TypeText.startsWith(QStringLiteral("ZDR300-S   v.č.: 1007")));
}

void TstScheduler::pauseAfterReplyIsThreeTicks()
{
    rig->Connect(1, 1, 5);
    FakePort *p = rig->port(1);
    rig->Tick();
    QCOMPARE(p->frames.size(), 1); // a new source is asked at once
    rig->AnswerLast(1);
    rig->Tick(2);
    QCOMPARE(p->frames.size(), 1);
    rig->Tick();
    QCOMPARE(p->frames.size(), 2);
    // A reply to nothing does not make a second request leave early.
    rig->Tick(5);
    QCOMPARE(p->frames.size(), 2);
}

// Row: pending commands and the state the source is in; the frame that goes and the state.
void TstScheduler::commandSubstitution_data()
{
    QTest::addColumn<int>("stateBefore");
    QTest::addColumn<bool>("pendOut");
    QTest::addColumn<bool>("pendSta");
    QTest::addColumn<bool>("pendU");
    QTest::addColumn<bool>("pendTol");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("stillPending"); // letters O S U T

    QTest::newRow("nothing pending") << 2 << false << false << false << false << "STA ?" << 2 << "";
    QTest::newRow("voltage instead of stab query")
        << 2 << false << false << true << false << "NAP 013" << 30 << "";
    QTest::newRow("output") << 4 << true << false << false << false << "OUT 1" << 10 << "";
    QTest::newRow("stab") << 3 << false << true << false << false << "STA 0" << 20 << "";
    QTest::newRow("output before stab")
        << 5 << true << true << false << false << "OUT 1" << 10 << "S";
    QTest::newRow("voltage before output")
        << 1 << true << false << true << false << "NAP 013" << 30 << "O";
    QTest::newRow("tolerance before all")
        << 1 << true << true << true << true << "TOL 4" << 50 << "OSU";
    QTest::newRow("output waits in a set range")
        << 31 << true << false << false << false << "NAP ???" << 31 << "O";
    QTest::newRow("stab waits in a set range")
        << 11 << false << true << false << false << "OUT ?" << 11 << "S";
    QTest::newRow("voltage goes in any range")
        << 51 << true << false << true << false << "NAP 013" << 30 << "O";
    QTest::newRow("new source, voltage pending")
        << 0 << false << false << true << false << "NAP 013" << 30 << "";
}

void TstScheduler::commandSubstitution()
{
    QFETCH(int, stateBefore);
    QFETCH(bool, pendOut);
    QFETCH(bool, pendSta);
    QFETCH(bool, pendU);
    QFETCH(bool, pendTol);
    QFETCH(QString, request);
    QFETCH(int, state);
    QFETCH(QString, stillPending);

    rig->Connect(6, 1, 9);
    TDevice &d = Devices[6];
    d.ReqState = stateBefore;
    d.PendOut = pendOut;
    d.PendSta = pendSta;
    d.PendU = pendU;
    d.PendTol = pendTol;
    d.OutSet = true;
    d.StaSet = false;
    d.USet = 12.5; // half a volt rounds away from zero
    d.TolSet = 4;
    rig->Tick();
    QCOMPARE(Requests(rig->port(1)), QStringList{request});
    QCOMPARE(d.ReqState, state);
    QString pending;
    if (d.PendOut)
        pending += 'O';
    if (d.PendSta)
        pending += 'S';
    if (d.PendU)
        pending += 'U';
    if (d.PendTol)
        pending += 'T';
    QCOMPARE(pending, stillPending);
    // The log shows the state the request was sent with.
    QVERIFY(CommRig::MemoLines(FormMain->SentMemo(1))
                .front()
                .startsWith(QStringLiteral("Zař.č.6, Stav%1: @09").arg(state)));
}

void TstScheduler::outputWaitsForVoltage()
{
    rig->Connect(1, 1, 5);
    TDevice &d = Devices[1];
    d.ReqState = 1;
    d.PendOut = d.PendU = true;
    d.OutSet = true;
    d.USet = 20;
    for (int i = 0; i < 8; ++i) {
        rig->Tick(3);
        rig->AnswerLast(1);
    }
    // The voltage first, its read-back, then the output once the set range is left.
    // The output reply puts the source back to the start of its cycle.
    QCOMPARE(Requests(rig->port(1)), QStringList({"NAP 020", "NAP ???", "OUT 1", "OUT ?", "STA ?",
                                                  "NAP ???", "ID ?", "TOL ?"}));
    QVERIFY(!d.PendOut && !d.PendU);
}

void TstScheduler::timeoutOnSixtyFirstTick()
{
    rig->Connect(1, 1, 5);
    rig->Tick();
    QVERIFY(Lines[1].Waiting);
    rig->Tick(60);
    QVERIFY(Lines[1].Waiting);
    QVERIFY(Devices[1].PanNekom->isHidden());
    rig->Tick(); // the 61st
    QVERIFY(!Lines[1].Waiting);
    QVERIFY(!Devices[1].PanNekom->isHidden());
    QCOMPARE(rig->port(1)->frames.size(), 1);
    // The same request goes again on the next tick: the only source is its own next.
    rig->Tick();
    QCOMPARE(Requests(rig->port(1)), QStringList({"NAP ???", "NAP ???"}));
}

void TstScheduler::timeoutStopsProgramAndShowsPanel()
{
    rig->Connect(3, 1, 12);
    TDevice &d = Devices[3];
    rig->Tick();
    rig->AnswerLast(1);
    d.StepNo = 4;
    d.StepTick = 5;
    d.ButtSt->hide();
    d.ButtEn->show();
    d.Edit1->setText(QStringLiteral("12"));
    d.Edit2->setText(QStringLiteral("3"));
    d.CanStab = true;
    d.OutOn = true;
    rig->Tick(3);
    rig->Tick(61);
    QCOMPARE(d.StepNo, 0);
    QCOMPARE(d.StepTick, rig->now);
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
    QVERIFY(!d.PanNekom->isHidden());
    QCOMPARE(d.Disp1->text(), QStringLiteral("U = .... V"));
    QCOMPARE(d.Disp2->text(), QStringLiteral("Tol = . V"));
    QVERIFY(d.Edit1->text().isEmpty());
    QVERIFY(d.Edit2->text().isEmpty());
    for (QWidget *w : std::initializer_list<QWidget *>{d.Edit1, d.Edit2, d.ButtSetU, d.ButtSetTol,
                                                       d.ButtSt, d.ButtEn, d.Label2, d.Label3})
        QVERIFY(!w->isEnabled());
    QCOMPARE(d.Shape1->BrushColor(), QColor(Qt::white));
    QCOMPARE(d.Shape2->BrushColor(), QColor(Qt::white));
    QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(1)).front(),
             QStringLiteral("Zař.č.3: Neodpovídá"));
    // Its next reply brings it back.
    rig->Tick();
    rig->AnswerLast(1);
    QVERIFY(d.PanNekom->isHidden());
    QVERIFY(d.ButtSetU->isEnabled());
    QCOMPARE(d.Disp1->text(), QStringLiteral("U = 012 V"));
    QCOMPARE(d.StepNo, 0); // the program is not restarted
}

void TstScheduler::silentSourceDoesNotHoldUpOthers()
{
    rig->Connect(2, 1, 2);
    rig->Connect(7, 1, 7);
    FakePort *p = rig->port(1);
    Lines[1].Cur = 2;
    // Slot 7 never answers; slot 2 always does at once.
    QList<int> order;
    for (int t = 0; t < 400; ++t) {
        const int before = int(p->frames.size());
        rig->Tick();
        if (p->frames.size() > before) {
            order << SplitFrame(p->frames.last()).address;
            if (order.last() == 2)
                rig->AnswerLast(1);
        }
        QVERIFY(Devices[2].PanNekom->isHidden());
    }
    QVERIFY(!Devices[7].PanNekom->isHidden());
    // Slot 2 keeps its turns (three requests in the first, five after), slot 7 gets one
    // request per turn and the line waits for it only as long as the time-out.
    QCOMPARE(order.mid(0, 15), QList<int>({2, 2, 2, 7, 2, 2, 2, 2, 2, 7, 2, 2, 2, 2, 2}));
    const int toSeven = int(order.count(7));
    QVERIFY(toSeven >= 4);
    const QStringList recv = CommRig::MemoLines(FormMain->RecvMemo(1));
    QVERIFY(recv.count(QStringLiteral("Zař.č.7: Neodpovídá")) >= toSeven - 1);
    QVERIFY(!recv.contains(QStringLiteral("Zař.č.2: Neodpovídá")));
}

void TstScheduler::setCommandNotRepeatedAfterTimeout()
{
    rig->Connect(1, 1, 5);
    TDevice &d = Devices[1];
    d.ReqState = 2;
    d.PendU = true;
    d.USet = 30;
    rig->Tick();
    rig->Tick(61); // no answer
    rig->Tick();
    QCOMPARE(Requests(rig->port(1)), QStringList({"NAP 030", "NAP ???"}));
    QCOMPARE(d.ReqState, 30);
    QVERIFY(!d.PendU);
}

void TstScheduler::twoLinesServedInSameTick()
{
    rig->Connect(2, 1, 2);
    rig->Connect(7, 1, 7);
    rig->Connect(5, 2, 5);
    Lines[1].Cur = 2;
    QList<int> orderA, orderB;
    for (int t = 0; t < 40; ++t) {
        const int a = int(rig->port(1)->frames.size()), b = int(rig->port(2)->frames.size());
        rig->Tick();
        const bool sentA = rig->port(1)->frames.size() > a, sentB = rig->port(2)->frames.size() > b;
        if (t == 0)
            QVERIFY(sentA && sentB); // both lines leave in the very first tick
        if (sentA) {
            orderA << SplitFrame(rig->port(1)->frames.last()).address;
            rig->AnswerLast(1);
        }
        if (sentB) {
            orderB << SplitFrame(rig->port(2)->frames.last()).address;
            rig->AnswerLast(2);
        }
    }
    // Line A alternates turn by turn; line B serves its one source.
    QCOMPARE(orderA.mid(0, 8), QList<int>({2, 2, 2, 7, 7, 7, 2, 2}));
    QVERIFY(!orderB.isEmpty());
    for (int a : orderB)
        QCOMPARE(a, 5);
    QCOMPARE(orderA.size(), orderB.size());
}

void TstScheduler::slotFiftyAloneOnItsLine()
{
    rig->Connect(50, 4, 31);
    for (int i = 0; i < 13; ++i) {
        rig->Tick(3);
        rig->AnswerLast(4);
    }
    QCOMPARE(rig->port(4)->frames.size(), 13);
    QCOMPARE(Lines[4].Cur, 50);
    QCOMPARE(Requests(rig->port(4), 8),
             QStringList({"OUT ?", "STA ?", "NAP ???", "ID ?", "TOL ?"}));
    QVERIFY(rig->port(4)->frames.first().startsWith("@1FNAP"));
}

void TstScheduler::removalAfterTimeout()
{
    rig->Connect(2, 1, 2);
    rig->Connect(7, 1, 7);
    Lines[1].Cur = 2;
    rig->Tick(); // request to 2, never answered
    RemoveReq[2] = true;
    rig->Tick(60);
    QVERIFY(Lines[1].Waiting);
    rig->Tick(); // the countdown ran out: removal wins over the time-out
    QVERIFY(!Devices[2].Used);
    QVERIFY(!RemoveReq[2]);
    QCOMPARE(DeviceCount, 1);
    QCOMPARE(Devices[2].Line, 0);
    QCOMPARE(Lines[1].Cur, 7);
    QVERIFY(!Lines[1].Waiting);
    // The next source is asked at once and is not taken for silent.
    rig->Tick();
    QCOMPARE(SplitFrame(rig->port(1)->frames.last()).address, 7);
    QVERIFY(Devices[7].PanNekom->isHidden());
    QVERIFY(!CommRig::MemoLines(FormMain->RecvMemo(1))
                 .join('\n')
                 .contains(QStringLiteral("Neodpovídá")));
    QCOMPARE(rig->port(1)->closes, 0);
}

void TstScheduler::removalOfLastSourceIdlesLine()
{
    rig->Connect(9, 3, 1);
    rig->Tick();
    rig->AnswerLast(3);
    RemoveReq[9] = true;
    rig->Tick(3);
    QCOMPARE(Lines[3].Cur, NoDevice);
    QCOMPARE(rig->port(3)->closes, 1);
    const int sent = int(rig->port(3)->frames.size());
    rig->Tick(100);
    QCOMPARE(rig->port(3)->frames.size(), sent);
}

void TstScheduler::stateFortyTimesOut()
{
    rig->Connect(1, 1, 5);
    Devices[1].ReqState = 40;
    for (int turn = 0; turn < 3; ++turn) {
        rig->Tick();
        QVERIFY(Lines[1].Waiting);
        rig->Tick(61);
        QVERIFY(!Devices[1].PanNekom->isHidden());
    }
    QVERIFY(rig->port(1)->frames.isEmpty());
    QCOMPARE(CommRig::MemoLines(FormMain->SentMemo(1)).front(),
             QStringLiteral("Zař.č.1, Stav40: "));
    // A set voltage brings it back into the cycle.
    Devices[1].PendU = true;
    Devices[1].USet = 5;
    rig->Tick();
    QCOMPARE(Requests(rig->port(1)), QStringList{"NAP 005"});
}

void TstScheduler::failingWriteCountsAsSent()
{
    rig->Connect(1, 1, 5);
    rig->Connect(2, 1, 6);
    rig->port(1)->failWrites = true;
    rig->Tick(); // must not throw
    QVERIFY(Lines[1].Waiting);
    QCOMPARE(Lines[1].Countdown, ReplyTimeout);
    QCOMPARE(CommRig::MemoLines(FormMain->SentMemo(1)).size(), 1);
    rig->Tick(61);
    QVERIFY(!Devices[2].PanNekom->isHidden());
    QCOMPARE(Lines[1].Cur, 1);
    // The line goes on once the port takes frames again.
    rig->port(1)->failWrites = false;
    rig->Tick();
    QCOMPARE(rig->port(1)->frames.size(), 1);
}

void TstScheduler::countdownFollowsTimerInterval()
{
    rig->Connect(1, 1, 5);
    DM->TSystem->setInterval(100);
    rig->Tick();
    rig->Tick(15);
    QVERIFY(Lines[1].Waiting);
    rig->Tick(); // 1500 / 100 + 1
    QVERIFY(!Lines[1].Waiting);
}

QTEST_MAIN(TstScheduler)
#include "tst_scheduler.moc"
