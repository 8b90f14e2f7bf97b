// The simulator executable, driven the way the program drives it: started with links to its
// lines, each line opened as a raw serial port, requests written and replies read.

#include "simcore.h"
#include "simoptions.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using sim::Command;

namespace {

QByteArray Frame(int address, Command command, const char *value)
{
    return QByteArray::fromStdString(sim::BuildRequest(address, command, value));
}

// A serial port as the program opens it: exclusive, raw, 9600 8N1.
class Port
{
public:
    ~Port() { Close(); }

    bool Open(const QString &path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return false;
        ioctl(fd_, TIOCEXCL);
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        tcsetattr(fd_, TCSANOW, &tio);
        return true;
    }

    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool Send(const QByteArray &b) { return ::write(fd_, b.constData(), b.size()) == b.size(); }

    // Everything up to and including the next CR; empty after 5 s, a guard against
    // hanging and not a measure of speed.
    QByteArray ReadReply()
    {
        QDeadlineTimer deadline(5000);
        while (!pending_.contains('\r')) {
            pollfd p{fd_, POLLIN, 0};
            char buf[256];
            if (poll(&p, 1, int(deadline.remainingTime())) <= 0)
                return {};
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0)
                pending_.append(buf, n);
        }
        const qsizetype cr = pending_.indexOf('\r');
        const QByteArray reply = pending_.left(cr + 1);
        pending_.remove(0, cr + 1);
        return reply;
    }

private:
    int fd_ = -1;
    QByteArray pending_;
};

QString Shown(const QByteArray &bytes)
{
    return QString::fromStdString(sim::Printable(bytes.toStdString()));
}

} // namespace

class TstArdemoSim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void conversation();
    void pacedDelayedAndDropped();
    void commandLineFailures();

private:
    // Starts the simulator and waits for "ready"; devices_ gets the device of each line.
    bool Start(QProcess &p, const QStringList &args);
    bool Stop(QProcess &p);
    // Sends a frame, reads the reply and notes the log rows both should leave.
    QByteArray Ask(Port &port, int line, const QByteArray &frame);
    QStringList LogRows(const QString &path); // "<line> <kind> <text>", times checked

    QString sim_;
    QTemporaryDir dir_;
    QStringList devices_;
    QStringList expectedRows_;
};

void TstArdemoSim::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QVERIFY(dir_.isValid());
    sim_ = qEnvironmentVariable("ARDEMO_SIM");
    QVERIFY2(QFileInfo(sim_).isExecutable(), "ARDEMO_SIM must name the simulator");
}

bool TstArdemoSim::Start(QProcess &p, const QStringList &args)
{
    devices_.clear();
    p.setWorkingDirectory(dir_.path());
    p.start(sim_, args);
    static const QRegularExpression lineRe(QStringLiteral("^line (\\d+): (.+) -> (.+)$"));
    while (p.canReadLine() || p.waitForReadyRead(10000)) {
        while (p.canReadLine()) {
            const QString line = QString::fromUtf8(p.readLine()).trimmed();
            if (line == QLatin1String("ready"))
                return true;
            const auto m = lineRe.match(line);
            if (!m.hasMatch() || m.captured(1).toInt() != devices_.size() + 1)
                return false;
            devices_ << m.captured(3);
        }
    }
    return false;
}

bool TstArdemoSim::Stop(QProcess &p)
{
    p.terminate(); // SIGTERM
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QByteArray TstArdemoSim::Ask(Port &port, int line, const QByteArray &frame)
{
    if (!port.Send(frame))
        return {};
    const QByteArray reply = port.ReadReply();
    expectedRows_ << QStringLiteral("%1 RX %2").arg(line).arg(Shown(frame))
                  << QStringLiteral("%1 TX %2").arg(line).arg(Shown(reply));
    return reply;
}

QStringList TstArdemoSim::LogRows(const QString &path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression rowRe(QStringLiteral("^(\\d+) (\\d+ (RX|TX|BAD) .*)$"));
    QStringList rows;
    qint64 lastMs = 0;
    for (const QByteArray &raw : log.readAll().split('\n')) {
        const auto m = rowRe.match(QString::fromLatin1(raw));
        if (raw.isEmpty())
            continue;
        if (!m.hasMatch() || m.captured(1).toLongLong() < lastMs)
            return {QStringLiteral("bad row: ") + QString::fromLatin1(raw)};
        lastMs = m.captured(1).toLongLong();
        rows << m.captured(2);
    }
    return rows;
}

void TstArdemoSim::conversation()
{
    const QString linkA = dir_.filePath("lineA"), linkB = dir_.filePath("lineB");
    const QString logPath = dir_.filePath("frames.log");
    QProcess p;
    QVERIFY(Start(p, {"--log", logPath, "--line", linkA, "--source", "addr=5,u=12,out=1",
                      "--source", "addr=10,type=ZDR150,serial=777", "--line", linkB, "--source",
                      "addr=31,garbage,split=3"}));
    QCOMPARE(devices_.size(), 2);
    QCOMPARE(QFileInfo(linkA).symLinkTarget(), devices_[0]);
    QCOMPARE(QFileInfo(linkB).symLinkTarget(), devices_[1]);
    expectedRows_.clear();

    Port a;
    QVERIFY(a.Open(linkA));
    QCOMPARE(Ask(a, 1, Frame(5, Command::Id, "?")), QByteArray("#05TYPZDR300-SVC1005\r"));
    QCOMPARE(Ask(a, 1, Frame(5, Command::Nap, "???")), QByteArray("#05NAP012\r"));
    QCOMPARE(Ask(a, 1, Frame(10, Command::Id, "?")), QByteArray("#0ATYPZDR150VC777\r"));
    // A bad checksum and a stranger's address get silence: the next reply belongs to the
    // next good frame, and the damaged command was not carried out.
    QByteArray bad = Frame(5, Command::Out, "0");
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    QVERIFY(a.Send(bad) && a.Send(Frame(3, Command::Id, "?")));
    expectedRows_ << "1 BAD " + Shown(bad) << "1 BAD " + Shown(Frame(3, Command::Id, "?"));
    QCOMPARE(Ask(a, 1, Frame(10, Command::Out, "?")), QByteArray("#0AOUT0\r"));
    QCOMPARE(Ask(a, 1, Frame(5, Command::Out, "?")), QByteArray("#05OUT1\r"));
    // A request arriving in pieces.
    const QByteArray tol = Frame(5, Command::Tol, "?");
    QVERIFY(a.Send(tol.left(4)));
    QTest::qWait(20);
    QCOMPARE(Ask(a, 1, tol.mid(4)), QByteArray("#05TOL1\r"));
    expectedRows_[expectedRows_.size() - 2] = "1 RX " + Shown(tol);

    // Line B: junk before the "#", the reply in three writes.
    Port b;
    QVERIFY(b.Open(linkB));
    const QByteArray typ = Ask(b, 2, Frame(31, Command::Id, "?"));
    QVERIFY2(typ.endsWith("#1FTYPZDR300-SVC1031\r") && !typ.startsWith('#'), typ.constData());
    b.Close();

    // The program closes the port and opens it again; the sources keep their state.
    QCOMPARE(Ask(a, 1, Frame(5, Command::Out, "0")), QByteArray("#05OK\r"));
    a.Close();
    for (int round = 0; round < 2; ++round) {
        QVERIFY(a.Open(linkA));
        QCOMPARE(Ask(a, 1, Frame(5, Command::Out, "?")), QByteArray("#05OUT0\r"));
        QCOMPARE(Ask(a, 1, Frame(5, Command::Nap, "???")), QByteArray("#05NAP000\r"));
        a.Close();
    }

    QVERIFY(Stop(p));
    QVERIFY(!QFileInfo(linkA).isSymLink() && !QFileInfo(linkB).isSymLink());
    QCOMPARE(LogRows(logPath), expectedRows_);
}

void TstArdemoSim::pacedDelayedAndDropped()
{
    const QString link = dir_.filePath("paced"), logPath = dir_.filePath("paced.log");
    QProcess p;
    QVERIFY(Start(p, {"--pace", "--log", logPath, "--line", link, "--source",
                      "addr=0,delay=100,split=2", "--source", "addr=1,nocr", "--source",
                      "addr=2,drop=2"}));
    Port port;
    QVERIFY(port.Open(link));
    QVERIFY(port.Send(Frame(0, Command::Id, "?")));
    QCOMPARE(port.ReadReply(), QByteArray("#00TYPZDR300-SVC1000\r"));
    // A reply without CR: the next reply's CR ends it, so they read as one.
    QVERIFY(port.Send(Frame(1, Command::Out, "?")) && port.Send(Frame(0, Command::Out, "?")));
    QCOMPARE(port.ReadReply(), QByteArray("#01OUT0#00OUT0\r"));
    // Every second reply of source 2 is lost.
    QVERIFY(port.Send(Frame(2, Command::Sta, "?")) && port.Send(Frame(2, Command::Out, "1")));
    QVERIFY(port.Send(Frame(2, Command::Out, "?")));
    QCOMPARE(port.ReadReply(), QByteArray("#02STA0\r"));
    QCOMPARE(port.ReadReply(), QByteArray("#02OUT1\r"));
    port.Close();
    QVERIFY(Stop(p));

    const QStringList rows = LogRows(logPath);
    QCOMPARE(rows.filter(QRegularExpression("^1 RX ")).size(), 6);
    QCOMPARE(rows.filter(QRegularExpression("^1 TX ")).size(), 5); // the dropped one missing
    QVERIFY(rows.contains(QStringLiteral("1 TX #01OUT0")));
    // The delayed reply leaves no earlier than its delay after its request.
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> raw = log.readAll().split('\n');
    QVERIFY(raw[0].contains(" RX @00ID") && raw[1].contains(" TX #00TYP"));
    QVERIFY(raw[1].split(' ')[0].toLongLong() - raw[0].split(' ')[0].toLongLong() >= 100);
}

void TstArdemoSim::commandLineFailures()
{
    QProcess p;
    p.setWorkingDirectory(dir_.path());
    p.start(sim_, {"--help"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput(), QByteArray::fromStdString(sim::UsageText()));

    p.start(sim_, {"--source", "addr=1", "--line", dir_.filePath("never")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardError().contains("comes before any --line"));
    QVERIFY(!QFileInfo(dir_.filePath("never")).isSymLink());

    // A regular file is never replaced, and a link already made is taken back.
    const QString first = dir_.filePath("first"), file = dir_.filePath("data.txt");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("keep me") == 7);
    f.close();
    p.start(sim_, {"--line", first, "--line", file});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("exists and is not a link"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
    QVERIFY(!QFileInfo(first).isSymLink());

    // A stale link left by a killed run is replaced, and removed at the end.
    QVERIFY(QFile::link(QStringLiteral("/dev/null-gone"), first));
    QVERIFY(Start(p, {"--line", first}));
    QCOMPARE(QFileInfo(first).symLinkTarget(), devices_[0]);
    QVERIFY(Stop(p));
    QVERIFY(!QFileInfo(first).isSymLink());
}

QTEST_GUILESS_MAIN(TstArdemoSim)
#include "tst_ardemosim.moc"
