#pragma once

// What the units need from outside the tables, in one place: the clocks, the lines' ports,
// the tick's period, the views' reaction to a source that left, and the language texts. The
// application fills them at start-up; a test puts its own in and takes them out again with
// ResetServices. An empty service falls back to what the program does without a window:
// the system's clocks, no port, a 25 ms tick, nothing to redraw.

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

class TAfComPort;

struct TServices
{
    std::function<uint32_t()> Tick;              // millisecond counter, wraps around
    std::function<QDateTime()> Clock;            // local wall-clock time
    std::function<TAfComPort *(int Line)> Port;  // the port of line 1..4
    std::function<uint32_t()> TickPeriod;        // ms between passes of the tick
    std::function<void(int Slot)> SourceRemoved; // the panel and chart entry go with it
    std::function<void()> ApplyLanguage;         // the texts of the language in force
    std::function<void(int Slot)> Changed;       // a source's state changed (the network watches)
};

TServices &Services();
// Every service back to its fall-back.
void ResetServices();

// The services with their fall-backs.
TAfComPort *LinePort(int Line);
uint32_t TickPeriod();
// Marks a change of a source's state for those watching it from outside the panels; costs
// nothing when nobody watches. Called while the change is being made: a watcher only takes
// note and looks at the source later.
void NoteChange(int Slot);
