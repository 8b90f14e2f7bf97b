#include "afcomport.h"
#include "errorof.h"
#include "serialtestsupport.h"

#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <memory>
#include <sys/file.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A port set up as the program sets up line A.
std::unique_ptr<TAfComPort> ProgramPort(uint16_t number)
{
    auto port = std::make_unique<TAfComPort>();
    port->setObjectName(QStringLiteral("PortA"));
    port->SetBaudRate(br9600);
    port->SetComNumber(number);
    return port;
}

// Reads what each OnDataRecived announces, as the line's handler does.
struct Reader
{
    QByteArray Got;
    QList<int> Counts;
    bool AllOnInterfaceThread = true;
    bool ReadThem = true;

    void Attach(TAfComPort &port)
    {
        port.OnDataRecived = [this, &port](QObject *sender, int32_t count) {
            AllOnInterfaceThread &=
                QThread::currentThread() == QCoreApplication::instance()->thread() &&
                sender == &port;
            Counts << count;
            if (ReadThem)
                for (int i = 0; i < count; ++i)
                    Got += port.ReadChar();
        };
    }
};

// Line A on a pseudo-terminal: the far end, the program's port mapped to it, and a reader
// of what the port announces when one is asked for.
struct LineA
{
    LineA(const QString &ini, bool withReader)
        : mapped(pty.Valid() && WritePortMap(ini, {{1, pty.SlavePath()}}))
    {
        if (withReader)
            reader.Attach(*port);
    }
    PtyPair pty;
    bool mapped;
    Reader reader;
    std::unique_ptr<TAfComPort> port = ProgramPort(1);
};

enum Setup { Nothing, HeldByLock, HeldByOtherPort, NoOutBuffer, NoInBuffer, FourDataBits };

} // namespace

class TestAfComPort : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;

    void mapPorts(const std::map<int, QByteArray> &ports) { QVERIFY(WritePortMap(m_ini, ports)); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir::setCurrent(m_dir->path());
        m_ini = m_dir->filePath(QStringLiteral("ardemo.INI"));
        AfSetPortMapFile(m_ini);
        CaughtErrors.clear();
    }
    void cleanup()
    {
        QDir::setCurrent(QDir::tempPath());
        m_dir.reset();
    }

    void openCloseCycles()
    {
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        int opened = 0, closed = 0;
        port->OnPortOpen = [&](QObject *) { ++opened; };
        port->OnPortClose = [&](QObject *) { ++closed; };
        const int fds = OpenFdCount();

        for (int i = 0; i < 4; ++i) {
            port->Open();
            QVERIFY(port->Active());
            QCOMPARE(port->OutBufFree(), 2048);

            termios t{};
            QCOMPARE(tcgetattr(pty.Slave(), &t), 0);
            QCOMPARE(cfgetospeed(&t), speed_t(B9600));
            QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
            QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
            QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0));
            QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));

            const QByteArray request = "@01U" + QByteArray::number(i) + "\r";
            port->WriteString(request);
            QCOMPARE(pty.Read(request.size(), 3000), request);
            reader.Got.clear();
            QVERIFY(pty.Write("#01 OK\r"));
            QTRY_COMPARE(reader.Got, QByteArray("#01 OK\r"));

            port->Close();
            QVERIFY(!port->Active());
            QCOMPARE(port->OutBufFree(), 0);
            QCOMPARE(OpenFdCount(), fds);
        }
        QCOMPARE(opened, 4);
        QCOMPARE(closed, 4);
        QVERIFY(reader.AllOnInterfaceThread);
        port->Close(); // closing a closed port is harmless
        QCOMPARE(closed, 4);
    }

    void openErrors_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("number 0") << int(Nothing) << 0 << "Invalid port number (COM0)";
        QTest::newRow("no such device") << int(Nothing) << 5 << "Invalid port number (COM5)";
        QTest::newRow("held by another program")
            << int(HeldByLock) << 1 << "Can't open device COM1";
        QTest::newRow("held by another port")
            << int(HeldByOtherPort) << 1 << "Can't open device COM1";
        QTest::newRow("not a terminal") << int(Nothing) << 7 << "Error setting timeouts";
        QTest::newRow("no output ring") << int(NoOutBuffer) << 1 << "Error initializing buffers";
        QTest::newRow("no input queue") << int(NoInBuffer) << 1 << "Error initializing buffers";
        QTest::newRow("settings refused")
            << int(FourDataBits) << 1 << "Error setting parameters from DCB";
    }
    void openErrors()
    {
        QFETCH(int, setup);
        QFETCH(int, number);
        QFETCH(QString, message);
        PtyPair pty;
        QVERIFY(pty.Valid());
        const QString plainFile = m_dir->filePath(QStringLiteral("plain"));
        QFile f(plainFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        mapPorts({{1, pty.SlavePath()},
                  {5, m_dir->filePath(QStringLiteral("gone/ttyUSB9")).toLocal8Bit()},
                  {7, plainFile.toLocal8Bit()}});

        auto port = ProgramPort(uint16_t(number));
        const int fds = OpenFdCount();
        int lockFd = -1;
        std::unique_ptr<TAfComPort> other;
        switch (setup) {
        case HeldByLock:
            lockFd = ::open(pty.SlavePath().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            QVERIFY(lockFd >= 0);
            QCOMPARE(::flock(lockFd, LOCK_EX | LOCK_NB), 0);
            break;
        case HeldByOtherPort:
            other = ProgramPort(1);
            other->Open();
            break;
        case NoOutBuffer:
            port->SetOutBufSize(0);
            break;
        case NoInBuffer:
            port->SetInBufSize(0);
            break;
        case FourDataBits:
            port->SetDatabits(db4);
            break;
        }

        QCOMPARE(ErrorOf<EAfComPortCoreError>([&] { port->Open(); }), message);
        QVERIFY(!port->Active());
        QCOMPARE(port->OutBufFree(), 0);
        if (other)
            QVERIFY(other->Active()); // the holder is not disturbed

        // Nothing is left behind, and the port opens once the cause is gone.
        if (lockFd >= 0)
            ::close(lockFd);
        other.reset();
        QCOMPARE(OpenFdCount(), fds);
        if (number == 1) {
            port->SetOutBufSize(2048);
            port->SetInBufSize(4096);
            port->SetDatabits(db8);
            port->Open();
            QVERIFY(port->Active());
            port->WriteString("ok");
            QCOMPARE(pty.Read(2, 3000), QByteArray("ok"));
        }
    }

    void openingAnOpenPortDoesNothing()
    {
        PtyPair a, b;
        mapPorts({{1, a.SlavePath()}});
        auto port = ProgramPort(1);
        int opened = 0;
        port->OnPortOpen = [&](QObject *) { ++opened; };
        port->Open();
        mapPorts({{1, b.SlavePath()}});
        port->Open();
        QVERIFY(port->Active());
        QCOMPARE(opened, 1);
        port->WriteString("still A");
        QCOMPARE(a.Read(7, 3000), QByteArray("still A"));
        QCOMPARE(b.Read(1, 200), QByteArray());
    }

    void comNumberChangeWhileOpenReopens()
    {
        PtyPair a, b;
        mapPorts({{1, a.SlavePath()}, {2, b.SlavePath()}});
        auto port = ProgramPort(1);
        port->SetComNumber(2); // closed: only stored
        QVERIFY(!port->Active());
        QCOMPARE(port->ComNumber(), uint16_t(2));
        port->SetComNumber(1);
        port->Open();
        Reader reader;
        reader.Attach(*port);

        port->SetComNumber(2);
        QVERIFY(port->Active());
        QCOMPARE(port->Core()->DevicePath(), b.SlavePath());
        port->WriteString("to B");
        QCOMPARE(b.Read(4, 3000), QByteArray("to B"));
        QCOMPARE(a.Read(1, 200), QByteArray());
        QVERIFY(b.Write("from B"));
        QTRY_COMPARE(reader.Got, QByteArray("from B"));
    }

    void outputRingExactFillAndRefusal()
    {
        LineA line(m_ini, false);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();

        QCOMPARE(ErrorOf<EAfComPortError>([&] { port->WriteString(Pattern(2049)); }),
                 QStringLiteral("Write data error [requested: 2049, free: 2048] - PortA "));
        QCOMPARE(port->OutBufFree(), 2048);
        QCOMPARE(pty.Read(1, 300), QByteArray()); // nothing of it was queued

        const QByteArray exact = Pattern(2048, 1);
        port->WriteString(exact);
        QCOMPARE(pty.Read(2048, 5000), exact);
        QTRY_COMPARE(port->OutBufFree(), 2048);
    }

    void writingNothingAndWritingClosed()
    {
        LineA line(m_ini, false);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->WriteString(QByteArray()); // closed, but nothing to send: no error
        QCOMPARE(ErrorOf<EAfComPortError>([&] { port->WriteString("x"); }),
                 QStringLiteral("Write data error [requested: 1, free: 0] - PortA "));
        port->Open();
        port->WriteString(QByteArray());
        QCOMPARE(pty.Read(1, 200), QByteArray());
        QCOMPARE(ErrorOf<EAfComPortError>([&] { port->SetOutBufSize(4096); }),
                 QStringLiteral("Port is not closed - PortA "));
        QCOMPARE(port->OutBufSize(), 2048);
    }

    void textAcrossTheRingEndGoesOutInTwoWrites()
    {
        LineA line(m_ini, false);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();
        const QByteArray first = Pattern(2000, 2);
        port->WriteString(first);
        QCOMPARE(pty.Read(2000, 5000), first);
        QTRY_COMPARE(port->OutBufFree(), 2048);

        const uint64_t writes = port->Core()->DeviceWrites();
        const QByteArray text = Pattern(100, 3);
        port->WriteString(text);
        QCOMPARE(pty.Read(100, 3000), text);
        QTRY_COMPARE(port->Core()->DeviceWrites() - writes, uint64_t(2));
    }

    void outBufFreeAfterSending()
    {
        LineA line(m_ini, false);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        int free = 0;
        port->OnOutBufFree = [&](QObject *) { ++free; };
        port->Open();
        port->WriteString("@01?\r");
        QTRY_VERIFY(free >= 1);
    }

    void receivedBytesReachTheInterfaceThread()
    {
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();
        QVERIFY(pty.Write("#01U12\r"));
        QTRY_COMPARE(reader.Got, QByteArray("#01U12\r"));

        const QByteArray burst = Pattern(1500, 4);
        reader.Got.clear();
        QVERIFY(pty.Write(burst));
        QTRY_COMPARE(reader.Got, burst);
        QVERIFY(reader.AllOnInterfaceThread);
        QVERIFY(CaughtErrors.isEmpty());
    }

    void countZeroIsHarmless()
    {
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();
        QVERIFY(pty.Write("abc"));
        // The event is on its way; meanwhile the bytes are read by someone else.
        QVERIFY(WaitBlocked([] { return AfSafeSync::WaitingHandOvers() == 1; }));
        QVERIFY(WaitBlocked([&] { return port->InQueue() == 3; }));
        char buf[3];
        QCOMPARE(port->ReadData(buf, 3), 3);
        QCoreApplication::processEvents();
        QCOMPARE(reader.Counts, QList<int>{0});
        QCOMPARE(reader.Got, QByteArray());
        QVERIFY(CaughtErrors.isEmpty());
    }

    void readingWhatIsNotThere()
    {
        LineA line(m_ini, false);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        const QString error = QStringLiteral("Read data error - PortA ");
        QCOMPARE(ErrorOf<EAfComPortError>([&] { port->ReadChar(); }), error); // closed
        port->Open();
        QCOMPARE(ErrorOf<EAfComPortError>([&] { port->ReadChar(); }), error);

        // Asking for more than has arrived takes nothing away.
        QVERIFY(pty.Write("xy"));
        QVERIFY(WaitBlocked([&] { return port->InQueue() == 2; }));
        char buf[5];
        QCOMPARE(ErrorOf<EAfComPortError>([&] { port->ReadData(buf, 5); }), error);
        QCOMPARE(port->ReadChar(), 'x');
        QCOMPARE(port->ReadChar(), 'y');
    }

    void handlerErrorsGoToTheApplication()
    {
        LineA line(m_ini, false);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        QByteArray got;
        port->OnDataRecived = [&](QObject *, int32_t count) {
            for (int i = 0; i <= count; ++i) // one too many
                got += port->ReadChar();
        };
        port->Open();
        QVERIFY(pty.Write("ab"));
        QTRY_COMPARE(CaughtErrors, QStringList{QStringLiteral("Read data error - PortA ")});
        QCOMPARE(got, QByteArray("ab"));

        // The port goes on working.
        reader.Attach(*port);
        QVERIFY(pty.Write("cd"));
        QTRY_COMPARE(reader.Got, QByteArray("cd"));
    }

    // Bytes the handler leaves unread are counted again by the 200 ms poll only.
    void unreadBytesAreNotSpunOn()
    {
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        reader.ReadThem = false;
        port->Open();
        QVERIFY(pty.Write("12345"));
        QTRY_VERIFY(!reader.Counts.isEmpty());
        const uint64_t loops = port->Core()->EventLoops();
        QTest::qWait(1000);
        const uint64_t passes = port->Core()->EventLoops() - loops;
        QVERIFY2(passes < 30, qPrintable(QStringLiteral("%1 passes").arg(passes)));
        QVERIFY2(reader.Counts.size() >= 3 && reader.Counts.size() <= 12,
                 qPrintable(QStringLiteral("%1 events").arg(reader.Counts.size())));
        for (int c : reader.Counts)
            QCOMPARE(c, 5);

        reader.ReadThem = true;
        QVERIFY(pty.Write("678"));
        QTRY_COMPARE(reader.Got, QByteArray("12345678"));
        QTRY_COMPARE(port->InQueue(), 0);
    }

    void closingWhileAnEventIsHandedOver()
    {
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();
        QVERIFY(pty.Write("x"));
        QVERIFY(WaitBlocked([] { return AfSafeSync::WaitingHandOvers() == 1; }));
        const auto before = AfSafeSync::HandOverCounts();
        port->Close(); // the interface thread never served the event
        QVERIFY(!port->Active());
        const auto after = AfSafeSync::HandOverCounts();
        QCOMPARE(after.Dropped, before.Dropped + 1); // let go, not timed out
        QCOMPARE(after.TimedOut, before.TimedOut);
        QCOMPARE(AfSafeSync::WaitingHandOvers(), 0);

        port->Open(); // the dropped event does not come back with the next session
        QCoreApplication::processEvents();
        QVERIFY(reader.Counts.isEmpty());
    }

    void busyInterfaceThreadLosesNothing()
    {
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();
        const auto before = AfSafeSync::HandOverCounts();
        QVERIFY(pty.Write("abc"));
        std::this_thread::sleep_for(2300ms); // a long pass on the interface thread
        QVERIFY(pty.Write("def"));
        QVERIFY(AfSafeSync::HandOverCounts().TimedOut > before.TimedOut);
        QTRY_COMPARE(reader.Got, QByteArray("abcdef"));
        QVERIFY(CaughtErrors.isEmpty());
    }

    void deviceVanishesWhileOpen()
    {
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();
        QVERIFY(pty.Write("hi"));
        QTRY_COMPARE(reader.Got, QByteArray("hi"));
        reader.Counts.clear();

        pty.CloseMaster(); // adapter pulled
        QTRY_VERIFY(port->Core()->DeviceLost());
        const uint64_t loops = port->Core()->EventLoops();
        QTest::qWait(1000);
        const uint64_t passes = port->Core()->EventLoops() - loops;
        QVERIFY2(passes < 30, qPrintable(QStringLiteral("%1 passes").arg(passes)));
        QVERIFY(port->Active()); // open but silent until closed
        QVERIFY(reader.Counts.isEmpty());

        // Output is taken and dropped, so the ring never fills up.
        for (int i = 0; i < 4; ++i) {
            port->WriteString(Pattern(1500));
            QTRY_COMPARE(port->OutBufFree(), 2048);
        }
        QCOMPARE(ErrorOf<EAfComPortError>([&] { port->ReadChar(); }),
                 QStringLiteral("Read data error - PortA "));
        port->Close();
        QVERIFY(!port->Active());
        QVERIFY(CaughtErrors.isEmpty());
    }

    void writeFailsOnAVanishedDevice()
    {
        // The loss seen by the write thread first, with input left unread.
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        reader.ReadThem = false;
        port->Open();
        QVERIFY(pty.Write("unread"));
        QTRY_VERIFY(!reader.Counts.isEmpty());
        pty.CloseMaster();
        port->WriteString("@01?\r");
        QTRY_VERIFY(port->Core()->DeviceLost());
        QTRY_COMPARE(port->OutBufFree(), 2048);
        port->Close();
        QVERIFY(!port->Active());
    }

    void destroyedWhileOpen()
    {
        const int usedSlots = AfSafeSync::UsedSlots();
        LineA line(m_ini, true);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Open();
        QVERIFY(pty.Write("z"));
        QVERIFY(WaitBlocked([] { return AfSafeSync::WaitingHandOvers() == 1; }));
        port.reset();
        QCOMPARE(AfSafeSync::UsedSlots(), usedSlots);
        QCoreApplication::processEvents();
        QVERIFY(reader.Counts.isEmpty());
    }

    void autoOpenAfterLoading()
    {
        LineA line(m_ini, false);
        auto &[pty, mapped, reader, port] = line;
        QVERIFY(mapped);
        port->Loaded();
        QVERIFY(!port->Active());
        port->SetAutoOpen(true);
        port->Loaded();
        QVERIFY(port->Active());
    }
};

CATCHING_TEST_MAIN(QCoreApplication, TestAfComPort)
#include "tst_afcomport.moc"
