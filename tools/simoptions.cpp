#include "simoptions.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

namespace sim {

namespace {

constexpr int MaxConfigDepth = 8;
constexpr int MaxDelayMs = 600000;

// An error already prefixed with the name of the file it stands in.
class ConfigFileError : public OptionError
{
public:
    using OptionError::OptionError;
};

[[noreturn]] void Fail(std::string_view items, const std::string &what)
{
    throw OptionError("source \"" + std::string(items) + "\": " + what);
}

bool ToInt(std::string_view text, int *value)
{
    if (text.empty())
        return false;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end;
}

bool ToDouble(std::string_view text, double *value)
{
    if (text.empty())
        return false;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && std::isfinite(*value);
}

bool PlainText(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

struct Parser
{
    Options options;
    LineOptions *line = nullptr;
    std::set<std::string> paths;

    void Words(const std::vector<std::string> &words, int depth);
    void ReadConfig(const std::string &file, int depth);
};

std::string ValueOf(const std::vector<std::string> &words, std::size_t *i, const char *what)
{
    const std::string &option = words[*i];
    if (*i + 1 >= words.size() || words[*i + 1].rfind("--", 0) == 0)
        throw OptionError(option + " needs " + what);
    return words[++*i];
}

void Parser::Words(const std::vector<std::string> &words, int depth)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string &w = words[i];
        if (w == "--help" || w == "-h") {
            options.help = true;
        } else if (w == "--pace") {
            options.pace = true;
        } else if (w == "--log") {
            const std::string file = ValueOf(words, &i, "a file name");
            if (!options.logPath.empty() && options.logPath != file)
                throw OptionError("--log given twice");
            options.logPath = file;
        } else if (w == "--config") {
            ReadConfig(ValueOf(words, &i, "a file name"), depth + 1);
        } else if (w == "--line") {
            const std::string path = ValueOf(words, &i, "a path");
            if (!paths.insert(path).second)
                throw OptionError("--line " + path + " given twice");
            options.lines.push_back({path, {}});
            line = &options.lines.back();
        } else if (w == "--source") {
            const std::string items = ValueOf(words, &i, "a source description");
            if (!line)
                throw OptionError("--source " + items + " comes before any --line");
            SourceConfig source = ParseSource(items);
            for (const auto &other : line->sources) {
                if (other.address == source.address)
                    throw OptionError("address " + std::to_string(source.address) +
                                      " twice on line " + line->path);
            }
            line->sources.push_back(source);
        } else {
            throw OptionError("unknown option \"" + w + "\"");
        }
    }
}

void Parser::ReadConfig(const std::string &file, int depth)
{
    if (depth > MaxConfigDepth)
        throw OptionError("configuration files nest too deeply at " + file);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw OptionError("cannot read configuration file " + file);
    std::ostringstream text;
    text << in.rdbuf();
    try {
        Words(ConfigWords(text.str()), depth);
    } catch (const ConfigFileError &) {
        throw;
    } catch (const OptionError &e) {
        throw ConfigFileError(file + ": " + e.what());
    }
}

} // namespace

SourceConfig ParseSource(std::string_view items)
{
    SourceConfig s;
    std::set<std::string, std::less<>> seen;
    std::size_t from = 0;
    while (from <= items.size()) {
        std::size_t to = items.find(',', from);
        if (to == std::string_view::npos)
            to = items.size();
        const std::string_view item = items.substr(from, to - from);
        from = to + 1;
        if (item.empty())
            Fail(items, "empty item");
        const std::size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const bool hasValue = eq != std::string_view::npos;
        const std::string_view value = hasValue ? item.substr(eq + 1) : std::string_view();
        if (!seen.insert(std::string(key)).second)
            Fail(items, "\"" + std::string(key) + "\" given twice");
        const std::string k(key);
        auto needValue = [&] {
            if (!hasValue)
                Fail(items, k + " needs a value");
        };
        auto wholeIn = [&](int lo, int hi, int *out) {
            needValue();
            if (!ToInt(value, out) || *out < lo || *out > hi)
                Fail(items, k + " must be a whole number from " + std::to_string(lo) + " to " +
                                std::to_string(hi));
        };
        auto volts = [&](double lo, double *out) {
            needValue();
            if (!ToDouble(value, out) || *out < lo)
                Fail(items, k + " must be a number of volts" + (lo >= 0 ? ", not negative" : ""));
        };
        auto flag = [&](bool *out) {
            if (hasValue)
                Fail(items, k + " takes no value");
            *out = true;
        };
        if (key == "addr") {
            wholeIn(0, 31, &s.address);
        } else if (key == "type" || key == "serial") {
            needValue();
            if (value.empty() || !PlainText(value))
                Fail(items, k + " must be non-empty printable text");
            (key == "type" ? s.type : s.serial) = std::string(value);
        } else if (key == "u") {
            volts(-HUGE_VAL, &s.voltage);
        } else if (key == "tol") {
            wholeIn(0, 9, &s.tolerance);
        } else if (key == "out") {
            int out = 0;
            wholeIn(0, 1, &out);
            s.output = out == 1;
        } else if (key == "slew") {
            volts(0, &s.slew);
        } else if (key == "noise") {
            volts(0, &s.noise);
        } else if (key == "delay") {
            wholeIn(0, MaxDelayMs, &s.faults.delayMs);
        } else if (key == "drop") {
            wholeIn(1, 1000000, &s.faults.dropEvery);
        } else if (key == "split") {
            wholeIn(1, 64, &s.faults.splitParts);
        } else if (key == "silent") {
            flag(&s.faults.silent);
        } else if (key == "garbage") {
            flag(&s.faults.garbage);
        } else if (key == "nocr") {
            flag(&s.faults.noCr);
        } else if (key == "badvolt") {
            flag(&s.faults.badVolt);
        } else if (key == "badtol") {
            flag(&s.faults.badTol);
        } else {
            Fail(items, "unknown item \"" + k + "\"");
        }
    }
    if (s.address < 0)
        Fail(items, "addr is required");
    return s;
}

std::vector<std::string> ConfigWords(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    bool comment = false;
    for (char c : text) {
        if (c == '\n' || c == '\r')
            comment = false;
        else if (c == '#')
            comment = true;
        const bool blank =
            c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
        if (comment || blank) {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

Options ParseArguments(const std::vector<std::string> &args)
{
    Parser parser;
    try {
        parser.Words(args, 0);
    } catch (const OptionError &) {
        // A request for help is answered even when the rest does not parse.
        for (const auto &a : args) {
            if (a == "--help" || a == "-h") {
                Options help;
                help.help = true;
                return help;
            }
        }
        throw;
    }
    if (!parser.options.help && parser.options.lines.empty())
        throw OptionError("no --line given");
    return parser.options;
}

std::string UsageText()
{
    return R"(Usage: ardemo-sim [--log FILE] [--pace] [--config FILE]
                  --line PATH [--source ITEMS ...] [--line PATH [--source ITEMS ...] ...]

Simulates power sources on serial lines. Each --line opens a pseudo-terminal and links its
slave device at PATH (an existing link there is replaced); the --source options after it
are the sources on that line. Prints "line N: PATH -> DEVICE" per line, then "ready", and
runs until SIGINT or SIGTERM, then removes its links.

Options:
  --line PATH      start a new line linked at PATH
  --source ITEMS    a source on the current line (see below)
  --log FILE       frame log: "<ms> <line> RX|TX|BAD <text>", CR shown as \r, one line
                   per frame received (BAD: bad checksum, malformed or unknown address),
                   per reply sent; flushed after every line
  --pace           send replies at 9600 bit/s (about 1.04 ms per byte)
  --config FILE    read more options from FILE: white-space separated, "#" comments
  --help, -h       show this text

ITEMS is a comma-separated list:
  addr=N      address 0..31 (required)
  type=TEXT   type text (default ZDR300-S); a type with "-S" after its fifth
              character can stabilise
  serial=TEXT serial number (default 1000 + addr)
  u=V         start and set voltage (default 0)
  tol=D       stabilisation tolerance 0..9 V (default 1)
  out=0|1     output at start (default 0)
  slew=V      volts per second towards the set voltage (default 100; 0 = at once)
  noise=V     peak noise of a reading (default 0; within tol while stabilised)
  Faults:
  silent      never answer          delay=MS   answer after MS milliseconds
  drop=N      drop every N-th reply split=N    send each reply in N writes, 10 ms apart
  garbage     junk bytes before "#" nocr       reply without CR
  badvolt     voltage field "ERR"   badtol     tolerance character "x"

Requests: "@" + address (2 hex) + ID|NAP|OUT|STA|TOL + value + checksum (2 hex, sum of
the characters after "@" modulo 256) + CR. Frames with a bad checksum or for an address
not simulated get no answer.
Replies: "#" + address (2 upper-case hex) + keyword + value + CR: OK to set commands,
OUT0/OUT1, STA0/STA1, NAP + 3 digits (0..999, 000 while the output is off),
TYP + type + VC + serial, TOL + digit. Set voltages are clamped to 0..999, tolerances to 0..9.
)";
}

} // namespace sim
