#pragma once

// Conversion between the program's text and the 8-bit Central European Windows code page
// (1250) of the recording, export and settings files.

#include <QByteArray>
#include <QString>
#include <QStringList>

// Characters that the code page cannot hold are written as "?"; decoding never fails:
// the bytes the code page leaves undefined (81, 83, 88, 90, 98) come back as the control
// characters U+0081 ... U+0098 and are written as those bytes again.
QByteArray ToCp1250(const QString &text);
QString FromCp1250(const QByteArray &bytes);

// The lines joined with CR LF after each, in the code page: the body of a text file.
QByteArray Cp1250Lines(const QStringList &lines);
