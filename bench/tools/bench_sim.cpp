// Round trips through the simulator: request written to its pseudo-terminal, reply read
// back, as the program's serial layer does it. Run by hand: bench_sim [round trips]

#include "simcore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

int OpenRaw(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// One request, waiting for the CR of its reply; returns microseconds or -1.
double RoundTrip(int fd, const std::string &frame)
{
    QElapsedTimer t;
    t.start();
    if (::write(fd, frame.data(), frame.size()) != ssize_t(frame.size()))
        return -1;
    char buf[128];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0)
            return -1;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0 && buf[n - 1] == '\r')
            return double(t.nsecsElapsed()) / 1000.0;
    }
}

void Run(const char *title, const QStringList &extra, int count, const QString &dir)
{
    const QString link = dir + "/line";
    QStringList args = extra;
    args << "--line" << link;
    for (int a = 0; a < 32; ++a)
        args << "--source" << QStringLiteral("addr=%1,u=%2,out=1,noise=1").arg(a).arg(a * 10);
    QProcess sim;
    sim.start(QStringLiteral(ARDEMO_SIM_PATH), args);
    while (sim.waitForReadyRead(5000)) {
        if (sim.readAll().contains("ready"))
            break;
    }
    const int fd = OpenRaw(link);
    if (fd < 0) {
        std::printf("%s: cannot open %s\n", title, qPrintable(link));
        return;
    }
    std::vector<double> us;
    const sim::Command cycle[] = {sim::Command::Out, sim::Command::Sta, sim::Command::Nap,
                                  sim::Command::Id, sim::Command::Tol};
    RoundTrip(fd, sim::BuildRequest(0, sim::Command::Id, "?")); // past the first-open wait
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < count; ++i) {
        const sim::Command c = cycle[i % 5];
        const double t =
            RoundTrip(fd, sim::BuildRequest((i / 5) % 32, c, c == sim::Command::Nap ? "???" : "?"));
        if (t < 0) {
            std::printf("%s: no reply to request %d\n", title, i);
            break;
        }
        us.push_back(t);
    }
    const double total = double(all.elapsed());
    ::close(fd);
    sim.terminate();
    sim.waitForFinished();
    if (us.empty())
        return;
    std::sort(us.begin(), us.end());
    std::printf("%-8s %6zu round trips  median %8.1f us  p99 %8.1f us  max %8.1f us  "
                "%7.0f req/s\n",
                title, us.size(), us[us.size() / 2], us[us.size() * 99 / 100], us.back(),
                1000.0 * double(us.size()) / std::max(total, 1.0));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(10, atoi(argv[1])) : 5000;
    QTemporaryDir dir;
    Run("raw", {}, count, dir.path());
    Run("paced", {"--pace"}, std::max(10, count / 10), dir.path());
    return 0;
}
