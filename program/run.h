#pragma once

// Running the voltage programs on the tick.

#include <QObject>
#include <functional>

void ButtStClick(QObject *Sender);
void ButtEnClick(QObject *Sender);
void LabKrokClick(QObject *Sender);
void RunPrograms();

// Start and stop of one slot's run, as the buttons and the step label do them.
void StartProgram(int Slot);
void StopProgram(int Slot);

// Where the recording row of a step change goes; empty restores WriteRecordRow.
void SetStepRecorder(std::function<void(int Slot)> recorder);
