#include "search.h"

#include "cp1250.h"
#include "frame.h"
#include "global.h"

namespace {

TLineSearch Searches[MaxLines + 1];

bool IsLine(int l)
{
    return l >= 1 && l <= MaxLines;
}

// The asked address answered or its window ran out; a search with nothing left is over.
void EndAsk(TLineSearch &s)
{
    s.Asking = -1;
    if (s.ToAsk.isEmpty())
        s.Active = false;
}

const bool Registered = [] {
    AtTableReset([] {
        for (TLineSearch &s : Searches)
            s = TLineSearch{};
    });
    return true;
}();

} // namespace

void StartSearch(int Line, const QList<int> &Addresses)
{
    if (!IsLine(Line))
        return;
    TLineSearch &s = Searches[Line];
    const int asking = s.Asking; // a request still out keeps its answer window
    s = TLineSearch{};
    s.Asking = asking;
    s.ToAsk = Addresses;
    s.Total = int(Addresses.size());
    s.Active = !Addresses.isEmpty();
}

void StopSearch(int Line)
{
    if (!IsLine(Line))
        return;
    Searches[Line].ToAsk.clear();
    Searches[Line].Active = false;
}

const TLineSearch &SearchOf(int Line)
{
    static const TLineSearch none;
    return IsLine(Line) ? Searches[Line] : none;
}

bool Searching(int Line)
{
    return IsLine(Line) && (Searches[Line].Active || Searches[Line].Asking >= 0);
}

bool SearchWaiting(int Line)
{
    return IsLine(Line) && Searches[Line].Asking >= 0;
}

bool SearchTakesTurn(int Line, QByteArray *Frame)
{
    if (!IsLine(Line))
        return false;
    TLineSearch &s = Searches[Line];
    if (!s.Active || s.Asking >= 0)
        return false;
    if (s.ToAsk.isEmpty()) {
        s.Active = false;
        return false;
    }
    // With sources on the line, every other request is theirs.
    if (Lines[Line].Cur != NoDevice) {
        s.Turn = !s.Turn;
        if (!s.Turn)
            return false;
    }
    s.Asking = s.ToAsk.takeFirst();
    ++s.Asked;
    if (Frame)
        *Frame = BuildFrame(s.Asking, cmdID, "?");
    return true;
}

void SearchReply(int Line, const QString &Reply)
{
    if (!SearchWaiting(Line))
        return;
    TLineSearch &s = Searches[Line];
    // Only the asked address's own identification counts; anything else is noise.
    bool ok = false;
    const int named = Reply.mid(1, 2).toInt(&ok, 16);
    const QString type = IdentifiedType(Reply);
    if (ok && named == s.Asking && !type.isEmpty())
        s.Found.insert(s.Asking, type);
    EndAsk(s);
}

void SearchNoAnswer(int Line)
{
    if (!SearchWaiting(Line))
        return;
    EndAsk(Searches[Line]);
}

QString IdentifiedType(const QString &Reply)
{
    const int p = int(Reply.indexOf(QLatin1String("TYP")));
    if (p < 0)
        return {};
    QString t = Reply.mid(p + 3);
    const int vc = int(t.indexOf(QLatin1String("VC")));
    if (vc >= 0)
        t = t.left(vc);
    // The source's 8-bit text, as the panel's title reads it.
    return FromCp1250(t.toLatin1()).trimmed();
}
