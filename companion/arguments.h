// SPDX-License-Identifier: MIT
// The options of a subcommand, scanned as getopt_long does (by CLI11): -k44100, -k 44100,
// --rate=44100, --rate 44100, bundled flags (-fo OUT), "--" before names that begin with a dash.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct OptionSpec {
    const char* longName;  // without the dashes
    char shortName;        // 0 for none
    bool takesValue;
};

class Arguments {
  public:
    // Throws CommandError naming the command for an unknown option or a missing value. A
    // repeated option keeps its last value.
    Arguments(const std::string& command, const std::vector<std::string>& words,
              const std::vector<OptionSpec>& specs);

    bool has(const std::string& longName) const { return values.count(longName) != 0; }
    std::optional<std::string> value(const std::string& longName) const;
    // A whole number within a range, or a CommandError that names the option.
    long number(const std::string& longName, long fallback, long low, long high) const;
    const std::vector<std::string>& words() const { return plain; }

  private:
    std::string command;
    std::map<std::string, std::string> values;
    std::vector<std::string> plain;
};
