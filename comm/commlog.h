#pragma once

// The communication page: per line the last 50 requests and replies, newest first.

#include <QByteArray>

void LogSent(int Line, const QByteArray &Frame);
void LogReceived(int Line, const QByteArray &Reply);
void LogNoAnswer(int Line);
