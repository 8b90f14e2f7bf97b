#pragma once

// Measurement recording: one CSV file per source and recording period.

#include <QObject>

void CheckBox1Click(QObject *Sender);
void StartRecording(int Slot);
void WriteRecordRow(int Slot);
