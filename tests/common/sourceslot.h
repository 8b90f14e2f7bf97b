#pragma once

// A source's record filled as the connection dialog fills it once the panel exists.

#include "global.h"

inline TDevice &OccupySlot(int slot, int line, int address)
{
    TDevice &d = Devices[slot];
    d.Line = line;
    Lines[line].Cur = slot;
    d.Used = true;
    d.Address = address;
    return d;
}
