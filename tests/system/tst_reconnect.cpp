// Sources that come back at start: the connected sources kept in the settings file at the
// end of a run and connected again into the same slots at the next start, on the real
// serial layer and the simulator.

#include "wholeprogram.h"

#include "controls.h"
#include "reconnect.h"
#include "tchart.h"

#include <QRegularExpression>
#include <QTest>

namespace {
// One start's view of a source: what the operator sees of it.
struct Seen
{
    int slot, line, address;
    QRgb colour;
    bool inChart;
    bool operator==(const Seen &) const = default;
};

QList<Seen> Connected()
{
    QList<Seen> r;
    for (int s = 1; s <= MaxDevices; ++s)
        if (Devices[s].Used)
            r << Seen{s, Devices[s].Line, Devices[s].Address, Devices[s].PanelCol->Color().rgb(),
                      Devices[s].InChart};
    return r;
}

int PolledAfter(SimProcess &sim, qsizetype from, int line, int address)
{
    const QByteArray head = '@' + QByteArray::number(address, 16).toUpper().rightJustified(2, '0');
    const QList<QByteArray> rx = sim.Received(line);
    return int(std::count_if(rx.begin() + qMin(from, rx.size()), rx.end(),
                             [&](const QByteArray &f) { return f.startsWith(head); }));
}

// The whole title, also when the panel shows it cut.
QString Title(int slot)
{
    const TLabel *l = Devices[slot].Label1;
    return l->toolTip().isEmpty() ? l->text() : l->toolTip();
}

bool AllAnswer()
{
    for (int s = 1; s <= MaxDevices; ++s)
        if (Devices[s].Used && (Devices[s].Link != lkAnswering || Devices[s].TypeText.isEmpty()))
            return false;
    return true;
}
} // namespace

class TstReconnect : public QObject
{
    Q_OBJECT
private slots:
    void init() { m_prog = std::make_unique<WholeProgram>(); }
    void cleanup() { m_prog.reset(); }
    void endedRunComesBack();
    void reconnectOff();
    void fromTheFile_data();
    void fromTheFile();

private:
    std::unique_ptr<WholeProgram> m_prog;
};

void TstReconnect::endedRunComesBack()
{
    QVERIFY2(m_prog->Start({{"addr=1", "addr=5,u=12,out=1"}, {"addr=0", "addr=3"}}).isEmpty(),
             "simulator");
    for (auto [line, address] : {std::pair{1, 1}, {1, 5}, {2, 0}, {2, 3}})
        QVERIFY(m_prog->Connect(line, address));
    // A gap: slot 2 goes, so the others must keep slots 1, 3 and 4.
    RemoveReq[2] = true;
    QTRY_VERIFY_WITH_TIMEOUT(!Devices[2].Used, 5000);
    Devices[3].Color = 0x123456;
    Devices[3].PanelCol->SetColor(QColor(0x12, 0x34, 0x56));
    FormMain->CheckZaz->SetChecked(0, true); // slot 1 in the chart, the others not
    FormMain->CheckZaz->SetChecked(2, true); // slot 4
    if (FormMain->CheckZaz->OnClickCheck)
        FormMain->CheckZaz->OnClickCheck(FormMain->CheckZaz, 0);
    QTRY_VERIFY_WITH_TIMEOUT(AllAnswer(), 10000);
    const QList<Seen> before = Connected();
    QCOMPARE(before.size(), 3);
    QVERIFY(before[0].inChart && !before[1].inChart && before[2].inChart);
    QStringList titles;
    for (const Seen &s : before)
        titles << Title(s.slot);

    const qsizetype framesA = m_prog->Sim().Received(1).size();
    const qsizetype framesB = m_prog->Sim().Received(2).size();
    m_prog->Reopen();
    QTRY_COMPARE_WITH_TIMEOUT(DeviceCount, 3, 5000);
    QCOMPARE(Connected(), before);
    for (const Seen &s : before)
        QVERIFY(FormMain->Graf->Series(s.slot - 1)->Active() == s.inChart);
    QTRY_VERIFY_WITH_TIMEOUT(AllAnswer(), 10000);
    QStringList again;
    for (const Seen &s : before)
        again << Title(s.slot);
    QCOMPARE(again, titles);
    QVERIFY(titles[0].contains(QStringLiteral("ZDR")));
    QVERIFY(PolledAfter(m_prog->Sim(), framesA, 1, 1) > 0);
    QVERIFY(PolledAfter(m_prog->Sim(), framesB, 2, 0) > 0);
    QVERIFY(PolledAfter(m_prog->Sim(), framesB, 2, 3) > 0);
    QCOMPARE(PolledAfter(m_prog->Sim(), framesA, 1, 5), 0); // removed before the end
    QVERIFY2(m_prog->Errors().isEmpty(), qPrintable(m_prog->Errors().join('\n')));
}

void TstReconnect::reconnectOff()
{
    const QByteArray sources = "[Sources]\r\nSlot1=A,1,1,#FF0000,1\r\n";
    QVERIFY(m_prog->Start({{"addr=1"}}, {}, "[Setup]\r\nReconnect=0\r\n" + sources).isEmpty());
    WholeProgram::Run(500);
    QCOMPARE(DeviceCount, 0);
    QVERIFY(m_prog->Sim().Received(1).isEmpty());
    QVERIFY(m_prog->Connect(1, 1));
    m_prog->Stop();
    // Off, the section stays as it was written.
    QVERIFY(ReadFile(m_prog->IniPath()).endsWith(sources));
}

void TstReconnect::fromTheFile_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QString>("connected"); // slot:line/address ...
    QTest::addColumn<QString>("message");   // the one error shown, or empty
    QTest::addColumn<int>("warnings");
    QTest::addColumn<QString>("kept"); // the slots in the section after the run

    QTest::newRow("ports that cannot be opened")
        << QByteArray("Slot2=C,9,4,#00FF00,0\r\nSlot5=A,1,1,#FF0000,1\r\n"
                      "Slot7=D,8,1,#0000FF,0\r\nSlot8=C,9,5,#00FF00,0\r\nSlot9=B,2,3,#000000,1\r\n")
        << "5:1/1 9:2/3"
        << "Tyto linky nelze znovu otevřít, jejich zdroje nejsou připojeny:\nC (Com 09), D (Com 08)"
        << 0 << "2 5 7 8 9";
    QTest::newRow("damaged entries skipped")
        << QByteArray("Slot1=E,1,1,#FF0000,1\r\nSlot2=A,1\r\nSlotX=A,1,2,#FF0000,1\r\n"
                      "Slot51=A,1,3,#FF0000,1\r\nSlot3=A,1,40,#FF0000,1\r\n"
                      "Slot4=A,1,1,red,1\r\nSlot6=A,1,1,#FF0000,1\r\nSlot6=A,1,2,#FF0000,1\r\n"
                      "Slot8=A,1,1,#FF0000,1\r\nSlot10=B,2,3,#00FF00,0\r\n")
        << "6:1/1 10:2/3" << QString() << 8 << "6 10";
}

void TstReconnect::fromTheFile()
{
    QFETCH(QByteArray, section);
    QFETCH(QString, connected);
    QFETCH(QString, message);
    QFETCH(int, warnings);
    QFETCH(QString, kept);
    for (int i = 0; i < warnings; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^\\[Sources\\]")));
    QVERIFY(m_prog
                ->Start({{"addr=1"}, {"addr=3"}}, {},
                        "COM8=" + m_prog->Dir().toUtf8() + "/none8\r\nCOM9=" +
                            m_prog->Dir().toUtf8() + "/none9\r\n[Sources]\r\n" + section)
                .isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(DeviceCount > 0, 5000);
    WholeProgram::Run(200);
    QStringList got;
    for (const Seen &s : Connected())
        got << QStringLiteral("%1:%2/%3").arg(s.slot).arg(s.line).arg(s.address);
    QCOMPARE(got.join(' '), connected);
    QCOMPARE(m_prog->Errors(), message.isEmpty() ? QStringList() : QStringList{message});
    QTRY_VERIFY_WITH_TIMEOUT(AllAnswer(), 10000);

    // Sources of a line that could not be opened are kept for the next start; damaged
    // entries are not.
    m_prog->Stop();
    QStringList saved;
    for (const auto &[key, value] : TIniFile(m_prog->IniPath()).ReadSection("Sources"))
        saved << key.mid(4);
    QCOMPARE(saved.join(' '), kept);
}

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    TstReconnect t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_reconnect.moc"
