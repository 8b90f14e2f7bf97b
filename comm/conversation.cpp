#include "conversation.h"

#include "cp1250.h"
#include "frame.h"
#include "global.h"
#include "recording.h"
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

// The query that a request state asks for; an empty frame for a state outside the cycle.
// A set command's state asks again what it set, counted up by the source's "OK" replies.
QByteArray QueryFrame(int Address, int32_t State)
{
    switch (State) {
    case rsAskOut:
        return BuildFrame(Address, cmdOUT, "?");
    case rsAskSta:
        return BuildFrame(Address, cmdSTA, "?");
    case rsAskU:
        return BuildFrame(Address, cmdNAP, "???");
    case rsAskId:
        return BuildFrame(Address, cmdID, "?");
    case rsAskTol:
        return BuildFrame(Address, cmdTOL, "?");
    default:
        break;
    }
    if (State >= rsSetOut && State < rsSetOut + 10)
        return BuildFrame(Address, cmdOUT, "?");
    if (State >= rsSetSta && State < rsSetSta + 10)
        return BuildFrame(Address, cmdSTA, "?");
    if (State >= rsSetU && State < rsSetU + 10)
        return BuildFrame(Address, cmdNAP, "???");
    if (State >= rsSetTol && State < rsSetTol + 10)
        return BuildFrame(Address, cmdTOL, "?");
    return {};
}

} // namespace

QByteArray TurnFrame(int Slot)
{
    if (!IsSlot(Slot))
        return {};
    TDevice &d = Devices[Slot];
    if (d.ReqState == rsIdle)
        d.ReqState = rsAskU;
    QByteArray frame = QueryFrame(d.Address, d.ReqState);

    // A set command goes in place of the query; a later one in this list replaces an
    // earlier one, which stays pending for a later request.
    bool *sent = nullptr;
    if (d.PendOut && d.ReqState < rsSetOut) {
        frame = BuildFrame(d.Address, cmdOUT, d.OutSet ? "1" : "0");
        d.ReqState = rsSetOut;
        sent = &d.PendOut;
    }
    if (d.PendSta && d.ReqState < rsSetOut) {
        frame = BuildFrame(d.Address, cmdSTA, d.StaSet ? "1" : "0");
        d.ReqState = rsSetSta;
        sent = &d.PendSta;
    }
    if (d.PendU) {
        frame = BuildFrame(d.Address, cmdNAP, FormatWhole(d.USet, 3).toLatin1());
        d.ReqState = rsSetU;
        sent = &d.PendU;
    }
    if (d.PendTol) {
        frame = BuildFrame(d.Address, cmdTOL, FormatWhole(d.TolSet, 1).toLatin1());
        d.ReqState = rsSetTol;
        sent = &d.PendTol;
    }
    if (sent)
        *sent = false;
    return frame;
}

void ParseReply(int Slot)
{
    if (!IsSlot(Slot))
        return;
    TDevice &d = Devices[Slot];

    // The source answered: the line may go on after the short pause.
    if (IsLine(d.Line)) {
        Lines[d.Line].Waiting = false;
        Lines[d.Line].Countdown = ReplyPause;
    }
    d.Link = lkAnswering;
    d.Dirty = true;
    NoteChange(Slot); // looked at after the reply is taken in

    // Each keyword step narrows t to the value it took, so an ordinary reply meets one of
    // them only; an identification keeps the rest of the line and may carry a "TOL" on.
    QString t = d.Reply;
    if (t.contains(QLatin1String("OK")))
        ++d.ReqState;
    if (int p = int(t.indexOf(QLatin1String("OUT"))); p >= 0) {
        t = t.mid(p + 3, 1);
        d.OutOn = t != QLatin1String("0");
        d.ReqState = rsAskSta;
    }
    if (int p = int(t.indexOf(QLatin1String("STA"))); p >= 0) {
        t = t.mid(p + 3, 1);
        d.StaOn = t != QLatin1String("0");
        d.ReqState = rsAskU;
    }
    if (int p = int(t.indexOf(QLatin1String("NAP"))); p >= 0) {
        t = t.mid(p + 3, 3);
        d.UPrev = d.U;
        bool ok = false;
        const double u = StrToFloatDot(t, &ok);
        d.U = ok ? u : -1;
        if (d.U != d.UPrev)
            RecordIfOn(Slot);
        d.ReqState = rsAskId;
    }
    if (int p = int(t.indexOf(QLatin1String("TYP"))); p >= 0) {
        t = t.mid(p + 3);
        const int vc = int(t.indexOf(QLatin1String("VC")));
        // The reply holds the source's 8-bit text, one character per byte; its letters
        // beyond ASCII are those of the code page, as everywhere else in the program.
        const QString type = FromCp1250((vc >= 0 ? t.left(vc) : t).toLatin1());
        const QString serial = vc >= 0 ? FromCp1250(t.mid(vc + 2).toLatin1()) : QString();
        d.TypeText = type + TypeSerialMark + serial;
        d.ReqState = rsAskTol;
        d.CanStab = t.indexOf(QLatin1String("-S")) >= 5;
    }
    if (int p = int(t.indexOf(QLatin1String("TOL"))); p >= 0) {
        t = t.mid(p + 3, 1);
        // Only a digit is a tolerance; anything else leaves Tol as it was. The turn ends
        // either way: a source that keeps answering the tolerance with junk must not hold
        // its line, or every other source on it would go unserved. The tolerance is asked
        // again in the source's next turn.
        if (t.size() == 1 && t.at(0) >= QLatin1Char('0') && t.at(0) <= QLatin1Char('9'))
            d.Tol = t.at(0).unicode() - '0';
        d.ReqState = rsAskOut;
        NextSource(d.Line);
    }
}

void NoAnswer(int Slot)
{
    if (!IsSlot(Slot))
        return;
    TDevice &d = Devices[Slot];
    d.StepNo = 0;
    d.StepTick = GetTickCount();
    d.Link = lkSilent;
    d.Dirty = true;
    NoteChange(Slot);
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

bool ReleaseSource(int Slot)
{
    if (!IsSlot(Slot) || !Devices[Slot].Used)
        return false; // nothing connected there: the counts must not drift
    TDevice &d = Devices[Slot];
    --DeviceCount;
    RemoveReq[Slot] = false;
    d.Used = false;
    d.InChart = false;
    d.Reply.clear();
    d.TypeText.clear();
    d.U = 0;
    d.UPrev = 0;
    d.ReqState = rsIdle;
    d.CanStab = false;
    d.StepNo = 0;
    d.StepTick = 0;
    d.StepShown = 0;
    // A command still waiting belongs to the source that left; the next source in this
    // slot must not receive it.
    d.PendU = d.PendOut = d.PendSta = d.PendTol = false;
    d.USet = d.TolSet = 0;
    d.OutSet = d.StaSet = false;
    d.Link = lkNew;
    d.Recording = d.RecordFailing = false;
    d.Dirty = false;
    d.UEntry = false;
    d.TolEntry = false;
    NoteChange(Slot);

    const int line = d.Line;
    d.Line = 0;
    if (!IsLine(line))
        return false;
    for (int i = 1; i <= MaxDevices; ++i)
        if (Devices[i].Line == line)
            return false;
    Lines[line].Cur = NoDevice;
    return true;
}
