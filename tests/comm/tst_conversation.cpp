// The conversation with the sources over the tables, without a port or a widget: what a
// reply does to a source's data, which frame a turn sends, what a time-out and a removal do.

#include "conversation.h"
#include "frame.h"
#include "global.h"
#include "sysutils.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TstConversation : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void frames_data();
    void frames();
    void parseSteps_data();
    void parseSteps();
    void turnFrames_data();
    void turnFrames();
    void changedReadingWritesARow();
    void noAnswerStopsTheProgram();
    void nextSourceWrapsOnItsLine();
    void releaseDropsCommandsAndFreesTheLine();

private:
    static TDevice &Occupy(int slot, int line, int address)
    {
        TDevice &d = Devices[slot];
        d.Used = true;
        d.Line = line;
        d.Address = address;
        Lines[line].Cur = slot;
        ++DeviceCount;
        return d;
    }
    QTemporaryDir m_dir;
    uint32_t m_now = 5000;
};

void TstConversation::init()
{
    InitTables();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    SetTickSource([this] { return m_now; });
}

void TstConversation::cleanup()
{
    SetTickSource({});
    InitTables();
}

void TstConversation::frames_data()
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

void TstConversation::frames()
{
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, frame);
    QCOMPARE(BuildFrame(address, command, value), frame);
}

// Each row: the events as they arrive, then what the source's record shows afterwards.
// "OK" replies count themselves in ReqState, so the number of replies parsed is visible.
void TstConversation::parseSteps_data()
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

void TstConversation::parseSteps()
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

    Occupy(3, 1, 5);
    Occupy(8, 1, 6);
    Lines[1].Cur = 3;
    TDevice &d = Devices[3];
    d.OutOn = d.StaOn = d.CanStab = true;
    d.U = 7;
    d.Tol = 2;
    d.ReqState = stateBefore;
    Lines[1].Waiting = true;
    Lines[1].Countdown = 1200;

    d.Reply = QString::fromLatin1(reply);
    ParseReply(3);

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
    QCOMPARE(d.Link, lkAnswering);
    QVERIFY(d.Dirty);
}

void TstConversation::turnFrames_data()
{
    QTest::addColumn<int>("stateBefore");
    QTest::addColumn<QString>("pending"); // letters O S U T
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("stillPending");

    // The query cycle, and each state of a set command asking again what it set.
    QTest::newRow("new source asks the voltage")
        << 0 << "" << QByteArray("@09NAP???05\r") << 3 << "";
    QTest::newRow("output query") << 1 << "" << QByteArray("@09OUT?A0\r") << 1 << "";
    QTest::newRow("identification") << 4 << "" << QByteArray("@09ID?35\r") << 4 << "";
    QTest::newRow("tolerance query") << 5 << "" << QByteArray("@09TOL?97\r") << 5 << "";
    QTest::newRow("after set tolerance OK") << 51 << "" << QByteArray("@09TOL?97\r") << 51 << "";
    QTest::newRow("outside the cycle") << 40 << "" << QByteArray() << 40 << "";
    // Commands in place of the query: the later in the list wins, the others wait.
    QTest::newRow("voltage, half a volt rounds away")
        << 2 << "U" << QByteArray("@09NAP013DC\r") << 30 << "";
    QTest::newRow("tolerance before all")
        << 1 << "OSUT" << QByteArray("@09TOL48C\r") << 50 << "OSU";
    QTest::newRow("output waits in a set range")
        << 31 << "O" << QByteArray("@09NAP???05\r") << 31 << "O";
}

void TstConversation::turnFrames()
{
    QFETCH(int, stateBefore);
    QFETCH(QString, pending);
    QFETCH(QByteArray, frame);
    QFETCH(int, state);
    QFETCH(QString, stillPending);
    TDevice &d = Occupy(6, 1, 9);
    d.ReqState = stateBefore;
    d.PendOut = pending.contains('O');
    d.PendSta = pending.contains('S');
    d.PendU = pending.contains('U');
    d.PendTol = pending.contains('T');
    d.OutSet = true;
    d.USet = 12.5;
    d.TolSet = 4;
    QCOMPARE(TurnFrame(6), frame);
    QCOMPARE(d.ReqState, state);
    QString left;
    for (auto [flag, letter] : {std::pair{d.PendOut, 'O'}, std::pair{d.PendSta, 'S'},
                                std::pair{d.PendU, 'U'}, std::pair{d.PendTol, 'T'}})
        if (flag)
            left += QLatin1Char(letter);
    QCOMPARE(left, stillPending);
}

void TstConversation::changedReadingWritesARow()
{
    TDevice &d = Occupy(2, 1, 5);
    d.Recording = true;
    d.USet = 12;
    // The first reading differs from the start value, the second repeats it, the third is
    // unreadable: rows for the first and the third only.
    for (const char *reply : {"#05NAP012\r", "#05NAP012\r", "#05NAPx\r"}) {
        d.Reply = QString::fromLatin1(reply);
        ParseReply(2);
    }
    QFile f(d.RecFile);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(d.RecFile));
    const QList<QByteArray> rows = f.readAll().split('\n');
    QCOMPARE(rows.size(), 2 + 2 + 1); // two headings, two rows, nothing after the last CR LF
    QVERIFY(rows[2].endsWith(";12;12\r"));
    QVERIFY(rows[3].endsWith(";-1;12\r"));
    QVERIFY(!d.RecordFailing);

    // Recording off: no row, whatever the reading does.
    d.Recording = false;
    d.Reply = QStringLiteral("#05NAP020\r");
    ParseReply(2);
    QVERIFY(f.seek(0));
    QCOMPARE(f.readAll().count('\n'), 4);
}

void TstConversation::noAnswerStopsTheProgram()
{
    TDevice &d = Occupy(4, 2, 1);
    d.StepNo = 7;
    d.StepTick = 100;
    d.Link = lkAnswering;
    NoAnswer(4);
    QCOMPARE(d.StepNo, 0);
    QCOMPARE(d.StepTick, m_now);
    QCOMPARE(d.Link, lkSilent);
    QVERIFY(d.Dirty);
    // The next reply brings it back.
    d.Reply = QStringLiteral("#01OUT1\r");
    ParseReply(4);
    QCOMPARE(d.Link, lkAnswering);
}

void TstConversation::nextSourceWrapsOnItsLine()
{
    Occupy(3, 1, 1);
    Occupy(9, 2, 1);
    Occupy(50, 1, 2);
    Lines[1].Cur = 3;
    NextSource(1);
    QCOMPARE(Lines[1].Cur, 50);
    NextSource(1);
    QCOMPARE(Lines[1].Cur, 3);
    NextSource(2);
    QCOMPARE(Lines[2].Cur, 9); // alone on its line: itself again
    NextSource(3);
    QCOMPARE(Lines[3].Cur, NoDevice);
}

void TstConversation::releaseDropsCommandsAndFreesTheLine()
{
    TDevice &a = Occupy(1, 1, 4);
    Occupy(2, 1, 5);
    a.PendU = a.PendOut = true;
    a.USet = 99;
    QVERIFY(!ReleaseSource(1)); // another source stays on the line
    QVERIFY(!a.Used && !a.PendU && !a.PendOut);
    QCOMPARE(a.USet, 0.0);
    QCOMPARE(DeviceCount, 1);
    QVERIFY(!ReleaseSource(1)); // nothing there any more: the count stays
    QCOMPARE(DeviceCount, 1);
    QVERIFY(ReleaseSource(2)); // the line's last source: its port is to be closed
    QCOMPARE(Lines[1].Cur, NoDevice);
    QCOMPARE(DeviceCount, 0);
}

QTEST_GUILESS_MAIN(TstConversation)
#include "tst_conversation.moc"
