#include "commrig.h"

#include <QTest>

using Chunks = QList<QByteArray>;

class TstProtocol : public CommRigTest
{
    Q_OBJECT
private slots:
    void assembly_data();
    void assembly();
    void handlerReadsExactlyTheAnnouncedCount();
    void eachHandlerServesItsOwnLine();
    void overlongLineIsDroppedAndBounded();
    void longestAcceptedReply();
    void replyWithoutCurrentSourceIsDropped();

    void panelFollowsReplies();
    void stabilisationControlsFollowType();
    void recordingRowOnChangeOnly();
};

void TstProtocol::assembly_data()
{
    QTest::addColumn<Chunks>("events");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("parsed");
    QTest::addColumn<QString>("left");

    QTest::newRow("whole") << Chunks{"#01OK\r"} << "#01OK\r" << 1 << "";
    QTest::newRow("split in three") << Chunks{"#0", "1O", "K\r"} << "#01OK\r" << 1 << "";
    QTest::newRow("byte by byte") << Chunks{"#", "0", "1", "O", "K", "\r"} << "#01OK\r" << 1 << "";
    QTest::newRow("two in one event") << Chunks{"#01OK\r#01OK2\r"} << "#01OK2\r" << 2 << "";
    QTest::newRow("one and a half") << Chunks{"#01OK\r#01O", "K2\r"} << "#01OK2\r" << 2 << "";
    QTest::newRow("garbage before") << Chunks{"\x01zz#01OK\r"} << "#01OK\r" << 1 << "";
    QTest::newRow("garbage between") << Chunks{"#01OK\rjunk", "#01OK2\r"} << "#01OK2\r" << 2 << "";
    QTest::newRow("restarted by #") << Chunks{"#01OK", "#01OK3\r"} << "#01OK3\r" << 1 << "";
    QTest::newRow("no # at all") << Chunks{"xOK\r"} << "xOK\r" << 1 << "";
    QTest::newRow("unfinished") << Chunks{"#01OK\r#04O"} << "#01OK\r" << 1 << "#04O";
    QTest::newRow("empty event") << Chunks{"", "#01OK\r", ""} << "#01OK\r" << 1 << "";
    // A reply naming another address (a source late after its time-out) is not this
    // source's: nothing of it is taken, while a reply without an address field still is.
    QTest::newRow("another source's reply") << Chunks{"#07NAP123\r"} << "" << 0 << "";
    QTest::newRow("another, then its own") << Chunks{"#1FOK\r#01OK\r"} << "#01OK\r" << 1 << "";
    QTest::newRow("lower-case other address") << Chunks{"#0aOK\r"} << "" << 0 << "";
    QTest::newRow("no address field") << Chunks{"#OK\r"} << "#OK\r" << 1 << "";
}

void TstProtocol::assembly()
{
    QFETCH(Chunks, events);
    QFETCH(QString, reply);
    QFETCH(int, parsed);
    QFETCH(QString, left);

    rig->Connect(3, 1, 1);
    Devices[3].ReqState = 30;
    for (const QByteArray &e : events)
        rig->Feed(1, e);
    QCOMPARE(Devices[3].Reply, reply);
    QCOMPARE(Devices[3].ReqState, 30 + parsed);
    QCOMPARE(Lines[1].RxBuf, left);
}

void TstProtocol::handlerReadsExactlyTheAnnouncedCount()
{
    rig->Connect(3, 1, 1);
    Devices[3].ReqState = 30;
    FakePort *p = rig->port(1);
    p->rx = "#01OK\r#01OK\r";
    PortADataRecived(p, 3);
    QCOMPARE(p->rx, QByteArray("OK\r#01OK\r"));
    QCOMPARE(Devices[3].ReqState, 30);
    PortADataRecived(p, 0); // a count of nothing reads nothing
    QCOMPARE(p->rx.size(), 9);
    PortADataRecived(p, 5);
    QCOMPARE(Devices[3].ReqState, 31);
    QCOMPARE(p->rx, QByteArray("1OK\r"));
    // An event announcing more than is there reads what there is and keeps it.
    PortADataRecived(p, 10);
    QCOMPARE(Devices[3].ReqState, 32);
    p->rx = "#01O";
    PortADataRecived(p, 10);
    QCOMPARE(Lines[1].RxBuf, QStringLiteral("#01O"));
}

void TstProtocol::eachHandlerServesItsOwnLine()
{
    const int slotOf[5] = {0, 4, 9, 17, 50};
    for (int l = 1; l <= 4; ++l) {
        rig->Connect(slotOf[l], l, l);
        Devices[slotOf[l]].ReqState = 30;
    }
    for (int l = 1; l <= 4; ++l) {
        const QByteArray reply = "#0" + QByteArray::number(l) + "OK\r";
        rig->port(l)->rx = reply;
        rig->port(l)->OnDataRecived(rig->port(l), int32_t(reply.size()));
        for (int k = 1; k <= 4; ++k)
            QCOMPARE(Devices[slotOf[k]].ReqState, k <= l ? 31 : 30);
        QVERIFY(rig->port(l)->rx.isEmpty());
        QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(l)).size(), 1);
    }
}

void TstProtocol::overlongLineIsDroppedAndBounded()
{
    rig->Connect(3, 1, 1);
    Devices[3].ReqState = 30;
    Lines[1].Waiting = true;
    Lines[1].Countdown = 1500;
    // A line that never ends: the buffer stays bounded however much arrives.
    for (int i = 0; i < 200; ++i) {
        rig->Feed(1, QByteArray(97, 'x'));
        QVERIFY(Lines[1].RxBuf.size() < MaxReplyLength);
    }
    // Its end is not a reply, and it does not count as an answer.
    rig->Feed(1, "OK\r");
    QCOMPARE(Devices[3].ReqState, 30);
    QVERIFY(Lines[1].Waiting);
    QVERIFY(Lines[1].RxBuf.isEmpty());
    // The same for a started reply that overflows: dropped up to its carriage return.
    rig->Feed(1, "#01" + QByteArray(400, 'y') + "OK\r");
    QCOMPARE(Devices[3].ReqState, 30);
    QVERIFY(Lines[1].Waiting);
    // A "#" in the middle of the flood starts a fresh reply that is taken.
    rig->Feed(1, QByteArray(300, 'z') + "#01OK\r");
    QCOMPARE(Devices[3].ReqState, 31);
    QVERIFY(!Lines[1].Waiting);
    // The next request forgets an overflow in progress too.
    rig->Feed(1, QByteArray(300, 'z'));
    ClearReply(1);
    rig->Feed(1, "OK\r");
    QCOMPARE(Devices[3].ReqState, 32);
}

void TstProtocol::longestAcceptedReply()
{
    rig->Connect(3, 1, 1);
    const QByteArray head = "#01TYPZDR300-SVC";
    const QByteArray longest = head + QByteArray(MaxReplyLength - head.size() - 1, '7') + '\r';
    QCOMPARE(longest.size(), MaxReplyLength);
    rig->Feed(1, longest);
    QCOMPARE(Devices[3].Reply, QString::fromLatin1(longest));
    QCOMPARE(Devices[3].ReqState, 5);
    Devices[3].ReqState = 4;
    rig->Feed(1, head + QByteArray(MaxReplyLength - head.size(), '7') + '\r');
    QCOMPARE(Devices[3].ReqState, 4);
}

void TstProtocol::replyWithoutCurrentSourceIsDropped()
{
    // A line whose last source is gone: stray characters complete a "reply".
    QCOMPARE(Lines[2].Cur, NoDevice);
    rig->Feed(2, "#01OK\r#01NAP123\r");
    QVERIFY(Lines[2].RxBuf.isEmpty());
    QVERIFY(CommRig::MemoLines(FormMain->RecvMemo(2)).isEmpty());
    for (int s = 1; s <= MaxDevices; ++s)
        QVERIFY(Devices[s].Reply.isEmpty());
    QCOMPARE(Lines[2].Countdown, 0u);
}

void TstProtocol::panelFollowsReplies()
{
    rig->Connect(3, 1, 12);
    TDevice &d = Devices[3];
    QCOMPARE(d.Label1->text(), QStringLiteral("3: Adr. 12"));
    // A source shown as not answering, then its first reply.
    d.PanNekom->show();
    for (QWidget *w : std::initializer_list<QWidget *>{d.Edit1, d.Edit2, d.ButtSetU, d.ButtSetTol,
                                                       d.ButtSt, d.ButtEn, d.Label2, d.Label3})
        w->setEnabled(false);
    d.CanStab = true;
    d.Tol = 5;
    rig->Feed(1, "#0CNAP012\r");
    QVERIFY(d.PanNekom->isHidden());
    for (QWidget *w : std::initializer_list<QWidget *>{d.Edit1, d.Edit2, d.ButtSetU, d.ButtSetTol,
                                                       d.ButtSt, d.ButtEn, d.Label2, d.Label3})
        QVERIFY(w->isEnabled());
    QCOMPARE(d.Disp1->text(), QStringLiteral("U = 012 V"));
    QCOMPARE(d.Disp2->text(), QStringLiteral("Tol = 5 V"));
    // Before the identification the type text is empty; the title changes form at once.
    QCOMPARE(d.Label1->text(), QStringLiteral("3: Adr.12,  "));
    QCOMPARE(d.Shape1->BrushColor(), QColor(0xFF, 0, 0));
    QCOMPARE(d.Shape2->BrushColor(), QColor(0xFF, 0, 0));

    rig->Feed(1, "#0COUT1\r#0CSTA1\r");
    QCOMPARE(d.Shape1->BrushColor(), QColor(0, 0xFF, 0));
    QCOMPARE(d.Shape2->BrushColor(), QColor(0, 0xFF, 0));
    rig->Feed(1, "#0CTYPZDR300-SVC1012\r");
    QCOMPARE(d.Label1->text(), QStringLiteral("3: Adr.12,  ZDR300-S   v.č.: 1012\r"));
    rig->Feed(1, "#0CNAP1234\r#0CTOL9\r");
    QCOMPARE(d.Disp1->text(), QStringLiteral("U = 123 V"));
    QCOMPARE(d.Disp2->text(), QStringLiteral("Tol = 9 V"));
    rig->Feed(1, "#0CNAP-?-\r");
    QCOMPARE(d.Disp1->text(), QStringLiteral("U = -001 V"));
}

void TstProtocol::stabilisationControlsFollowType()
{
    rig->Connect(3, 1, 12);
    TDevice &d = Devices[3];
    d.StaOn = true;
    rig->Feed(1, "#0CTYPZDR300VC1\r");
    QVERIFY(!d.CanStab);
    // The identification reply itself is parsed after the enabling step, so the controls
    // follow the type from the next reply on.
    rig->Feed(1, "#0CSTA1\r");
    QVERIFY(d.StaOn);
    QVERIFY(!d.ButtSetTol->isEnabled());
    QVERIFY(!d.Label3->isEnabled());
    QVERIFY(!d.Edit2->isEnabled());
    QVERIFY(d.ButtSetU->isEnabled());
    QCOMPARE(d.Shape2->BrushColor(), QColor(Qt::white));

    rig->Feed(1, "#0CTYPZDR300-SVC1\r#0CSTA1\r");
    QVERIFY(d.CanStab);
    QVERIFY(d.ButtSetTol->isEnabled());
    QVERIFY(d.Label3->isEnabled());
    QVERIFY(d.Edit2->isEnabled());
    QCOMPARE(d.Shape2->BrushColor(), QColor(0, 0xFF, 0));
}

void TstProtocol::recordingRowOnChangeOnly()
{
    rig->Connect(3, 1, 12);
    TDevice &d = Devices[3];
    d.RecFile = rig->dir.filePath(QStringLiteral("rec.csv"));
    QFile::remove(d.RecFile);
    const auto rows = [&d] {
        QFile f(d.RecFile);
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        return int(f.readAll().count("\r\n"));
    };
    rig->Feed(1, "#0CNAP119\r"); // box not ticked: nothing
    QCOMPARE(rows(), 0);
    d.CheckBox1->setChecked(true);
    rig->Feed(1, "#0CNAP120\r#0CNAP120\r#0CNAP121\r");
    QCOMPARE(rows(), 2);
    QCOMPARE(d.UPrev, 120.0);
    rig->Feed(1, "#0COUT1\r#0CNAPxyz\r"); // no voltage, then an unreadable one
    QCOMPARE(rows(), 3);
    QVERIFY(QFile(d.RecFile).open(QIODevice::ReadOnly));
}

QTEST_MAIN(TstProtocol)
#include "tst_protocol.moc"
