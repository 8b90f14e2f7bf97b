#pragma once

// Serial port component: one per line. Opened by COM number with fixed settings; received
// bytes are announced on the interface thread by OnDataRecived with their count.
// (Interface contract; the core and threads live in afcomportcore.h.)

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>

class EAfComPortCoreError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class EAfComPortError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

using TAfCPTDataReceivedEvent = std::function<void(QObject *Sender, int32_t Count)>;

class TAfComPort : public QObject
{
    Q_OBJECT
public:
    explicit TAfComPort(QObject *owner = nullptr);
    ~TAfComPort() override;

    virtual bool Active() const;
    uint16_t ComNumber() const { return m_comNumber; }
    void SetComNumber(uint16_t n);
    virtual void Open();
    virtual void Close();
    void WriteString(const QByteArray &text);
    char ReadChar();
    virtual int ReadData(char *buffer, int count);
    virtual void WriteData(const char *buffer, int count);
    virtual int OutBufFree() const;

    TAfCPTDataReceivedEvent OnDataRecived;

protected:
    uint16_t m_comNumber = 0;
};
