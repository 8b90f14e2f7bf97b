#include "commrig.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

class TstCommLog : public CommRigTest
{
    Q_OBJECT
private slots:
    void logText_data();
    void logText();
    void sixtyRequestsKeepFifty();
    void setCommandAndItsReplyShowTheSameState();
    void lateReplyOverwritesTopLine();
    void languageInForceAtTheTime();
    void replyWithNoRequestKeepsColumnsPaired();
    void hiddenMemoShowsWhatItWouldHaveShown_data();
    void hiddenMemoShowsWhatItWouldHaveShown();
};

namespace {

// What a memo's document holds, read as it is: no lines kept aside are written in first.
struct MemoState
{
    QStringList lines;
    bool empty = true;
    bool operator==(const MemoState &) const = default;
};

MemoState Held(QPlainTextEdit *m)
{
    MemoState s;
    s.empty = m->document()->isEmpty();
    for (QTextBlock b = m->document()->firstBlock(); b.isValid(); b = b.next())
        s.lines << b.text();
    return s;
}

char *toString(const MemoState &s)
{
    return QTest::toString(QStringLiteral("%1 [%2]").arg(s.empty ? "empty" : "text",
                                                         s.lines.join(QStringLiteral(" | "))));
}

enum Visibility { HideMemos, ShowMemos, HideWindow, ShowWindow };
using Schedule = QList<QPair<int, int>>; // before step, what changes

// One step of traffic on line 1: a stray reply first, then requests answered, unanswered,
// and answered twice (the second reply replacing the first).
void Traffic(CommRig &rig, int step)
{
    if (step == 0) {
        rig.Feed(1, "#05OK\r");
        return;
    }
    rig.Tick(3);
    if (step % 7 == 6) {
        rig.Tick(61);
    } else {
        rig.AnswerLast(1);
        if (step % 5 == 4)
            rig.Feed(1, "#05NAP0" + QByteArray::number(10 + step % 90) + "\r");
    }
}

constexpr int TrafficSteps = 80;

} // namespace

Q_DECLARE_METATYPE(Schedule)

void TstCommLog::hiddenMemoShowsWhatItWouldHaveShown_data()
{
    QTest::addColumn<Schedule>("schedule");
    QTest::newRow("hidden from the start, shown at the end")
        << Schedule{{0, HideMemos}, {TrafficSteps, ShowMemos}};
    QTest::newRow("hidden past the depth of the log") << Schedule{{3, HideMemos}, {70, ShowMemos}};
    QTest::newRow("hidden and shown by turns")
        << Schedule{{1, HideMemos},  {2, ShowMemos},  {5, HideMemos},  {9, ShowMemos},
                    {10, HideMemos}, {11, ShowMemos}, {30, HideMemos}, {TrafficSteps, ShowMemos}};
    QTest::newRow("window hidden while lines are kept aside")
        << Schedule{{2, HideMemos}, {20, HideWindow}, {25, ShowWindow}, {60, ShowMemos}};
}

void TstCommLog::hiddenMemoShowsWhatItWouldHaveShown()
{
    QFETCH(Schedule, schedule);
    // The memos shown throughout: what the operator sees after each step.
    QList<MemoState> sentSeen, recvSeen;
    rig->form->show();
    rig->Connect(3, 1, 5);
    Devices[3].ReqState = 1;
    for (int step = 0; step < TrafficSteps; ++step) {
        Traffic(*rig, step);
        sentSeen << Held(FormMain->SentMemo(1));
        recvSeen << Held(FormMain->RecvMemo(1));
    }
    QCOMPARE(sentSeen.last().lines.size(), LogDepth);

    // The same traffic with the memos out of sight at times.
    rig.reset(); // the old rig leaves the shared tables clean before the new one sets them
    rig = std::make_unique<CommRig>();
    rig->form->show();
    rig->Connect(3, 1, 5);
    Devices[3].ReqState = 1;
    QPlainTextEdit *sent = FormMain->SentMemo(1), *recv = FormMain->RecvMemo(1);
    int shownChecks = 0;
    for (int step = 0; step <= TrafficSteps; ++step) {
        for (const auto &[at, change] : schedule) {
            if (at != step)
                continue;
            for (QPlainTextEdit *m : {sent, recv}) {
                if (change == HideMemos)
                    m->hide();
                else if (change == ShowMemos)
                    m->show();
            }
            if (change == HideWindow)
                rig->form->hide();
            else if (change == ShowWindow)
                rig->form->show();
        }
        if (step > 0 && sent->isVisible()) {
            QCOMPARE(Held(sent), sentSeen[step - 1]);
            QCOMPARE(Held(recv), recvSeen[step - 1]);
            ++shownChecks;
        }
        if (step < TrafficSteps)
            Traffic(*rig, step);
    }
    QVERIFY(shownChecks > 0);
    QVERIFY(sent->isVisible());
    QVERIFY(!sent->document()->isUndoAvailable());
    QVERIFY(!recv->document()->isUndoAvailable());
}

void TstCommLog::logText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("frame") << QByteArray("@05NAP???01\r") << QStringLiteral("@05NAP???01↵");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("line feed stays on the line")
        << QByteArray("#05\nOK\r") << QStringLiteral("#05␊OK↵");
    QTest::newRow("nul and delete") << QByteArray("#\0\x7f", 3) << QStringLiteral("#␀␡");
    // Bytes beyond ASCII are code-page letters: 0xE8 is "č", not the "è" of Latin-1.
    QTest::newRow("8-bit byte") << QByteArray("TYP\xe8") << QStringLiteral("TYPč");
    QTest::newRow("Czech letters")
        << QByteArray("\x8a\x9a\xc8\xe8\xd8\xf8\x8e\x9e\xf9\xec") << QStringLiteral("ŠšČčŘřŽžůě");
}

void TstCommLog::logText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(LogText(bytes), shown);
}

void TstCommLog::sixtyRequestsKeepFifty()
{
    rig->Connect(3, 1, 5);
    Devices[3].ReqState = 1;
    for (int i = 0; i < 60; ++i) {
        rig->Tick(3);
        if (i % 7 == 6)
            rig->Tick(61); // now and then no answer
        else
            rig->AnswerLast(1);
    }
    QCOMPARE(rig->port(1)->frames.size(), 60);
    const QStringList sent = CommRig::MemoLines(FormMain->SentMemo(1));
    const QStringList recv = CommRig::MemoLines(FormMain->RecvMemo(1));
    QCOMPARE(sent.size(), LogDepth);
    QCOMPARE(recv.size(), LogDepth);
    // Newest first, each reply opposite its request.
    for (int k = 0; k < LogDepth; ++k) {
        const int i = 59 - k;
        QVERIFY(sent[k].startsWith(QStringLiteral("Zař.č.3, Stav")));
        QVERIFY(sent[k].endsWith(LogText(rig->port(1)->frames[i])));
        if (i % 7 == 6)
            QCOMPARE(recv[k], QStringLiteral("Zař.č.3: Neodpovídá"));
        else
            QVERIFY(recv[k].endsWith(LogText(CommRig::AnswerTo(rig->port(1)->frames[i]))));
    }
    // The log runs all session long: no undo history may pile up behind the memos.
    QVERIFY(!FormMain->SentMemo(1)->document()->isUndoAvailable());
    QVERIFY(!FormMain->RecvMemo(1)->document()->isUndoAvailable());
}

void TstCommLog::setCommandAndItsReplyShowTheSameState()
{
    rig->Connect(3, 1, 5);
    TDevice &d = Devices[3];
    d.ReqState = 1;
    d.PendU = true;
    d.USet = 12;
    rig->Tick();
    rig->Feed(1, "#05OK\r");
    QCOMPARE(CommRig::MemoLines(FormMain->SentMemo(1)),
             QStringList{QStringLiteral("Zař.č.3, Stav30: @05NAP012D7↵")});
    QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(1)),
             QStringList{QStringLiteral("Zař.č.3, Stav30: #05OK↵")});
    // The read-back that follows goes with 31.
    rig->Tick(3);
    rig->Feed(1, "#05NAP012\r");
    QCOMPARE(CommRig::MemoLines(FormMain->SentMemo(1)).front(),
             QStringLiteral("Zař.č.3, Stav31: @05NAP???01↵"));
    QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(1)).front(),
             QStringLiteral("Zař.č.3, Stav31: #05NAP012↵"));
}

void TstCommLog::lateReplyOverwritesTopLine()
{
    rig->Connect(3, 1, 5);
    rig->Connect(4, 1, 6);
    Lines[1].Cur = 3;
    rig->Tick();
    rig->Tick(61);
    QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(1)),
             QStringList{QStringLiteral("Zař.č.3: Neodpovídá")});
    // A late reply of the timed-out source shows in the log against the line's new current
    // source, but its reading is not put on that source.
    const double before = Devices[4].U;
    rig->Feed(1, "#05NAP007\r");
    QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(1)),
             QStringList{QStringLiteral("Zař.č.4, Stav0: #05NAP007↵")});
    QCOMPARE(Devices[4].U, before);
    // The new current source's own reply overwrites the entry and is taken.
    rig->Feed(1, "#06NAP008\r");
    QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(1)),
             QStringList{QStringLiteral("Zař.č.4, Stav0: #06NAP008↵")});
    QCOMPARE(Devices[4].U, 8.0);
    QCOMPARE(CommRig::MemoLines(FormMain->SentMemo(1)).size(), 1);
}

void TstCommLog::languageInForceAtTheTime()
{
    rig->Connect(3, 1, 5);
    rig->Tick();
    rig->Tick(61);
    TextDevNo = LoadStr(sDevNo, lsEnglish);
    TextNoAnswer = LoadStr(sNoAnswer, lsEnglish);
    rig->Tick();
    rig->Tick(61);
    const QStringList sent = CommRig::MemoLines(FormMain->SentMemo(1));
    const QStringList recv = CommRig::MemoLines(FormMain->RecvMemo(1));
    QCOMPARE(sent, QStringList({QStringLiteral("Dev. No.3, Stav3: @05NAP???01↵"),
                                QStringLiteral("Zař.č.3, Stav3: @05NAP???01↵")}));
    QCOMPARE(recv, QStringList({QStringLiteral("Dev. No.3: No Answer"),
                                QStringLiteral("Zař.č.3: Neodpovídá")}));
}

void TstCommLog::replyWithNoRequestKeepsColumnsPaired()
{
    rig->Connect(3, 1, 5);
    rig->Feed(1, "#05OK\r"); // stray reply before any request
    QCOMPARE(CommRig::MemoLines(FormMain->RecvMemo(1)),
             QStringList{QStringLiteral("Zař.č.3, Stav0: #05OK↵")});
    QCOMPARE(FormMain->SentMemo(1)->document()->blockCount(), 1);
    rig->Tick(3);
    rig->AnswerLast(1);
    QCOMPARE(FormMain->SentMemo(1)->document()->blockCount(), 2);
    QCOMPARE(FormMain->RecvMemo(1)->document()->blockCount(), 2);
    QCOMPARE(CommRig::MemoLines(FormMain->SentMemo(1)).back(), QString());
}

QTEST_MAIN(TstCommLog)
#include "tst_commlog.moc"
