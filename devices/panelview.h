#pragma once

// The source panels drawn from the tables: what the conversation, the recording and the
// program run changed (a source marked Dirty, a program's step and seconds) is brought
// onto the panel's controls, each control touched only when its value changes.

#include <QColor>
#include <QObject>

// Every used slot: a Dirty panel drawn (readings, lamps, title, overlay, record box), the
// program labels and run buttons brought up to date. Once a tick.
void RefreshPanels();
// The Dirty panels only: at the end of each received-data event, so that a reply shows
// without waiting for the next tick.
void DrawDirtyPanels();
// An entry's value handed to the scheduler shows in this gray; typing starts anew in black.
QColor SentEntryColor();
// The run buttons of one slot: start shown while no program runs, stop while one does.
void DrawRunButtons(int Slot);

// The record box: ticking it starts a new recording file.
void CheckBox1Click(QObject *Sender);
