#pragma once

// The conversation with the sources, as plain functions over the tables: which frame a
// source's turn sends, what a reply does to the source's data, which recording row it
// writes, what a time-out does, and which source a line serves next. No port and no
// widget: the scheduler writes the frames, the panels are drawn from the data, and every
// change here marks the source Dirty for them.

#include <QByteArray>
#include <cstdint>

constexpr uint32_t ReplyTimeout = 1500; // ms a source has to answer a request
constexpr uint32_t ReplyPause = 50;     // ms between a reply and the next request

// The frame of the slot's turn, with ReqState moved on to what it asks: the query of its
// request state, or a set command waiting in its place (the command's flag is taken
// down). Empty for a state outside the cycle.
QByteArray TurnFrame(int Slot);

// Takes the slot's complete reply (Reply): the line may go on after ReplyPause; the values
// it carries go into the source's data, a changed reading writes a recording row while
// recording is on, and the tolerance reply ends the source's turn.
void ParseReply(int Slot);

// The slot's request went unanswered: a running program stops and the source is silent.
void NoAnswer(int Slot);

// The next used slot on the line after the one served, wrapping round; NoDevice when the
// line has none.
void NextSource(int Line);

// Takes a source off the tables (its slot free again, commands still waiting dropped).
// True when it was the last source of its line, whose port is then to be closed.
bool ReleaseSource(int Slot);
