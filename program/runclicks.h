#pragma once

// The program controls of a source's panel: the start and stop buttons and the step labels.

#include <QObject>

void ButtStClick(QObject *Sender);
void ButtEnClick(QObject *Sender);
void LabKrokClick(QObject *Sender);
