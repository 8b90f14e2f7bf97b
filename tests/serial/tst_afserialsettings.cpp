#include "afcomport.h"
#include "afserialsettings.h"
#include "serialtestsupport.h"

#include <cstring>
#include <sys/ioctl.h>

Q_DECLARE_METATYPE(TAfFlowControl)
Q_DECLARE_METATYPE(TAfComOption)
Q_DECLARE_METATYPE(TAfBaudrate)

class TestAfSerialSettings : public QObject
{
    Q_OBJECT

private slots:
    void componentDefaults()
    {
        TAfComPort port;
        QCOMPARE(port.ComNumber(), uint16_t(0));
        QCOMPARE(port.BaudRate(), br115200);
        QCOMPARE(port.UserBaudRate(), 0u);
        QCOMPARE(port.Databits(), db8);
        QCOMPARE(port.Parity(), paNone);
        QCOMPARE(port.Stopbits(), sbOne);
        QCOMPARE(port.FlowControl(), fwNone);
        QVERIFY(port.DTR());
        QVERIFY(port.RTS());
        QCOMPARE(port.Options(), TAfComOptions(0));
        QCOMPARE(port.XOnChar(), uint8_t(17));
        QCOMPARE(port.XOffChar(), uint8_t(19));
        QCOMPARE(port.XOnLim(), uint16_t(0));
        QCOMPARE(port.XOffLim(), uint16_t(0));
        QCOMPARE(port.InBufSize(), 4096);
        QCOMPARE(port.OutBufSize(), 2048);
        QCOMPARE(port.EventThreadPriority(), tpNormal);
        QCOMPARE(port.WriteThreadPriority(), tpHighest);
        QVERIFY(!port.AutoOpen());
        QVERIFY(!port.Active());
        QCOMPARE(port.OutBufFree(), 0);
    }

    // The record of the program's four ports, byte for byte.
    void programPortRecord()
    {
        TAfComPort port;
        port.SetBaudRate(br9600);
        const TAfDCB &d = port.DCB();
        unsigned char raw[28];
        std::memcpy(raw, &d, sizeof raw);
        const unsigned char expected[28] = {
            28,   0,    0, 0,       // record length
            0x80, 0x25, 0, 0,       // 9600
            0x11, 0x10, 0, 0,       // binary, DTR enable, RTS enable
            0,    0,    0, 0, 0, 0, // reserved, XON limit, XOFF limit
            8,    0,    0,          // 8 data bits, no parity, one stop bit
            0x11, 0x13, 0, 0, 0,    // XON, XOFF, error, end-of-file, event characters
            0,    0};
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(raw), 28),
                 QByteArray(reinterpret_cast<const char *>(expected), 28));
    }

    void flowControlFlags_data()
    {
        QTest::addColumn<TAfFlowControl>("flow");
        QTest::addColumn<uint>("flags");
        QTest::newRow("none") << fwNone << 0x1011u;
        QTest::newRow("xon/xoff") << fwXOnXOff << 0x1311u;
        QTest::newRow("rts/cts: RTS is the handshake") << fwRtsCts << 0x2015u;
        QTest::newRow("dtr/dsr: DTR is the handshake") << fwDtrDsr << 0x1029u;
    }
    void flowControlFlags()
    {
        QFETCH(TAfFlowControl, flow);
        QFETCH(uint, flags);
        TAfComPort port;
        port.SetFlowControl(flow);
        QCOMPARE(port.DCB().Flags, flags);
    }

    void optionFlags_data()
    {
        QTest::addColumn<TAfComOption>("option");
        QTest::addColumn<uint>("flag");
        QTest::newRow("parity check") << coParityCheck << 0x2u;
        QTest::newRow("dsr sensitivity") << coDsrSensitivity << 0x40u;
        QTest::newRow("ignore xoff") << coIgnoreXOff << 0x80u;
        QTest::newRow("error char") << coErrorChar << 0x400u;
        QTest::newRow("strip null") << coStripNull << 0x800u;
    }
    void optionFlags()
    {
        QFETCH(TAfComOption, option);
        QFETCH(uint, flag);
        TAfComPort port;
        port.SetOptions(AfComOption(option));
        QCOMPARE(port.DCB().Flags, 0x1011u | flag);
        port.SetOptions(AfComOption(coParityCheck) | AfComOption(coStripNull));
        QCOMPARE(port.DCB().Flags, 0x1011u | 0x2u | 0x800u);
    }

    void rates_data()
    {
        QTest::addColumn<TAfBaudrate>("rate");
        QTest::addColumn<uint>("value");
        const uint values[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                               19200, 38400, 56000, 57600, 115200, 128000, 256000};
        for (int i = br110; i <= br256000; ++i)
            QTest::newRow(QByteArray::number(values[i]).constData()) << TAfBaudrate(i) << values[i];
        QTest::newRow("user") << brUser << 31250u;
    }
    void rates()
    {
        QFETCH(TAfBaudrate, rate);
        QFETCH(uint, value);
        TAfComPort port;
        port.SetUserBaudRate(31250);
        port.SetBaudRate(rate);
        QCOMPARE(port.DCB().BaudRate, value);
    }

    void framingFields()
    {
        TAfComPort port;
        port.SetDatabits(db7);
        port.SetParity(paSpace);
        port.SetStopbits(sbTwo);
        port.SetXOnChar(0x21);
        port.SetXOffChar(0x22);
        port.SetXOnLim(100);
        port.SetXOffLim(200);
        const TAfDCB &d = port.DCB();
        QCOMPARE(int(d.ByteSize), 7);
        QCOMPARE(int(d.Parity), 4);
        QCOMPARE(int(d.StopBits), 2);
        QCOMPARE(d.XonChar, char(0x21));
        QCOMPARE(d.XoffChar, char(0x22));
        QCOMPARE(int(d.XonLim), 100);
        QCOMPARE(int(d.XoffLim), 200);
        port.SetDatabits(db4);
        QCOMPARE(int(port.DCB().ByteSize), 4);
    }

    // The line of the program: 9600 8N1, raw, no flow control, reads never wait.
    void termiosOfProgramPorts()
    {
        TAfPortSettings s;
        s.BaudRate = br9600;
        termios t{};
        t.c_lflag = ICANON | ECHO | ISIG;
        t.c_oflag = OPOST;
        t.c_iflag = ICRNL | IXON;
        uint32_t custom = 1;
        QVERIFY(AfDcbToTermios(AfBuildDCB(s), t, &custom));
        QCOMPARE(custom, 0u);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE(cfgetispeed(&t), speed_t(B9600));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK), tcflag_t(0));
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
        QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(int(t.c_cc[VMIN]), 0);
        QCOMPARE(int(t.c_cc[VTIME]), 0);
    }

    void termiosTranslation_data()
    {
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopbits");
        QTest::addColumn<int>("flow");
        QTest::addColumn<uint>("cflagOn");
        QTest::addColumn<uint>("iflagOn");
        QTest::newRow("odd") << int(paOdd) << int(sbOne) << int(fwNone) << uint(PARENB | PARODD)
                             << 0u;
        QTest::newRow("even") << int(paEven) << int(sbOne) << int(fwNone) << uint(PARENB) << 0u;
        QTest::newRow("mark") << int(paMark) << int(sbOne) << int(fwNone)
                              << uint(PARENB | PARODD | CMSPAR) << 0u;
        QTest::newRow("space") << int(paSpace) << int(sbOne) << int(fwNone) << uint(PARENB | CMSPAR)
                               << 0u;
        QTest::newRow("two stop bits")
            << int(paNone) << int(sbTwo) << int(fwNone) << uint(CSTOPB) << 0u;
        QTest::newRow("rts/cts") << int(paNone) << int(sbOne) << int(fwRtsCts) << uint(CRTSCTS)
                                 << 0u;
        QTest::newRow("xon/xoff") << int(paNone) << int(sbOne) << int(fwXOnXOff) << 0u
                                  << uint(IXON | IXOFF);
    }
    void termiosTranslation()
    {
        QFETCH(int, parity);
        QFETCH(int, stopbits);
        QFETCH(int, flow);
        QFETCH(uint, cflagOn);
        QFETCH(uint, iflagOn);
        TAfPortSettings s;
        s.Parity = TAfParity(parity);
        s.Stopbits = TAfStopbits(stopbits);
        s.FlowControl = TAfFlowControl(flow);
        const TAfDCB d = AfBuildDCB(s);
        termios t{};
        uint32_t custom = 0;
        QVERIFY(AfDcbToTermios(d, t, &custom));
        const tcflag_t cflags = PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
        QCOMPARE(uint(t.c_cflag & cflags), cflagOn);
        QCOMPARE(uint(t.c_iflag & (IXON | IXOFF)), iflagOn);
        QCOMPARE(int(t.c_cc[VSTART]), 17);
        QCOMPARE(int(t.c_cc[VSTOP]), 19);

        // And back: the record read from such a device says the same.
        const TAfDCB back = AfDcbFromTermios(t, 115200);
        QCOMPARE(back.Parity, d.Parity);
        QCOMPARE(back.StopBits, uint8_t(d.StopBits ? 2 : 0));
        QCOMPARE(back.ByteSize, d.ByteSize);
        QCOMPARE(back.BaudRate, 115200u);
        const uint32_t flowBits = AfDcbFlag::OutX | AfDcbFlag::InX | AfDcbFlag::OutxCtsFlow;
        QCOMPARE(back.Flags & flowBits, d.Flags & flowBits);
    }

    void termiosRefusals_data()
    {
        QTest::addColumn<int>("databits");
        QTest::addColumn<uint>("rate");
        QTest::addColumn<bool>("sameXonXoff");
        QTest::newRow("4 data bits") << int(db4) << 9600u << false;
        QTest::newRow("rate 0") << int(db8) << 0u << false;
        QTest::newRow("xon equals xoff") << int(db8) << 9600u << true;
    }
    void termiosRefusals()
    {
        QFETCH(int, databits);
        QFETCH(uint, rate);
        QFETCH(bool, sameXonXoff);
        TAfPortSettings s;
        s.Databits = TAfDatabits(databits);
        s.BaudRate = brUser;
        s.UserBaudRate = rate;
        if (sameXonXoff) {
            s.FlowControl = fwXOnXOff;
            s.XOffChar = s.XOnChar;
        }
        termios t{};
        uint32_t custom = 0;
        QVERIFY(!AfDcbToTermios(AfBuildDCB(s), t, &custom));
    }

    void rateWithoutConstantGoesCustom()
    {
        TAfPortSettings s;
        s.BaudRate = br14400;
        termios t{};
        uint32_t custom = 0;
        QVERIFY(AfDcbToTermios(AfBuildDCB(s), t, &custom));
        QCOMPARE(custom, 14400u);
    }

    // Applied to a pseudo-terminal: the modem lines are refused there, which is no error.
    void appliedToADevice()
    {
        PtyPair pty;
        QVERIFY(pty.Valid());
        TAfPortSettings s;
        s.BaudRate = br9600;
        QVERIFY(AfApplyDCB(pty.Slave(), AfBuildDCB(s)));
        termios t{};
        QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_lflag & (ICANON | ECHO), tcflag_t(0));

        TAfDCB back;
        QVERIFY(AfReadDCB(pty.Slave(), back));
        QCOMPARE(back.BaudRate, 9600u);
        QCOMPARE(int(back.ByteSize), 8);
        QCOMPARE(int(back.Parity), 0);

        s.Databits = db4;
        QVERIFY(!AfApplyDCB(pty.Slave(), AfBuildDCB(s)));
        QVERIFY(!AfApplyDCB(-1, AfBuildDCB(TAfPortSettings())));
    }

    void customRateOnADevice()
    {
        PtyPair pty;
        QVERIFY(pty.Valid());
        TAfPortSettings s;
        s.BaudRate = br56000;
        if (!AfApplyDCB(pty.Slave(), AfBuildDCB(s)))
            QSKIP("this kernel's pseudo-terminals take no free rates");
        QCOMPARE(AfCurrentRate(pty.Slave()), 56000u);
    }
};

CATCHING_TEST_MAIN(QCoreApplication, TestAfSerialSettings)
#include "tst_afserialsettings.moc"
