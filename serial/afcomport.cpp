#include "afcomport.h"

// Placeholder until the port core lands: a port that never opens.

TAfComPort::TAfComPort(QObject *owner) : QObject(owner) {}
TAfComPort::~TAfComPort() = default;
bool TAfComPort::Active() const { return false; }
void TAfComPort::SetComNumber(uint16_t n) { m_comNumber = n; }
void TAfComPort::Open()
{
    throw EAfComPortCoreError(QStringLiteral("Invalid port number (COM%1)").arg(m_comNumber).toStdString());
}
void TAfComPort::Close() {}
void TAfComPort::WriteString(const QByteArray &text)
{
    if (!text.isEmpty())
        WriteData(text.constData(), int(text.size()));
}
char TAfComPort::ReadChar()
{
    char c = 0;
    if (ReadData(&c, 1) != 1)
        throw EAfComPortError(QStringLiteral("Read data error - %1 ").arg(objectName()).toStdString());
    return c;
}
int TAfComPort::ReadData(char *, int) { return -1; }
void TAfComPort::WriteData(const char *, int) {}
int TAfComPort::OutBufFree() const { return 0; }
