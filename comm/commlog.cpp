#include "commlog.h"

#include "cp1250.h"
#include "forms.h"
#include "global.h"
#include "guarded.h"

#include <QEvent>
#include <QHash>
#include <QPlainTextEdit>
#include <QStringList>
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

void SetMemoLines(QPlainTextEdit *m, int n)
{
    m->setProperty(LinesProperty, n);
}

// Puts text at line 0, as a new line or over the old one, and drops the oldest lines beyond
// the depth of the log, in one edit so that the memo lays out only what changed.
void PutInMemo(QPlainTextEdit *m, const QString &text, bool asNewLine)
{
    int n = MemoLines(m);
    QTextDocument *doc = m->document();
    QTextCursor c(doc);
    c.beginEditBlock();
    if (n == 0) {
        c.insertText(text);
        n = 1;
    } else if (asNewLine) {
        c.insertText(text + QChar(QChar::ParagraphSeparator));
        ++n;
    } else {
        // Positions from the blocks, not cursor movements: moving to the end of a block
        // lays the block out (shapes its text) first, and the log changes with every frame.
        const QTextBlock first = doc->firstBlock();
        if (const QTextBlock second = first.next(); second.isValid()) {
            // Replaced together with its line break, the change spans two lines, and the
            // memo then lays the lines out when it next shows them rather than at once.
            c.setPosition(second.position(), QTextCursor::KeepAnchor);
            c.insertText(text + QChar(QChar::ParagraphSeparator));
        } else {
            c.setPosition(first.position() + first.length() - 1, QTextCursor::KeepAnchor);
            c.insertText(text);
        }
    }
    if (n > LogDepth) {
        const QTextBlock last = doc->findBlockByNumber(LogDepth - 1);
        QTextCursor tail(doc);
        tail.setPosition(last.position() + last.length() - 1);
        tail.setPosition(doc->characterCount() - 1, QTextCursor::KeepAnchor);
        tail.removeSelectedText();
        n = LogDepth;
    }
    c.endEditBlock();
    SetMemoLines(m, n);
}

// The lines of a memo that is hidden while its window is shown (the main page is usually
// the one in front). A text document takes two new lines per request on every line, the
// costliest part of a tick; here they are a list, written into the memo when it is shown.
class TMemoLog : public QObject
{
public:
    explicit TMemoLog(QPlainTextEdit *memo) : QObject(memo), m_memo(memo)
    {
        All().insert(memo, this);
        memo->installEventFilter(this);
    }
    ~TMemoLog() override { All().remove(m_memo); }

    static QHash<const QPlainTextEdit *, TMemoLog *> &All()
    {
        static QHash<const QPlainTextEdit *, TMemoLog *> all;
        return all;
    }

    static TMemoLog *Of(QPlainTextEdit *m)
    {
        TMemoLog *log = All().value(m);
        return log ? log : new TMemoLog(m);
    }

    void Put(const QString &text, bool asNewLine)
    {
        // Not in sight while its window is: keep the lines aside. A window not shown at all
        // (being built, hidden) gets them at once, as does a memo on the page in front.
        const bool aside = !m_memo->isVisible() && m_memo->window()->isVisible();
        if (!aside) {
            Flush();
            PutInMemo(m_memo, text, asNewLine);
            return;
        }
        if (!m_aside || m_memo->document()->revision() != m_revision)
            Take();
        if (m_lines.isEmpty())
            m_lines.append(text);
        else if (asNewLine)
            m_lines.prepend(text);
        else
            m_lines.first() = text;
        while (m_lines.size() > LogDepth)
            m_lines.removeLast();
    }

    int Lines()
    {
        if (m_aside && m_memo->document()->revision() == m_revision)
            return int(m_lines.size());
        return MemoLines(m_memo);
    }

    void Flush()
    {
        if (!m_aside)
            return;
        m_aside = false;
        if (m_memo->document()->revision() != m_revision)
            return; // someone else changed the memo meanwhile; its text stands
        QTextDocument *doc = m_memo->document();
        QTextCursor c(doc);
        c.beginEditBlock();
        c.select(QTextCursor::Document);
        c.insertText(m_lines.join(QChar(QChar::ParagraphSeparator)));
        c.endEditBlock();
        SetMemoLines(m_memo, int(m_lines.size()));
        m_lines.clear();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_memo && event->type() == QEvent::Show)
            Guarded([this] { Flush(); });
        return false;
    }

private:
    // Starts keeping the lines aside from what the memo holds now.
    void Take()
    {
        m_lines.clear();
        const int n = MemoLines(m_memo);
        QTextBlock b = m_memo->document()->firstBlock();
        for (int i = 0; i < n && b.isValid(); ++i, b = b.next())
            m_lines.append(b.text());
        m_revision = m_memo->document()->revision();
        m_aside = true;
    }

    QPlainTextEdit *m_memo;
    QStringList m_lines; // newest first, as the memo would hold them
    bool m_aside = false;
    int m_revision = 0; // of the document when the lines were taken
};

void Put(QPlainTextEdit *m, const QString &text, bool asNewLine)
{
    TMemoLog::Of(m)->Put(text, asNewLine);
}

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
    if (TMemoLog::Of(recv)->Lines() == 0)
        Put(sent, QString(), true);
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

void FlushLog()
{
    const QList<TMemoLog *> logs = TMemoLog::All().values();
    for (TMemoLog *log : logs)
        log->Flush();
}

void LogSent(int Line, const QByteArray &Frame)
{
    QPlainTextEdit *sent, *recv;
    if (!Memos(Line, sent, recv))
        return;
    Put(sent, Entry(Line, Frame), true);
    Put(recv, QString(), true);
}

void LogReceived(int Line, const QByteArray &Reply)
{
    QPlainTextEdit *sent, *recv;
    if (!Memos(Line, sent, recv))
        return;
    KeepPaired(sent, recv);
    Put(recv, Entry(Line, Reply), false);
}

void LogNoAnswer(int Line)
{
    QPlainTextEdit *sent, *recv;
    if (!Memos(Line, sent, recv))
        return;
    KeepPaired(sent, recv);
    Put(recv, Prefix(Line) + TextNoAnswer, false);
}
