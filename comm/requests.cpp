#include "requests.h"

#include "global.h"
#include "services.h"

namespace {
bool IsUsed(int s)
{
    return s >= 1 && s <= MaxDevices && Devices[s].Used;
}
} // namespace

void RequestVoltage(int Slot, double U, bool ShowInEntry)
{
    if (!IsUsed(Slot))
        return;
    TDevice &d = Devices[Slot];
    d.USet = U;
    d.PendU = true;
    if (ShowInEntry) {
        d.UEntry = enShowSet;
        d.Dirty = true;
    }
    NoteChange(Slot);
}

void RequestTolerance(int Slot, double Tol, bool ShowInEntry)
{
    if (!IsUsed(Slot))
        return;
    TDevice &d = Devices[Slot];
    d.TolSet = Tol;
    d.PendTol = true;
    if (ShowInEntry) {
        d.TolEntry = true;
        d.Dirty = true;
    }
    NoteChange(Slot);
}

void RequestOutput(int Slot, bool On)
{
    if (!IsUsed(Slot))
        return;
    Devices[Slot].OutSet = On;
    Devices[Slot].PendOut = true;
    NoteChange(Slot);
}

void RequestStabilisation(int Slot, bool On)
{
    if (!IsUsed(Slot))
        return;
    Devices[Slot].StaSet = On;
    Devices[Slot].PendSta = true;
    NoteChange(Slot);
}

void RequestOutputAll(bool On)
{
    for (int s = 1; s <= MaxDevices; ++s)
        RequestOutput(s, On);
}

void RequestZeroAll(bool ShowInEntry)
{
    for (int s = 1; s <= MaxDevices; ++s)
        RequestVoltage(s, 0, ShowInEntry);
}
