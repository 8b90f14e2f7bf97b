// The whole program seen from outside, as a process of its own (bench_driver):
//   startup  from the moment before the process is started to the end of its first tick
//            pass, and from the first line of main to it; repeated, median reported;
//   cpu      processor time (user + system, from /proc/<pid>/stat) of the program polling
//            50 simulated sources for a while with the main page shown, then with the chart
//            page shown in 3D with all 50 series plotted; resident memory (VmRSS) at the
//            end; the simulator is a process of its own and is not counted;
//   memory   resident memory at minute 1 and at minute 10 of one run (main page).
// Usage: bench_wholeprogram [startup] [cpu] [memory] [--seconds S (cpu, default 60)]
//        [--repeat N (startup, default 15)] [--page main|chart3d (cpu, default both)]

#include "benchreport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <ctime>
#include <unistd.h>

using Bench::Bound;
using Bench::Report;

namespace {

long long MonoNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

QString Driver()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bench_driver");
}

// Processor seconds (user + system) of the process so far.
double CpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = f.readAll();
    // The fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> v = s.mid(s.lastIndexOf(')') + 2).split(' ');
    if (v.size() < 13)
        return -1;
    return double(v[11].toLongLong() + v[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

double RssMb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

double LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : -1;
}

void Sleep(double seconds)
{
    QThread::msleep(qulonglong(seconds * 1000));
}

int Startup(int repeat)
{
    std::printf("== startup: process start to the end of the first tick pass\n");
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("ardemo.INI"));
    std::vector<double> fromStart, fromMain;
    for (int i = 0; i < repeat; ++i) {
        QProcess p;
        p.setProgram(Driver());
        p.setArguments({QStringLiteral("startup"), ini});
        const long long t0 = MonoNs();
        p.start();
        if (!p.waitForFinished(20000) || p.exitCode() != 0) {
            std::fprintf(stderr, "driver failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
        long long mainNs = 0, tickNs = 0;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            if (line.startsWith("main "))
                mainNs = line.mid(5).toLongLong();
            else if (line.startsWith("tick "))
                tickNs = line.mid(5).toLongLong();
        }
        if (!mainNs || !tickNs)
            return 1;
        if (i == 0)
            continue; // the first start fills the file cache
        fromStart.push_back(double(tickNs - t0) / 1e6);
        fromMain.push_back(double(tickNs - mainNs) / 1e6);
    }
    Report("5", QStringLiteral("start-up, process start -> first tick (median)"),
           Bench::Median(fromStart), "ms", Bound::Max, 300);
    Report("5", QStringLiteral("start-up, first line of main -> first tick (median)"),
           Bench::Median(fromMain), "ms");
    Report("5", QStringLiteral("start-up, process start -> first tick (max)"),
           Bench::Quantile(fromStart, 1), "ms");
    return 0;
}

// Starts the driver in a mode and waits for its "ready"; false on failure.
bool StartRun(QProcess &p, const QStringList &args)
{
    p.setProgram(Driver());
    p.setArguments(QStringList{QStringLiteral("run")} + args);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start();
    QByteArray out;
    QDeadlineTimer deadline(120000);
    while (!out.contains("ready\n")) {
        if (deadline.hasExpired() || !p.waitForReadyRead(1000)) {
            if (p.state() != QProcess::Running || deadline.hasExpired())
                return false;
        }
        out += p.readAllStandardOutput();
    }
    return true;
}

void StopRun(QProcess &p)
{
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}

int Cpu(double seconds, const QString &only)
{
    std::printf("== cpu: the program polling 50 simulated sources, %.0f s per page\n", seconds);
    struct Case
    {
        const char *mode, *name;
        double bound;
    } cases[] = {{"main", "main page", 3}, {"chart3d", "chart page 3D, 50 series plotted", 5}};
    for (const Case &c : cases) {
        if (!only.isEmpty() && only != QLatin1String(c.mode))
            continue;
        QProcess p;
        if (!StartRun(p, {QLatin1String(c.mode)})) {
            std::fprintf(stderr, "driver did not get ready\n");
            StopRun(p);
            return 1;
        }
        Sleep(3); // past the first replies and the first full repaint
        const qint64 pid = p.processId();
        const double load0 = LoadAverage();
        const double cpu0 = CpuSeconds(pid);
        const long long t0 = MonoNs();
        Sleep(seconds);
        const double cpu1 = CpuSeconds(pid);
        const double wall = double(MonoNs() - t0) / 1e9;
        const double rss = RssMb(pid);
        StopRun(p);
        Report("4",
               QStringLiteral("%1: processor time, share of one core").arg(QLatin1String(c.name)),
               100.0 * (cpu1 - cpu0) / wall, "%", Bound::Max, c.bound);
        Report("4", QStringLiteral("%1: resident memory").arg(QLatin1String(c.name)), rss, "MB",
               Bound::Max, 150);
        Report("4", QStringLiteral("%1: load average at the start").arg(QLatin1String(c.name)),
               load0, "");
    }
    return 0;
}

int Memory()
{
    std::printf("== memory: resident memory over ten minutes, main page\n");
    QProcess p;
    if (!StartRun(p, {QStringLiteral("main")})) {
        StopRun(p);
        return 1;
    }
    const qint64 pid = p.processId();
    Sleep(60);
    const double m1 = RssMb(pid);
    Sleep(540);
    const double m10 = RssMb(pid);
    StopRun(p);
    Report("4", QStringLiteral("resident memory at minute 1"), m1, "MB", Bound::Max, 150);
    Report("4", QStringLiteral("resident memory at minute 10"), m10, "MB", Bound::Max, 150);
    Report("4", QStringLiteral("growth from minute 1 to minute 10"), m10 - m1, "MB", Bound::Max, 1);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    double seconds = 60;
    int repeat = 15;
    QStringList parts;
    QString page;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--seconds") && i + 1 < argc)
            seconds = std::max(1.0, atof(argv[++i]));
        else if (a == QLatin1String("--repeat") && i + 1 < argc)
            repeat = std::max(2, atoi(argv[++i]));
        else if (a == QLatin1String("--page") && i + 1 < argc)
            page = QString::fromLocal8Bit(argv[++i]);
        else
            parts << a;
    }
    if (parts.isEmpty())
        parts = {QStringLiteral("startup"), QStringLiteral("cpu")};
    int rc = 0;
    for (const QString &part : parts) {
        if (part == QLatin1String("startup"))
            rc |= Startup(repeat);
        else if (part == QLatin1String("cpu"))
            rc |= Cpu(seconds, page);
        else if (part == QLatin1String("memory"))
            rc |= Memory();
        else {
            std::fprintf(stderr, "unknown part %s\n", qPrintable(part));
            return 2;
        }
    }
    return rc;
}
