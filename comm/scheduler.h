#pragma once

// The line scheduler: one conversation per line, driven by the tick.

void ServeLine(int Line);
void SendRequest(int Slot);
void NextSource(int Line);
