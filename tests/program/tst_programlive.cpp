// Programs end to end: a program run on the tick, the line scheduler and the protocol
// against the source simulator through the real serial layer on pseudo-terminals. Line A
// carries a source that answers (slot 1, address 5); line B one that never answers
// (slot 2, address 9).

#include "controls.h"
#include "liverig.h"
#include "panelview.h"
#include "run.h"
#include "runclicks.h"
#include "scheduler.h"
#include "strtable.h"

#include <QRegularExpression>
#include <QTest>
#include <memory>

class TstProgramLive : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void threeStepsReachTheSource();
    void silentSourceStopsTheRun();

private:
    std::unique_ptr<LiveRig> m_rig;
    QTimer m_pump;
    QList<double> m_reported; // the voltages slot 1 reported, each change once
};

void TstProgramLive::initTestCase()
{
    m_rig = std::make_unique<LiveRig>();
    const QString err = m_rig->Start({{"addr=5,u=0,out=1,slew=0"}, {"addr=9,silent"}});
    QVERIFY2(err.isEmpty(), qPrintable(err));
    TextStepIs = LoadStr(sStepIs, lsEnglish);
    TextTimeIs = LoadStr(sTimeIs, lsEnglish);
    TextVoltageIs = LoadStr(sVoltageIs, lsEnglish);
    // The handlers of this unit on the template, as the main window wires them.
    TPanel *tmpl = m_rig->main.form.PanDev;
    tmpl->findChild<TSpeedButton *>(QStringLiteral("ButtSt"))->OnClick = ButtStClick;
    tmpl->findChild<TSpeedButton *>(QStringLiteral("ButtEn"))->OnClick = ButtEnClick;
    tmpl->findChild<TLabel *>(QStringLiteral("LabKrok"))->OnClick = LabKrokClick;

    QCOMPARE(m_rig->main.Connect(1, 5), 1);
    QCOMPARE(m_rig->main.Connect(2, 9), 2);

    // The tick's share of programs and lines, in the application's order.
    m_pump.setTimerType(Qt::PreciseTimer);
    m_pump.setInterval(25);
    connect(&m_pump, &QTimer::timeout, this, [this] {
        m_pump.stop();
        RunPrograms();
        ServeLines();
        RefreshPanels();
        if (m_reported.isEmpty() || m_reported.constLast() != Devices[1].U)
            m_reported << Devices[1].U;
        m_pump.start();
    });
    m_pump.start();
}

void TstProgramLive::cleanupTestCase()
{
    m_pump.stop();
    m_rig.reset();
}

void TstProgramLive::threeStepsReachTheSource()
{
    TDevice &d = Devices[1];
    d.Steps[0] = {0, 7, 0};
    // Steps long enough for the source's voltage to be read back at least once per step
    // even on a busy machine (a voltage query comes every few request cycles).
    d.Steps[1] = {2, 100, 2};
    d.Steps[2] = {2, 200, 3};
    d.Steps[3] = {2, 50, 0};
    // The start button is enabled by the source's first replies.
    QTRY_VERIFY_WITH_TIMEOUT(d.ButtSt->isEnabled(), 8000);
    QTRY_COMPARE_WITH_TIMEOUT(d.U, 0.0, 3000);
    QTest::mouseClick(d.ButtSt, Qt::LeftButton);
    QCOMPARE(d.StepNo, 1);
    QVERIFY(d.ButtSt->isHidden());

    // The three steps, then the end entry's voltage.
    QTRY_VERIFY_WITH_TIMEOUT(d.StepNo == 0, 20000);
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
    QTRY_COMPARE_WITH_TIMEOUT(d.U, 7.0, 3000);
    // The reply may have been taken between two passes of the pump, which notes it next.
    QTRY_COMPARE_WITH_TIMEOUT(m_reported.constLast(), 7.0, 1000);

    QList<double> steps;
    for (double u : m_reported)
        if (u != 0 && (steps.isEmpty() || steps.constLast() != u))
            steps << u;
    QCOMPARE(steps, (QList<double>{100, 200, 50, 7}));

    // On the wire: one set-voltage command per step change, in order.
    QList<QByteArray> sets;
    static const QRegularExpression set(QStringLiteral("^@05NAP(\\d{3})"));
    for (const QByteArray &f : m_rig->sim.Received(1)) {
        const auto m = set.match(QString::fromLatin1(f));
        if (m.hasMatch())
            sets << m.captured(1).toLatin1();
    }
    QCOMPARE(sets, (QList<QByteArray>{"100", "200", "050", "007"}));
}

void TstProgramLive::silentSourceStopsTheRun()
{
    TDevice &d = Devices[2];
    d.Steps[1] = {0, 30, 1}; // would repeat for ever
    // The start button stays disabled on a silent source; the step label still starts.
    QVERIFY(!d.ButtSt->isEnabled());
    QTest::mouseClick(d.LabKrok, Qt::LeftButton);
    QCOMPARE(d.StepNo, 1);
    QTRY_COMPARE_WITH_TIMEOUT(d.StepNo, 0, 5000);
    QVERIFY(!d.PanNekom->isHidden());
    // It does not resume: several more time-outs pass with the run stopped.
    QTest::qWait(3500);
    QCOMPARE(d.StepNo, 0);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Step = 0"));
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
}

QTEST_MAIN(TstProgramLive)
#include "tst_programlive.moc"
