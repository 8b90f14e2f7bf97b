// Programs end to end: a program run on the tick, the line scheduler and the protocol
// against the source simulator through the real serial layer on pseudo-terminals. Line A
// carries a source that answers (slot 1, address 5); line B one that never answers
// (slot 2, address 9).

#include "afcomport.h"
#include "controls.h"
#include "forms.h"
#include "global.h"
#include "panels.h"
#include "protocol.h"
#include "run.h"
#include "scheduler.h"
#include "simprocess.h"
#include "strtable.h"
#include "sysutils.h"

#include <QLocale>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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
    int Connect(int line, int address);

    QTemporaryDir m_dir;
    SimProcess m_sim;
    std::unique_ptr<TFormMainBase> m_form;
    std::unique_ptr<TDMBase> m_dm;
    QTimer m_pump;
    QList<double> m_reported; // the voltages slot 1 reported, each change once
};

void TstProgramLive::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QLocale::setDefault(QLocale::c());

    const QString lineA = m_dir.filePath(QStringLiteral("lineA"));
    const QString lineB = m_dir.filePath(QStringLiteral("lineB"));
    const QString ini = m_dir.filePath(QStringLiteral("ardemo.INI"));
    {
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[Ports]\r\nCOM1=%1\r\nCOM2=%2\r\n").arg(lineA, lineB).toUtf8());
    }
    AfSetPortMapFile(ini);
    const QString err = m_sim.Start(m_dir.filePath(QStringLiteral("frames.log")),
                                    {"--line", lineA, "--source", "addr=5,u=0,out=1,slew=0",
                                     "--line", lineB, "--source", "addr=9,silent"});
    QVERIFY2(err.isEmpty(), qPrintable(err));

    InitTables();
    TextStepIs = LoadStr(sStepIs, lsEnglish);
    TextTimeIs = LoadStr(sTimeIs, lsEnglish);
    TextVoltageIs = LoadStr(sVoltageIs, lsEnglish);
    m_form = std::make_unique<TFormMainBase>();
    m_form->Page1 = new QWidget(m_form.get());
    for (int i = 1; i <= 8; ++i)
        m_form->Memo[i] = new QPlainTextEdit(m_form.get());
    FormMain = m_form.get();
    m_form->PanDev = BuildTemplatePanel(m_form->Page1);
    // The handlers of this unit on the template, as the main window wires them.
    m_form->PanDev->findChild<TSpeedButton *>(QStringLiteral("ButtSt"))->OnClick = ButtStClick;
    m_form->PanDev->findChild<TSpeedButton *>(QStringLiteral("ButtEn"))->OnClick = ButtEnClick;
    m_form->PanDev->findChild<TLabel *>(QStringLiteral("LabKrok"))->OnClick = LabKrokClick;
    m_dm = std::make_unique<TDMBase>();
    m_dm->TSystem = new QTimer(m_dm.get());
    m_dm->TSystem->setInterval(25);
    const TAfCPTDataReceivedEvent handlers[2] = {PortADataRecived, PortBDataRecived};
    TAfComPort **ports[2] = {&m_dm->PortA, &m_dm->PortB};
    for (int i = 0; i < 2; ++i) {
        *ports[i] = new TAfComPort(m_dm.get());
        (*ports[i])->setObjectName(QStringLiteral("Port") + QChar('A' + i));
        (*ports[i])->OnDataRecived = handlers[i];
    }
    DM = m_dm.get();

    QCOMPARE(Connect(1, 5), 1);
    QCOMPARE(Connect(2, 9), 2);

    // The tick's share of programs and lines, in the application's order.
    m_pump.setTimerType(Qt::PreciseTimer);
    m_pump.setInterval(25);
    connect(&m_pump, &QTimer::timeout, this, [this] {
        m_pump.stop();
        RunPrograms();
        ServeLines();
        if (m_reported.isEmpty() || m_reported.constLast() != Devices[1].U)
            m_reported << Devices[1].U;
        m_pump.start();
    });
    m_pump.start();
}

void TstProgramLive::cleanupTestCase()
{
    m_pump.stop();
    for (int s = 1; s <= 2; ++s)
        if (Devices[s].Used)
            RemoveDevice(s);
    DM = nullptr;
    m_dm.reset();
    FormMain = nullptr;
    m_form.reset();
    m_sim.Stop();
}

// As the connection dialog does it: the port of the line opens with its first source.
int TstProgramLive::Connect(int line, int address)
{
    const int slot = LowestFreeSlot();
    TAfComPort *port = DM->Port(line);
    if (!port->Active()) {
        port->SetComNumber(uint16_t(line));
        port->Open();
    }
    CreateDevicePanel(slot);
    TDevice &d = Devices[slot];
    d.Line = line;
    Lines[line].Cur = slot;
    d.Used = true;
    d.Address = address;
    return slot;
}

void TstProgramLive::threeStepsReachTheSource()
{
    TDevice &d = Devices[1];
    d.Steps[0] = {0, 7, 0};
    d.Steps[1] = {1, 100, 2};
    d.Steps[2] = {1, 200, 3};
    d.Steps[3] = {1, 50, 0};
    // The start button is enabled by the source's first replies.
    QTRY_VERIFY_WITH_TIMEOUT(d.ButtSt->isEnabled(), 8000);
    QTRY_COMPARE_WITH_TIMEOUT(d.U, 0.0, 3000);
    QTest::mouseClick(d.ButtSt, Qt::LeftButton);
    QCOMPARE(d.StepNo, 1);
    QVERIFY(d.ButtSt->isHidden());

    // Two seconds per step, then the end entry's voltage.
    QTRY_VERIFY_WITH_TIMEOUT(d.StepNo == 0, 12000);
    QVERIFY(!d.ButtSt->isHidden());
    QVERIFY(d.ButtEn->isHidden());
    QTRY_COMPARE_WITH_TIMEOUT(d.U, 7.0, 3000);

    QList<double> steps;
    for (double u : m_reported)
        if (u != 0 && (steps.isEmpty() || steps.constLast() != u))
            steps << u;
    QCOMPARE(steps, (QList<double>{100, 200, 50, 7}));

    // On the wire: one set-voltage command per step change, in order.
    QList<QByteArray> sets;
    static const QRegularExpression set(QStringLiteral("^@05NAP(\\d{3})"));
    for (const QByteArray &f : m_sim.Received(1)) {
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
