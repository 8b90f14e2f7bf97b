#include "run.h"

#include "controls.h"
#include "global.h"
#include "panels.h"
#include "progfile.h"
#include "recording.h"
#include "sysutils.h"

namespace {

std::function<void(int)> &stepRecorder()
{
    static std::function<void(int)> f;
    return f;
}

void RecordStep(int Slot)
{
    if (stepRecorder())
        stepRecorder()(Slot);
    else
        WriteRecordRow(Slot);
}

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

void ShowRunButtons(TDevice &d)
{
    const bool running = d.StepNo > 0;
    if (d.ButtSt && d.ButtSt->isHidden() == !running)
        d.ButtSt->setVisible(!running);
    if (d.ButtEn && d.ButtEn->isHidden() == running)
        d.ButtEn->setVisible(running);
}

// The tick runs every 25 ms for every source: a label is touched only when its text changes.
void SetLabel(TLabel *label, const QString &text)
{
    if (label && label->text() != text)
        label->SetCaption(text);
}

} // namespace

void SetStepRecorder(std::function<void(int Slot)> recorder)
{
    stepRecorder() = std::move(recorder);
}

void StartProgram(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    TDevice &d = Devices[Slot];
    d.StepNo = 1;
    d.StepTick = GetTickCount();
    d.USet = d.Steps[1].U;
    d.PendU = true;
    if (d.Edit1)
        d.Edit1->clear();
    ShowRunButtons(d);
}

void StopProgram(int Slot)
{
    if (Slot < 1 || Slot > MaxDevices)
        return;
    TDevice &d = Devices[Slot];
    // The source keeps the voltage of the step that was running: no new request.
    d.StepNo = 0;
    d.StepTick = GetTickCount();
    ShowRunButtons(d);
}

void ButtStClick(QObject *Sender)
{
    if (const int s = FindSlot(Sender, &TDevice::ButtSt))
        StartProgram(s);
}

void ButtEnClick(QObject *Sender)
{
    if (const int s = FindSlot(Sender, &TDevice::ButtEn))
        StopProgram(s);
}

void LabKrokClick(QObject *Sender)
{
    // The time and voltage labels share this handler but are not the step label.
    const int s = FindSlot(Sender, &TDevice::LabKrok);
    if (!s)
        return;
    if (Devices[s].StepNo != 0)
        StopProgram(s);
    else
        StartProgram(s);
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

        if (s <= 0) {
            d.StepTick = now;
        } else if (int64_t(d.Steps[s].Time) < int64_t(ElapsedSeconds(now, d.StepTick))) {
            d.USet = d.Steps[n].U;
            d.PendU = true;
            d.StepNo = n;
            d.StepTick = now;
            if (d.CheckBox1 && d.CheckBox1->isChecked())
                RecordStep(slot);
        }
        const uint32_t e = ElapsedSeconds(now, d.StepTick);

        SetLabel(d.LabKrok, TextStepIs + QString::number(s));
        SetLabel(d.LabCasP, TextTimeIs + QString::number(e) + QStringLiteral(" / ") +
                                QString::number(d.Steps[s].Time));
        SetLabel(d.LabUProg, TextVoltageIs + FloatToStrGeneral(d.Steps[s].U));
        ShowRunButtons(d);
    }
}
