#pragma once

// The device side of a port: the handle, the applied settings, the output ring, and two
// threads per open port - one waits for received bytes and polls the input every 200 ms,
// one sends the ring. Events of the threads reach the owner through its callback, called on
// the event thread.

#include "afcircularbuffer.h"
#include "afserialsettings.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

class EAfComPortCoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum TAfCoreEvent : int32_t {
    ekOutFree = 0,    // the output ring has been sent completely; data 0
    ekLineEvent = 1,  // data: the event mask the port reported
    ekDataPolled = 2, // data: bytes found waiting by the 200 ms poll
    ekException = 3   // a failure on the event thread, raised again by the owner
};

// Port event mask bits.
namespace AfEv {
constexpr uint32_t RxChar = 0x1;
constexpr uint32_t Cts = 0x8;
constexpr uint32_t Dsr = 0x10;
constexpr uint32_t Rlsd = 0x20;
constexpr uint32_t Err = 0x80;
constexpr uint32_t Ring = 0x100;
constexpr uint32_t PortMask = RxChar | Cts | Dsr | Rlsd | Err | Ring; // 0x1B9
} // namespace AfEv

// Line-error flags accumulated by the line-status query.
namespace AfCe {
constexpr uint32_t RxOver = 0x1;
constexpr uint32_t Overrun = 0x2;
constexpr uint32_t RxParity = 0x4;
constexpr uint32_t Frame = 0x8;
constexpr uint32_t Break = 0x10;
} // namespace AfCe

using TAfCoreCallback =
    std::function<void(TAfCoreEvent kind, uint32_t data, std::exception_ptr error)>;

// An event the threads can wait for in poll(2): manual reset stays set until Reset, auto
// reset is consumed by the waiter.
class TAfEvent
{
public:
    explicit TAfEvent(bool manualReset);
    ~TAfEvent();
    TAfEvent(const TAfEvent &) = delete;
    TAfEvent &operator=(const TAfEvent &) = delete;

    bool Valid() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    void Set();
    void Reset();
    bool Wait(int timeoutMs); // true when set; an auto-reset event is consumed
    void Consume();           // after poll reported it, for an auto-reset event

private:
    int m_fd;
    bool m_manual;
};

class TAfComPortCore;

class TAfComPortCoreThread
{
public:
    explicit TAfComPortCoreThread(TAfComPortCore *core);
    virtual ~TAfComPortCoreThread();

    bool Start();              // false when the system refuses a thread
    virtual void StopThread(); // sets the stop flag and event, then waits for the end
    void SetPriority(TThreadPriority priority);
    uint64_t LoopCount() const { return m_loops.load(std::memory_order_relaxed); }

protected:
    virtual void Execute() = 0;
    virtual void HandleException(std::exception_ptr error);
    bool Terminated() const { return m_terminated.load(); }
    void CountLoop() { m_loops.fetch_add(1, std::memory_order_relaxed); }

    TAfComPortCore *m_core;
    TAfEvent m_stopEvent{true};

private:
    void Run();

    std::atomic<bool> m_terminated{false};
    std::atomic<int> m_tid{0};
    std::atomic<uint64_t> m_loops{0};
    std::thread m_thread;
};

class TAfComPortEventThread : public TAfComPortCoreThread
{
public:
    using TAfComPortCoreThread::TAfComPortCoreThread;
    void StopThread() override;

protected:
    void Execute() override;
    void HandleException(std::exception_ptr error) override;

private:
    void PassEvent(TAfCoreEvent kind, uint32_t data, std::exception_ptr error = nullptr);
    bool GatherBurst();

    std::atomic<bool> m_callbackOn{true};
};

class TAfComPortWriteThread : public TAfComPortCoreThread
{
public:
    using TAfComPortCoreThread::TAfComPortCoreThread;
    void StopThread() override;

    TAfEvent DataAvailable{false};
    TAfEvent PurgeRequest{false};
    TAfEvent PurgeAck{false};

protected:
    void Execute() override;

private:
    void SendQueued();
};

class TAfComPortCore
{
public:
    explicit TAfComPortCore(TAfCoreCallback callback);
    ~TAfComPortCore();
    TAfComPortCore(const TAfComPortCore &) = delete;
    TAfComPortCore &operator=(const TAfComPortCore &) = delete;

    // Opens COM port Number; false when already open. Throws EAfComPortCoreError, after
    // which the port is closed again.
    bool OpenComPort(int number);
    void CloseComPort();

    bool IsOpened() const { return m_opened; }
    bool IsActive() const { return m_active.load(); }
    // The device went away while open (hang-up, I/O error): the port stays open but silent.
    bool DeviceLost() const { return m_lost.load(); }
    int ComNumber() const { return m_comNumber; }
    QByteArray DevicePath() const { return m_devicePath; }

    // Up to Count bytes that have arrived, without waiting; -1 while not active.
    int ReadData(char *buffer, int count);
    // Queues all Count bytes for the write thread or none; false when closed or no room.
    bool WriteData(const char *buffer, int count);
    int OutBufFree();
    // Accumulated line-error flags (AfCe) and the number of bytes waiting; false if closed.
    bool LineStatus(uint32_t *errors, int *inQueue);
    int InQueue();

    void SetDCB(const TAfDCB &dcb) { m_dcb = dcb; }
    const TAfDCB &DCB() const { return m_dcb; }
    bool ApplyDCB(const TAfDCB &dcb); // to the open port
    bool SetModemLine(int line, bool on);
    void SetBufSizes(int inSize, int outSize);
    void SetPriorities(TThreadPriority eventPriority, TThreadPriority writePriority);
    uint32_t EventMask() const { return m_eventMask; }

    // Diagnostics: passes of the event thread's loop and device writes since opening.
    uint64_t EventLoops() const;
    uint64_t DeviceWrites() const { return m_deviceWrites.load(); }

private:
    friend class TAfComPortEventThread;
    friend class TAfComPortWriteThread;

    [[noreturn]] void Fail(const char *format);
    int QueryInQueue(); // caller holds the read lock
    void AccumulateLineErrors();
    void MarkLost();

    TAfCoreCallback m_callback;
    std::atomic<bool> m_active{false};
    bool m_opened = false;
    int m_comNumber = 0;
    QByteArray m_devicePath;
    TAfDCB m_dcb;
    // One character's time on the line at the rate in force (ten bits), for the event
    // thread, which gathers the characters of a burst before it reports them.
    std::atomic<uint32_t> m_charMicros{1042};
    void NoteRate();
    uint32_t m_eventMask = 0;
    int m_handle = -1;
    std::atomic<bool> m_lost{false};
    uint32_t m_lineErrors = 0; // under the read lock
    int m_lastCounts[5] = {};
    bool m_haveCounts = false;
    int m_inBufSize = 4096;
    int m_outBufSize = 2048;
    TThreadPriority m_eventPriority = tpNormal;
    TThreadPriority m_writePriority = tpHighest;

    std::mutex m_readLock;
    std::mutex m_writeLock;
    std::unique_ptr<TAfCircularBuffer> m_ring; // under the write lock
    TAfEvent m_threadStarted{false};
    TAfEvent m_outputDone{false};
    std::unique_ptr<TAfComPortWriteThread> m_writeThread;
    std::unique_ptr<TAfComPortEventThread> m_eventThread;
    std::atomic<uint64_t> m_deviceWrites{0};
};
