#include "afserialsettings.h"

#include <sys/ioctl.h>
#include <termios.h>

namespace {

struct SpeedEntry
{
    uint32_t Rate;
    speed_t Code;
};

const SpeedEntry Speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedCode(uint32_t rate, speed_t *code)
{
    for (const SpeedEntry &e : Speeds)
        if (e.Rate == rate) {
            *code = e.Code;
            return true;
        }
    return false;
}

uint32_t SpeedRate(speed_t code)
{
    for (const SpeedEntry &e : Speeds)
        if (e.Code == code)
            return e.Rate;
    return 0;
}

} // namespace

uint32_t AfBaudRateValue(TAfBaudrate rate, uint32_t userRate)
{
    static const uint32_t rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                     19200, 38400, 56000, 57600, 115200, 128000, 256000};
    if (rate == brUser)
        return userRate;
    if (rate < br110 || rate > br256000)
        return 0;
    return rates[rate];
}

TAfDCB AfBuildDCB(const TAfPortSettings &s)
{
    using namespace AfDcbFlag;
    static const uint32_t flowFlags[] = {0, OutX | InX, OutxCtsFlow | RtsHandshake,
                                         OutxDsrFlow | DtrHandshake};
    static const uint32_t optionFlags[] = {Parity, DsrSensitivity, TxContinueOnXoff, ErrorChar,
                                           Null};
    TAfDCB d;
    d.DCBlength = sizeof(TAfDCB);
    d.BaudRate = AfBaudRateValue(s.BaudRate, s.UserBaudRate);
    d.Flags = Binary;
    if (s.FlowControl >= fwNone && s.FlowControl <= fwDtrDsr)
        d.Flags |= flowFlags[s.FlowControl];
    for (int o = coParityCheck; o <= coStripNull; ++o)
        if (s.Options & AfComOption(TAfComOption(o)))
            d.Flags |= optionFlags[o];
    // Handshake owns the line it uses; otherwise the line is simply raised.
    if (s.FlowControl != fwDtrDsr)
        d.Flags |= DtrEnable;
    if (s.FlowControl != fwRtsCts)
        d.Flags |= RtsEnable;
    d.XonLim = s.XOnLim;
    d.XoffLim = s.XOffLim;
    d.ByteSize = uint8_t(s.Databits + 4);
    d.Parity = uint8_t(s.Parity);
    d.StopBits = uint8_t(s.Stopbits);
    d.XonChar = char(s.XOnChar);
    d.XoffChar = char(s.XOffChar);
    return d;
}

bool AfDcbToTermios(const TAfDCB &dcb, termios &t, uint32_t *customRate)
{
    using namespace AfDcbFlag;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);

    switch (dcb.ByteSize) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    case 8:
        t.c_cflag |= CS8;
        break;
    default:
        return false;
    }
    switch (dcb.Parity) {
    case 0:
        break;
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        return false;
    }
    switch (dcb.StopBits) {
    case 0:
        break;
    case 1: // one and a half: the UART takes CSTOPB as 1.5 with 5 data bits
    case 2:
        t.c_cflag |= CSTOPB;
        break;
    default:
        return false;
    }
    if (dcb.Flags & Parity)
        t.c_iflag |= INPCK;
    if ((dcb.Flags & OutxCtsFlow) || (dcb.Flags & RtsControlMask) == RtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & (OutX | InX)) {
        if (dcb.XonChar == dcb.XoffChar)
            return false;
        if (dcb.Flags & OutX)
            t.c_iflag |= IXON;
        if (dcb.Flags & InX)
            t.c_iflag |= IXOFF;
    }
    t.c_cc[VSTART] = cc_t(dcb.XonChar);
    t.c_cc[VSTOP] = cc_t(dcb.XoffChar);
    // A read returns at once with whatever has arrived.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    if (dcb.BaudRate == 0)
        return false;
    speed_t code;
    *customRate = 0;
    if (!SpeedCode(dcb.BaudRate, &code)) {
        code = B38400; // placeholder until the exact rate is set through termios2
        *customRate = dcb.BaudRate;
    }
    cfsetispeed(&t, code);
    cfsetospeed(&t, code);
    return true;
}

TAfDCB AfDcbFromTermios(const termios &t, uint32_t knownRate)
{
    using namespace AfDcbFlag;
    TAfDCB d;
    d.BaudRate = knownRate ? knownRate : SpeedRate(cfgetospeed(&t));
    d.Flags = Binary | DtrEnable;
    d.Flags |= (t.c_cflag & CRTSCTS) ? (OutxCtsFlow | RtsHandshake) : RtsEnable;
    if (t.c_iflag & INPCK)
        d.Flags |= Parity;
    if (t.c_iflag & IXON)
        d.Flags |= OutX;
    if (t.c_iflag & IXOFF)
        d.Flags |= InX;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        d.ByteSize = 5;
        break;
    case CS6:
        d.ByteSize = 6;
        break;
    case CS7:
        d.ByteSize = 7;
        break;
    default:
        d.ByteSize = 8;
        break;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = t.c_cflag & PARODD;
        d.Parity = (t.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : 2);
    }
    d.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    d.XonChar = char(t.c_cc[VSTART]);
    d.XoffChar = char(t.c_cc[VSTOP]);
    return d;
}

bool AfSetModemLine(int fd, int line, bool on)
{
    int bits = line;
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool AfApplyDCB(int fd, const TAfDCB &dcb)
{
    using namespace AfDcbFlag;
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return false;
    uint32_t customRate = 0;
    if (!AfDcbToTermios(dcb, t, &customRate) || tcsetattr(fd, TCSANOW, &t) != 0)
        return false;
    if (customRate && !AfSetCustomRate(fd, customRate))
        return false;
    // A pseudo-terminal has no modem lines; refusing them is not an error.
    AfSetModemLine(fd, TIOCM_DTR, (dcb.Flags & DtrControlMask) != 0);
    const uint32_t rts = dcb.Flags & RtsControlMask;
    AfSetModemLine(fd, TIOCM_RTS, rts == RtsEnable || rts == RtsHandshake);
    return true;
}

bool AfReadDCB(int fd, TAfDCB &dcb)
{
    using namespace AfDcbFlag;
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return false;
    dcb = AfDcbFromTermios(t, AfCurrentRate(fd));
    int bits = 0;
    if (ioctl(fd, TIOCMGET, &bits) == 0) {
        if (!(bits & TIOCM_DTR))
            dcb.Flags &= ~DtrControlMask;
        if (!(bits & TIOCM_RTS) && (dcb.Flags & RtsControlMask) == RtsEnable)
            dcb.Flags &= ~RtsControlMask;
    }
    return true;
}
