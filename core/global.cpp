#include "global.h"

#include <QList>

TDevice Devices[MaxDevices + 1];
TLines Lines[MaxLines + 1];
int32_t DeviceCount = 0;
bool RemoveReq[MaxDevices + 1] = {};

int32_t PanLeft = 5, PanTop = 5, PanHeight = 200, PanWidth = 235;

QString LangCode = QStringLiteral("cz");
QString ProgramPath;
int32_t ChartWindow = 120;
int32_t ChartMaxU = 300;

QString TextAxisX, TextAxisY, TextValuesOf, TextDevNo, TextNoAnswer, TextProgramOf, TextColStep,
    TextColTime, TextColU, TextColNext, TextChartValues, TextStepIs, TextTimeIs, TextVoltageIs;

namespace {
QList<void (*)()> &Resets()
{
    static QList<void (*)()> resets;
    return resets;
}
} // namespace

void ResetDevice(int Slot)
{
    TDevice &d = Devices[Slot];
    RemoveReq[Slot] = false;
    d.Reply.clear();
    d.TypeText.clear();
    d.Used = d.InChart = d.CanStab = false;
    d.PendU = d.PendOut = d.PendSta = d.PendTol = false;
    d.U = d.USet = d.UPrev = d.Tol = d.TolSet = 0;
    d.OutOn = d.OutSet = d.StaOn = d.StaSet = false;
    d.ReqState = 0;
    d.Address = NoDevice;
    d.Line = NoDevice;
    d.StepNo = 0;
    d.StepTick = 0;
    d.StepShown = 0;
    d.RecFile.clear();
    d.Color = 0;
    d.Link = lkNew;
    d.NoAnswers = 0;
    d.Recording = d.RecordFailing = false;
    d.RecordTries = 0;
    d.Dirty = false;
    d.UEntry = false;
    d.TolEntry = false;
    for (ProgramStep &s : d.Steps)
        s = ProgramStep{};
}

void InitTables()
{
    for (int i = 0; i <= MaxDevices; ++i)
        ResetDevice(i);
    for (TLines &l : Lines)
        l = TLines{};
    DeviceCount = 0;
    for (void (*reset)() : Resets())
        reset();
}

void AtTableReset(void (*Reset)())
{
    if (!Resets().contains(Reset))
        Resets().append(Reset);
}

int DevicesOnLine(int Line)
{
    int n = 0;
    for (int i = 1; i <= MaxDevices; ++i)
        if (Devices[i].Used && Devices[i].Line == Line)
            ++n;
    return n;
}

QString LineLetter(int Line)
{
    return Line >= 1 && Line <= MaxLines ? QString(QChar(u'A' + Line - 1)) : QString();
}

int LowestFreeSlot()
{
    for (int i = 1; i <= MaxDevices; ++i)
        if (!Devices[i].Used)
            return i;
    return 0;
}
