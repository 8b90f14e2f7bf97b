#pragma once

// Measurement recording: one CSV file per source and recording period, in the working
// folder at the time of each write. The one way a row is written, for a changed reading,
// a SET and a program's step; no widgets: the record box is drawn from the source's flags.

#include <QDateTime>
#include <QString>

// A new file for the slot (the first free "Dev_no<slot> adr.<address>[_nnn].csv") with its
// two heading lines.
void StartRecording(int Slot);
// One row with the slot's readings now; a slot with no file yet gets one first. A row that
// cannot be written marks the source's RecordFailing until one gets through again.
void WriteRecordRow(int Slot);
// WriteRecordRow when the slot's record box is ticked.
void RecordIfOn(int Slot);

// One row without its line end: "d:m:yyyy hh:nn:ss.zzz;U;USet", volts rounded to whole.
QString RecordRowText(const QDateTime &When, double U, double USet);
// True while the source's recording file cannot be written (its record box is marked).
bool RecordFailing(int Slot);
