#include "commlog.h"

#include "forms.h"
#include "global.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// A memo is a list of lines, newest first. An empty document and a document holding one
// empty line look alike, so each memo carries its line count with it.
const char *const LinesProperty = "ardemoLogLines";

int MemoLines(QPlainTextEdit *m)
{
    const int n = m->property(LinesProperty).toInt();
    const int blocks = m->document()->blockCount();
    // Someone else changed the text (cleared it): trust the document.
    if (n == 0 ? !m->document()->isEmpty() : n != blocks)
        return m->document()->isEmpty() ? 0 : blocks;
    return n;
}

void SetMemoLines(QPlainTextEdit *m, int n) { m->setProperty(LinesProperty, n); }

// Inserts text as line 0, without touching the lines below.
void InsertTop(QPlainTextEdit *m, const QString &text)
{
    const int n = MemoLines(m);
    QTextCursor c(m->document());
    c.movePosition(QTextCursor::Start);
    if (n == 0)
        c.insertText(text);
    else
        c.insertText(text + QChar(QChar::ParagraphSeparator));
    SetMemoLines(m, n + 1);
}

// Replaces line 0; an empty memo gets it as its first line.
void ReplaceTop(QPlainTextEdit *m, const QString &text)
{
    if (MemoLines(m) == 0) {
        InsertTop(m, text);
        return;
    }
    QTextCursor c(m->document()->firstBlock());
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(text);
}

// Drops the oldest lines beyond the depth of the log.
void Trim(QPlainTextEdit *m)
{
    const int n = MemoLines(m);
    if (n <= LogDepth)
        return;
    QTextCursor c(m->document()->findBlockByNumber(LogDepth - 1));
    c.movePosition(QTextCursor::EndOfBlock);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    SetMemoLines(m, LogDepth);
}

QString Prefix(int Line)
{
    return TextDevNo + QString::number(Lines[Line].Cur);
}

QString Entry(int Line, const QByteArray &bytes)
{
    const int s = Lines[Line].Cur;
    const int32_t state = s >= 1 && s <= MaxDevices ? Devices[s].ReqState : 0;
    return Prefix(Line) + QStringLiteral(", Stav") + QString::number(state) + QStringLiteral(": ")
           + LogText(bytes);
}

bool Memos(int Line, QPlainTextEdit *&sent, QPlainTextEdit *&recv)
{
    if (!FormMain || Line < 1 || Line > MaxLines)
        return false;
    sent = FormMain->SentMemo(Line);
    recv = FormMain->RecvMemo(Line);
    if (!sent || !recv)
        return false;
    // The log runs for the whole session: an undo history would keep every entry ever
    // written.
    for (QPlainTextEdit *m : {sent, recv})
        if (m->document()->isUndoRedoEnabled())
            m->document()->setUndoRedoEnabled(false);
    return true;
}

// A reply or time-out with no request line opposite it (the memos were empty): give it an
// empty request line so that both columns stay side by side.
void KeepPaired(QPlainTextEdit *sent, QPlainTextEdit *recv)
{
    if (MemoLines(recv) == 0) {
        InsertTop(sent, QString());
        Trim(sent);
    }
}

} // namespace

QString LogText(const QByteArray &Bytes)
{
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
        else
            s += QChar(b);
    }
    return s;
}

void LogSent(int Line, const QByteArray &Frame)
{
    QPlainTextEdit *sent, *recv;
    if (!Memos(Line, sent, recv))
        return;
    InsertTop(sent, Entry(Line, Frame));
    InsertTop(recv, QString());
    Trim(sent);
    Trim(recv);
}

void LogReceived(int Line, const QByteArray &Reply)
{
    QPlainTextEdit *sent, *recv;
    if (!Memos(Line, sent, recv))
        return;
    KeepPaired(sent, recv);
    ReplaceTop(recv, Entry(Line, Reply));
    Trim(recv);
}

void LogNoAnswer(int Line)
{
    QPlainTextEdit *sent, *recv;
    if (!Memos(Line, sent, recv))
        return;
    KeepPaired(sent, recv);
    ReplaceTop(recv, Prefix(Line) + TextNoAnswer);
    Trim(recv);
}
