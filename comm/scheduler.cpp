#include "scheduler.h"

#include "afcomport.h"
#include "commlog.h"
#include "controls.h"
#include "forms.h"
#include "global.h"
#include "panels.h"
#include "protocol.h"
#include "sysutils.h"

#include <QTimer>

namespace {

bool IsSlot(int s)
{
    return s >= 1 && s <= MaxDevices;
}
bool IsLine(int l)
{
    return l >= 1 && l <= MaxLines;
}

// The tick period in force, read from the timer on every call so that the countdowns
// follow it; 25 ms until the timer exists.
uint32_t TickInterval()
{
    int ms = DM && DM->TSystem ? DM->TSystem->interval() : 25;
    return uint32_t(ms > 0 ? ms : 1);
}

// The query that a request state asks for; an empty frame for a state outside the cycle.
QByteArray QueryFrame(int Address, int32_t State)
{
    switch (State) {
    case 1:
        return BuildFrame(Address, cmdOUT, "?");
    case 2:
        return BuildFrame(Address, cmdSTA, "?");
    case 3:
        return BuildFrame(Address, cmdNAP, "???");
    case 4:
        return BuildFrame(Address, cmdID, "?");
    case 5:
        return BuildFrame(Address, cmdTOL, "?");
    default:
        break;
    }
    if (State >= 10 && State <= 19)
        return BuildFrame(Address, cmdOUT, "?");
    if (State >= 20 && State <= 29)
        return BuildFrame(Address, cmdSTA, "?");
    if (State >= 30 && State <= 39)
        return BuildFrame(Address, cmdNAP, "???");
    if (State >= 50 && State <= 59)
        return BuildFrame(Address, cmdTOL, "?");
    return {};
}

// The panel of a source that did not answer: overlay on, values unknown, commands off.
void ShowNoAnswer(TDevice &d)
{
    if (d.ButtSt)
        d.ButtSt->show();
    if (d.ButtEn)
        d.ButtEn->hide();
    if (d.PanNekom) {
        d.PanNekom->show();
        d.PanNekom->raise();
    }
    if (d.Disp1)
        d.Disp1->SetCaption(QStringLiteral("U = .... V"));
    if (d.Disp2)
        d.Disp2->SetCaption(QStringLiteral("Tol = . V"));
    if (d.Edit1)
        d.Edit1->clear();
    if (d.Edit2)
        d.Edit2->clear();
    for (QWidget *w : std::initializer_list<QWidget *>{d.Edit1, d.Edit2, d.ButtSetU, d.ButtSetTol,
                                                       d.ButtSt, d.ButtEn, d.Label2, d.Label3})
        if (w)
            w->setEnabled(false);
    const QColor white = ColorFromRgb(0xFFFFFF);
    if (d.Shape2)
        d.Shape2->SetBrushColor(white);
    if (d.Shape1)
        d.Shape1->SetBrushColor(white);
}

} // namespace

void ServeLine(int Line)
{
    if (!IsLine(Line))
        return;
    TLines &ln = Lines[Line];
    const uint32_t interval = TickInterval();
    if (ln.Countdown >= interval) {
        ln.Countdown -= interval;
        return;
    }
    const int cur = ln.Cur;
    if (IsSlot(cur) && RemoveReq[cur]) {
        RemoveDevice(cur);
        ln.Waiting = false; // an outstanding request ends with its source
        NextSource(Line);
    } else if (ln.Waiting) {
        ln.Waiting = false;
        if (IsSlot(cur)) {
            TDevice &d = Devices[cur];
            d.StepNo = 0;
            d.StepTick = GetTickCount();
            ShowNoAnswer(d);
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
    TDevice &d = Devices[Slot];
    const int line = d.Line;
    if (!IsLine(line))
        return;

    if (d.ReqState == 0)
        d.ReqState = 3;
    QByteArray frame = QueryFrame(d.Address, d.ReqState);

    // A set command goes in place of the query; a later one in this list replaces an
    // earlier one, which stays pending for a later request.
    bool *sent = nullptr;
    if (d.PendOut && d.ReqState < 10) {
        frame = BuildFrame(d.Address, cmdOUT, d.OutSet ? "1" : "0");
        d.ReqState = 10;
        sent = &d.PendOut;
    }
    if (d.PendSta && d.ReqState < 10) {
        frame = BuildFrame(d.Address, cmdSTA, d.StaSet ? "1" : "0");
        d.ReqState = 20;
        sent = &d.PendSta;
    }
    if (d.PendU) {
        frame = BuildFrame(d.Address, cmdNAP, FormatWhole(d.USet, 3).toLatin1());
        d.ReqState = 30;
        sent = &d.PendU;
    }
    if (d.PendTol) {
        frame = BuildFrame(d.Address, cmdTOL, FormatWhole(d.TolSet, 1).toLatin1());
        d.ReqState = 50;
        sent = &d.PendTol;
    }
    if (sent)
        *sent = false;

    ClearReply(line);
    TLines &ln = Lines[line];
    ln.Cur = Slot;

    if (!frame.isEmpty()) {
        if (TAfComPort *port = DM ? DM->Port(line) : nullptr) {
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

void NextSource(int Line)
{
    if (!IsLine(Line))
        return;
    int i = Lines[Line].Cur;
    if (!IsSlot(i))
        i = 1;
    int found = NoDevice;
    for (int s = i + 1; s <= MaxDevices && found == NoDevice; ++s)
        if (Devices[s].Used && Devices[s].Line == Line)
            found = s;
    for (int s = 1; s <= MaxDevices && found == NoDevice; ++s)
        if (Devices[s].Used && Devices[s].Line == Line)
            found = s;
    Lines[Line].Cur = found;
}

void ServeLines()
{
    for (int l = 1; l <= MaxLines; ++l)
        if (Lines[l].Cur != NoDevice)
            ServeLine(l);
}
