#pragma once

// Measurement recording: one CSV file per source and recording period, in the working
// folder at the time of each write.

#include <QDateTime>
#include <QObject>
#include <QString>

void CheckBox1Click(QObject *Sender);
void StartRecording(int Slot);
void WriteRecordRow(int Slot);

// One row without its line end: "d:m:yyyy hh:nn:ss.zzz;U;USet", volts rounded to whole.
QString RecordRowText(const QDateTime &When, double U, double USet);
// True while the source's recording file cannot be written (its record box is marked).
bool RecordFailing(int Slot);
