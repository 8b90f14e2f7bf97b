#pragma once

// The frames spoken with the sources: requests built here, replies read by the conversation.

#include <QByteArray>

enum TCommand { cmdID = 0, cmdNAP = 1, cmdOUT = 2, cmdSTA = 3, cmdTOL = 4 };

// "@", address as two upper-case hex digits, command, value, checksum of everything after
// the "@" (sum of the codes modulo 256, two upper-case hex digits), carriage return.
QByteArray BuildFrame(int Address, int Command, const QByteArray &Value);
