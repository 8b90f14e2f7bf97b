#pragma once

// The request/reply protocol spoken with the sources.

#include <QByteArray>
#include <QObject>
#include <cstdint>

enum TCommand { cmdID = 0, cmdNAP = 1, cmdOUT = 2, cmdSTA = 3, cmdTOL = 4 };

QByteArray BuildFrame(int Address, int Command, const QByteArray &Value);

// Received-data handlers of the four ports (lines 1..4).
void PortADataRecived(QObject *Sender, int32_t Count);
void PortBDataRecived(QObject *Sender, int32_t Count);
void PortCDataRecived(QObject *Sender, int32_t Count);
void PortDDataRecived(QObject *Sender, int32_t Count);

void ParseReply(int Slot);
