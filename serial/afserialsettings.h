#pragma once

// Line settings of a port: the property enums of the component, the 28-byte device settings
// record built from them, and its translation into termios.

#include <cstdint>

struct termios;

enum TAfBaudrate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    brUser
};
enum TAfDatabits { db4, db5, db6, db7, db8 };
enum TAfParity { paNone, paOdd, paEven, paMark, paSpace };
enum TAfStopbits { sbOne, sbOneAndHalf, sbTwo };
enum TAfFlowControl { fwNone, fwXOnXOff, fwRtsCts, fwDtrDsr };
enum TAfComOption { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coStripNull };

// A set of TAfComOption, one bit per option in the order of the enum.
using TAfComOptions = uint32_t;
constexpr TAfComOptions AfComOption(TAfComOption o)
{
    return TAfComOptions(1) << o;
}

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Flag word of the settings record.
namespace AfDcbFlag {
constexpr uint32_t Binary = 0x1;
constexpr uint32_t Parity = 0x2;
constexpr uint32_t OutxCtsFlow = 0x4;
constexpr uint32_t OutxDsrFlow = 0x8;
constexpr uint32_t DtrControlMask = 0x30;
constexpr uint32_t DtrEnable = 0x10;
constexpr uint32_t DtrHandshake = 0x20;
constexpr uint32_t DsrSensitivity = 0x40;
constexpr uint32_t TxContinueOnXoff = 0x80;
constexpr uint32_t OutX = 0x100;
constexpr uint32_t InX = 0x200;
constexpr uint32_t ErrorChar = 0x400;
constexpr uint32_t Null = 0x800;
constexpr uint32_t RtsControlMask = 0x3000;
constexpr uint32_t RtsEnable = 0x1000;
constexpr uint32_t RtsHandshake = 0x2000;
constexpr uint32_t RtsToggle = 0x3000;
constexpr uint32_t AbortOnError = 0x4000;
} // namespace AfDcbFlag

// The device settings record, laid out byte for byte as the serial settings record of the
// ports' original platform (28 bytes), so that stored records and tools agree.
struct TAfDCB
{
    uint32_t DCBlength = 28;
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};
static_assert(sizeof(TAfDCB) == 28, "the settings record is 28 bytes");

// The properties that make up the record.
struct TAfPortSettings
{
    TAfBaudrate BaudRate = br115200;
    uint32_t UserBaudRate = 0;
    TAfDatabits Databits = db8;
    TAfParity Parity = paNone;
    TAfStopbits Stopbits = sbOne;
    TAfFlowControl FlowControl = fwNone;
    TAfComOptions Options = 0;
    uint8_t XOnChar = 17;
    uint8_t XOffChar = 19;
    uint16_t XOnLim = 0;
    uint16_t XOffLim = 0;
};

uint32_t AfBaudRateValue(TAfBaudrate rate, uint32_t userRate);
TAfDCB AfBuildDCB(const TAfPortSettings &settings);

// Raw 8-bit line with the record's rate, framing and flow control; reads return at once
// with what has arrived. False when termios cannot express the record (4 data bits,
// unknown codes, rate 0, equal XON and XOFF characters with XON/XOFF on). *customRate is
// set to the rate when it has no B-constant and must be set with AfSetCustomRate.
bool AfDcbToTermios(const TAfDCB &dcb, termios &t, uint32_t *customRate);
// The record that describes termios settings (rate from c_ospeed when known, else the
// B-constant), DTR and RTS taken as enabled.
TAfDCB AfDcbFromTermios(const termios &t, uint32_t knownRate);

// Device side: apply the record to an open port (DTR and RTS raised or lowered as the record
// says; a device that refuses the modem lines, like a pseudo-terminal, is not an error) and
// read the device's current settings back.
bool AfApplyDCB(int fd, const TAfDCB &dcb);
bool AfReadDCB(int fd, TAfDCB &dcb);
bool AfSetModemLine(int fd, int line, bool on);

// Rates without a B-constant (termios2); kept apart because its headers clash with termios.h.
bool AfSetCustomRate(int fd, uint32_t rate);
uint32_t AfCurrentRate(int fd); // 0 when the device does not say
