#pragma once

// The line scheduler: one conversation per line, driven by the tick.

#include <cstdint>

constexpr uint32_t ReplyTimeout = 1500; // ms a source has to answer a request
constexpr uint32_t ReplyPause = 50;     // ms between a reply and the next request

void ServeLine(int Line);
void SendRequest(int Slot);
void NextSource(int Line);

// The tick's share: ServeLine for lines 1..4 in order, each only while it has a source.
void ServeLines();
