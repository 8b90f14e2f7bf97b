#pragma once

// The simulator's command line and configuration files.

#include "simcore.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// A command line or configuration that cannot be used; the text says what and where.
class OptionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct LineOptions
{
    std::string path; // where the link to the pseudo-terminal goes
    std::vector<SourceConfig> sources;
};

struct Options
{
    std::string logPath; // empty: no frame log
    bool pace = false;
    bool help = false;
    std::vector<LineOptions> lines;
};

// "addr=5,type=ZDR300-S,u=12,drop=3,garbage": throws OptionError on anything it cannot use.
SourceConfig ParseSource(std::string_view items);

// Words of a configuration file: split at white space, "#" to the end of a line ignored.
std::vector<std::string> ConfigWords(std::string_view text);

// args without the program name. "--config FILE" is read where it stands, as if its words
// were written there. With "--help" the rest is not checked.
Options ParseArguments(const std::vector<std::string> &args);

std::string UsageText();

} // namespace sim
