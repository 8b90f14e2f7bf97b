#pragma once

// The program controls of a source's panel: the start and stop buttons and the step labels.

#include <QObject>

void ButtStClick(QObject *Sender);
void ButtEnClick(QObject *Sender);
void LabKrokClick(QObject *Sender);
// A run started or stopped from elsewhere (the network), shown as the buttons show it.
void RunProgramOf(int Slot, bool Run);
