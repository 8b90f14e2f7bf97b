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

namespace {

// Generous: only a guard against hanging, never a measure of speed.
constexpr int ReplyWaitMs = 5000;

QByteArray Frame(int address, sim::Command command, const char *value)
{
    return QByteArray::fromStdString(sim::BuildRequest(address, command, value));
}

// A serial port as a client opens it: exclusive, raw, 9600 8N1.
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
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIOFLUSH);
        return true;
    }

    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool Send(const QByteArray &bytes)
    {
        return ::write(fd_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Everything up to and including the next CR (empty on time-out).
    QByteArray ReadReply()
    {
        QDeadlineTimer deadline(ReplyWaitMs);
        while (!deadline.hasExpired()) {
            const qsizetype cr = pending_.indexOf('\r');
            if (cr >= 0) {
                const QByteArray reply = pending_.left(cr + 1);
                pending_.remove(0, cr + 1);
                return reply;
            }
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int(deadline.remainingTime())) <= 0)
                break;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0)
                pending_.append(buf, n);
        }
        return {};
    }

    QByteArray Ask(const QByteArray &frame) { return Send(frame) ? ReadReply() : QByteArray(); }

private:
    int fd_ = -1;
    QByteArray pending_;
};

} // namespace

class TstArdemoSim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { QVERIFY(dir_.isValid()); }
    void conversation();
    void pacedAndDelayed();
    void help();
    void badCommandLine();
    void linkPaths();

private:
    // Starts the simulator and waits for "ready"; fills lines_ with the device of each line.
    bool Start(QProcess &p, const QStringList &args);
    bool Stop(QProcess &p);

    QString sim_;
    QTemporaryDir dir_;
    QStringList devices_;
};

void TstArdemoSim::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    sim_ = qEnvironmentVariable("ARDEMO_SIM");
    QVERIFY2(QFileInfo(sim_).isExecutable(), "ARDEMO_SIM must name the simulator");
}

bool TstArdemoSim::Start(QProcess &p, const QStringList &args)
{
    devices_.clear();
    p.setWorkingDirectory(dir_.path());
    p.start(sim_, args);
    if (!p.waitForStarted())
        return false;
    static const QRegularExpression lineRe(QStringLiteral("^line (\\d+): (.+) -> (.+)$"));
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (!p.canReadLine() && !p.waitForReadyRead(int(deadline.remainingTime())))
            return false;
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

    Port a;
    QVERIFY(a.Open(linkA));
    using sim::Command;
    QCOMPARE(a.Ask(Frame(5, Command::Id, "?")), QByteArray("#05TYPZDR300-SVC1005\r"));
    QCOMPARE(a.Ask(Frame(5, Command::Nap, "???")), QByteArray("#05NAP012\r"));
    QCOMPARE(a.Ask(Frame(10, Command::Id, "?")), QByteArray("#0ATYPZDR150VC777\r"));
    // A bad checksum and a stranger's address get silence: the next reply belongs to the
    // next good frame, and the damaged command was not carried out.
    QByteArray bad = Frame(5, Command::Out, "0");
    bad[bad.size() - 2] = bad[bad.size() - 2] == '0' ? '1' : '0';
    QVERIFY(a.Send(bad));
    QVERIFY(a.Send(Frame(3, Command::Id, "?")));
    QCOMPARE(a.Ask(Frame(10, Command::Out, "?")), QByteArray("#0AOUT0\r"));
    QCOMPARE(a.Ask(Frame(5, Command::Out, "?")), QByteArray("#05OUT1\r"));
    // A request arriving in pieces.
    const QByteArray tol = Frame(5, Command::Tol, "?");
    QVERIFY(a.Send(tol.left(4)));
    QTest::qWait(20);
    QVERIFY(a.Send(tol.mid(4)));
    QCOMPARE(a.ReadReply(), QByteArray("#05TOL1\r"));

    // Line B: junk before the "#", reply in three writes.
    Port b;
    QVERIFY(b.Open(linkB));
    const QByteArray typ = b.Ask(Frame(31, Command::Id, "?"));
    QVERIFY2(typ.endsWith("#1FTYPZDR300-SVC1031\r"), typ.constData());
    QVERIFY(!typ.startsWith('#'));
    b.Close();

    // The program closes the port and opens it again; the sources remember their state.
    QCOMPARE(a.Ask(Frame(5, Command::Out, "0")), QByteArray("#05OK\r"));
    a.Close();
    for (int round = 0; round < 2; ++round) {
        QVERIFY(a.Open(linkA));
        QCOMPARE(a.Ask(Frame(5, Command::Out, "?")), QByteArray("#05OUT0\r"));
        QCOMPARE(a.Ask(Frame(5, Command::Nap, "???")), QByteArray("#05NAP000\r"));
        a.Close();
    }

    QVERIFY(Stop(p));
    QVERIFY(!QFileInfo::exists(linkA) && !QFileInfo(linkA).isSymLink());
    QVERIFY(!QFileInfo(linkB).isSymLink());

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    static const QRegularExpression rowRe(QStringLiteral("^(\\d+) (\\d+) (RX|TX|BAD) (.*)$"));
    QStringList rows;
    qint64 lastMs = 0;
    for (const QByteArray &raw : log.readAll().split('\n')) {
        if (raw.isEmpty())
            continue;
        const auto m = rowRe.match(QString::fromLatin1(raw));
        QVERIFY2(m.hasMatch(), raw.constData());
        QVERIFY(m.captured(1).toLongLong() >= lastMs);
        lastMs = m.captured(1).toLongLong();
        rows << m.captured(2) + ' ' + m.captured(3) + ' ' + m.captured(4);
    }
    auto shown = [](const QByteArray &b) {
        return QString::fromLatin1(b).replace(QLatin1String("\r"), QLatin1String("\\r"));
    };
    const QStringList expected = {
        "1 RX " + shown(Frame(5, Command::Id, "?")),
        "1 TX #05TYPZDR300-SVC1005\\r",
        "1 RX " + shown(Frame(5, Command::Nap, "???")),
        "1 TX #05NAP012\\r",
        "1 RX " + shown(Frame(10, Command::Id, "?")),
        "1 TX #0ATYPZDR150VC777\\r",
        "1 BAD " + shown(bad),
        "1 BAD " + shown(Frame(3, Command::Id, "?")),
        "1 RX " + shown(Frame(10, Command::Out, "?")),
        "1 TX #0AOUT0\\r",
        "1 RX " + shown(Frame(5, Command::Out, "?")),
        "1 TX #05OUT1\\r",
        "1 RX " + shown(tol),
        "1 TX #05TOL1\\r",
        "2 RX " + shown(Frame(31, Command::Id, "?")),
        "2 TX " + QString::fromStdString(sim::Printable(typ.toStdString())),
        "1 RX " + shown(Frame(5, Command::Out, "0")),
        "1 TX #05OK\\r",
        "1 RX " + shown(Frame(5, Command::Out, "?")),
        "1 TX #05OUT0\\r",
        "1 RX " + shown(Frame(5, Command::Nap, "???")),
        "1 TX #05NAP000\\r",
        "1 RX " + shown(Frame(5, Command::Out, "?")),
        "1 TX #05OUT0\\r",
        "1 RX " + shown(Frame(5, Command::Nap, "???")),
        "1 TX #05NAP000\\r",
    };
    QCOMPARE(rows, expected);
}

void TstArdemoSim::pacedAndDelayed()
{
    const QString link = dir_.filePath("paced");
    const QString logPath = dir_.filePath("paced.log");
    QProcess p;
    QVERIFY(Start(p, {"--pace", "--log", logPath, "--line", link, "--source",
                      "addr=0,delay=100,split=2", "--source", "addr=1,nocr", "--source",
                      "addr=2,drop=2"}));
    Port port;
    QVERIFY(port.Open(link));
    using sim::Command;
    QCOMPARE(port.Ask(Frame(0, Command::Id, "?")), QByteArray("#00TYPZDR300-SVC1000\r"));
    // A reply without CR: the next reply's CR ends it, so both arrive as one piece.
    QVERIFY(port.Send(Frame(1, Command::Out, "?")));
    QCOMPARE(port.Ask(Frame(0, Command::Out, "?")), QByteArray("#01OUT0#00OUT0\r"));
    // Every second reply of source 2 is lost: the first and third come, the second not.
    QCOMPARE(port.Ask(Frame(2, Command::Sta, "?")), QByteArray("#02STA0\r"));
    QVERIFY(port.Send(Frame(2, Command::Out, "1")));
    QCOMPARE(port.Ask(Frame(2, Command::Out, "?")), QByteArray("#02OUT1\r"));
    port.Close();
    QVERIFY(Stop(p));

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = log.readAll().trimmed().split('\n');
    QStringList seen;
    qint64 idRx = -1, idTx = -1;
    for (const QByteArray &row : rows) {
        const qsizetype space = row.indexOf(' ');
        const QString rest = QString::fromLatin1(row.mid(space + 1));
        if (rest.startsWith(QLatin1String("1 RX @00ID")))
            idRx = row.left(space).toLongLong();
        if (rest.startsWith(QLatin1String("1 TX #00TYP")))
            idTx = row.left(space).toLongLong();
        seen << rest;
    }
    QCOMPARE(seen.filter(QRegularExpression(QStringLiteral("^1 RX "))).size(), 6);
    // The dropped reply is not in the log as sent; the reply without CR is, as sent.
    QCOMPARE(seen.filter(QRegularExpression(QStringLiteral("^1 TX "))).size(), 5);
    QVERIFY(seen.contains(QStringLiteral("1 TX #01OUT0")));
    QVERIFY(!seen.contains(QStringLiteral("1 TX #02OK\\r")));
    // The delayed reply leaves no earlier than its delay after the request.
    QVERIFY(idRx >= 0 && idTx >= 0);
    QVERIFY2(idTx - idRx >= 100, qPrintable(seen.join('|')));
}

void TstArdemoSim::help()
{
    QProcess p;
    p.start(sim_, {"--help"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray out = p.readAllStandardOutput();
    QVERIFY(out.startsWith("Usage: ardemo-sim"));
    QCOMPARE(out, QByteArray::fromStdString(sim::UsageText()));
}

void TstArdemoSim::badCommandLine()
{
    QProcess p;
    p.setWorkingDirectory(dir_.path());
    p.start(sim_, {"--source", "addr=1", "--line", dir_.filePath("never")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY(p.readAllStandardError().contains("comes before any --line"));
    QVERIFY(!QFileInfo(dir_.filePath("never")).isSymLink());
}

void TstArdemoSim::linkPaths()
{
    // A stale link left by a killed run is replaced.
    const QString stale = dir_.filePath("stale");
    QVERIFY(QFile::link(QStringLiteral("/dev/null-gone"), stale));
    QProcess ok;
    QVERIFY(Start(ok, {"--line", stale}));
    QCOMPARE(QFileInfo(stale).symLinkTarget(), devices_[0]);
    QVERIFY(Stop(ok));
    QVERIFY(!QFileInfo(stale).isSymLink());

    // A regular file is never overwritten, and links already made are taken back.
    const QString first = dir_.filePath("first");
    const QString file = dir_.filePath("data.txt");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    QProcess p;
    p.start(sim_, {"--line", first, "--line", file});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("exists and is not a link"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
    QVERIFY(!QFileInfo(first).isSymLink());

    // A folder that does not exist: a clear error.
    p.start(sim_, {"--line", dir_.filePath("no/such/folder/line")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("cannot link"));
}

QTEST_GUILESS_MAIN(TstArdemoSim)
#include "tst_ardemosim.moc"
