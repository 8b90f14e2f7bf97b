#pragma once

// A line whose device went away while open (a USB adapter pulled) comes back by itself: the
// tick looks at every line with sources, and while a line's device is lost the port is
// tried every 2 s. The try that could wait on the system - resolving the port's device and
// opening it - runs off the interface thread and hands its answer back by a queued call;
// only a device that was just found there is opened again on the interface thread. The
// line's sources are then polled from their next turn. The line's communication log tells
// when the device went and when the line is back. A line with no sources is left alone.

#include <QByteArray>
#include <cstdint>
#include <functional>

constexpr uint32_t RecoveryInterval = 2000; // ms between tries of a lost line

// The tick's share: notes lost lines and starts their tries.
void RecoverLines();

// Starts one try for a port number; Done(true) must follow, by a queued call on the
// interface thread, when the device can be opened now. The default looks in a thread of its
// own; a test puts its own in, and an empty one restores the default.
using TRecoveryTry = std::function<void(int ComNumber, std::function<void(bool Present)> Done)>;
void SetRecoveryTry(TRecoveryTry Try);

// Whether the device of the port number can be opened now: a non-blocking open that is
// closed again at once. Safe off the interface thread.
bool DeviceOpens(int ComNumber);

// Tries started so far for the line (diagnostics and tests).
uint32_t RecoveryTries(int Line);
