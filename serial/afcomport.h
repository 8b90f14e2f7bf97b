#pragma once

// Serial port component: one per line. Opened by COM number with fixed settings; received
// bytes are announced on the interface thread by OnDataRecived with their count. The device
// work is done by the component's core on two threads per open port (afcomportcore.h).
//
// Class family: TAfDataDispConnComponent -> TAfCustomSerialPort -> TAfCustomComPort ->
// TAfComPort. All calls belong on the interface thread.

#include "afcomportcore.h"
#include "afportmap.h"
#include "afsafesync.h"
#include "afserialsettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

// Failures reported by the component itself; the message is "<text> - <component name> ".
class EAfComPortError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Data dispatcher failures; no dispatcher is linked in this program.
class EAfDispatcherError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

using TAfCPTDataReceivedEvent = std::function<void(QObject *Sender, int32_t Count)>;
using TAfNotifyEvent = std::function<void(QObject *Sender)>;

// Called with true before and false after a port opens (also when opening fails), so that
// the application can show its busy cursor; this layer knows no widgets.
void AfSetBusyCursorHook(std::function<void(bool busy)> hook);

class TAfDataDispConnComponent : public QObject
{
    Q_OBJECT
public:
    explicit TAfDataDispConnComponent(QObject *owner = nullptr) : QObject(owner) {}
};

class TAfCustomSerialPort : public TAfDataDispConnComponent
{
    Q_OBJECT
public:
    explicit TAfCustomSerialPort(QObject *owner = nullptr);
    ~TAfCustomSerialPort() override;

    virtual bool Active() const;
    // Opening an open port does nothing. Throws EAfComPortCoreError; the port is then closed.
    virtual void Open();
    virtual void Close(); // never fails
    // Queues the bytes and returns at once; EAfComPortError when the ring lacks room for all.
    void WriteString(const QByteArray &text);
    // The next received byte; EAfComPortError when none is waiting.
    char ReadChar();
    virtual int ReadData(char *buffer, int count);
    virtual void WriteData(const char *buffer, int count);
    virtual int OutBufFree() const; // 0 while closed
    int32_t InQueue() const;        // received bytes waiting, 0 while closed
    void Loaded();                  // after the owner set the properties: honours AutoOpen

    TAfBaudrate BaudRate() const { return m_settings.BaudRate; }
    void SetBaudRate(TAfBaudrate v);
    uint32_t UserBaudRate() const { return m_settings.UserBaudRate; }
    void SetUserBaudRate(uint32_t v);
    TAfDatabits Databits() const { return m_settings.Databits; }
    void SetDatabits(TAfDatabits v);
    TAfParity Parity() const { return m_settings.Parity; }
    void SetParity(TAfParity v);
    TAfStopbits Stopbits() const { return m_settings.Stopbits; }
    void SetStopbits(TAfStopbits v);
    TAfFlowControl FlowControl() const { return m_settings.FlowControl; }
    void SetFlowControl(TAfFlowControl v);
    TAfComOptions Options() const { return m_settings.Options; }
    void SetOptions(TAfComOptions v);
    uint8_t XOnChar() const { return m_settings.XOnChar; }
    void SetXOnChar(uint8_t v);
    uint8_t XOffChar() const { return m_settings.XOffChar; }
    void SetXOffChar(uint8_t v);
    uint16_t XOnLim() const { return m_settings.XOnLim; }
    void SetXOnLim(uint16_t v);
    uint16_t XOffLim() const { return m_settings.XOffLim; }
    void SetXOffLim(uint16_t v);
    bool DTR() const { return m_dtr; }
    void SetDTR(bool v);
    bool RTS() const { return m_rts; }
    void SetRTS(bool v);
    int32_t InBufSize() const { return m_inBufSize; }
    void SetInBufSize(int32_t v); // EAfComPortError "Port is not closed" while open
    int32_t OutBufSize() const { return m_outBufSize; }
    void SetOutBufSize(int32_t v);
    TThreadPriority EventThreadPriority() const { return m_eventPriority; }
    void SetEventThreadPriority(TThreadPriority v);
    TThreadPriority WriteThreadPriority() const { return m_writePriority; }
    void SetWriteThreadPriority(TThreadPriority v);
    bool AutoOpen() const { return m_autoOpen; }
    void SetAutoOpen(bool v) { m_autoOpen = v; }

    // The settings record as built from the properties.
    const TAfDCB &DCB() const { return m_dcb; }
    TAfComPortCore *Core() const { return m_core.get(); }

    TAfCPTDataReceivedEvent OnDataRecived;
    TAfNotifyEvent OnOutBufFree;
    TAfNotifyEvent OnPortOpen;
    TAfNotifyEvent OnPortClose;

protected:
    virtual void InternalOpen() = 0;
    // Raises EAfComPortError with "<text> - <name> ".
    [[noreturn]] virtual void SignalError(const QString &text) const;

    std::unique_ptr<TAfComPortCore> m_core;

private:
    void SettingsChanged();
    void CoreEvent(TAfCoreEvent kind, uint32_t data, std::exception_ptr error); // event thread
    void SyncEvent(const TAfSyncData &event);                                   // interface thread
    void DataRecived(int32_t count);

    uint32_t m_syncId = 0;
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_destroying{false};
    // Whether OnOutBufFree was set at the last write; noted on the interface thread and read
    // by the event thread, which hands the emptied-buffer notice over only then.
    std::atomic<bool> m_announceOutFree{true};
    TAfPortSettings m_settings;
    TAfDCB m_dcb;
    bool m_dtr = true;
    bool m_rts = true;
    int32_t m_inBufSize = 4096;
    int32_t m_outBufSize = 2048;
    TThreadPriority m_eventPriority = tpNormal;
    TThreadPriority m_writePriority = tpHighest;
    bool m_autoOpen = false;
};

class TAfCustomComPort : public TAfCustomSerialPort
{
    Q_OBJECT
public:
    explicit TAfCustomComPort(QObject *owner = nullptr);

    uint16_t ComNumber() const { return m_comNumber; }
    // While open: closes, stores the number and opens again.
    void SetComNumber(uint16_t n);

protected:
    void InternalOpen() override;

    uint16_t m_comNumber = 0;
};

class TAfComPort : public TAfCustomComPort
{
    Q_OBJECT
public:
    explicit TAfComPort(QObject *owner = nullptr);
    ~TAfComPort() override;
};
