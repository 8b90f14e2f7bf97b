#include "commrig.h"

#include <QTest>

using Chunks = QList<QByteArray>;

class TstProtocol : public CommRigTest
{
    Q_OBJECT
private slots:
    void frames_data();
    void frames();

    void assembly_data();
    void assembly();
    void handlerReadsExactlyTheAnnouncedCount();
    void eachHandlerServesItsOwnLine();
    void overlongLineIsDroppedAndBounded();
    void longestAcceptedReply();
    void replyWithoutCurrentSourceIsDropped();

    void parseSteps_data();
    void parseSteps();
    void panelFollowsReplies();
    void stabilisationControlsFollowType();
    void recordingRowOnChangeOnly();
};

void TstProtocol::frames_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("frame");

    // The worked frames of the protocol description.
    QTest::newRow("identify 1") << 1 << int(cmdID) << QByteArray("?") << QByteArray("@01ID?2D\r");
    QTest::newRow("voltage query 5")
        << 5 << int(cmdNAP) << QByteArray("???") << QByteArray("@05NAP???01\r");
    QTest::newRow("set 12 V at 10")
        << 10 << int(cmdNAP) << QByteArray("012") << QByteArray("@0ANAP012E3\r");
    QTest::newRow("output on 31") << 31 << int(cmdOUT) << QByteArray("1")
                                  << QByteArray("@1FOUT1A0\r");
    QTest::newRow("tolerance 5 at 0")
        << 0 << int(cmdTOL) << QByteArray("5") << QByteArray("@00TOL584\r");
    // Edges: four-digit voltage, minus sign, two-digit tolerance, other queries.
    QTest::newRow("1000 V") << 0 << int(cmdNAP) << QByteArray("1000")
                            << QByteArray("@00NAP100000\r");
    QTest::newRow("-5 V") << 31 << int(cmdNAP) << QByteArray("-005")
                          << QByteArray("@1FNAP-00518\r");
    QTest::newRow("tolerance 12") << 31 << int(cmdTOL) << QByteArray("12")
                                  << QByteArray("@1FTOL12C9\r");
    QTest::newRow("stab off") << 0 << int(cmdSTA) << QByteArray("0") << QByteArray("@00STA078\r");
    QTest::newRow("output query 16")
        << 16 << int(cmdOUT) << QByteArray("?") << QByteArray("@10OUT?98\r");
    QTest::newRow("stab query 16")
        << 16 << int(cmdSTA) << QByteArray("?") << QByteArray("@10STA?88\r");
    QTest::newRow("tolerance query 16")
        << 16 << int(cmdTOL) << QByteArray("?") << QByteArray("@10TOL?8F\r");
}

void TstProtocol::frames()
{
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, frame);
    QCOMPARE(BuildFrame(address, command, value), frame);
}

// Each row: the events as they arrive, then what the source's record shows afterwards.
// "OK" replies count themselves in ReqState, so the number of replies parsed is visible.
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

void TstProtocol::parseSteps_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("stateBefore");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("out");
    QTest::addColumn<bool>("sta");
    QTest::addColumn<double>("u");
    QTest::addColumn<double>("tol");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("canStab");
    QTest::addColumn<bool>("passedOn");

    // Before each row: output on, stabilisation on, 7 V, tolerance 2, no type, can stabilise.
    const QString none;
    QTest::newRow("ack of set voltage")
        << QByteArray("#05OK\r") << 30 << 31 << true << true << 7.0 << 2.0 << none << true << false;
    QTest::newRow("ack of set output")
        << QByteArray("#05OK\r") << 10 << 11 << true << true << 7.0 << 2.0 << none << true << false;
    QTest::newRow("output off") << QByteArray("#05OUT0\r") << 1 << 2 << false << true << 7.0 << 2.0
                                << none << true << false;
    QTest::newRow("output on") << QByteArray("#05OUT1\r") << 11 << 2 << true << true << 7.0 << 2.0
                               << none << true << false;
    QTest::newRow("output other char")
        << QByteArray("#05OUTx\r") << 1 << 2 << true << true << 7.0 << 2.0 << none << true << false;
    QTest::newRow("output narrows t") << QByteArray("#05OUTSTA0\r") << 1 << 2 << true << true << 7.0
                                      << 2.0 << none << true << false;
    QTest::newRow("ack and output") << QByteArray("#05OKOUT0\r") << 10 << 2 << false << true << 7.0
                                    << 2.0 << none << true << false;
    QTest::newRow("stab off") << QByteArray("#05STA0\r") << 2 << 3 << true << false << 7.0 << 2.0
                              << none << true << false;
    QTest::newRow("voltage") << QByteArray("#05NAP012\r") << 3 << 4 << true << true << 12.0 << 2.0
                             << none << true << false;
    QTest::newRow("voltage decimal") << QByteArray("#05NAP1.5\r") << 31 << 4 << true << true << 1.5
                                     << 2.0 << none << true << false;
    QTest::newRow("voltage unreadable") << QByteArray("#05NAPabc\r") << 3 << 4 << true << true
                                        << -1.0 << 2.0 << none << true << false;
    QTest::newRow("voltage short")
        << QByteArray("#05NAP\r") << 3 << 4 << true << true << -1.0 << 2.0 << none << true << false;
    QTest::newRow("identification")
        << QByteArray("#05TYPZDR300-SVC1005\r") << 4 << 5 << true << true << 7.0 << 2.0
        << QStringLiteral("ZDR300-S   v.č.: 1005\r") << true << false;
    QTest::newRow("type without -S")
        << QByteArray("#05TYPZDR300VC1005\r") << 4 << 5 << true << true << 7.0 << 2.0
        << QStringLiteral("ZDR300   v.č.: 1005\r") << false << false;
    QTest::newRow("-S at fifth character")
        << QByteArray("#05TYPABCD-SVC1\r") << 4 << 5 << true << true << 7.0 << 2.0
        << QStringLiteral("ABCD-S   v.č.: 1\r") << false << false;
    QTest::newRow("-S at sixth character")
        << QByteArray("#05TYPABCDE-SVC1\r") << 4 << 5 << true << true << 7.0 << 2.0
        << QStringLiteral("ABCDE-S   v.č.: 1\r") << true << false;
    QTest::newRow("type without VC")
        << QByteArray("#05TYPZDR300-S\r") << 4 << 5 << true << true << 7.0 << 2.0
        << QStringLiteral("ZDR300-S\r   v.č.: ") << true << false;
    // A source's own text in the code page of the program: "ZDRÁČEK-S", serial "Č12".
    QTest::newRow("Czech type and serial")
        << QByteArray("#05TYPZDR\xc1\xc8"
                      "EK-SVC\xc8"
                      "12\r")
        << 4 << 5 << true << true << 7.0 << 2.0 << QStringLiteral("ZDRÁČEK-S   v.č.: Č12\r") << true
        << false;
    QTest::newRow("tolerance") << QByteArray("#05TOL3\r") << 5 << 1 << true << true << 7.0 << 3.0
                               << none << true << true;
    QTest::newRow("ack then tolerance") << QByteArray("#05OKTOL4\r") << 50 << 1 << true << true
                                        << 7.0 << 4.0 << none << true << true;
    // A tolerance that is not a digit is not taken, but the turn ends as after a good one.
    QTest::newRow("tolerance not a digit")
        << QByteArray("#05TOLX\r") << 5 << 1 << true << true << 7.0 << 2.0 << none << true << true;
    QTest::newRow("tolerance missing")
        << QByteArray("#05TOL\r") << 51 << 1 << true << true << 7.0 << 2.0 << none << true << true;
    QTest::newRow("serial holding TOL")
        << QByteArray("#05TYPZDR300-SVC12TOL7\r") << 4 << 1 << true << true << 7.0 << 7.0
        << QStringLiteral("ZDR300-S   v.č.: 12TOL7\r") << true << true;
    QTest::newRow("no keyword") << QByteArray("#05HELLO\r") << 3 << 3 << true << true << 7.0 << 2.0
                                << none << true << false;
    QTest::newRow("ack driven past the range")
        << QByteArray("#05OK\r") << 39 << 40 << true << true << 7.0 << 2.0 << none << true << false;
}

void TstProtocol::parseSteps()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, stateBefore);
    QFETCH(int, state);
    QFETCH(bool, out);
    QFETCH(bool, sta);
    QFETCH(double, u);
    QFETCH(double, tol);
    QFETCH(QString, type);
    QFETCH(bool, canStab);
    QFETCH(bool, passedOn);

    rig->Connect(3, 1, 5);
    rig->Connect(8, 1, 6);
    Lines[1].Cur = 3;
    TDevice &d = Devices[3];
    d.OutOn = d.StaOn = d.CanStab = true;
    d.U = 7;
    d.Tol = 2;
    d.ReqState = stateBefore;
    Lines[1].Waiting = true;
    Lines[1].Countdown = 1200;

    rig->Feed(1, reply);

    QCOMPARE(d.Reply, QString::fromLatin1(reply));
    QCOMPARE(d.ReqState, state);
    QCOMPARE(d.OutOn, out);
    QCOMPARE(d.StaOn, sta);
    QCOMPARE(d.U, u);
    QCOMPARE(d.Tol, tol);
    QCOMPARE(d.TypeText, type);
    QCOMPARE(d.CanStab, canStab);
    QCOMPARE(Lines[1].Cur, passedOn ? 8 : 3);
    // Every reply, keyword or not, counts as the answer.
    QVERIFY(!Lines[1].Waiting);
    QCOMPARE(Lines[1].Countdown, ReplyPause);
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
