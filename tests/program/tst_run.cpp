#include "controls.h"
#include "global.h"
#include "panelview.h"
#include "recordbox.h"
#include "run.h"
#include "runclicks.h"
#include "strtable.h"
#include "sysutils.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TstRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void twoStepProgram();
    void stepDuration_data();
    void stepDuration();
    void loopingProgramRepeatsRequests();
    void startAndStopControls();
    void labels();
    void silentSourceStaysStopped();
    void stepNumberBeyondTableEndsRun();
    void onlyUsedSlotsEachOnItsOwnClock();

private:
    // The panel controls the run reaches, as a source panel holds them.
    void makePanel(int slot);
    // Moves the injected counter to t ms and runs one tick.
    void tickAt(uint32_t t);

    uint32_t m_now = 0;
    QTemporaryDir m_dir; // the recordings
    std::unique_ptr<QWidget> m_owner;
};

void TstRun::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    SetTickSource([this] { return m_now; });
}

void TstRun::init()
{
    InitTables();
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
    auto *panel = new QWidget(m_owner.get());
    d.ButtSt = new TSpeedButton(panel);
    d.ButtEn = new TSpeedButton(panel);
    d.ButtEn->hide();
    d.LabKrok = new TLabel(panel);
    d.LabCasP = new TLabel(panel);
    d.LabUProg = new TLabel(panel);
    d.Edit1 = new TEdit(panel);
    d.CheckBox1 = NewRecordBox(slot, panel);
    d.ButtSt->OnClick = ButtStClick;
    d.ButtEn->OnClick = ButtEnClick;
    d.LabKrok->OnClick = d.LabCasP->OnClick = d.LabUProg->OnClick = LabKrokClick;
}

void TstRun::tickAt(uint32_t t)
{
    m_now = t;
    RunPrograms();
    RefreshPanels();
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
    QVERIFY(d.ButtSt->isHidden() && !d.ButtEn->isHidden());

    // Every 25 ms, as the line scheduler would take them: when was which voltage asked for.
    QList<QPair<uint32_t, double>> requests;
    d.PendU = false;
    for (uint32_t t = 25; t <= 6000; t += 25) {
        tickAt(t);
        if (d.PendU) {
            requests << qMakePair(t, d.USet);
            d.PendU = false;
        }
    }
    const QList<QPair<uint32_t, double>> expected = {{3000, 50.0}, {4000, 0.0}};
    QCOMPARE(requests, expected);
    QCOMPARE(d.StepNo, 0);
    QVERIFY(!d.ButtSt->isHidden() && d.ButtEn->isHidden());
    QCOMPARE(RecordedRows(1), 2); // at both step changes, none at the start
}

void TstRun::stepDuration_data()
{
    QTest::addColumn<uint32_t>("start");
    QTest::addColumn<int>("time");
    QTest::addColumn<uint32_t>("lasts"); // ms from the start to the tick that leaves
    QTest::newRow("Time 0 lasts one second") << 1000u << 0 << 1000u;
    QTest::newRow("Time 2") << 0u << 2 << 3000u;
    QTest::newRow("negative Time: first tick") << 500u << -5 << 0u;
    QTest::newRow("counter wraps during the step") << 0xFFFFF000u << 8 << 9000u;
}

void TstRun::stepDuration()
{
    QFETCH(uint32_t, start);
    QFETCH(int, time);
    QFETCH(uint32_t, lasts);
    TDevice &d = Devices[1];
    d.Steps[0] = {0, 3, 0};
    d.Steps[1] = {time, 10, 0};
    m_now = start;
    StartProgram(1);
    QCOMPARE(d.USet, 10.0);
    d.PendU = false;
    uint32_t t = start;
    tickAt(t);
    for (int i = 0; d.StepNo != 0 && i < 1000; ++i)
        tickAt(t += 25);
    QCOMPARE(uint32_t(t - start), lasts);
    QVERIFY(d.PendU);
    QCOMPARE(d.USet, 3.0);        // the end entry's voltage
    QCOMPARE(RecordedRows(1), 0); // recording is off
}

void TstRun::loopingProgramRepeatsRequests()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {1, 10, 1};
    StartProgram(1);
    int requests = 0;
    for (uint32_t t = 25; t <= 20000; t += 25) {
        d.PendU = false;
        tickAt(t);
        if (d.PendU) {
            ++requests;
            QCOMPARE(d.USet, 10.0);
        }
    }
    QCOMPARE(requests, 10); // every two seconds
    QCOMPARE(d.StepNo, 1);
}

void TstRun::startAndStopControls()
{
    TDevice &d = Devices[1];
    d.Steps[1] = {10, 100, 2};
    // The time and voltage labels carry the step label's handler but start nothing.
    QTest::mouseClick(d.LabCasP, Qt::LeftButton);
    QTest::mouseClick(d.LabUProg, Qt::LeftButton);
    QCOMPARE(d.StepNo, 0);
    QVERIFY(!d.PendU);
    LabKrokClick(d.LabKrok);
    QCOMPARE(d.StepNo, 1);
    tickAt(2000);
    d.PendU = false;
    m_now = 2500;
    QTest::mouseClick(d.ButtEn, Qt::LeftButton);
    // Stopped: the source keeps the running step's voltage, no new request.
    QCOMPARE(d.StepNo, 0);
    QCOMPARE(d.StepTick, 2500u);
    QCOMPARE(d.USet, 100.0);
    QVERIFY(!d.PendU);
    QVERIFY(!d.ButtSt->isHidden() && d.ButtEn->isHidden());
    tickAt(60000);
    QVERIFY(!d.PendU);
    LabKrokClick(d.LabKrok);
    QCOMPARE(d.StepNo, 1);
    LabKrokClick(d.LabKrok);
    QCOMPARE(d.StepNo, 0);
    // A control of no source, or of a removed one, does nothing.
    TSpeedButton stranger;
    ButtStClick(&stranger);
    d.Used = false;
    ButtStClick(d.ButtSt);
    QCOMPARE(d.StepNo, 0);
}

void TstRun::labels()
{
    TDevice &d = Devices[1];
    d.Steps[0] = {3, 12, 0};
    d.Steps[1] = {10, 120, 3};
    d.Steps[3] = {4, 250.5, 0};
    tickAt(5000);
    QCOMPARE(d.StepTick, 5000u); // idle: the step clock follows the counter
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Krok = 0"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Čas = 0 / 3"));
    QCOMPARE(d.LabUProg->text(), QStringLiteral("Napětí = 12"));
    StartProgram(1);
    tickAt(12500);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Krok = 1"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Čas = 7 / 10"));
    QCOMPARE(d.LabUProg->text(), QStringLiteral("Napětí = 120"));

    // A language switch shows on the next tick.
    TextStepIs = LoadStr(sStepIs, lsEnglish);
    TextTimeIs = LoadStr(sTimeIs, lsEnglish);
    TextVoltageIs = LoadStr(sVoltageIs, lsEnglish);
    tickAt(16000); // step 1 is over: the old number with the new elapsed time
    QCOMPARE(d.StepNo, 3);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Step = 1"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Time = 0 / 10"));
    tickAt(17000);
    QCOMPARE(d.LabKrok->text(), QStringLiteral("Step = 3"));
    QCOMPARE(d.LabCasP->text(), QStringLiteral("Time = 1 / 4"));
    QCOMPARE(d.LabUProg->text(), QStringLiteral("Voltage = 250.5"));
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
    QVERIFY(!d.ButtSt->isHidden() && d.ButtEn->isHidden());
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

void TstRun::onlyUsedSlotsEachOnItsOwnClock()
{
    makePanel(2);
    makePanel(50);
    for (int s : {1, 2, 50})
        Devices[s].Steps[1] = {1, double(s), 0};
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
    QCOMPARE(RecordedRows(2), 1);
    QCOMPARE(RecordedRows(50), 0);
}

QTEST_MAIN(TstRun)
#include "tst_run.moc"
