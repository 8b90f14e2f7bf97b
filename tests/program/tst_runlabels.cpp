// The program labels of a panel (step, time, voltage) are rebuilt by the tick only when
// what they show changes; each kind of change must still reach them on the next tick,
// and nothing else may make them stale.

#include "controls.h"
#include "global.h"
#include "panelview.h"
#include "run.h"
#include "strtable.h"
#include "sysutils.h"

#include <QLocale>
#include <QTest>
#include <functional>
#include <memory>

class TstRunLabels : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void changeShowsOnNextTick_data();
    void changeShowsOnNextTick();
    void newPanelInSameSlot();
    void otherSlotsUntouched();

private:
    void makePanel(int slot);
    void tickAt(uint32_t t)
    {
        m_now = t;
        RunPrograms();
        RefreshPanels();
    }
    QStringList shown(int slot) const
    {
        const TDevice &d = Devices[slot];
        return {d.LabKrok->text(), d.LabCasP->text(), d.LabUProg->text()};
    }

    uint32_t m_now = 0;
    std::unique_ptr<QWidget> m_owner;
};

void TstRunLabels::initTestCase()
{
    SetTickSource([this] { return m_now; });
}

void TstRunLabels::init()
{
    QLocale::setDefault(QLocale::c());
    InitTables();
    m_now = 0;
    m_owner = std::make_unique<QWidget>();
    TextStepIs = LoadStr(sStepIs, lsCzech);
    TextTimeIs = LoadStr(sTimeIs, lsCzech);
    TextVoltageIs = LoadStr(sVoltageIs, lsCzech);
    makePanel(1);
}

void TstRunLabels::cleanup()
{
    for (TDevice &d : Devices)
        d = TDevice{};
    m_owner.reset();
    QLocale::setDefault(QLocale::c());
}

void TstRunLabels::makePanel(int slot)
{
    TDevice &d = Devices[slot];
    d.Used = true;
    auto *panel = new QWidget(m_owner.get());
    d.ButtSt = new TSpeedButton(panel);
    d.ButtEn = new TSpeedButton(panel);
    d.LabKrok = new TLabel(panel);
    d.LabCasP = new TLabel(panel);
    d.LabUProg = new TLabel(panel);
}

using Change = std::function<void(TDevice &)>;

void TstRunLabels::changeShowsOnNextTick_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("expected");
    // Before every change: idle, step 0 lasting 3 s at 12.5 V, labels "Krok = 0" ...
    QTest::newRow("language alone") << Change([](TDevice &) {
        TextStepIs = LoadStr(sStepIs, lsEnglish);
        TextTimeIs = LoadStr(sTimeIs, lsEnglish);
        TextVoltageIs = LoadStr(sVoltageIs, lsEnglish);
    }) << QStringList{"Step = 0", "Time = 0 / 3", "Voltage = 12.5"};
    QTest::newRow("time of the shown step edited")
        << Change([](TDevice &d) { d.Steps[0].Time = 40; })
        << QStringList{"Krok = 0", "Čas = 0 / 40", "Napětí = 12.5"};
    QTest::newRow("voltage of the shown step edited")
        << Change([](TDevice &d) { d.Steps[0].U = 7.25; })
        << QStringList{"Krok = 0", "Čas = 0 / 3", "Napětí = 7.25"};
    QTest::newRow("decimal point of the locale")
        << Change([](TDevice &) { QLocale::setDefault(QLocale(QLocale::Czech)); })
        << QStringList{"Krok = 0", "Čas = 0 / 3", "Napětí = 12,5"};
    QTest::newRow("program started") << Change([](TDevice &d) {
        d.Steps[1] = {9, 100, 0};
        StartProgram(1);
    }) << QStringList{"Krok = 1", "Čas = 0 / 9", "Napětí = 100"};
    QTest::newRow("label overwritten by a new panel text") << Change([](TDevice &d) {
        // As a freshly connected panel does: a text of its own, a new label.
        auto *fresh = new TLabel(d.LabKrok->parentWidget());
        fresh->SetCaption(QStringLiteral("Krok = ?"));
        delete d.LabKrok;
        d.LabKrok = fresh;
    }) << QStringList{"Krok = 0", "Čas = 0 / 3", "Napětí = 12.5"};
}

void TstRunLabels::changeShowsOnNextTick()
{
    QFETCH(Change, change);
    QFETCH(QStringList, expected);
    TDevice &d = Devices[1];
    d.Steps[0] = {3, 12.5, 0};
    tickAt(1000);
    tickAt(1025);
    QCOMPARE(shown(1), (QStringList{"Krok = 0", "Čas = 0 / 3", "Napětí = 12.5"}));
    change(d);
    tickAt(1050);
    QCOMPARE(shown(1), expected);
    // And it stays so while nothing changes.
    tickAt(1075);
    QCOMPARE(shown(1), expected);
}

void TstRunLabels::newPanelInSameSlot()
{
    Devices[1].Steps[0] = {5, 30, 0};
    tickAt(100);
    QCOMPARE(shown(1), (QStringList{"Krok = 0", "Čas = 0 / 5", "Napětí = 30"}));
    // The source removed and another connected in its slot, many times over: the
    // allocator may well put a new label where an old one was.
    for (int i = 0; i < 20; ++i) {
        m_owner = std::make_unique<QWidget>();
        Devices[1] = TDevice{};
        makePanel(1);
        Devices[1].Steps[0] = {5, 30, 0};
        tickAt(200 + 25 * i);
        QCOMPARE(shown(1), (QStringList{"Krok = 0", "Čas = 0 / 5", "Napětí = 30"}));
    }
}

void TstRunLabels::otherSlotsUntouched()
{
    makePanel(7);
    Devices[1].Steps[0] = {1, 1, 0};
    Devices[7].Steps[0] = {2, 2, 0};
    Devices[7].Steps[1] = {60, 99, 0};
    tickAt(0);
    StartProgram(7);
    for (uint32_t t = 25; t <= 2100; t += 25)
        tickAt(t);
    QCOMPARE(shown(1), (QStringList{"Krok = 0", "Čas = 0 / 1", "Napětí = 1"}));
    QCOMPARE(shown(7), (QStringList{"Krok = 1", "Čas = 2 / 60", "Napětí = 99"}));
}

QTEST_MAIN(TstRunLabels)
#include "tst_runlabels.moc"
