#pragma once

// The line scheduler: one conversation per line, driven by the tick. It writes the frames
// the conversation chooses to the lines' ports and times the replies.

#include "conversation.h"

#include <cstdint>

void ServeLine(int Line);
void SendRequest(int Slot);

// The tick's share: ServeLine for lines 1..4 in order, each only while it has a source.
void ServeLines();

// Takes a source off its line: the tables freed, the line's port closed when it was the
// line's last source, and the views told (Services().SourceRemoved).
void RemoveSource(int Slot);
