#include "frame.h"

#include <cstdint>

namespace {

const char *const CommandText[] = {"ID", "NAP", "OUT", "STA", "TOL"};

char HexDigit(int v)
{
    return "0123456789ABCDEF"[v & 15];
}

} // namespace

QByteArray BuildFrame(int Address, int Command, const QByteArray &Value)
{
    QByteArray body;
    body.reserve(8 + Value.size());
    body += HexDigit(Address >> 4);
    body += HexDigit(Address);
    if (Command >= cmdID && Command <= cmdTOL)
        body += CommandText[Command];
    body += Value;
    unsigned sum = 0;
    for (char c : body)
        sum += uint8_t(c);
    QByteArray frame;
    frame.reserve(body.size() + 4);
    frame += '@';
    frame += body;
    frame += HexDigit(int(sum >> 4));
    frame += HexDigit(int(sum));
    frame += '\r';
    return frame;
}
