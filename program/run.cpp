#include "run.h"

#include "global.h"
#include "progfile.h"
#include "recording.h"
#include "services.h"
#include "sysutils.h"

namespace {

// Whole seconds since the step began; the unsigned difference keeps the counter's
// wrap-around harmless.
uint32_t ElapsedSeconds(uint32_t now, uint32_t since)
{
    return uint32_t(now - since) / 1000u;
}

// A step number outside the table ends the run rather than reading past it.
int ValidStep(int32_t n)
{
    return n >= 0 && n <= MaxStepNo ? n : 0;
}

} // namespace

void StartProgram(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    TDevice &d = Devices[Slot];
    d.StepNo = 1;
    d.StepTick = GetTickCount();
    d.USet = d.Steps[1].U;
    d.PendU = true;
    NoteChange(Slot);
}

void StopProgram(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    TDevice &d = Devices[Slot];
    // The source keeps the voltage of the step that was running: no new request.
    d.StepNo = 0;
    d.StepTick = GetTickCount();
    NoteChange(Slot);
}

void ToggleProgram(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    if (Devices[Slot].StepNo != 0)
        StopProgram(Slot);
    else
        StartProgram(Slot);
}

void RunPrograms()
{
    const uint32_t now = GetTickCount();
    for (int slot = 1; slot <= MaxDevices; ++slot) {
        TDevice &d = Devices[slot];
        if (!d.Used)
            continue;
        if (d.StepNo < 0 || d.StepNo > MaxStepNo)
            d.StepNo = 0;
        const int s = d.StepNo;
        const int n = ValidStep(d.Steps[s].Next);
        // A step that ends now is still the one shown, with the new step's seconds.
        d.StepShown = s;

        if (s <= 0) {
            d.StepTick = now;
        } else if (int64_t(d.Steps[s].Time) < int64_t(ElapsedSeconds(now, d.StepTick))) {
            d.USet = d.Steps[n].U;
            d.PendU = true;
            d.StepNo = n;
            d.StepTick = now;
            RecordIfOn(slot);
            NoteChange(slot);
        }
    }
}
