#pragma once

// The communication page: per line the last 50 requests and replies, newest first.

#include <QByteArray>
#include <QString>

constexpr int LogDepth = 50; // lines kept in each memo

void LogSent(int Line, const QByteArray &Frame);
void LogReceived(int Line, const QByteArray &Reply);
void LogNoAnswer(int Line);

// While a memo is hidden (its window shown on another page) the log keeps the memo's lines
// aside and writes them in when the memo is shown. Writes them in now, for a reader that
// looks at the memos' documents while they are hidden.
void FlushLog();

// A frame or reply as the memos show it: each byte as its Latin-1 character, the carriage
// return as "↵" and other control codes as their control pictures (U+2400..), so that one
// entry always stays one memo line.
QString LogText(const QByteArray &Bytes);
