#pragma once

// Small file helpers for the tests: whole files in and out, and a settings file whose
// "Ports" section names the devices of COM1, COM2, ...

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

// Replaces the file's content; false when it cannot be written whole.
inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The file's content; empty when it cannot be read.
inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A settings file mapping COM1, COM2, ... in turn to the given devices.
inline bool WritePortsIni(const QString &path, const QStringList &devices)
{
    QString text = QStringLiteral("[Ports]\r\n");
    for (int i = 0; i < devices.size(); ++i)
        text += QStringLiteral("COM%1=%2\r\n").arg(i + 1).arg(devices[i]);
    return WriteFile(path, text.toUtf8());
}
