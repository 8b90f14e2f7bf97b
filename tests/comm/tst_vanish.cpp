// A line's device that vanishes while its sources are polled (the simulator ends, in order or
// killed), comes back at the same path, and the operator removing and re-adding sources
// meanwhile: the whole program, its real serial ports and the connection dialog.
//
// Recovery: a source added on a line whose device was lost opens the line's port afresh
// (or, as ever, the port reopens when the line's last source was removed and one is added).

#include "wholeprogram.h"

#include "afcomport.h"
#include "afcomportcore.h"
#include "commlog.h"
#include "controls.h"
#include "recovery.h"
#include "sysutils.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

// Waits in the event loop without spinning, so that the process's CPU time is the
// program's own.
void Idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool ShowsNoAnswer(int slot)
{
    const TDevice &d = Devices[slot];
    return d.Used && d.PanNekom && !d.PanNekom->isHidden() &&
           d.PanNekom->Caption() == QLatin1String("NEKOMUNIKUJE");
}

// Answering: the overlay gone and the voltage of this run of the simulator read.
bool Answers(int slot)
{
    const TDevice &d = Devices[slot];
    return d.Used && d.PanNekom && d.PanNekom->isHidden() && !d.TypeText.isEmpty();
}

int SlotOf(int line, int address)
{
    for (int s = 1; s <= MaxDevices; ++s)
        if (Devices[s].Used && Devices[s].Line == line && Devices[s].Address == address)
            return s;
    return 0;
}

TAfComPortCore *Core(int line)
{
    return DM && DM->Port(line) ? DM->Port(line)->Core() : nullptr;
}

// Notes of a line's log, each counted once however long it stays in sight: the log keeps
// only its last 50 entries, and a line polling into the void fills it quickly.
class NoteWatch
{
public:
    NoteWatch(int line) : m_line(line)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Look(); });
        m_timer.start(10);
    }
    int Seen(TStrId id)
    {
        Look();
        return int(m_seen.value(LoadMessage(id)).size());
    }

private:
    void Look()
    {
        const TLineLog &log = LineLog(m_line);
        for (int i = 0; i < log.Entries.size(); ++i)
            if (log.Entries[i].Received.isEmpty() && !log.Entries[i].Sent.startsWith('@'))
                m_seen[log.Entries[i].Sent].insert(log.Begun - i);
    }
    int m_line;
    QTimer m_timer;
    QMap<QString, QSet<uint64_t>> m_seen;
};

} // namespace

class TstVanish : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void goneDeviceShowsNoAnswerWithoutBusyLoop();
    void sourceAddedAfterReturnReopensTheLine();
    void removedWhileGoneAndAddedBackRecovers();
    void lostLineComesBackByItself_data();
    void lostLineComesBackByItself();
    void triesEveryTwoSecondsOnlyWithSources_data();
    void triesEveryTwoSecondsOnlyWithSources();

private:
    // Line A: addresses 1 and 2; line B: address 4. All answering at the end.
    void startAndConnect();
    void removeSource(int slot);
    void killSim(int signal);

    std::unique_ptr<WholeProgram> m_wp;
};

void TstVanish::init()
{
    m_wp = std::make_unique<WholeProgram>();
    startAndConnect();
}

void TstVanish::cleanup()
{
    m_wp.reset();
    SetRecoveryTry({});
    SetTickSource({});
}

void TstVanish::startAndConnect()
{
    const QString err = m_wp->Start({{"addr=1,u=11,out=1", "addr=2,u=12"}, {"addr=4,u=14,out=1"}});
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QVERIFY(m_wp->Connect(1, 1));
    QVERIFY(m_wp->Connect(1, 2));
    QVERIFY(m_wp->Connect(2, 4));
    for (int s = 1; s <= 3; ++s)
        QTRY_VERIFY_WITH_TIMEOUT(Answers(s), 10000);
}

void TstVanish::removeSource(int slot)
{
    const int before = DeviceCount;
    Devices[slot].ButtonDel->click();
    // The line's scheduler takes the source off at its turn.
    QTRY_COMPARE_WITH_TIMEOUT(DeviceCount, before - 1, 10000);
}

void TstVanish::killSim(int signal)
{
    QVERIFY(m_wp->Sim().Running());
    ::kill(pid_t(m_wp->Sim().Pid()), signal);
    QTRY_VERIFY_WITH_TIMEOUT(!m_wp->Sim().Running(), 5000);
}

void TstVanish::goneDeviceShowsNoAnswerWithoutBusyLoop()
{
    killSim(SIGTERM); // the simulator ends in order and removes its links
    // Each source of a line waits out its time-out in turn.
    for (int s = 1; s <= 3; ++s)
        QTRY_VERIFY_WITH_TIMEOUT(ShowsNoAnswer(s), 15000);
    QVERIFY(Core(1)->DeviceLost());
    QVERIFY(Core(2)->DeviceLost());

    // The lines go on polling into the void; that must cost next to nothing. The event
    // threads wake for their 200 ms poll, not for the hang-up that stays signalled.
    const uint64_t loopsA = Core(1)->EventLoops(), loopsB = Core(2)->EventLoops();
    const double cpu = CpuSeconds();
    Idle(1200);
    const double used = CpuSeconds() - cpu;
    QVERIFY2(used < 0.4, qPrintable(QStringLiteral("%1 s of CPU in 1.2 s").arg(used)));
    QVERIFY2(Core(1)->EventLoops() - loopsA < 60,
             qPrintable(QString::number(Core(1)->EventLoops() - loopsA)));
    QVERIFY2(Core(2)->EventLoops() - loopsB < 60,
             qPrintable(QString::number(Core(2)->EventLoops() - loopsB)));
    for (int s = 1; s <= 3; ++s)
        QVERIFY(ShowsNoAnswer(s));
    QCOMPARE(DeviceCount, 3);
    QVERIFY(m_wp->Errors().isEmpty());
}

void TstVanish::sourceAddedAfterReturnReopensTheLine()
{
    // The lines' own tries find nothing here: what is tested is the operator's new source.
    SetRecoveryTry([](int, std::function<void(bool)> done) { done(false); });
    killSim(SIGKILL); // links left behind, pointing nowhere
    for (int s = 1; s <= 3; ++s)
        QTRY_VERIFY_WITH_TIMEOUT(ShowsNoAnswer(s), 15000);

    // The device is back at the same path, behind a new pseudo-terminal; the open port
    // still holds the old one.
    QVERIFY(m_wp->Sim().Restart(m_wp->Dir() + QStringLiteral("/frames2.log")).isEmpty());
    Idle(500);
    QVERIFY(ShowsNoAnswer(1));

    // Line A: one source taken off and added again; its neighbour comes back with it.
    removeSource(SlotOf(1, 2));
    QVERIFY(SlotOf(1, 1));
    QVERIFY(m_wp->Connect(1, 2));
    for (int a : {1, 2})
        QTRY_VERIFY_WITH_TIMEOUT(Answers(SlotOf(1, a)), 15000);
    QVERIFY(!Core(1)->DeviceLost());
    QVERIFY(!m_wp->Sim().Received(1).isEmpty());

    // Line B, untouched, stays silent: nothing reopens a port behind the operator's back.
    QVERIFY(ShowsNoAnswer(SlotOf(2, 4)));
    QVERIFY(Core(2)->DeviceLost());
    QVERIFY(m_wp->Errors().isEmpty());
}

void TstVanish::removedWhileGoneAndAddedBackRecovers()
{
    killSim(SIGTERM);
    for (int s = 1; s <= 3; ++s)
        QTRY_VERIFY_WITH_TIMEOUT(ShowsNoAnswer(s), 15000);

    // While the device is away: line B loses its only source (its port closes); on line A
    // one source goes and cannot come back, since the line cannot be opened.
    removeSource(SlotOf(2, 4));
    QVERIFY(!DM->Port(2)->Active());
    removeSource(SlotOf(1, 2));
    QCOMPARE(m_wp->Connect(1, 2), 0);
    QCOMPARE(m_wp->Connect(2, 4), 0);
    QCOMPARE(DeviceCount, 1);
    Idle(300);
    QVERIFY(ShowsNoAnswer(SlotOf(1, 1)));

    QVERIFY(m_wp->Sim().Restart(m_wp->Dir() + QStringLiteral("/frames2.log")).isEmpty());
    QVERIFY(m_wp->Connect(1, 2));
    QVERIFY(m_wp->Connect(2, 4));
    QCOMPARE(DeviceCount, 3);
    for (auto [line, a] : {std::pair{1, 1}, {1, 2}, {2, 4}})
        QTRY_VERIFY_WITH_TIMEOUT(Answers(SlotOf(line, a)), 15000);
    // The sources are served as before: a set voltage reaches the device that came back.
    const int s = SlotOf(2, 4);
    Devices[s].Edit1->setText(QStringLiteral("33"));
    Devices[s].ButtSetU->click();
    auto sent = [this] {
        const QList<QByteArray> rx = m_wp->Sim().Received(2);
        return std::any_of(rx.begin(), rx.end(),
                           [](const QByteArray &f) { return f.startsWith("@04NAP033"); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(sent(), 10000);
    QVERIFY(m_wp->Errors().isEmpty());
}

void TstVanish::lostLineComesBackByItself_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("ended in order, links removed") << int(SIGTERM);
    QTest::newRow("killed, links left pointing nowhere") << int(SIGKILL);
}

void TstVanish::lostLineComesBackByItself()
{
    QFETCH(int, signal);
    NoteWatch logA(1), logB(2);
    killSim(signal);
    for (int s = 1; s <= 3; ++s)
        QTRY_VERIFY_WITH_TIMEOUT(ShowsNoAnswer(s), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(logA.Seen(sLineLost), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(logB.Seen(sLineLost), 1, 5000);
    QCOMPARE(logA.Seen(sLineBack), 0);

    // Back at the same path; nobody touches the program.
    const int before = DeviceCount;
    QVERIFY(m_wp->Sim().Restart(m_wp->Dir() + QStringLiteral("/frames2.log")).isEmpty());
    for (int s = 1; s <= 3; ++s)
        QTRY_VERIFY_WITH_TIMEOUT(Answers(s), 15000);
    QCOMPARE(DeviceCount, before);
    QVERIFY(!Core(1)->DeviceLost() && !Core(2)->DeviceLost());
    QVERIFY(!m_wp->Sim().Received(1).isEmpty() && !m_wp->Sim().Received(2).isEmpty());
    for (NoteWatch *log : {&logA, &logB}) {
        QTRY_COMPARE_WITH_TIMEOUT(log->Seen(sLineBack), 1, 2000);
        QCOMPARE(log->Seen(sLineLost), 1);
    }
    QVERIFY(m_wp->Errors().isEmpty());
}

void TstVanish::triesEveryTwoSecondsOnlyWithSources_data()
{
    QTest::addColumn<bool>("emptyLineB");
    QTest::newRow("both lines keep their sources") << false;
    QTest::newRow("line B's source removed") << true;
}

void TstVanish::triesEveryTwoSecondsOnlyWithSources()
{
    QFETCH(bool, emptyLineB);
    // The device stays away; the tries are counted over 10 s of the program's own clock,
    // which runs 4 times as fast as the real one here.
    QMap<int, int> tries; // by port number
    SetRecoveryTry([&tries](int com, std::function<void(bool)> done) {
        ++tries[com];
        QTimer::singleShot(0, [done] { done(false); });
    });
    killSim(SIGTERM);
    for (int s = 1; s <= 3; ++s)
        QTRY_VERIFY_WITH_TIMEOUT(ShowsNoAnswer(s), 15000);
    if (emptyLineB) {
        removeSource(SlotOf(2, 4));
        QVERIFY(!DM->Port(2)->Active());
        QVERIFY(m_wp->Sim().Restart(m_wp->Dir() + QStringLiteral("/frames2.log")).isEmpty());
    }
    uint32_t fake = GetTickCount();
    SetTickSource([&fake] { return fake; });
    tries.clear();
    for (int i = 0; i < 400; ++i) {
        fake += 25;
        Idle(6);
    }
    QVERIFY2(tries.value(1) >= 4 && tries.value(1) <= 6,
             qPrintable(QString::number(tries.value(1))));
    if (emptyLineB) {
        QCOMPARE(tries.value(2), 0);
        QVERIFY(!DM->Port(2)->Active());
        QVERIFY(m_wp->Sim().Received(2).isEmpty()); // the new device was never written to
    } else {
        QVERIFY2(tries.value(2) >= 4 && tries.value(2) <= 6,
                 qPrintable(QString::number(tries.value(2))));
    }
}

QTEST_MAIN(TstVanish)
#include "tst_vanish.moc"
