#include "afcomportcore.h"

#include "afportmap.h"

#include <QString>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int PollPeriodMs = 200;
// The longest wait for the rest of a burst of received characters (about 19 characters
// at 9600 bit/s, a whole reply).
constexpr int MaxGatherMs = 20;
constexpr int ThreadStartMs = 3000;
constexpr int PurgeAckMs = 2000;

// errno of a failed open: the device is not there at all (the port number is wrong) or it
// is there but cannot be had (in use, no permission).
bool DeviceMissing(int err)
{
    return err == ENOENT || err == ENODEV || err == ENXIO || err == ENOTDIR || err == EIO;
}

// poll(2) that survives signals; a failure of poll itself is slowed down so that a thread
// can never spin on it.
int PollFds(pollfd *fds, nfds_t count, int timeoutMs)
{
    const int r = ::poll(fds, count, timeoutMs);
    if (r < 0) {
        if (errno != EINTR)
            ::usleep(10000);
        for (nfds_t i = 0; i < count; ++i)
            fds[i].revents = 0;
        return 0;
    }
    return r;
}

} // namespace

// ---- TAfEvent ---------------------------------------------------------------------------

TAfEvent::TAfEvent(bool manualReset)
    : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_manual(manualReset)
{
}

TAfEvent::~TAfEvent()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void TAfEvent::Set()
{
    const uint64_t one = 1;
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TAfEvent::Reset()
{
    uint64_t value;
    while (::read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

void TAfEvent::Consume()
{
    if (!m_manual)
        Reset();
}

bool TAfEvent::Wait(int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (PollFds(&p, 1, left.count() > 0 ? int(left.count()) : 0) > 0 && (p.revents & POLLIN)) {
            Consume();
            return true;
        }
        if (left.count() <= 0)
            return false;
    }
}

// ---- threads ----------------------------------------------------------------------------

TAfComPortCoreThread::TAfComPortCoreThread(TAfComPortCore *core) : m_core(core) {}

TAfComPortCoreThread::~TAfComPortCoreThread()
{
    if (m_thread.joinable()) {
        m_terminated = true;
        m_stopEvent.Set();
        m_thread.join();
    }
}

bool TAfComPortCoreThread::Start()
{
    if (!m_stopEvent.Valid())
        return false;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void TAfComPortCoreThread::Run()
{
    m_tid = int(::gettid());
    try {
        Execute();
    } catch (...) {
        HandleException(std::current_exception());
    }
}

void TAfComPortCoreThread::HandleException(std::exception_ptr) {}

void TAfComPortCoreThread::StopThread()
{
    m_terminated = true;
    m_stopEvent.Set();
    if (m_thread.joinable())
        m_thread.join();
}

void TAfComPortCoreThread::SetPriority(TThreadPriority priority)
{
    // Scheduling classes need privileges; a nice value per thread is what an ordinary user
    // may have, and raising it may be refused. Best effort either way.
    static const int niceOf[] = {19, 10, 5, 0, -3, -6, -10};
    const int tid = m_tid.load();
    if (tid > 0 && priority >= tpIdle && priority <= tpTimeCritical)
        ::setpriority(PRIO_PROCESS, id_t(tid), niceOf[priority]);
}

void TAfComPortEventThread::PassEvent(TAfCoreEvent kind, uint32_t data, std::exception_ptr error)
{
    if (!m_callbackOn.load() || !m_core->m_callback)
        return;
    try {
        m_core->m_callback(kind, data, error);
    } catch (...) {
        if (kind != ekException)
            HandleException(std::current_exception());
    }
}

void TAfComPortEventThread::HandleException(std::exception_ptr error)
{
    PassEvent(ekException, 0, error);
}

void TAfComPortEventThread::StopThread()
{
    m_callbackOn = false;
    {
        std::lock_guard lock(m_core->m_readLock);
        ::tcflush(m_core->m_handle, TCIFLUSH);
    }
    TAfComPortCoreThread::StopThread();
}

void TAfComPortEventThread::Execute()
{
    using Clock = std::chrono::steady_clock;
    TAfComPortCore &core = *m_core;
    core.m_outputDone.Reset();
    core.m_threadStarted.Set();

    // "Waiting" for received characters means watching POLLIN. POLLIN stays set while bytes
    // are unread, so the watch is only started when the input queue is empty; bytes that
    // the handler leaves unread are reported by the 200 ms poll instead of by a spin.
    bool waitPending = false;
    auto nextPoll = Clock::now() + std::chrono::milliseconds(PollPeriodMs);
    while (!Terminated()) {
        CountLoop();
        const bool lost = core.m_lost.load();
        if (!waitPending && !lost) {
            std::lock_guard lock(core.m_readLock);
            waitPending = core.QueryInQueue() == 0;
        }
        pollfd fds[3] = {{m_stopEvent.Fd(), POLLIN, 0},
                         {core.m_outputDone.Fd(), POLLIN, 0},
                         {waitPending && !lost ? core.m_handle : -1, POLLIN, 0}};
        // Rounded up: a wait cut to 0 ms would make the last part of the period a spin.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextPoll - Clock::now());
        PollFds(fds, 3, left.count() > 0 ? int(left.count()) : 0);
        if (fds[0].revents)
            break;

        if (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The device went away (pseudo-terminal master closed, adapter pulled). The
            // condition stays; watching the handle again would wake us for ever.
            core.MarkLost();
            waitPending = false;
        } else if (fds[2].revents & POLLIN) {
            waitPending = false;
            if (!GatherBurst())
                break;
            PassEvent(ekLineEvent, AfEv::RxChar);
        }
        if (fds[1].revents & POLLIN) {
            core.m_outputDone.Consume();
            PassEvent(ekOutFree, 0);
        }
        if (Clock::now() >= nextPoll) {
            // Measured from the last poll, not from the last wake-up, so that frequent
            // events cannot postpone the poll for ever.
            nextPoll = Clock::now() + std::chrono::milliseconds(PollPeriodMs);
            int inQueue = 0;
            if (!core.m_lost.load() && !waitPending) {
                // Not watching the handle (bytes left unread): ask whether it hung up.
                pollfd hup{core.m_handle, 0, 0};
                if (PollFds(&hup, 1, 0) > 0 && (hup.revents & (POLLHUP | POLLERR | POLLNVAL)))
                    core.MarkLost();
            }
            if (core.IsActive() && !core.m_lost.load()) {
                std::lock_guard lock(core.m_readLock);
                core.AccumulateLineErrors();
                inQueue = core.QueryInQueue();
            }
            if (inQueue > 0)
                PassEvent(ekDataPolled, uint32_t(inQueue));
        }
    }
}

// A reply comes character by character at the line's speed, and the first one wakes this
// thread. Handing each character over on its own would wake the interface thread once a
// millisecond at 9600 bit/s; instead the thread waits while more keep coming, one and a
// half character times at a time (the next character is due after one), up to MaxGatherMs,
// and then reports them together. The last character of a burst is reported one and a
// half character times late (1.6 ms at 9600 bit/s), well within a tick. False when the
// thread is told to stop meanwhile.
bool TAfComPortEventThread::GatherBurst()
{
    using Clock = std::chrono::steady_clock;
    TAfComPortCore &core = *m_core;
    const auto end = Clock::now() + std::chrono::milliseconds(MaxGatherMs);
    const long gapNs = 3L * long(core.m_charMicros.load()) * 1000L / 2L;
    int seen;
    {
        std::lock_guard lock(core.m_readLock);
        seen = core.QueryInQueue();
    }
    while (Clock::now() < end) {
        pollfd stop{m_stopEvent.Fd(), POLLIN, 0};
        const timespec gap{gapNs / 1'000'000'000L, gapNs % 1'000'000'000L};
        if (::ppoll(&stop, 1, &gap, nullptr) > 0)
            return false;
        if (!core.IsActive() || core.m_lost.load())
            return true;
        int now;
        {
            std::lock_guard lock(core.m_readLock);
            now = core.QueryInQueue();
        }
        if (now <= seen)
            return true;
        seen = now;
    }
    return true;
}

void TAfComPortWriteThread::StopThread()
{
    PurgeRequest.Set();
    if (PurgeAck.Wait(PurgeAckMs)) {
        std::lock_guard lock(m_core->m_writeLock);
        DataAvailable.Reset();
        if (m_core->m_ring)
            m_core->m_ring->Clear();
        ::tcflush(m_core->m_handle, TCOFLUSH);
    }
    TAfComPortCoreThread::StopThread();
}

void TAfComPortWriteThread::Execute()
{
    m_core->m_threadStarted.Set();
    while (!Terminated()) {
        CountLoop();
        pollfd fds[3] = {{m_stopEvent.Fd(), POLLIN, 0},
                         {PurgeRequest.Fd(), POLLIN, 0},
                         {DataAvailable.Fd(), POLLIN, 0}};
        PollFds(fds, 3, -1);
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            PurgeRequest.Consume();
            PurgeAck.Set();
            continue;
        }
        if (fds[2].revents & POLLIN) {
            DataAvailable.Consume();
            SendQueued();
        }
    }
}

// Sends the contiguous part at the ring's read index. The interface thread only ever adds
// bytes behind the write index, so the part can be written without holding the lock.
void TAfComPortWriteThread::SendQueued()
{
    TAfComPortCore &core = *m_core;
    const char *start;
    int length;
    {
        std::lock_guard lock(core.m_writeLock);
        start = core.m_ring->ContiguousStart();
        length = core.m_ring->ContiguousUsed();
        if (length == 0)
            return;
        if (core.m_lost.load()) {
            // Nobody can take the bytes any more; keep the ring free so the writer goes on.
            core.m_ring->Clear();
            return;
        }
    }
    int sent = 0;
    bool lost = false;
    bool purged = false;
    while (sent < length && !Terminated()) {
        const ssize_t n = ::write(core.m_handle, start + sent, size_t(length - sent));
        if (n > 0) {
            sent += int(n);
            core.m_deviceWrites.fetch_add(1);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The driver's queue is full: wait until it takes more, or until told otherwise.
            pollfd fds[3] = {{m_stopEvent.Fd(), POLLIN, 0},
                             {PurgeRequest.Fd(), POLLIN, 0},
                             {core.m_handle, POLLOUT, 0}};
            PollFds(fds, 3, -1);
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN) {
                PurgeRequest.Consume();
                purged = true;
                break;
            }
            if (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                lost = true;
                break;
            }
            continue;
        }
        lost = true; // EIO and the like: the device is gone
        break;
    }

    {
        // Bytes the device took are gone from the ring even when the block was cut short.
        std::lock_guard lock(core.m_writeLock);
        core.m_ring->Remove(sent);
        if (lost) {
            core.MarkLost();
            core.m_ring->Clear();
        } else if (sent == length && !purged) {
            if (core.m_ring->Used() > 0)
                DataAvailable.Set(); // the part after the wrap
            else
                core.m_outputDone.Set();
        }
    }
    if (purged)
        PurgeAck.Set();
}

// ---- core -------------------------------------------------------------------------------

TAfComPortCore::TAfComPortCore(TAfCoreCallback callback) : m_callback(std::move(callback)) {}

TAfComPortCore::~TAfComPortCore()
{
    CloseComPort();
}

void TAfComPortCore::Fail(const char *format)
{
    throw EAfComPortCoreError(QString::fromLatin1(format)
                                  .replace(QLatin1String("%d"), QString::number(m_comNumber))
                                  .toStdString());
}

bool TAfComPortCore::OpenComPort(int number)
{
    if (m_opened)
        return false;
    m_comNumber = number;
    if (number <= 0)
        Fail("Invalid port number (COM%d)");

    m_devicePath = AfPortDevicePath(number);
    const int fd = ::open(m_devicePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail(DeviceMissing(errno) ? "Invalid port number (COM%d)" : "Can't open device COM%d");
    // Not shared: the advisory lock keeps out other programs that play by the rules (and
    // root, whom the exclusive mode lets in), the exclusive mode the rest.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY)) {
        ::close(fd);
        Fail("Can't open device COM%d");
    }
    m_handle = fd;
    m_lost = false;

    try {
        termios t;
        if (::tcgetattr(fd, &t) != 0)
            Fail("Error setting timeouts");
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (::tcsetattr(fd, TCSANOW, &t) != 0)
            Fail("Error setting timeouts");

        // The driver's queues have fixed sizes here; the sizes still have to make sense,
        // and the output one is the ring of the write thread.
        if (m_inBufSize < 1 || m_outBufSize < 1)
            Fail("Error initializing buffers");
        try {
            std::lock_guard lock(m_writeLock);
            m_ring = std::make_unique<TAfCircularBuffer>(m_outBufSize);
        } catch (const std::bad_alloc &) {
            Fail("Error initializing buffers");
        }

        m_eventMask = AfEv::PortMask;
        if (!m_threadStarted.Valid() || !m_outputDone.Valid())
            Fail(" Error setting EventMask");

        if (!AfApplyDCB(fd, m_dcb)) {
            AfReadDCB(fd, m_dcb);
            Fail("Error setting parameters from DCB");
        }
        NoteRate();

        {
            std::lock_guard lock(m_readLock);
            m_lineErrors = 0;
            m_haveCounts = false;
            AccumulateLineErrors(); // takes the counters as they are now
            m_lineErrors = 0;
        }
        m_deviceWrites = 0;

        m_threadStarted.Reset();
        m_writeThread = std::make_unique<TAfComPortWriteThread>(this);
        if (!m_writeThread->DataAvailable.Valid() || !m_writeThread->PurgeRequest.Valid() ||
            !m_writeThread->PurgeAck.Valid() || !m_writeThread->Start() ||
            !m_threadStarted.Wait(ThreadStartMs))
            Fail("Error creating threads");
        m_writeThread->SetPriority(m_writePriority);

        m_active = true;

        m_eventThread = std::make_unique<TAfComPortEventThread>(this);
        if (!m_eventThread->Start() || !m_threadStarted.Wait(ThreadStartMs))
            Fail("Error creating threads");
        m_eventThread->SetPriority(m_eventPriority);
    } catch (...) {
        CloseComPort();
        throw;
    }
    m_opened = true;
    return true;
}

void TAfComPortCore::CloseComPort()
{
    if (m_handle < 0)
        return;
    m_active = false;
    {
        // Not held while the threads stop: the event thread may be about to take it for its
        // poll, and the interface thread (the only other reader) is the one closing.
        std::lock_guard lock(m_readLock);
        ::tcflush(m_handle, TCIOFLUSH);
    }
    if (m_writeThread) {
        m_writeThread->StopThread();
        m_writeThread.reset();
    }
    if (m_eventThread) {
        m_eventThread->StopThread();
        m_eventThread.reset();
    }
    ::ioctl(m_handle, TIOCNXCL);
    ::close(m_handle); // also drops the advisory lock
    m_handle = -1;
    m_opened = false;
    m_lost = false;
    std::lock_guard lock(m_writeLock);
    m_ring.reset();
}

void TAfComPortCore::MarkLost()
{
    m_lost = true;
}

int TAfComPortCore::QueryInQueue()
{
    if (m_handle < 0 || m_lost.load())
        return 0;
    int n = 0;
    if (::ioctl(m_handle, FIONREAD, &n) != 0)
        return 0;
    return n > 0 ? n : 0;
}

void TAfComPortCore::AccumulateLineErrors()
{
    serial_icounter_struct c{};
    if (m_handle < 0 || ::ioctl(m_handle, TIOCGICOUNT, &c) != 0)
        return; // a pseudo-terminal keeps no such counters
    const int now[5] = {c.buf_overrun, c.overrun, c.parity, c.frame, c.brk};
    static const uint32_t flag[5] = {AfCe::RxOver, AfCe::Overrun, AfCe::RxParity, AfCe::Frame,
                                     AfCe::Break};
    for (int i = 0; i < 5; ++i) {
        if (m_haveCounts && now[i] != m_lastCounts[i])
            m_lineErrors |= flag[i];
        m_lastCounts[i] = now[i];
    }
    m_haveCounts = true;
}

int TAfComPortCore::ReadData(char *buffer, int count)
{
    if (!m_active.load())
        return -1;
    if (count <= 0)
        return 0;
    std::lock_guard lock(m_readLock);
    if (m_lost.load())
        return 0;
    for (;;) {
        const ssize_t n = ::read(m_handle, buffer, size_t(count));
        if (n >= 0)
            return int(n);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            MarkLost();
        return 0;
    }
}

bool TAfComPortCore::WriteData(const char *buffer, int count)
{
    if (!m_opened || !m_writeThread)
        return false;
    {
        std::lock_guard lock(m_writeLock);
        if (!m_ring->Put(buffer, count))
            return false;
    }
    m_writeThread->DataAvailable.Set();
    return true;
}

int TAfComPortCore::OutBufFree()
{
    if (!m_opened)
        return 0;
    std::lock_guard lock(m_writeLock);
    return m_ring ? m_ring->Free() : 0;
}

bool TAfComPortCore::LineStatus(uint32_t *errors, int *inQueue)
{
    if (!m_active.load())
        return false;
    std::lock_guard lock(m_readLock);
    if (!m_lost.load())
        AccumulateLineErrors();
    if (errors)
        *errors = m_lineErrors;
    if (inQueue)
        *inQueue = QueryInQueue();
    return true;
}

int TAfComPortCore::InQueue()
{
    int n = 0;
    return LineStatus(nullptr, &n) ? n : 0;
}

bool TAfComPortCore::ApplyDCB(const TAfDCB &dcb)
{
    m_dcb = dcb;
    if (m_handle < 0)
        return true;
    const bool ok = AfApplyDCB(m_handle, dcb);
    if (!ok)
        AfReadDCB(m_handle, m_dcb);
    NoteRate();
    return ok;
}

void TAfComPortCore::NoteRate()
{
    const uint32_t baud = std::max<uint32_t>(m_dcb.BaudRate, 50);
    m_charMicros = 10'000'000u / baud;
}

bool TAfComPortCore::SetModemLine(int line, bool on)
{
    return m_handle >= 0 && AfSetModemLine(m_handle, line, on);
}

void TAfComPortCore::SetBufSizes(int inSize, int outSize)
{
    m_inBufSize = inSize;
    m_outBufSize = outSize;
}

void TAfComPortCore::SetPriorities(TThreadPriority eventPriority, TThreadPriority writePriority)
{
    m_eventPriority = eventPriority;
    m_writePriority = writePriority;
    if (m_eventThread)
        m_eventThread->SetPriority(eventPriority);
    if (m_writeThread)
        m_writeThread->SetPriority(writePriority);
}

uint64_t TAfComPortCore::EventLoops() const
{
    return m_eventThread ? m_eventThread->LoopCount() : 0;
}
