#include "protocol.h"

#include "afcomport.h"
#include "commlog.h"
#include "controls.h"
#include "cp1250.h"
#include "forms.h"
#include "global.h"
#include "panels.h"
#include "recording.h"
#include "scheduler.h"
#include "sysutils.h"

#include <cctype>

namespace {

const char *const CommandText[] = {"ID", "NAP", "OUT", "STA", "TOL"};

const QColor Lime = ColorFromRgb(0x00FF00);
const QColor Red = ColorFromRgb(0xFF0000);
const QColor White = ColorFromRgb(0xFFFFFF);

// A line whose partial reply outgrew MaxReplyLength: everything up to the next "#" or
// carriage return belongs to that broken reply and is dropped with it.
bool Overflowed[MaxLines + 1] = {};

char HexDigit(int v)
{
    return "0123456789ABCDEF"[v & 15];
}

bool IsSlot(int s)
{
    return s >= 1 && s <= MaxDevices;
}
bool IsLine(int l)
{
    return l >= 1 && l <= MaxLines;
}

void SetEnabled(QWidget *w, bool on)
{
    if (w && w->isEnabled() != on)
        w->setEnabled(on);
}

void Paint(TShape *s, const QColor &c)
{
    if (s)
        s->SetBrushColor(c);
}

// True when the reply begins with "#" and two hexadecimal digits naming an address other
// than the source's own. A reply without such an address field is taken as before.
bool FromOtherSource(const QString &reply, int address)
{
    if (reply.size() < 3 || reply[0] != QLatin1Char('#'))
        return false;
    bool ok = false;
    const int named = reply.mid(1, 2).toInt(&ok, 16);
    const auto isHex = [](QChar c) {
        return std::isxdigit(static_cast<unsigned char>(c.toLatin1()));
    };
    return ok && isHex(reply[1]) && isHex(reply[2]) && named != address;
}

void CompleteReply(int Line)
{
    TLines &ln = Lines[Line];
    const int s = ln.Cur;
    if (!IsSlot(s) || !Devices[s].Used) {
        // Stray characters on a line nobody is served on: nothing to credit them to.
        ln.RxBuf.clear();
        return;
    }
    LogReceived(Line, ln.RxBuf.toLatin1());
    if (FromOtherSource(ln.RxBuf, Devices[s].Address)) {
        // A reply that names another address (a source answering after its time-out, while
        // the next one is asked) would put that source's reading on this one's panel and
        // in its recording. It stays in the log; the current source's own reply, or its
        // time-out, is still awaited.
        ln.RxBuf.clear();
        return;
    }
    Devices[s].Reply = ln.RxBuf;
    ln.RxBuf.clear();
    ParseReply(s);
}

} // namespace

QByteArray BuildFrame(int Address, int Command, const QByteArray &Value)
{
    QByteArray body;
    body.reserve(8 + Value.size());
    body += HexDigit(Address >> 4);
    body += HexDigit(Address);
    if (Command >= cmdID && Command <= cmdTOL)
        body += CommandText[Command];
    body += Value;
    unsigned sum = 0;
    for (char c : body)
        sum += uint8_t(c);
    QByteArray frame;
    frame.reserve(body.size() + 4);
    frame += '@';
    frame += body;
    frame += HexDigit(int(sum >> 4));
    frame += HexDigit(int(sum));
    frame += '\r';
    return frame;
}

void ClearReply(int Line)
{
    if (!IsLine(Line))
        return;
    Lines[Line].RxBuf.clear();
    Overflowed[Line] = false;
}

void LineDataReceived(int Line, QObject *Sender, int32_t Count)
{
    if (!IsLine(Line))
        return;
    TAfComPort *port = DM ? DM->Port(Line) : nullptr;
    if (!port)
        port = qobject_cast<TAfComPort *>(Sender);
    if (!port)
        return;
    TLines &ln = Lines[Line];
    for (int32_t i = 0; i < Count; ++i) {
        char c;
        try {
            c = port->ReadChar();
        } catch (const EAfComPortError &) {
            // The announced characters are not there (port closed meanwhile): the rest of
            // this event has nothing to read; what was assembled so far stays.
            return;
        }
        if (c == '#') {
            ln.RxBuf.clear();
            Overflowed[Line] = false;
        } else if (Overflowed[Line]) {
            if (c == '\r')
                Overflowed[Line] = false;
            continue;
        }
        ln.RxBuf += QChar(uint8_t(c));
        if (c == '\r') {
            CompleteReply(Line);
        } else if (ln.RxBuf.size() >= MaxReplyLength) {
            ln.RxBuf.clear();
            Overflowed[Line] = true;
        }
    }
}

void PortADataRecived(QObject *Sender, int32_t Count)
{
    LineDataReceived(1, Sender, Count);
}
void PortBDataRecived(QObject *Sender, int32_t Count)
{
    LineDataReceived(2, Sender, Count);
}
void PortCDataRecived(QObject *Sender, int32_t Count)
{
    LineDataReceived(3, Sender, Count);
}
void PortDDataRecived(QObject *Sender, int32_t Count)
{
    LineDataReceived(4, Sender, Count);
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

    if (d.PanNekom && !d.PanNekom->isHidden())
        d.PanNekom->hide();
    SetEnabled(d.Edit1, true);
    SetEnabled(d.ButtSetU, true);
    SetEnabled(d.ButtSt, true);
    SetEnabled(d.ButtEn, true);
    SetEnabled(d.Label2, true);
    SetEnabled(d.ButtSetTol, d.CanStab);
    SetEnabled(d.Label3, d.CanStab);
    SetEnabled(d.Edit2, d.CanStab);
    if (!d.CanStab)
        Paint(d.Shape2, White);

    // Each keyword step narrows t to the value it took, so an ordinary reply meets one of
    // them only; an identification keeps the rest of the line and may carry a "TOL" on.
    QString t = d.Reply;
    if (t.contains(QLatin1String("OK")))
        ++d.ReqState;
    if (int p = int(t.indexOf(QLatin1String("OUT"))); p >= 0) {
        t = t.mid(p + 3, 1);
        d.OutOn = t != QLatin1String("0");
        d.ReqState = 2;
    }
    if (int p = int(t.indexOf(QLatin1String("STA"))); p >= 0) {
        t = t.mid(p + 3, 1);
        d.StaOn = t != QLatin1String("0");
        d.ReqState = 3;
    }
    if (int p = int(t.indexOf(QLatin1String("NAP"))); p >= 0) {
        t = t.mid(p + 3, 3);
        d.UPrev = d.U;
        bool ok = false;
        const double u = StrToFloatDot(t, &ok);
        d.U = ok ? u : -1;
        if (d.CheckBox1 && d.CheckBox1->isChecked() && d.U != d.UPrev)
            WriteRecordRow(Slot);
        d.ReqState = 4;
    }
    if (int p = int(t.indexOf(QLatin1String("TYP"))); p >= 0) {
        t = t.mid(p + 3);
        const int vc = int(t.indexOf(QLatin1String("VC")));
        // The reply holds the source's 8-bit text, one character per byte; its letters
        // beyond ASCII are those of the code page, as everywhere else in the program.
        const QString type = FromCp1250((vc >= 0 ? t.left(vc) : t).toLatin1());
        const QString serial = vc >= 0 ? FromCp1250(t.mid(vc + 2).toLatin1()) : QString();
        d.TypeText = type + QStringLiteral("   v.č.: ") + serial;
        d.ReqState = 5;
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
        d.ReqState = 1;
        NextSource(d.Line);
    }

    if (d.Disp1)
        d.Disp1->SetCaption(QStringLiteral("U = ") + FormatWhole(d.U, 3) + QStringLiteral(" V"));
    if (d.Disp2)
        d.Disp2->SetCaption(QStringLiteral("Tol = ") + FormatWhole(d.Tol, 1) +
                            QStringLiteral(" V"));
    SetPanelTitle(d.Label1, QString::number(Slot) + QStringLiteral(": Adr.") +
                                QString::number(d.Address) + QStringLiteral(",  ") + d.TypeText);
    Paint(d.Shape1, d.OutOn ? Lime : Red);
    // A source that cannot stabilise keeps its lamp white whatever it reports.
    Paint(d.Shape2, !d.CanStab ? White : d.StaOn ? Lime : Red);
}
