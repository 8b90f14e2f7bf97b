#include "simcore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {

namespace {

const char HexDigits[] = "0123456789ABCDEF";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string Hex2(unsigned v)
{
    return {HexDigits[(v >> 4) & 0xF], HexDigits[v & 0xF]};
}

// Whole decimal number with an optional sign; values past the range saturate, since the
// source clamps them anyway.
bool ParseWhole(std::string_view text, long long *value)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        if (v < 1000000000LL)
            v = v * 10 + (text[i] - '0');
    }
    *value = negative ? -v : v;
    return true;
}

bool AllQuery(std::string_view value)
{
    return !value.empty() && value.find_first_not_of('?') == std::string_view::npos;
}

struct CommandName
{
    Command command;
    std::string_view text;
};

constexpr CommandName CommandNames[] = {
    {Command::Id, "ID"},   {Command::Nap, "NAP"}, {Command::Out, "OUT"},
    {Command::Sta, "STA"}, {Command::Tol, "TOL"},
};

// Line noise put before the "#" by the garbage fault: no "#" and no CR, so a reader that
// waits for the "#" loses nothing, and one byte with the high bit set.
const std::string_view Junk = "\xFF~%&*";

} // namespace

const char *CommandText(Command command)
{
    for (const auto &n : CommandNames) {
        if (n.command == command)
            return n.text.data();
    }
    return "";
}

std::uint8_t FrameChecksum(std::string_view body)
{
    unsigned sum = 0;
    for (char c : body)
        sum += static_cast<unsigned char>(c);
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string BuildRequest(int address, Command command, std::string_view value)
{
    std::string body = Hex2(static_cast<unsigned>(address));
    body += CommandText(command);
    body += value;
    return "@" + body + Hex2(FrameChecksum(body)) + "\r";
}

ParsedFrame ParseRequest(std::string_view frame)
{
    ParsedFrame result;
    // "@", address (2), shortest command (2), value (1), checksum (2), CR
    if (frame.size() < 9 || frame.front() != '@' || frame.back() != '\r')
        return result;
    const std::string_view body = frame.substr(1, frame.size() - 4);
    const int a1 = HexValue(body[0]), a2 = HexValue(body[1]);
    const int c1 = HexValue(frame[frame.size() - 3]), c2 = HexValue(frame[frame.size() - 2]);
    if (a1 < 0 || a2 < 0 || c1 < 0 || c2 < 0)
        return result;
    if (FrameChecksum(body) != c1 * 16 + c2) {
        result.status = FrameStatus::BadChecksum;
        return result;
    }
    const std::string_view rest = body.substr(2);
    for (const auto &n : CommandNames) {
        if (rest.size() > n.text.size() && rest.substr(0, n.text.size()) == n.text) {
            result.status = FrameStatus::Ok;
            result.request.address = a1 * 16 + a2;
            result.request.command = n.command;
            result.request.value = std::string(rest.substr(n.text.size()));
            return result;
        }
    }
    return result;
}

std::vector<std::string> FrameAssembler::Feed(std::string_view bytes)
{
    std::vector<std::string> frames;
    for (char c : bytes) {
        if (c == '@') {
            buf_.assign(1, c);
            inFrame_ = true;
            continue;
        }
        if (!inFrame_)
            continue;
        buf_ += c;
        if (c == '\r' || buf_.size() >= MaxFrame) {
            frames.push_back(buf_);
            Reset();
        }
    }
    return frames;
}

void FrameAssembler::Reset()
{
    buf_.clear();
    inFrame_ = false;
}

bool TypeCanStabilise(std::string_view type)
{
    const auto at = type.find("-S");
    return at != std::string_view::npos && at >= 5;
}

SimSource::SimSource(const SourceConfig &config, std::int64_t nowMs)
    : config_(config), canStab_(TypeCanStabilise(config.type)),
      setVoltage_(std::clamp(config.voltage, 0.0, double(MaxVolts))),
      level_(config.output ? setVoltage_ : 0.0), output_(config.output),
      tolerance_(std::clamp(config.tolerance, 0, 9)), lastMs_(nowMs),
      rng_(static_cast<unsigned>(config.address) * 2654435761u + 1u)
{
    if (config_.serial.empty())
        config_.serial = std::to_string(1000 + config_.address);
}

void SimSource::SetNoiseSource(std::function<double()> source)
{
    noise_ = std::move(source);
}

void SimSource::AdvanceTo(std::int64_t nowMs)
{
    // With the output off the terminals discharge towards 0 at the same rate.
    const double target = output_ ? setVoltage_ : 0.0;
    if (config_.slew <= 0) {
        level_ = target;
        return;
    }
    const std::int64_t elapsed = nowMs - lastMs_;
    if (elapsed <= 0)
        return;
    lastMs_ = nowMs;
    const double step = config_.slew * double(elapsed) / 1000.0;
    if (std::abs(target - level_) <= step)
        level_ = target;
    else
        level_ += target > level_ ? step : -step;
}

int SimSource::ReadVolts()
{
    if (!output_)
        return 0;
    double amplitude = config_.noise;
    // Stabilisation holds the output within the tolerance of the level it regulates to.
    if (stabilising_ && canStab_)
        amplitude = std::min(amplitude, double(tolerance_));
    double v = level_;
    if (amplitude > 0) {
        const double sample =
            noise_ ? noise_() : std::uniform_real_distribution<double>(-1.0, 1.0)(rng_);
        v += amplitude * std::clamp(sample, -1.0, 1.0);
    }
    return static_cast<int>(std::clamp(std::round(v), 0.0, double(MaxVolts)));
}

std::string SimSource::Body(const Request &request, bool *ok)
{
    *ok = true;
    const std::string &v = request.value;
    long long number = 0;
    switch (request.command) {
    case Command::Id:
        if (v == "?")
            return "TYP" + config_.type + "VC" + config_.serial;
        break;
    case Command::Nap:
        if (AllQuery(v)) {
            if (config_.faults.badVolt)
                return "NAPERR";
            char field[8];
            std::snprintf(field, sizeof field, "%03d", ReadVolts());
            return std::string("NAP") + field;
        }
        if (ParseWhole(v, &number)) {
            setVoltage_ = double(std::clamp<long long>(number, 0, MaxVolts));
            return "OK";
        }
        break;
    case Command::Out:
        if (v == "?")
            return output_ ? "OUT1" : "OUT0";
        if (v == "0" || v == "1") {
            output_ = v == "1";
            return "OK";
        }
        break;
    case Command::Sta:
        if (v == "?")
            return stabilising_ ? "STA1" : "STA0";
        if (v == "0" || v == "1") {
            // A type without stabilisation acknowledges the command but stays off.
            stabilising_ = v == "1" && canStab_;
            return "OK";
        }
        break;
    case Command::Tol:
        if (v == "?") {
            if (config_.faults.badTol)
                return "TOLx";
            return "TOL" + std::to_string(tolerance_);
        }
        if (ParseWhole(v, &number)) {
            tolerance_ = int(std::clamp<long long>(number, 0, 9));
            return "OK";
        }
        break;
    }
    *ok = false;
    return {};
}

Reply SimSource::Shape(const std::string &body)
{
    const Faults &f = config_.faults;
    Reply reply;
    ++replyCount_;
    if (f.dropEvery > 0 && replyCount_ % unsigned(f.dropEvery) == 0) {
        reply.dropped = true;
        return reply;
    }
    if (f.garbage)
        reply.text = Junk;
    reply.text += "#" + Hex2(unsigned(config_.address)) + body;
    if (!f.noCr)
        reply.text += '\r';
    const std::size_t parts =
        std::clamp<std::size_t>(std::size_t(std::max(f.splitParts, 1)), 1, reply.text.size());
    std::size_t from = 0;
    for (std::size_t i = 0; i < parts; ++i) {
        // Spread the remainder over the first pieces so the sizes differ by one at most.
        const std::size_t size = reply.text.size() / parts + (i < reply.text.size() % parts);
        reply.writes.push_back({std::int64_t(f.delayMs) + std::int64_t(i) * SplitGapMs,
                                reply.text.substr(from, size)});
        from += size;
    }
    return reply;
}

std::optional<Reply> SimSource::Answer(const Request &request, std::int64_t nowMs)
{
    AdvanceTo(nowMs);
    if (config_.faults.silent)
        return Reply{};
    bool ok = false;
    const std::string body = Body(request, &ok);
    if (!ok)
        return std::nullopt;
    return Shape(body);
}

SimLine::SimLine(const std::vector<SourceConfig> &sources, std::int64_t nowMs)
{
    sources_.reserve(sources.size());
    for (const auto &s : sources)
        sources_.emplace_back(s, nowMs);
}

SimSource *SimLine::Find(int address)
{
    for (auto &s : sources_) {
        if (s.Address() == address)
            return &s;
    }
    return nullptr;
}

Outcome SimLine::Handle(std::string_view frame, std::int64_t nowMs)
{
    Outcome outcome;
    const ParsedFrame parsed = ParseRequest(frame);
    if (parsed.status != FrameStatus::Ok)
        return outcome;
    SimSource *source = Find(parsed.request.address);
    if (!source)
        return outcome;
    auto reply = source->Answer(parsed.request, nowMs);
    if (!reply)
        return outcome;
    outcome.accepted = true;
    outcome.reply = std::move(*reply);
    return outcome;
}

std::string Printable(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += Hex2(c);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string LogLine(std::int64_t ms, int line, LogKind kind, std::string_view bytes)
{
    const char *word = kind == LogKind::Rx ? "RX" : kind == LogKind::Tx ? "TX" : "BAD";
    return std::to_string(ms) + ' ' + std::to_string(line) + ' ' + word + ' ' + Printable(bytes) +
           '\n';
}

} // namespace sim
