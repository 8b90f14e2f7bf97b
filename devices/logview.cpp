#include "logview.h"

#include "commlog.h"
#include "forms.h"
#include "global.h"
#include "guarded.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// What one memo shows of its line's log.
struct TMemoView
{
    QPointer<QPlainTextEdit> memo;
    uint64_t begun = 0;        // the log's entries begun when it was drawn
    uint64_t revision = 0;     // the log's revision when it was drawn
    int lines = 0;             // entries shown
    QString newest;            // the text of the newest entry shown
    int documentRevision = -1; // of the memo when drawn: someone else's edit redraws it all
    bool drawn = false;
};

TMemoView Views[MaxLines + 1][2]; // [line][0: sent, 1: received]

const QString &Text(const TLogEntry &e, int side)
{
    return side == 0 ? e.Sent : e.Received;
}

QPlainTextEdit *MemoOf(int line, int side)
{
    if (!FormMain)
        return nullptr;
    return side == 0 ? FormMain->SentMemo(line) : FormMain->RecvMemo(line);
}

void DrawAll(TMemoView &v, const TLineLog &log, int side)
{
    QStringList lines;
    lines.reserve(log.Entries.size());
    for (const TLogEntry &e : log.Entries)
        lines.append(Text(e, side));
    QTextCursor c(v.memo->document());
    c.beginEditBlock();
    c.select(QTextCursor::Document);
    c.insertText(lines.join(QChar(QChar::ParagraphSeparator)));
    c.endEditBlock();
}

// The entries begun since the memo was drawn go on top, the newest one shown before is
// written again when its text changed (its reply came), and the oldest beyond the depth
// go, in one edit, so that the memo lays out only what changed.
void DrawNew(TMemoView &v, const TLineLog &log, int side, int fresh)
{
    QTextDocument *doc = v.memo->document();
    QTextCursor c(doc);
    c.beginEditBlock();
    if (v.lines > 0 && Text(log.Entries.at(fresh), side) != v.newest) {
        // Positions from the blocks, not cursor movements: moving to the end of a block
        // lays the block out (shapes its text) first.
        const QTextBlock first = doc->firstBlock();
        c.setPosition(first.position());
        c.setPosition(first.position() + first.length() - 1, QTextCursor::KeepAnchor);
        c.insertText(Text(log.Entries.at(fresh), side));
    }
    if (fresh > 0) {
        QString top;
        for (int i = 0; i < fresh; ++i) {
            if (i > 0)
                top += QChar(QChar::ParagraphSeparator);
            top += Text(log.Entries.at(i), side);
        }
        if (v.lines > 0)
            top += QChar(QChar::ParagraphSeparator);
        c.setPosition(0);
        c.insertText(top);
    }
    const int shown = v.lines + fresh;
    if (shown > LogDepth) {
        const QTextBlock last = doc->findBlockByNumber(LogDepth - 1);
        QTextCursor tail(doc);
        tail.setPosition(last.position() + last.length() - 1);
        tail.setPosition(doc->characterCount() - 1, QTextCursor::KeepAnchor);
        tail.removeSelectedText();
    }
    c.endEditBlock();
}

// Shows the memo when it is shown, not at the next tick.
class TShowWatch : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            Guarded(FlushLog);
        return false;
    }
};

// The memo's view, new for a memo not seen before.
TMemoView &ViewOf(int line, int side, QPlainTextEdit *m)
{
    TMemoView &v = Views[line][side];
    if (v.memo != m) {
        v = TMemoView{};
        v.memo = m;
        // The log runs for the whole session: an undo history would keep every entry ever
        // written.
        m->document()->setUndoRedoEnabled(false);
        m->installEventFilter(new TShowWatch(m));
    }
    return v;
}

void Draw(int line, int side)
{
    QPlainTextEdit *m = MemoOf(line, side);
    if (!m)
        return;
    TMemoView &v = ViewOf(line, side, m);
    const TLineLog &log = LineLog(line);
    if (v.drawn && v.revision == log.Revision && v.documentRevision == m->document()->revision())
        return;
    const uint64_t fresh = log.Begun - v.begun;
    const int size = int(log.Entries.size());
    const bool incremental = v.drawn && v.documentRevision == m->document()->revision() &&
                             log.Begun >= v.begun && fresh < uint64_t(size) &&
                             qMin(v.lines + int(fresh), LogDepth) == size;
    if (incremental)
        DrawNew(v, log, side, int(fresh));
    else
        DrawAll(v, log, side);
    v.drawn = true;
    v.begun = log.Begun;
    v.revision = log.Revision;
    v.lines = size;
    v.newest = size > 0 ? Text(log.Entries.first(), side) : QString();
    v.documentRevision = m->document()->revision();
}

const bool Registered = [] {
    AtTableReset([] {
        for (auto &line : Views)
            for (TMemoView &v : line)
                v.drawn = false;
    });
    return true;
}();

} // namespace

void RefreshLog()
{
    for (int line = 1; line <= MaxLines; ++line)
        for (int side = 0; side < 2; ++side)
            if (QPlainTextEdit *m = MemoOf(line, side)) {
                // Not in sight while its window is: drawn when it is shown.
                if (m->isVisible() || !m->window()->isVisible())
                    Draw(line, side);
                else
                    ViewOf(line, side, m);
            }
}

void FlushLog()
{
    for (int line = 1; line <= MaxLines; ++line)
        for (int side = 0; side < 2; ++side)
            Draw(line, side);
}
