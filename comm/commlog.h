#pragma once

// The communication log: per line the last 50 requests and replies, newest first, as plain
// lists. The communication page draws them (its memos show one entry a line: the request
// in the one, the reply or the missing answer opposite in the other).

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

constexpr int LogDepth = 50; // entries kept on each line

struct TLogEntry
{
    QString Sent;     // the request, or empty for a reply that no request stands opposite
    QString Received; // the reply or the missing answer, empty while awaited
};

struct TLineLog
{
    QList<TLogEntry> Entries; // newest first, at most LogDepth
    uint64_t Begun = 0;       // entries ever begun on the line: tells a view what is new
    uint64_t Revision = 0;    // changes ever made: tells a view that something changed
};

void LogSent(int Line, const QByteArray &Frame);
void LogReceived(int Line, const QByteArray &Reply);
void LogNoAnswer(int Line);
// The search's request to an address and its answer.
void LogSearchSent(int Line, int Address, const QByteArray &Frame);
void LogSearchReceived(int Line, int Address, const QByteArray &Reply);
void LogSearchNoAnswer(int Line, int Address);
// An entry of the line itself (not a request), e.g. that its device went or came back.
void LogNote(int Line, const QString &Text);

// The log of line 1..4; an empty log for any other number.
const TLineLog &LineLog(int Line);
// Empties the logs of all lines (with the tables).
void ClearLogs();

// A frame or reply as the log shows it: each byte as its code page character, the carriage
// return as "↵" and other control codes as their control pictures (U+2400..), so that one
// entry always stays one line.
QString LogText(const QByteArray &Bytes);
