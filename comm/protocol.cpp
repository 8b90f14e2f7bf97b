#include "protocol.h"

#include "afcomport.h"
#include "commlog.h"
#include "conversation.h"
#include "global.h"
#include "search.h"
#include "services.h"

#include <cctype>

namespace {

bool IsSlot(int s)
{
    return s >= 1 && s <= MaxDevices;
}
bool IsLine(int l)
{
    return l >= 1 && l <= MaxLines;
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
    if (SearchWaiting(Line)) {
        // The answer to the search's request: the line may go on after the short pause.
        LogSearchReceived(Line, SearchOf(Line).Asking, ln.RxBuf.toLatin1());
        SearchReply(Line, ln.RxBuf);
        ln.RxBuf.clear();
        ln.Waiting = false;
        ln.Countdown = ReplyPause;
        return;
    }
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

void ClearReply(int Line)
{
    if (!IsLine(Line))
        return;
    Lines[Line].RxBuf.clear();
    Lines[Line].Overflowed = false;
}

void LineDataReceived(int Line, QObject *Sender, int32_t Count)
{
    if (!IsLine(Line))
        return;
    TAfComPort *port = LinePort(Line);
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
            ln.Overflowed = false;
        } else if (ln.Overflowed) {
            if (c == '\r')
                ln.Overflowed = false;
            continue;
        }
        ln.RxBuf += QChar(uint8_t(c));
        if (c == '\r') {
            CompleteReply(Line);
        } else if (ln.RxBuf.size() >= MaxReplyLength) {
            ln.RxBuf.clear();
            ln.Overflowed = true;
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
