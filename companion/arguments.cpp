// Option scanning for kelvanto-tape's subcommands.
#include "companion/arguments.h"

#include <cerrno>
#include <cstdlib>

#include "companion/command_error.h"

Arguments::Arguments(const std::string& commandName, const std::vector<std::string>& words,
                     const std::vector<OptionSpec>& specs)
    : command(commandName) {
    auto find = [&](const std::string& word) -> const OptionSpec* {
        for (const OptionSpec& spec : specs) {
            if (word == std::string("--") + spec.longName ||
                (spec.shortName != 0 && word == std::string("-") + spec.shortName)) {
                return &spec;
            }
        }
        return nullptr;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            plain.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word;
        std::optional<std::string> joined;
        const std::size_t equals = word.find('=');
        if (word.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = word.substr(0, equals);
            joined = word.substr(equals + 1);
        }
        const OptionSpec* spec = find(name);
        if (spec == nullptr) {
            throw CommandError(command, "unknown option " + word + " (see --help)");
        }
        if (!spec->takesValue) {
            if (joined) {
                throw CommandError(command, "option " + name + " takes no value");
            }
            values[spec->longName] = "";
            continue;
        }
        if (!joined) {
            if (i + 1 >= words.size()) {
                throw CommandError(command, "option " + name + " needs a value");
            }
            joined = words[++i];
        }
        values[spec->longName] = *joined;
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
