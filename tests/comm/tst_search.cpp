// The line search against the source simulator: on a line of its own it finds the sources
// that answer and not the silent one; on a line already polling sources it takes turns
// with them, never sending while a reply is awaited, and the sources go on being served.

#include "conversation.h"
#include "liverig.h"
#include "scheduler.h"
#include "search.h"
#include "strtable.h"

#include <QFile>
#include <QTest>

#include <memory>

class TstSearch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void findsTheAnsweringSources();
    void takesTurnsWithPolledSources();

private:
    // Runs the tick until the line's search is over (or a minute of ticks has passed).
    void PumpWhileSearching(int line);
    // The frames of one line in the simulator's log: time, kind (RX, TX, BAD), text.
    struct LogLine
    {
        double ms;
        QByteArray kind, text;
    };
    QList<LogLine> FrameLog(int line) const;

    std::unique_ptr<LiveRig> m_rig;
};

void TstSearch::initTestCase()
{
    m_rig = std::make_unique<LiveRig>();
    const QString err = m_rig->Start(
        {{"addr=1,type=ZDR300-S", "addr=5,type=ZDR150", "addr=12,type=ZDR600-S", "addr=20,silent"},
         {"addr=3", "addr=7", "addr=10,type=ZDR150", "addr=21"}});
    QVERIFY2(err.isEmpty(), qPrintable(err));
    TextDevNo = LoadStr(sDevNo, lsCzech);
    TextNoAnswer = LoadStr(sNoAnswer, lsCzech);
}

void TstSearch::cleanupTestCase()
{
    m_rig.reset();
}

void TstSearch::PumpWhileSearching(int line)
{
    for (int i = 0; i < 2400 && Searching(line); ++i) {
        ServeLines();
        QTest::qWait(25);
    }
}

QList<TstSearch::LogLine> TstSearch::FrameLog(int line) const
{
    QFile f(m_rig->dir.filePath(QStringLiteral("frames.log")));
    QList<LogLine> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &l : f.readAll().split('\n')) {
        const QList<QByteArray> p = l.split(' ');
        if (p.size() >= 4 && p[1].toInt() == line)
            out << LogLine{p[0].toDouble(), p[2], p.mid(3).join(' ')};
    }
    return out;
}

void TstSearch::findsTheAnsweringSources()
{
    TAfComPort *port = m_rig->main.dm.Port(1);
    port->SetComNumber(1);
    port->Open();
    QList<int> all;
    for (int a = 0; a <= 31; ++a)
        all << a;
    StartSearch(1, all);
    PumpWhileSearching(1);
    QVERIFY(!Searching(1));
    const TLineSearch &s = SearchOf(1);
    QCOMPARE(s.Asked, 32);
    QCOMPARE(s.Found.keys(), (QList<int>{1, 5, 12}));
    QCOMPARE(s.Found.value(1), QStringLiteral("ZDR300-S"));
    QCOMPARE(s.Found.value(5), QStringLiteral("ZDR150"));
    // A line only the search had opened is left closed again.
    QVERIFY(!port->Active());
    // Every address was asked once, for its identification.
    int asked = 0;
    for (const LogLine &l : FrameLog(1))
        asked += l.kind != "TX" && l.text.contains("ID?") ? 1 : 0;
    QCOMPARE(asked, 32);
}

void TstSearch::takesTurnsWithPolledSources()
{
    const int a = m_rig->main.Connect(2, 3);
    const int b = m_rig->main.Connect(2, 7);
    for (int i = 0; i < 40; ++i) { // both sources answer before the search begins
        ServeLines();
        QTest::qWait(25);
    }
    QCOMPARE(Devices[a].Link, lkAnswering);
    QCOMPARE(Devices[b].Link, lkAnswering);
    const double searchFrom = FrameLog(2).isEmpty() ? 0 : FrameLog(2).last().ms;
    StartSearch(2, {0, 1, 2, 10, 21, 30, 31});
    PumpWhileSearching(2);
    QCOMPARE(SearchOf(2).Found.keys(), (QList<int>{10, 21}));
    QCOMPARE(Devices[a].Link, lkAnswering);
    QCOMPARE(Devices[b].Link, lkAnswering);

    // The only master on the line: a reply comes before the next frame, and a frame nobody
    // answers is followed by the next only after its answer window.
    const QList<LogLine> log = FrameLog(2);
    int polled = 0, searched = 0;
    for (qsizetype i = 0; i < log.size(); ++i) {
        if (log[i].kind == "TX" || log[i].ms < searchFrom)
            continue;
        const int address = log[i].text.mid(1, 2).toInt(nullptr, 16);
        if (address != 3 && address != 7)
            ++searched;
        else
            ++polled;
        qsizetype next = i + 1;
        while (next < log.size() && log[next].kind == "TX")
            ++next;
        if (next >= log.size())
            break;
        if (next == i + 1) // unanswered: the window passed first
            QVERIFY2(log[next].ms - log[i].ms >= SearchWindow - 25,
                     log[i].text + " / " + log[next].text);
    }
    // The sources kept their turns: one of theirs between each two of the search's.
    QCOMPARE(searched, 7);
    QVERIFY2(polled >= searched - 1, QByteArray::number(polled));
}

QTEST_MAIN(TstSearch)
#include "tst_search.moc"
