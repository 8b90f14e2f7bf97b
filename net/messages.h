#pragma once

// What the station says on the network and what it takes from it, as JSON in UTF-8: the
// state of a source, the list of connected sources, and the commands of the panels' own
// controls. No network here: the bridge carries these.

#include <QByteArray>
#include <QString>
#include <functional>

// The state of the source in Slot: line, address, type, readings, lamps, recording and
// program run. Empty for a slot not in use.
QByteArray StateJson(int Slot);
// The same with the given count of the running program's seconds in its step.
QByteArray StateJson(int Slot, int Seconds);
// The whole seconds the running program of Slot has been in its step; 0 when none runs.
int ProgramSeconds(int Slot);
// The connected sources (slot, line, address, type, serial number, colour), by slot.
QByteArray SourcesJson();

struct TCommandRules
{
    bool AllowControl = false;
    // Starts (true) or stops (false) the program of a slot; the view's own way.
    std::function<void(int Slot, bool Run)> RunProgram;
};

// Takes a command for the source in Slot, as its panel's controls would: {"u": 0..255},
// {"tol": 1..9}, {"out": bool}, {"sta": bool}, {"program": "start"|"stop"}, several keys
// in one object allowed. Empty when taken; otherwise the reason, and nothing has changed.
QString TakeSourceCommand(int Slot, const QByteArray &Payload, const TCommandRules &Rules);
// The left bar's commands for every source: {"out": true}, {"out": false} or {"u": 0}.
QString TakeAllCommand(const QByteArray &Payload, const TCommandRules &Rules);
// The payload of an error answer: the reason and the command it answers.
QByteArray ErrorJson(const QString &Reason, const QByteArray &Command);
