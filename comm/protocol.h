#pragma once

// Replies as they arrive on the lines: characters assembled into replies, each complete
// reply handed to the conversation.

#include "frame.h"

#include <QObject>
#include <cstdint>

// Received-data handlers of the four ports (lines 1..4).
void PortADataRecived(QObject *Sender, int32_t Count);
void PortBDataRecived(QObject *Sender, int32_t Count);
void PortCDataRecived(QObject *Sender, int32_t Count);
void PortDDataRecived(QObject *Sender, int32_t Count);

// The longest reply kept while it is assembled. The longest sensible reply, an
// identification with a long type text and serial number, stays well below it; a line
// that grows past it without a carriage return is noise and is dropped up to the next "#".
constexpr int MaxReplyLength = 256;

// What the four handlers share: reads Count characters from the line's port, assembles
// the replies and parses each complete one.
void LineDataReceived(int Line, QObject *Sender, int32_t Count);
// Forgets the reply being assembled on the line (before each request).
void ClearReply(int Line);
