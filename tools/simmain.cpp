// ardemo-sim: power sources behind pseudo-terminals, for the program's tests, demo and
// benchmarks. One thread: a poll loop over the masters of all lines and a signal pipe.

#include "simcore.h"
#include "simoptions.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// While the program has the port closed the master reports a hang-up on every poll; look
// again after this pause instead of spinning.
constexpr std::int64_t HangupRetryNs = 20'000'000;
// A full pseudo-terminal buffer: the reader is not reading, try again later.
constexpr std::int64_t WriteRetryNs = 10'000'000;
// One byte at 9600 bit/s: start bit, 8 data bits, stop bit.
constexpr std::int64_t PacedByteNs = 10LL * 1'000'000'000 / 9600;

int SignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    const ssize_t r = write(SignalPipe[1], &c, 1);
    (void)r;
}

std::string ErrnoText(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

struct Pending
{
    std::int64_t dueNs = 0;
    std::string bytes;
    std::string logText; // the whole reply, on its first piece only
    std::size_t sent = 0;
};

struct Line
{
    int index = 0;
    std::string path;
    std::string device;
    int master = -1;
    bool linked = false;
    std::unique_ptr<sim::SimLine> sim;
    sim::FrameAssembler frames;
    bool hungUp = false;
    std::int64_t retryNs = 0;
    std::deque<Pending> out;
    std::int64_t freeNs = 0; // paced: when the next byte may go
};

class Simulator
{
public:
    explicit Simulator(sim::Options options) : options_(std::move(options)) {}
    ~Simulator();

    void Open(); // throws std::runtime_error
    void Run();  // until a signal arrives

private:
    std::int64_t Now() const
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start_).count();
    }
    static std::int64_t Ms(std::int64_t ns) { return ns / 1'000'000; }
    void Log(std::int64_t ns, const Line &line, sim::LogKind kind, std::string_view text);
    void Receive(Line &line, std::int64_t now);
    void HangUp(Line &line, std::int64_t now);
    void Flush(Line &line, std::int64_t now);
    void Enqueue(Line &line, Pending p);
    bool SlaveClosed(const Line &line) const;

    sim::Options options_;
    std::vector<Line> lines_;
    std::FILE *log_ = nullptr;
    Clock::time_point start_ = Clock::now();
};

Simulator::~Simulator()
{
    for (auto &line : lines_) {
        if (line.linked) {
            // Only our own link: another simulator may have taken the path over since.
            char target[256] = {};
            const ssize_t n = readlink(line.path.c_str(), target, sizeof target - 1);
            if (n > 0 && line.device == std::string(target, std::size_t(n)))
                unlink(line.path.c_str());
        }
        if (line.master >= 0)
            close(line.master);
    }
    if (log_)
        std::fclose(log_);
}

void Simulator::Open()
{
    if (!options_.logPath.empty()) {
        log_ = std::fopen(options_.logPath.c_str(), "w");
        if (!log_)
            throw std::runtime_error(ErrnoText("cannot write log " + options_.logPath));
    }
    lines_.reserve(options_.lines.size());
    for (const auto &lo : options_.lines) {
        Line &line = lines_.emplace_back();
        line.index = int(lines_.size());
        line.path = lo.path;
        line.sim = std::make_unique<sim::SimLine>(lo.sources, 0);
        int slave = -1;
        char name[256] = {};
        if (openpty(&line.master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error(ErrnoText("cannot open a pseudo-terminal"));
        line.device = name;
        // Raw, so that CR reaches the program as CR and nothing is echoed back.
        termios tio{};
        if (tcgetattr(slave, &tio) == 0) {
            cfmakeraw(&tio);
            cfsetispeed(&tio, B9600);
            cfsetospeed(&tio, B9600);
            tcsetattr(slave, TCSANOW, &tio);
        }
        // The program opens the slave exclusively; we keep only the master.
        close(slave);
        fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
        fcntl(line.master, F_SETFD, FD_CLOEXEC);

        struct stat st = {};
        if (lstat(line.path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                throw std::runtime_error(line.path + " exists and is not a link");
            if (unlink(line.path.c_str()) != 0)
                throw std::runtime_error(ErrnoText("cannot replace " + line.path));
        }
        if (symlink(line.device.c_str(), line.path.c_str()) != 0)
            throw std::runtime_error(ErrnoText("cannot link " + line.path));
        line.linked = true;
        line.hungUp = true; // nobody has the slave open yet
    }
    for (const auto &line : lines_)
        std::printf("line %d: %s -> %s\n", line.index, line.path.c_str(), line.device.c_str());
    std::printf("ready\n");
    std::fflush(stdout);
}

void Simulator::Log(std::int64_t ns, const Line &line, sim::LogKind kind, std::string_view text)
{
    if (!log_)
        return;
    const std::string row = sim::LogLine(Ms(ns), line.index, kind, text);
    std::fputs(row.c_str(), log_);
    std::fflush(log_);
}

void Simulator::Enqueue(Line &line, Pending p)
{
    auto at = line.out.begin();
    // A reply already on its way is never interrupted by another.
    if (at != line.out.end() && at->sent > 0)
        ++at;
    while (at != line.out.end() && at->dueNs <= p.dueNs)
        ++at;
    line.out.insert(at, std::move(p));
}

void Simulator::Receive(Line &line, std::int64_t now)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = read(line.master, buf, sizeof buf);
        if (n > 0) {
            line.hungUp = false;
            for (const auto &frame : line.frames.Feed(std::string_view(buf, std::size_t(n)))) {
                const sim::Outcome o = line.sim->Handle(frame, Ms(now));
                Log(now, line, o.accepted ? sim::LogKind::Rx : sim::LogKind::Bad, frame);
                bool first = true;
                for (const auto &w : o.reply.writes) {
                    Enqueue(line, {now + w.offsetMs * 1'000'000, w.bytes,
                                   first ? o.reply.text : std::string(), 0});
                    first = false;
                }
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // EIO (or end of file): the slave side is closed.
        HangUp(line, now);
        return;
    }
}

void Simulator::HangUp(Line &line, std::int64_t now)
{
    // Replies to a closed port would greet the next opener as stale data.
    line.out.clear();
    line.frames.Reset();
    line.hungUp = true;
    line.retryNs = now + HangupRetryNs;
}

bool Simulator::SlaveClosed(const Line &line) const
{
    pollfd p{line.master, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
}

void Simulator::Flush(Line &line, std::int64_t now)
{
    while (!line.out.empty()) {
        Pending &p = line.out.front();
        if (p.dueNs > now || (options_.pace && line.freeNs > now))
            return;
        if (p.sent == 0 && SlaveClosed(line)) {
            HangUp(line, now);
            return;
        }
        const std::size_t len = options_.pace ? 1 : p.bytes.size() - p.sent;
        const ssize_t n = write(line.master, p.bytes.data() + p.sent, len);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                p.dueNs = now + WriteRetryNs;
            } else {
                HangUp(line, now);
            }
            return;
        }
        if (p.sent == 0 && !p.logText.empty())
            Log(now, line, sim::LogKind::Tx, p.logText);
        p.sent += std::size_t(n);
        if (options_.pace) {
            // Keep the average rate when the loop wakes a little late.
            if (line.freeNs < now - PacedByteNs)
                line.freeNs = now;
            line.freeNs += PacedByteNs * n;
        }
        if (p.sent >= p.bytes.size())
            line.out.pop_front();
    }
}

void Simulator::Run()
{
    std::vector<pollfd> fds(lines_.size() + 1);
    for (;;) {
        std::int64_t now = Now();
        std::int64_t wake = now + 1'000'000'000;
        for (auto &line : lines_) {
            Flush(line, now);
            if (line.hungUp)
                wake = std::min(wake, line.retryNs);
            if (!line.out.empty()) {
                std::int64_t due = line.out.front().dueNs;
                if (options_.pace)
                    due = std::max(due, line.freeNs);
                wake = std::min(wake, due);
            }
        }
        fds[0] = {SignalPipe[0], POLLIN, 0};
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const Line &line = lines_[i];
            const bool resting = line.hungUp && line.retryNs > now;
            fds[i + 1] = {resting ? -1 : line.master, POLLIN, 0};
        }
        const std::int64_t waitNs = std::max<std::int64_t>(0, wake - now);
        timespec timeout{time_t(waitNs / 1'000'000'000), long(waitNs % 1'000'000'000)};
        const int ready = ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(ErrnoText("poll"));
        }
        if (fds[0].revents)
            return;
        now = Now();
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            Line &line = lines_[i];
            const short ev = fds[i + 1].revents;
            if (fds[i + 1].fd < 0)
                continue;
            if (ev & POLLIN)
                Receive(line, now);
            if (ev & (POLLHUP | POLLERR))
                HangUp(line, now);
            else if (ev == 0 && line.hungUp)
                line.hungUp = false; // the program has opened the port again
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    sim::Options options;
    try {
        options = sim::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const sim::OptionError &e) {
        std::fprintf(stderr, "ardemo-sim: %s\nTry 'ardemo-sim --help'.\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(sim::UsageText().c_str(), stdout);
        return 0;
    }
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("ardemo-sim: pipe");
        return 1;
    }
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        Simulator simulator(std::move(options));
        simulator.Open();
        simulator.Run();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "ardemo-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
