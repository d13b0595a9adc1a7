// SPDX-License-Identifier: MIT
// Option scanning and the conversion of option values.
#include "app/options.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "base/fatal.h"
#include "base/machine.h"

namespace {
constexpr std::size_t significantCharacters = 19;
}

// A value beyond the 32-bit range is taken as the nearest 32-bit value, so that it is judged
// as the large number it is and never wraps around to a valid one (4294967304 is not 8).
int optionInteger(const std::string& value) {
    const std::string text = value.substr(0, significantCharacters);
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

double optionReal(const std::string& value) {
    const std::string text = value.substr(0, significantCharacters);
    return std::strtod(text.c_str(), nullptr);
}

RunOptions scanOptions(const std::vector<std::string>& words) {
    RunOptions options;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.empty() || word[0] != '-') {
            options.inputName = word;
            break;
        }
        if (word.size() == 1) {
            continue;
        }
        const char letter = word[1];
        if (std::string("bcfghksvw").find(letter) == std::string::npos) {
            kelvanto::fatal(std::string("Invalid option ") + letter + "\n");
        }
        std::string value;
        if (word.size() > 2) {
            value = word.substr(2);
        } else if (i + 1 < words.size()) {
            value = words[++i];
        } else {
            kelvanto::fatal(std::string("Missing value for option ") + letter + "\n");
        }
        switch (letter) {
            case 'b':
                options.bitsPerSample = optionInteger(value);
                break;
            case 'c':
                options.channels = optionInteger(value);
                break;
            case 'f':
                options.footerLength = optionReal(value);
                break;
            case 'g':
                options.gapLength = optionReal(value);
                break;
            case 'h':
                options.headerLength = optionReal(value);
                break;
            case 'k':
                options.sampleRate = optionInteger(value);
                break;
            case 'v':
                options.verbosity = optionInteger(value);
                break;
            case 'w':
                options.audioFileName = value;
                break;
            case 's':
                if (value.size() > machine::maxNameLength) {
                    kelvanto::fatal("Screen bitmap file name longer than 255 characters\n");
                }
                options.screenName = value;
                break;
        }
    }
    return options;
}
