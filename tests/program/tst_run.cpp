#include "controls.h"
#include "global.h"
#include "run.h"
#include "strtable.h"
#include "sysutils.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// One source's panel controls that the run reaches, owned by a plain parent widget.
class TstRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void twoStepProgram();
    void timeZeroLastsOneSecond();
    void negativeTimeLeavesAtOnce();
    void loopingProgramRepeatsRequests();
    void counterWrapAround();
    void stopLeavesRequestAlone();
    void stepLabelTogglesAndOthersDoNot();
    void labelsFollowLanguageAndStepNumbers();
    void idleSourceFollowsClock();
    void silentSourceStaysStopped();
    void stepNumberBeyondTableEndsRun();
    void freshSourceEndsAfterOneSecond();
    void runsOnlyUsedSlotsEachOnItsOwnClock();

private:
    void makePanel(int slot);
    // Advances the injected counter to t ms and runs one tick.
    void tickAt(uint32_t t);

    uint32_t m_now = 0;
    QList<int> m_rows; // slots for which a recording row was written
    std::unique_ptr<QWidget> m_owner;
    QTemporaryDir m_dir;
};

void TstRun::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(m_dir.isValid());
    SetTickSource([this] { return m_now; });
    SetStepRecorder([this](int slot) { m_rows << slot; });
}

void TstRun::init()
{
    InitTables();
    m_rows.clear();
    m_now = 0;
    m_owner = std::make_unique<QWidget>();
    TextStepIs = LoadStr(sStepIs, lsCzech);
    TextTimeIs = LoadStr(sTimeIs, lsCzech);
    TextVoltageIs = LoadStr(sVoltageIs, lsCzech);
    makePanel(1);
}

void TstRun::cleanup()
{
    for (TDevice &d : Devices)
        d = TDevice{};
    m_owner.reset();
}

void TstRun::makePanel(int slot)
{
    TDevice &d = Devices[slot];
    d.Used = true;
    d.Line = 1;
    d.Address = slot;
    auto *panel = new QWidget(m_owner.get());
    d.ButtSt = new TSpeedButton(panel);
    d.ButtEn = new TSpeedButton(panel);
    d.ButtEn->hide();
    d.LabKrok = new TLabel(panel);
    d.LabCasP = new TLabel(panel);
    d.LabUProg = new TLabel(panel);
    d.Edit1 = new TEdit(panel);
    d.CheckBox1 = new TCheckBox(panel);
    d.ButtSt->OnClick = ButtStClick;
    d.ButtEn->OnClick = ButtEnClick;
    d.LabKrok->OnClick = LabKrokClick;
    d.LabCasP->OnClick = LabKrokClick;
    d.LabUProg->OnClick = LabKrokClick;
}

void TstRun::tickAt(uint32_t t)
{
    m_now = t;
    RunPrograms();
}

void TstRun::twoStepProgram()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {2, 100, 2};
    d.Steps[2] = {0, 50, 0};
    d.CheckBox1->setChecked(true);
    d.Edit1->setText(QStringLiteral("12"));
    QTest::mouseClick(d.ButtSt, Qt::LeftButton);
    QCOMPARE(d.StepNo, 1);
    QCOMPARE(d.USet, 100.0);
    QVERIFY(d.PendU);
    QVERIFY(d.Edit1->text().isEmpty());
    QVERIFY(d.ButtSt->isHidden());
    QVERIFY(!d.ButtEn->isHidden());
    QVERIFY(m_rows.isEmpty()); // no row at the start

    // Every 25 ms: record when each voltage was requested.
    QList<QPair<uint32_t, double>> requests;
    d.PendU = false;
    for (uint32_t t = 25; t <= 6000; t += 25) {
        tickAt(t);
        if (d.PendU) {
            requests << qMakePair(t, d.USet);
            d.PendU = false; // taken by the line scheduler
        }
    }
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].first, 3000u); // more than 2 whole seconds have passed
    QCOMPARE(requests[0].second, 50.0);
    QCOMPARE(requests[1].first, 4000u); // Time 0 lasts one second
    QCOMPARE(requests[1].second, d.Steps[0].U);
    QCOMPARE(d.StepNo, 0);
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
    QCOMPARE(m_rows, (QList<int>{1, 1}));
}

void TstRun::timeZeroLastsOneSecond()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {0, 5, 1};
    m_now = 1000;
    StartProgram(1);
    tickAt(1999);
    QCOMPARE(d.StepTick, 1000u);
    tickAt(2000);
    QCOMPARE(d.StepTick, 2000u); // left and re-entered step 1
    QCOMPARE(d.StepNo, 1);
}

void TstRun::negativeTimeLeavesAtOnce()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {-5, 10, 2};
    d.Steps[2] = {3, 20, 0};
    StartProgram(1);
    d.PendU = false;
    tickAt(0);
    QCOMPARE(d.StepNo, 2);
    QCOMPARE(d.USet, 20.0);
    QVERIFY(d.PendU);
}

void TstRun::loopingProgramRepeatsRequests()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {1, 10, 1};
    StartProgram(1);
    int requests = 0;
    d.PendU = false;
    for (uint32_t t = 25; t <= 20000; t += 25) {
        tickAt(t);
        if (d.PendU) {
            ++requests;
            QCOMPARE(d.USet, 10.0);
            d.PendU = false;
        }
    }
    QCOMPARE(requests, 10); // every two seconds
    QCOMPARE(d.StepNo, 1);
}

void TstRun::counterWrapAround()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {8, 10, 0};
    m_now = 0xFFFFF000u; // 4096 ms before the counter wraps
    StartProgram(1);
    tickAt(0xFFFFFFFFu);
    tickAt(3000); // 7.096 s elapsed across the wrap
    QCOMPARE(d.StepNo, 1);
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Čas = 7 / 8"));
    tickAt(4903); // 8.999 s
    QCOMPARE(d.StepNo, 1);
    tickAt(4904); // nine whole seconds: more than Time 8
    QCOMPARE(d.StepNo, 0);
}

void TstRun::stopLeavesRequestAlone()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {10, 100, 2};
    QTest::mouseClick(d.ButtSt, Qt::LeftButton);
    d.PendU = false;
    tickAt(2000);
    m_now = 2500;
    QTest::mouseClick(d.ButtEn, Qt::LeftButton);
    QCOMPARE(d.StepNo, 0);
    QCOMPARE(d.StepTick, 2500u);
    QCOMPARE(d.USet, 100.0);
    QVERIFY(!d.PendU);
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
    tickAt(60000);
    QVERIFY(!d.PendU);
    QVERIFY(m_rows.isEmpty());
}

void TstRun::stepLabelTogglesAndOthersDoNot()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {10, 7, 0};
    d.LabCasP->show();
    QTest::mouseClick(d.LabCasP, Qt::LeftButton);
    QTest::mouseClick(d.LabUProg, Qt::LeftButton);
    QCOMPARE(d.StepNo, 0);
    LabKrokClick(d.LabKrok);
    QCOMPARE(d.StepNo, 1);
    QCOMPARE(d.USet, 7.0);
    LabKrokClick(d.LabKrok);
    QCOMPARE(d.StepNo, 0);
    // A control of no source, or of a removed one, does nothing.
    TSpeedButton stranger;
    ButtStClick(&stranger);
    d.Used = false;
    ButtStClick(d.ButtSt);
    QCOMPARE(d.StepNo, 0);
}

void TstRun::labelsFollowLanguageAndStepNumbers()
{
    TDevice &d = Devices[1];
    d.Steps[0] = {0, 0, 0};
    d.Steps[1] = {10, 120, 3};
    d.Steps[3] = {4, 250.5, 0};
    tickAt(0);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Krok = 0"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Čas = 0 / 0"));
    QCOMPARE(d.LabUProg->text(), QStringLiteral("Napětí = 0"));
    StartProgram(1);
    tickAt(7500);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Krok = 1"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Čas = 7 / 10"));
    QCOMPARE(d.LabUProg->text(), QStringLiteral("Napětí = 120"));

    TextStepIs = LoadStr(sStepIs, lsEnglish);
    TextTimeIs = LoadStr(sTimeIs, lsEnglish);
    TextVoltageIs = LoadStr(sVoltageIs, lsEnglish);
    tickAt(11000); // step 1 is over: the old number with the new elapsed time
    QCOMPARE(d.StepNo, 3);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Step = 1"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Time = 0 / 10"));
    tickAt(12000);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Step = 3"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Time = 1 / 4"));
    QCOMPARE(d.LabUProg->text(), QStringLiteral("Voltage = 250.5"));
}

void TstRun::idleSourceFollowsClock()
{
    TDevice &d = Devices[1];
    d.Steps[0] = {3, 12, 0};
    tickAt(5000);
    QCOMPARE(d.StepTick, 5000u);
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Čas = 0 / 3"));
    QCOMPARE(d.LabUProg->text(), QStringLiteral("Napětí = 12"));
    QVERIFY(!d.PendU);
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
}

void TstRun::silentSourceStaysStopped()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {1, 10, 1};
    StartProgram(1);
    tickAt(500);
    // What the line scheduler does to a source that does not answer in time.
    m_now = 900;
    d.StepNo = 0;
    d.StepTick = m_now;
    d.PendU = false;
    for (uint32_t t = 925; t < 10000; t += 25)
        tickAt(t);
    QCOMPARE(d.StepNo, 0);
    QVERIFY(!d.PendU);
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Krok = 0"));
}

void TstRun::stepNumberBeyondTableEndsRun()
{
    TDevice &d = Devices[1];
    d.Steps[0] = {0, 1, 0};
    d.Steps[1] = {0, 10, 300}; // only a direct write can put this here
    StartProgram(1);
    tickAt(1000);
    QCOMPARE(d.StepNo, 0);
    QCOMPARE(d.USet, 1.0);
    d.StepNo = 4000;
    tickAt(1025);
    QCOMPARE(d.StepNo, 0);
}

void TstRun::freshSourceEndsAfterOneSecond()
{
    TDevice &d = Devices[1];
    d.USet = 33;
    StartProgram(1);
    QCOMPARE(d.USet, 0.0);
    QVERIFY(d.PendU);
    d.PendU = false;
    tickAt(975);
    QCOMPARE(d.StepNo, 1);
    tickAt(1000);
    QCOMPARE(d.StepNo, 0);
    QVERIFY(d.PendU);
    QCOMPARE(d.USet, 0.0);
    QVERIFY(m_rows.isEmpty()); // recording is off
}

void TstRun::runsOnlyUsedSlotsEachOnItsOwnClock()
{
    makePanel(2);
    makePanel(50);
    Devices[1].Steps[1] = {1, 10, 0};
    Devices[2].Steps[1] = {1, 20, 0};
    Devices[50].Steps[1] = {1, 30, 0};
    Devices[2].CheckBox1->setChecked(true);
    Devices[50].CheckBox1->setChecked(true);
    StartProgram(1);
    m_now = 1000;
    StartProgram(2);
    StartProgram(50);
    Devices[50].Used = false; // removed meanwhile
    tickAt(2000);
    QCOMPARE(Devices[1].StepNo, 0);
    QCOMPARE(Devices[2].StepNo, 1);
    tickAt(3000);
    QCOMPARE(Devices[2].StepNo, 0);
    QCOMPARE(Devices[50].StepNo, 1);
    QCOMPARE(m_rows, QList<int>{2});
}

QTEST_MAIN(TstRun)
#include "tst_run.moc"
