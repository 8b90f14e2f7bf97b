#include "requests.h"

#include "global.h"
#include "services.h"

namespace {

// Stores the value to send and raises its pending flag; with Entry, the panel's entry is to
// show it as sent.
template <typename T>
void Ask(int Slot, T TDevice::*Value, bool TDevice::*Pending, T v, bool TDevice::*Entry = nullptr)
{
    if (Slot < 1 || Slot > MaxDevices || !Devices[Slot].Used)
        return;
    TDevice &d = Devices[Slot];
    d.*Value = v;
    d.*Pending = true;
    if (Entry) {
        d.*Entry = true;
        d.Dirty = true;
    }
    NoteChange(Slot);
}

} // namespace

void RequestVoltage(int Slot, double U, bool ShowInEntry)
{
    Ask(Slot, &TDevice::USet, &TDevice::PendU, U, ShowInEntry ? &TDevice::UEntry : nullptr);
}

void RequestTolerance(int Slot, double Tol, bool ShowInEntry)
{
    Ask(Slot, &TDevice::TolSet, &TDevice::PendTol, Tol, ShowInEntry ? &TDevice::TolEntry : nullptr);
}

void RequestOutput(int Slot, bool On)
{
    Ask(Slot, &TDevice::OutSet, &TDevice::PendOut, On);
}

void RequestStabilisation(int Slot, bool On)
{
    Ask(Slot, &TDevice::StaSet, &TDevice::PendSta, On);
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
