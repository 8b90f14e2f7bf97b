#pragma once

// A serial port without a device: it opens (or fails to, on demand), records every frame
// written and hands out the bytes the test puts in.

#include "afcomport.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstring>

class FakePort : public TAfComPort
{
public:
    using TAfComPort::TAfComPort;

    bool Active() const override { return open; }
    void Open() override
    {
        ++opens;
        if (failOpen)
            throw EAfComPortError("Invalid port number");
        open = true;
    }
    void Close() override
    {
        open = false;
        ++closes;
    }
    int ReadData(char *buffer, int count) override
    {
        const int n = std::min(count, int(rx.size()));
        std::memcpy(buffer, rx.constData(), size_t(n));
        rx.remove(0, n);
        return n;
    }
    void WriteData(const char *buffer, int count) override
    {
        if (failWrites)
            throw EAfComPortError("Write data error [requested: 1, free: 0] - Port ");
        frames.append(QByteArray(buffer, count));
    }

    bool open = false, failOpen = false, failWrites = false;
    int opens = 0, closes = 0;
    QByteArray rx;            // received bytes not yet read
    QList<QByteArray> frames; // every frame written, in order
};
