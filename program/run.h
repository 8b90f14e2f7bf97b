#pragma once

// Running the voltage programs on the tick: the sources' step, its seconds and the voltage
// it asks for. No widgets: the panels draw the step from the tables.

// Start and stop of one slot's run.
void StartProgram(int Slot);
void StopProgram(int Slot);
// Start when stopped, stop when running (the panel's step label).
void ToggleProgram(int Slot);
// The tick's share: each running program's step moves on when its time is up.
void RunPrograms();
