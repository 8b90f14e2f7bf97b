#include "global.h"

#include <QTest>

class TstTables : public QObject
{
    Q_OBJECT
private slots:
    void startupStateIsEmpty();
    void resetClearsWhatAPreviousSourceLeft();
    void lowestFreeSlotAndLineCount();
};

void TstTables::startupStateIsEmpty()
{
    Devices[7].Used = true;
    Devices[7].Address = 3;
    Lines[2].Cur = 7;
    DeviceCount = 1;
    InitTables();
    QCOMPARE(DeviceCount, 0);
    for (int i = 0; i <= MaxDevices; ++i) {
        QVERIFY(!Devices[i].Used);
        QCOMPARE(Devices[i].Address, NoDevice);
        QCOMPARE(Devices[i].Line, NoDevice);
        QCOMPARE(Devices[i].ReqState, 0);
        QVERIFY(!RemoveReq[i]);
    }
    for (int l = 0; l <= MaxLines; ++l) {
        QCOMPARE(Lines[l].Cur, NoDevice);
        QCOMPARE(Lines[l].Countdown, 0u);
        QVERIFY(!Lines[l].Waiting);
        QVERIFY(Lines[l].RxBuf.isEmpty());
    }
}

void TstTables::resetClearsWhatAPreviousSourceLeft()
{
    TDevice &d = Devices[4];
    d.PendU = d.PendTol = true;
    d.USet = 12;
    d.TypeText = QStringLiteral("ZDROJ-S");
    d.Steps[255].Next = 3;
    d.RecFile = QStringLiteral("x.csv");
    RemoveReq[4] = true;
    ResetDevice(4);
    QVERIFY(!d.PendU && !d.PendTol);
    QCOMPARE(d.USet, 0.0);
    QVERIFY(d.TypeText.isEmpty());
    QCOMPARE(d.Steps[255].Next, 0);
    QVERIFY(d.RecFile.isEmpty());
    QVERIFY(!RemoveReq[4]);
}

void TstTables::lowestFreeSlotAndLineCount()
{
    InitTables();
    QCOMPARE(LowestFreeSlot(), 1);
    for (int i = 1; i <= 3; ++i) {
        Devices[i].Used = true;
        Devices[i].Line = 1;
    }
    Devices[2].Used = false; // removed: slot 2 is the next to take
    Devices[2].Line = 0;
    QCOMPARE(LowestFreeSlot(), 2);
    QCOMPARE(DevicesOnLine(1), 2);
    QCOMPARE(DevicesOnLine(0), 0);
    for (int i = 1; i <= MaxDevices; ++i)
        Devices[i].Used = true;
    QCOMPARE(LowestFreeSlot(), 0);
    InitTables();
}

QTEST_GUILESS_MAIN(TstTables)
#include "tst_tables.moc"
