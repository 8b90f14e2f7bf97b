#include "run.h"

#include "controls.h"
#include "global.h"
#include "panels.h"
#include "progfile.h"
#include "recording.h"
#include "sysutils.h"

#include <QLocale>
#include <QPointer>

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

// What the three program labels of a slot were last given, and from what. Nearly every
// tick would build the same three texts again for every source and compare them with the
// labels' own (a walk through 150 widgets that are no longer in the cache 25 ms later);
// while what they are made of stays the same, nothing is built and no label is looked at.
struct TShownStep
{
    QPointer<TLabel> krok; // null once the panel is gone, even if a new one reuses the place
    TLabel *cas = nullptr, *uprog = nullptr;
    int step = -1;
    uint32_t elapsed = 0;
    int32_t time = 0;
    double u = 0;
    QString stepIs, timeIs, voltageIs, point;

    bool Same(const TDevice &d, int s, uint32_t e, const QString &decimalPoint) const
    {
        return krok && krok == d.LabKrok && cas == d.LabCasP && uprog == d.LabUProg && step == s &&
               elapsed == e && time == d.Steps[s].Time && u == d.Steps[s].U &&
               stepIs == TextStepIs && timeIs == TextTimeIs && voltageIs == TextVoltageIs &&
               point == decimalPoint;
    }
    void Note(const TDevice &d, int s, uint32_t e, const QString &decimalPoint)
    {
        krok = d.LabKrok;
        cas = d.LabCasP;
        uprog = d.LabUProg;
        step = s;
        elapsed = e;
        time = d.Steps[s].Time;
        u = d.Steps[s].U;
        stepIs = TextStepIs;
        timeIs = TextTimeIs;
        voltageIs = TextVoltageIs;
        point = decimalPoint;
    }
};

TShownStep Shown[MaxDevices + 1];

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
    const QString decimalPoint = QLocale().decimalPoint(); // the voltage label's separator
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

        if (!Shown[slot].Same(d, s, e, decimalPoint)) {
            SetLabel(d.LabKrok, TextStepIs + QString::number(s));
            SetLabel(d.LabCasP, TextTimeIs + QString::number(e) + QStringLiteral(" / ") +
                                    QString::number(d.Steps[s].Time));
            SetLabel(d.LabUProg, TextVoltageIs + FloatToStrGeneral(d.Steps[s].U));
            Shown[slot].Note(d, s, e, decimalPoint);
        }
        ShowRunButtons(d);
    }
}
