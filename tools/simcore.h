#pragma once

// Simulated power sources as seen from a serial line: the request frames the program sends,
// the behaviour of each source (output, voltage slewing towards the set value, noise,
// stabilisation, tolerance), the reply lines and the faults a test may ask for. Pure logic:
// no ports, no clocks; time is handed in as milliseconds.

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class Command { Id, Nap, Out, Sta, Tol };

const char *CommandText(Command command);

// Sum of the character codes modulo 256.
std::uint8_t FrameChecksum(std::string_view body);

// A request frame as the program builds it: "@", the address as two upper-case hex digits,
// command, value, checksum of everything after the "@" as two upper-case hex digits, CR.
std::string BuildRequest(int address, Command command, std::string_view value);

struct Request
{
    int address = 0;
    Command command = Command::Id;
    std::string value;
};

enum class FrameStatus { Ok, Malformed, BadChecksum };

struct ParsedFrame
{
    FrameStatus status = FrameStatus::Malformed;
    Request request; // meaningful only when status is Ok
};

// frame runs from "@" to CR, both included.
ParsedFrame ParseRequest(std::string_view frame);

// Collects received bytes into frames from "@" to CR. Bytes outside a frame are line noise
// and dropped; an "@" inside a frame starts it again, as a source would resynchronise.
class FrameAssembler
{
public:
    // Longer than any frame the program sends; a run without CR beyond it is handed out as
    // it stands (and will fail to parse) so that it shows up in the log.
    static constexpr std::size_t MaxFrame = 64;

    std::vector<std::string> Feed(std::string_view bytes);
    void Reset();
    bool InFrame() const { return inFrame_; }

private:
    std::string buf_;
    bool inFrame_ = false;
};

struct Faults
{
    bool silent = false;  // hears the frames, never answers
    int delayMs = 0;      // reply only after this pause
    int dropEvery = 0;    // every n-th reply is not sent (0: none)
    int splitParts = 1;   // reply sent in this many writes
    bool garbage = false; // junk bytes before the "#"
    bool noCr = false;    // reply without its CR
    bool badVolt = false; // voltage field is not a number
    bool badTol = false;  // tolerance character is not a digit
};

struct SourceConfig
{
    int address = -1;
    std::string type = "ZDR300-S";
    std::string serial; // empty: 1000 + address
    double voltage = 0; // start and set voltage
    int tolerance = 1;  // 0..9, the reply carries one digit
    bool output = false;
    double slew = 100; // volts per second; 0 jumps at once
    double noise = 0;  // peak deviation of a reading, volts
    Faults faults;
};

// The highest voltage the three-character field of a reply can carry; set values above it
// are clamped to it, negative ones to 0.
constexpr int MaxVolts = 999;
// Pause between the pieces of a split reply, so that they reach the reader in separate reads.
constexpr int SplitGapMs = 10;

// One write of a reply to the line, offsetMs after the request came in.
struct ReplyWrite
{
    std::int64_t offsetMs = 0;
    std::string bytes;
};

struct Reply
{
    std::string text;               // every byte put on the line, in order
    std::vector<ReplyWrite> writes; // empty when nothing is sent
    bool dropped = false;           // a reply was due but the drop fault swallowed it
};

// A type can stabilise when it contains "-S" starting after its fifth character.
bool TypeCanStabilise(std::string_view type);

class SimSource
{
public:
    explicit SimSource(const SourceConfig &config, std::int64_t nowMs = 0);

    // Noise samples in [-1, 1]; without one (the default, or an empty function) a fixed
    // pseudo-random sequence per address.
    void SetNoiseSource(std::function<double()> source);

    // Moves the output level towards its target for the time passed since the last call.
    void AdvanceTo(std::int64_t nowMs);

    // Carries out a request at nowMs and gives the reply to put on the line; nullopt when
    // the request's value makes no sense for its command (the source ignores it).
    std::optional<Reply> Answer(const Request &request, std::int64_t nowMs);

    // What a voltage query would read now: whole volts, 0 while the output is off.
    int ReadVolts();

    int Address() const { return config_.address; }
    const SourceConfig &Config() const { return config_; }
    double SetVoltage() const { return setVoltage_; }
    double Level() const { return level_; }
    bool Output() const { return output_; }
    bool Stabilising() const { return stabilising_; }
    int Tolerance() const { return tolerance_; }
    bool CanStabilise() const { return canStab_; }

private:
    std::string Body(const Request &request, bool *ok);
    Reply Shape(const std::string &body);

    SourceConfig config_;
    bool canStab_;
    double setVoltage_;
    double level_;
    bool output_;
    bool stabilising_ = false;
    int tolerance_;
    std::int64_t lastMs_;
    unsigned replyCount_ = 0;
    std::function<double()> noise_;
    std::mt19937 rng_;
};

struct Outcome
{
    bool accepted = false; // false: bad checksum, malformed, or an address not simulated
    Reply reply;
};

// The sources of one multi-drop line. Frames for other addresses get no answer, as on a
// real line where only the addressed source speaks.
class SimLine
{
public:
    explicit SimLine(const std::vector<SourceConfig> &sources, std::int64_t nowMs = 0);

    Outcome Handle(std::string_view frame, std::int64_t nowMs);

    SimSource *Find(int address);
    std::vector<SimSource> &Sources() { return sources_; }

private:
    std::vector<SimSource> sources_;
};

enum class LogKind { Rx, Tx, Bad };

// Bytes as one log field: CR as \r, LF as \n, other control and 8-bit bytes as \xHH.
std::string Printable(std::string_view bytes);

// "<ms> <line> RX|TX|BAD <text>\n".
std::string LogLine(std::int64_t ms, int line, LogKind kind, std::string_view bytes);

} // namespace sim
