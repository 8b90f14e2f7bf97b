#pragma once

// The request/reply protocol spoken with the sources.

#include <QByteArray>
#include <QObject>
#include <cstdint>

enum TCommand { cmdID = 0, cmdNAP = 1, cmdOUT = 2, cmdSTA = 3, cmdTOL = 4 };

// "@", address as two upper-case hex digits, command, value, checksum of everything after
// the "@" (sum of the codes modulo 256, two upper-case hex digits), carriage return.
QByteArray BuildFrame(int Address, int Command, const QByteArray &Value);

// Received-data handlers of the four ports (lines 1..4).
void PortADataRecived(QObject *Sender, int32_t Count);
void PortBDataRecived(QObject *Sender, int32_t Count);
void PortCDataRecived(QObject *Sender, int32_t Count);
void PortDDataRecived(QObject *Sender, int32_t Count);

void ParseReply(int Slot);

// The longest reply kept while it is assembled. The longest sensible reply, an
// identification with a long type text and serial number, stays well below it; a line
// that grows past it without a carriage return is noise and is dropped up to the next "#".
constexpr int MaxReplyLength = 256;

// What the four handlers share: reads Count characters from the line's port, assembles
// the replies and parses each complete one.
void LineDataReceived(int Line, QObject *Sender, int32_t Count);
// Forgets the reply being assembled on the line (before each request).
void ClearReply(int Line);
