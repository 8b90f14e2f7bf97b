#pragma once

// Running the voltage programs on the tick.

#include <QObject>

void ButtStClick(QObject *Sender);
void ButtEnClick(QObject *Sender);
void LabKrokClick(QObject *Sender);
void RunPrograms();
