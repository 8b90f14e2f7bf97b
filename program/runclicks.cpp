#include "runclicks.h"

#include "panels.h"
#include "panelview.h"
#include "run.h"

namespace {

// A run started or stopped shows at once; the voltage entry empties for the program's
// voltages.
void Started(int slot)
{
    StartProgram(slot);
    if (Devices[slot].Edit1)
        Devices[slot].Edit1->clear();
    DrawRunButtons(slot);
}

void Stopped(int slot)
{
    StopProgram(slot);
    DrawRunButtons(slot);
}

} // namespace

void ButtStClick(QObject *Sender)
{
    if (const int s = FindSlot(Sender, &TDevice::ButtSt))
        Started(s);
}

void ButtEnClick(QObject *Sender)
{
    if (const int s = FindSlot(Sender, &TDevice::ButtEn))
        Stopped(s);
}

void LabKrokClick(QObject *Sender)
{
    // The time and voltage labels share this handler but are not the step label.
    const int s = FindSlot(Sender, &TDevice::LabKrok);
    if (!s)
        return;
    if (Devices[s].StepNo != 0)
        Stopped(s);
    else
        Started(s);
}

void RunProgramOf(int Slot, bool Run)
{
    if (Slot < 1 || Slot > MaxDevices || !Devices[Slot].Used)
        return;
    if (Run)
        Started(Slot);
    else
        Stopped(Slot);
}
