#include "commlog.h"

#include "cp1250.h"
#include "global.h"
#include "strtable.h"

namespace {

TLineLog Logs[MaxLines + 1];

bool IsLine(int l)
{
    return l >= 1 && l <= MaxLines;
}

const bool Registered = [] {
    AtTableReset(ClearLogs);
    return true;
}();

QString Prefix(int Line)
{
    return TextDevNo + QString::number(Lines[Line].Cur);
}

QString Entry(int Line, const QByteArray &bytes)
{
    const int s = Lines[Line].Cur;
    const int32_t state = s >= 1 && s <= MaxDevices ? Devices[s].ReqState : 0;
    return Prefix(Line) + QStringLiteral(", Stav") + QString::number(state) + QStringLiteral(": ") +
           LogText(bytes);
}

void Begin(int Line, const QString &sent, const QString &received)
{
    TLineLog &log = Logs[Line];
    log.Entries.prepend(TLogEntry{sent, received});
    if (log.Entries.size() > LogDepth)
        log.Entries.removeLast();
    ++log.Begun;
    ++log.Revision;
}

// A reply or time-out goes opposite the newest request; with no request logged yet it gets
// an empty one, so that both columns stay side by side.
void Answer(int Line, const QString &text)
{
    TLineLog &log = Logs[Line];
    if (log.Entries.isEmpty()) {
        Begin(Line, QString(), text);
        return;
    }
    log.Entries.first().Received = text;
    ++log.Revision;
}

} // namespace

QString LogText(const QByteArray &Bytes)
{
    // Bytes beyond ASCII are the code page's letters, as in every text of the program.
    static const QString upper = [] {
        QByteArray bytes(0x80, '\0');
        for (int b = 0x80; b <= 0xFF; ++b)
            bytes[b - 0x80] = char(b);
        return FromCp1250(bytes);
    }();
    QString s;
    s.reserve(Bytes.size());
    for (char ch : Bytes) {
        const uint8_t b = uint8_t(ch);
        if (b == '\r')
            s += QChar(0x21B5); // ↵
        else if (b < 0x20)
            s += QChar(0x2400 + b);
        else if (b == 0x7F)
            s += QChar(0x2421);
        else if (b < 0x80)
            s += QChar(b);
        else
            s += upper.at(b - 0x80);
    }
    return s;
}

void LogSent(int Line, const QByteArray &Frame)
{
    if (IsLine(Line))
        Begin(Line, Entry(Line, Frame), QString());
}

void LogReceived(int Line, const QByteArray &Reply)
{
    if (IsLine(Line))
        Answer(Line, Entry(Line, Reply));
}

void LogNoAnswer(int Line)
{
    if (IsLine(Line))
        Answer(Line, Prefix(Line) + TextNoAnswer);
}

void LogSearchSent(int Line, int Address, const QByteArray &Frame)
{
    if (IsLine(Line))
        Begin(Line, LoadMessage(sSearchLog).arg(Address) + LogText(Frame), QString());
}

void LogSearchReceived(int Line, int Address, const QByteArray &Reply)
{
    if (IsLine(Line))
        Answer(Line, LoadMessage(sSearchLog).arg(Address) + LogText(Reply));
}

void LogSearchNoAnswer(int Line, int Address)
{
    // "Hledání, adr.5: " and the language's "Neodpovídá" without its own ": ".
    if (IsLine(Line))
        Answer(Line, LoadMessage(sSearchLog).arg(Address) + LoadMessage(sNoAnswer).mid(2));
}

void LogNote(int Line, const QString &Text)
{
    if (IsLine(Line))
        Begin(Line, Text, QString());
}

const TLineLog &LineLog(int Line)
{
    static const TLineLog none;
    return IsLine(Line) ? Logs[Line] : none;
}

void ClearLogs()
{
    for (TLineLog &log : Logs) {
        log.Entries.clear();
        ++log.Revision;
    }
}
