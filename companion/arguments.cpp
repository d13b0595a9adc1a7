// SPDX-License-Identifier: MIT
// Option scanning for kelvanto-tape's subcommands on CLI11, with every refusal in the
// program's own words ("kelvanto-tape: COMMAND: unknown option -x (see --help)").
#include "companion/arguments.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <deque>

#include "companion/command_error.h"

namespace {

const OptionSpec* findLong(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& spec : specs) {
        if (name == spec.longName) {
            return &spec;
        }
    }
    return nullptr;
}

// What CLI11 would take otherwise: "--force=1" as a flag set to true, "--rate=" as a rate
// taken from the next word, "---x" as a plain word. Refused here before it scans.
void refuseOddForms(const std::string& command, const std::vector<std::string>& words,
                    const std::vector<OptionSpec>& specs) {
    for (const std::string& word : words) {
        if (word == "--") {
            return;
        }
        if (word.rfind("---", 0) == 0) {
            throw CommandError(command, "unknown option " + word + " (see --help)");
        }
        const std::size_t equals = word.find('=');
        if (word.rfind("--", 0) != 0 || equals == std::string::npos) {
            continue;
        }
        const std::string name = word.substr(2, equals - 2);
        const OptionSpec* spec = findLong(specs, name);
        if (spec == nullptr) {
            throw CommandError(command, "unknown option " + word + " (see --help)");
        }
        if (!spec->takesValue) {
            throw CommandError(command, "option --" + name + " takes no value");
        }
        if (equals + 1 == word.size()) {
            throw CommandError(command, "option --" + name + " needs a value");
        }
    }
}

}  // namespace

Arguments::Arguments(const std::string& commandName, const std::vector<std::string>& words,
                     const std::vector<OptionSpec>& specs)
    : command(commandName) {
    refuseOddForms(command, words, specs);
    CLI::App app("", programName + std::string(" ") + command);
    app.set_help_flag();  // each command prints its own help for --help
    app.allow_extras();   // unknown options are refused below, in this program's words
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // Storage that stays in place while options are added.
    std::deque<std::string> texts;
    std::vector<std::pair<const OptionSpec*, CLI::Option*>> options;
    for (const OptionSpec& spec : specs) {
        std::string names = "--" + std::string(spec.longName);
        if (spec.shortName != 0) {
            names = std::string("-") + spec.shortName + "," + names;
        }
        texts.emplace_back();
        CLI::Option* option =
            spec.takesValue ? app.add_option(names, texts.back()) : app.add_flag(names);
        options.emplace_back(&spec, option);
    }
    app.add_option("words", plain);
    // CLI11 takes the words last first.
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& error) {
        // The only mismatch a single-value option can have: no word left for its value.
        const std::string text = error.what();
        const std::string name = text.substr(0, text.find(':'));
        throw CommandError(command, "option " + name + " needs a value");
    } catch (const CLI::ParseError& error) {
        throw CommandError(command, error.what());
    }
    for (const std::string& extra : app.remaining()) {
        if (extra != "--") {
            throw CommandError(command, "unknown option " + extra + " (see --help)");
        }
    }
    std::size_t index = 0;
    for (const auto& [spec, option] : options) {
        if (option->count() > 0) {
            values[spec->longName] = spec->takesValue ? texts[index] : "";
        }
        ++index;
    }
}

std::optional<std::string> Arguments::value(const std::string& longName) const {
    const auto found = values.find(longName);
    if (found == values.end()) {
        return std::nullopt;
    }
    return found->second;
}

long Arguments::number(const std::string& longName, long fallback, long low, long high) const {
    const auto text = value(longName);
    if (!text) {
        return fallback;
    }
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text->c_str(), &end, 10);
    if (text->empty() || *end != '\0' || errno != 0 || parsed < low || parsed > high) {
        throw CommandError(command, "--" + longName + " takes a whole number from " +
                                        std::to_string(low) + " to " + std::to_string(high) +
                                        ", not " + *text);
    }
    return parsed;
}
