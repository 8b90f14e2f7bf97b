#pragma once

// Commands to the sources, whoever gives them: the panels' controls, the left bar, the
// network. Each stores the value and raises the source's pending flag; the scheduler puts
// it into the source's next request in place of a query. No widgets: a command given
// elsewhere than in the panel's own entry asks the panel to show it (TDevice::UEntry,
// TolEntry).

// Voltage and tolerance to set, as the entries give them (no bounds here: the callers
// keep their own). ShowInEntry: the panel's entry shows the value as sent.
void RequestVoltage(int Slot, double U, bool ShowInEntry = false);
void RequestTolerance(int Slot, double Tol, bool ShowInEntry = false);
// Output and stabilisation on or off.
void RequestOutput(int Slot, bool On);
void RequestStabilisation(int Slot, bool On);
// The left bar's commands: every connected source's output on or off, every voltage to 0.
void RequestOutputAll(bool On);
void RequestZeroAll(bool ShowInEntry);
