// Placeholders until the protocol, scheduler and log land.
#include "commlog.h"
#include "protocol.h"
#include "scheduler.h"

QByteArray BuildFrame(int, int, const QByteArray &) { return {}; }
void PortADataRecived(QObject *, int32_t) {}
void PortBDataRecived(QObject *, int32_t) {}
void PortCDataRecived(QObject *, int32_t) {}
void PortDDataRecived(QObject *, int32_t) {}
void ParseReply(int) {}
void ServeLine(int) {}
void SendRequest(int) {}
void NextSource(int) {}
void LogSent(int, const QByteArray &) {}
void LogReceived(int, const QByteArray &) {}
void LogNoAnswer(int) {}
