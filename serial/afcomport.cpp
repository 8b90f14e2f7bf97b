#include "afcomport.h"

#include <algorithm>
#include <sys/ioctl.h>

namespace {

std::function<void(bool)> g_busyCursor;

void BusyCursor(bool busy)
{
    if (g_busyCursor)
        g_busyCursor(busy);
}

} // namespace

void AfSetBusyCursorHook(std::function<void(bool busy)> hook)
{
    g_busyCursor = std::move(hook);
}

// ---- TAfCustomSerialPort ----------------------------------------------------------------

TAfCustomSerialPort::TAfCustomSerialPort(QObject *owner) : TAfDataDispConnComponent(owner)
{
    m_syncId = AfSafeSync::Register([this](const TAfSyncData &e) { SyncEvent(e); });
    m_core = std::make_unique<TAfComPortCore>(
        [this](TAfCoreEvent kind, uint32_t data, std::exception_ptr error) {
            CoreEvent(kind, data, error);
        });
    m_dcb = AfBuildDCB(m_settings);
}

TAfCustomSerialPort::~TAfCustomSerialPort()
{
    m_destroying = true;
    TAfCustomSerialPort::Close();
    AfSafeSync::Unregister(m_syncId);
}

bool TAfCustomSerialPort::Active() const
{
    return m_core->IsOpened();
}

void TAfCustomSerialPort::Open()
{
    const bool wasOpen = m_core->IsOpened();
    if (!wasOpen) {
        AfSafeSync::SetEnabled(m_syncId, true);
        m_core->SetDCB(m_dcb);
        m_core->SetBufSizes(m_inBufSize, m_outBufSize);
        m_core->SetPriorities(m_eventPriority, m_writePriority);
        m_closing = false;
    }
    try {
        InternalOpen();
    } catch (...) {
        if (!wasOpen)
            Close();
        throw;
    }
    if (!wasOpen && m_core->IsOpened()) {
        // The record raises both lines; a property that says otherwise lowers its line.
        if (!m_dtr)
            m_core->SetModemLine(TIOCM_DTR, false);
        if (!m_rts)
            m_core->SetModemLine(TIOCM_RTS, false);
        if (const TAfNotifyEvent handler = OnPortOpen)
            handler(this);
    }
}

void TAfCustomSerialPort::Close()
{
    m_closing = true;
    // First, so that an event thread waiting in a hand-over is let go before we wait for it.
    AfSafeSync::SetEnabled(m_syncId, false);
    if (m_core->IsOpened()) {
        m_core->CloseComPort();
        if (!m_destroying)
            if (const TAfNotifyEvent handler = OnPortClose)
                handler(this);
    }
    m_closing = false;
}

void TAfCustomSerialPort::WriteString(const QByteArray &text)
{
    if (text.isEmpty() || m_closing)
        return;
    WriteData(text.constData(), int(text.size()));
}

char TAfCustomSerialPort::ReadChar()
{
    char c = 0;
    if (ReadData(&c, 1) != 1)
        SignalError(QStringLiteral("Read data error"));
    return c;
}

int TAfCustomSerialPort::ReadData(char *buffer, int count)
{
    // Refused before reading, so that a short read does not swallow the bytes it got.
    if (count > 0 && m_core->IsActive() && m_core->InQueue() < count)
        SignalError(QStringLiteral("Read data error"));
    const int n = m_core->ReadData(buffer, count);
    if (n != count)
        SignalError(QStringLiteral("Read data error"));
    return n;
}

void TAfCustomSerialPort::WriteData(const char *buffer, int count)
{
    if (count == 0)
        return;
    // The buffer's emptying follows this write: only a listener's notice is worth waking
    // the interface thread for, once for every frame sent.
    m_announceOutFree = bool(OnOutBufFree);
    if (!m_core->WriteData(buffer, count))
        SignalError(QStringLiteral("Write data error [requested: %1, free: %2]")
                        .arg(count)
                        .arg(OutBufFree()));
}

int TAfCustomSerialPort::OutBufFree() const
{
    return m_core->OutBufFree();
}

int32_t TAfCustomSerialPort::InQueue() const
{
    return m_core->InQueue();
}

void TAfCustomSerialPort::Loaded()
{
    if (m_autoOpen)
        Open();
}

void TAfCustomSerialPort::SignalError(const QString &text) const
{
    throw EAfComPortError(QStringLiteral("%1 - %2 ").arg(text, objectName()).toStdString());
}

void TAfCustomSerialPort::SettingsChanged()
{
    m_dcb = AfBuildDCB(m_settings);
    if (m_core->IsOpened() && !m_core->ApplyDCB(m_dcb))
        throw EAfComPortCoreError("Error setting parameters from DCB");
}

void TAfCustomSerialPort::SetBaudRate(TAfBaudrate v)
{
    m_settings.BaudRate = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetUserBaudRate(uint32_t v)
{
    m_settings.UserBaudRate = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetDatabits(TAfDatabits v)
{
    m_settings.Databits = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetParity(TAfParity v)
{
    m_settings.Parity = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetStopbits(TAfStopbits v)
{
    m_settings.Stopbits = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetFlowControl(TAfFlowControl v)
{
    m_settings.FlowControl = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetOptions(TAfComOptions v)
{
    m_settings.Options = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetXOnChar(uint8_t v)
{
    m_settings.XOnChar = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetXOffChar(uint8_t v)
{
    m_settings.XOffChar = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetXOnLim(uint16_t v)
{
    m_settings.XOnLim = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetXOffLim(uint16_t v)
{
    m_settings.XOffLim = v;
    SettingsChanged();
}

void TAfCustomSerialPort::SetDTR(bool v)
{
    m_dtr = v;
    if (m_core->IsOpened())
        m_core->SetModemLine(TIOCM_DTR, v);
}

void TAfCustomSerialPort::SetRTS(bool v)
{
    m_rts = v;
    if (m_core->IsOpened())
        m_core->SetModemLine(TIOCM_RTS, v);
}

void TAfCustomSerialPort::SetInBufSize(int32_t v)
{
    if (m_core->IsOpened())
        SignalError(QStringLiteral("Port is not closed"));
    m_inBufSize = v;
}

void TAfCustomSerialPort::SetOutBufSize(int32_t v)
{
    if (m_core->IsOpened())
        SignalError(QStringLiteral("Port is not closed"));
    m_outBufSize = v;
}

void TAfCustomSerialPort::SetEventThreadPriority(TThreadPriority v)
{
    m_eventPriority = v;
    if (m_core->IsOpened())
        m_core->SetPriorities(m_eventPriority, m_writePriority);
}

void TAfCustomSerialPort::SetWriteThreadPriority(TThreadPriority v)
{
    m_writePriority = v;
    if (m_core->IsOpened())
        m_core->SetPriorities(m_eventPriority, m_writePriority);
}

void TAfCustomSerialPort::CoreEvent(TAfCoreEvent kind, uint32_t data, std::exception_ptr error)
{
    if (m_closing || m_destroying)
        return;
    if (kind == ekOutFree && !m_announceOutFree)
        return;
    // The kind and data travel with the hand-over, so a hand-over that ran out of time and
    // is handled late still carries its own event. A dropped one is lost on purpose.
    AfSafeSync::HandOver(m_syncId, TAfSyncData{kind, data, error}, 2000);
}

void TAfCustomSerialPort::SyncEvent(const TAfSyncData &event)
{
    if (m_closing || m_destroying)
        return;
    switch (event.Kind) {
    case ekLineEvent:
        if (event.Data & AfEv::RxChar)
            DataRecived(InQueue());
        break;
    case ekDataPolled:
        // The poll's count may be old when the hand-over was handled late; never announce
        // more than is waiting now.
        DataRecived(std::min<int32_t>(int32_t(event.Data), InQueue()));
        break;
    case ekOutFree:
        if (const TAfNotifyEvent handler = OnOutBufFree)
            handler(this);
        break;
    case ekException:
        if (event.Error)
            std::rethrow_exception(event.Error);
        break;
    default:
        break;
    }
}

void TAfCustomSerialPort::DataRecived(int32_t count)
{
    // A copy: the handler may replace itself.
    if (const TAfCPTDataReceivedEvent handler = OnDataRecived)
        handler(this, count);
}

// ---- TAfCustomComPort -------------------------------------------------------------------

TAfCustomComPort::TAfCustomComPort(QObject *owner) : TAfCustomSerialPort(owner) {}

void TAfCustomComPort::SetComNumber(uint16_t n)
{
    if (n == m_comNumber)
        return;
    if (Active()) {
        Close();
        m_comNumber = n;
        Open();
    } else {
        m_comNumber = n;
    }
}

void TAfCustomComPort::InternalOpen()
{
    BusyCursor(true);
    try {
        m_core->OpenComPort(m_comNumber);
    } catch (...) {
        BusyCursor(false);
        throw;
    }
    BusyCursor(false);
}

// ---- TAfComPort -------------------------------------------------------------------------

TAfComPort::TAfComPort(QObject *owner) : TAfCustomComPort(owner) {}
TAfComPort::~TAfComPort() = default;
