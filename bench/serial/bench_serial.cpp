// Serial layer figures on a pseudo-terminal:
//  - latency from a byte written at the far end to OnDataRecived running on the interface
//    thread (median, 99th percentile, worst), one byte at a time;
//  - processor time of an open, idle port (both threads and the idle interface thread).
// Usage: bench_serial [samples=1000] [idle seconds=10]

#include "afcomport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <pty.h>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[i];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 10;

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("bench.INI"));
    {
        QFile f(ini);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(QByteArray("[Ports]\r\nCOM1=") + name + "\r\n");
    }
    AfSetPortMapFile(ini);

    TAfComPort port;
    port.setObjectName(QStringLiteral("PortA"));
    port.SetBaudRate(br9600);
    port.SetComNumber(1);
    try {
        port.Open();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "open: %s\n", e.what());
        return 1;
    }

    // ---- latency ----
    std::atomic<int64_t> sentAt{0};
    std::atomic<int> received{0};
    std::vector<double> latencyMs;
    latencyMs.reserve(size_t(samples));
    port.OnDataRecived = [&](QObject *, int32_t count) {
        const int64_t now = NowNs();
        for (int i = 0; i < count; ++i)
            port.ReadChar();
        if (count > 0) {
            latencyMs.push_back(double(now - sentAt.load()) / 1e6);
            received += count;
        }
    };
    std::thread farEnd([&] {
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> pause(1000, 3000);
        for (int i = 0; i < samples; ++i) {
            sentAt = NowNs();
            const char c = char('A' + i % 26);
            if (write(master, &c, 1) != 1)
                break;
            const auto limit = Clock::now() + std::chrono::seconds(1);
            while (received.load() < i + 1 && Clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            std::this_thread::sleep_for(std::chrono::microseconds(pause(rng)));
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    farEnd.join();

    std::sort(latencyMs.begin(), latencyMs.end());
    std::printf("latency far end -> OnDataRecived over %zu bytes: median %.3f ms, "
                "99th percentile %.3f ms, worst %.3f ms\n",
                latencyMs.size(), Percentile(latencyMs, 0.5), Percentile(latencyMs, 0.99),
                latencyMs.empty() ? 0.0 : latencyMs.back());

    // ---- idle processor time ----
    const uint64_t loops0 = port.Core()->EventLoops();
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("idle open port for %.1f s: %.4f s processor time = %.4f %% of one core, "
                "%llu event-thread passes\n",
                wall, cpu, 100.0 * cpu / wall,
                static_cast<unsigned long long>(port.Core()->EventLoops() - loops0));

    port.Close();
    close(master);
    close(slave);
    return 0;
}
