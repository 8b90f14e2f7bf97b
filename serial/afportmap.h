#pragma once

// COM number to device path. The application names its settings file once; the "Ports"
// section of that file (COM1=/dev/ttyUSB0) is read each time a port opens, so an edited
// file takes effect at the next connection. A port without an entry is /dev/ttyS<n-1>.

#include <QByteArray>
#include <QString>

void AfSetPortMapFile(const QString &iniPath);
QString AfPortMapFile();

// The device path for COM port Number (Number >= 1).
QByteArray AfPortDevicePath(int number);

// What a COM number stands for on this machine, for the operator's information: the device
// path, whether it comes from the "Ports" section, and whether that device exists now (a
// link to a device that has gone counts as missing, as it does when the port opens).
struct TAfPortInfo
{
    QByteArray Path;
    bool Mapped = false;
    bool Present = false;
};
TAfPortInfo AfPortInfo(int number);
