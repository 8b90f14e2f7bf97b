#include "scheduler.h"

#include "afcomport.h"
#include "commlog.h"
#include "global.h"
#include "protocol.h"
#include "search.h"
#include "services.h"
#include "sysutils.h"

namespace {

bool IsSlot(int s)
{
    return s >= 1 && s <= MaxDevices;
}
bool IsLine(int l)
{
    return l >= 1 && l <= MaxLines;
}

// The search's turn on a free line: its request written and its answer window begun.
bool SendSearchRequest(int Line)
{
    QByteArray frame;
    if (!SearchTakesTurn(Line, &frame)) {
        // A line that only a search had opened goes quiet again once the search is over.
        if (!Searching(Line) && Lines[Line].Cur == NoDevice)
            if (TAfComPort *port = LinePort(Line); port && port->Active())
                port->Close();
        return false;
    }
    TLines &ln = Lines[Line];
    ClearReply(Line);
    if (TAfComPort *port = LinePort(Line)) {
        try {
            port->WriteString(frame);
        } catch (const EAfComPortError &) {
        } catch (const EAfComPortCoreError &) {
        }
    }
    ln.Waiting = true;
    ln.Countdown = SearchWindow;
    LogSearchSent(Line, SearchOf(Line).Asking, frame);
    return true;
}

} // namespace

void RemoveSource(int Slot)
{
    if (!IsSlot(Slot) || !Devices[Slot].Used)
        return;
    const int line = Devices[Slot].Line;
    if (ReleaseSource(Slot))
        if (TAfComPort *port = LinePort(line))
            port->Close();
    if (Services().SourceRemoved)
        Services().SourceRemoved(Slot);
}

void ServeLine(int Line)
{
    if (!IsLine(Line))
        return;
    TLines &ln = Lines[Line];
    // The tick period in force, read on every call so that the countdowns follow it.
    const uint32_t interval = TickPeriod();
    if (ln.Countdown >= interval) {
        ln.Countdown -= interval;
        return;
    }
    if (ln.Waiting && SearchWaiting(Line)) {
        // The searched address did not answer: on a line of its own the next one is asked
        // at once, on a line with sources they have their turn first.
        ln.Waiting = false;
        LogSearchNoAnswer(Line, SearchOf(Line).Asking);
        SearchNoAnswer(Line);
    }
    if (!ln.Waiting && SendSearchRequest(Line))
        return;
    const int cur = ln.Cur;
    if (IsSlot(cur) && RemoveReq[cur]) {
        RemoveSource(cur);
        ln.Waiting = false; // an outstanding request ends with its source
        NextSource(Line);
    } else if (ln.Waiting) {
        ln.Waiting = false;
        if (IsSlot(cur)) {
            NoAnswer(cur);
            LogNoAnswer(Line);
        }
        NextSource(Line);
    } else if (IsSlot(cur)) {
        SendRequest(cur);
    }
}

void SendRequest(int Slot)
{
    if (!IsSlot(Slot))
        return;
    const int line = Devices[Slot].Line;
    if (!IsLine(line))
        return;

    const QByteArray frame = TurnFrame(Slot);
    ClearReply(line);
    TLines &ln = Lines[line];
    ln.Cur = Slot;

    if (!frame.isEmpty()) {
        if (TAfComPort *port = LinePort(line)) {
            try {
                port->WriteString(frame);
            } catch (const EAfComPortError &) {
                // A port that refuses the frame is treated like a source that did not
                // answer: the time-out follows and the line goes on to its next source.
            } catch (const EAfComPortCoreError &) {
            }
        }
    }

    ln.Waiting = true;
    ln.Countdown = ReplyTimeout;
    LogSent(line, frame);
}

void ServeLines()
{
    for (int l = 1; l <= MaxLines; ++l)
        if (Lines[l].Cur != NoDevice || Searching(l))
            ServeLine(l);
}
