// SPDX-License-Identifier: MIT
// Error and warning lines of kelvanto-tape, with every echoed text made printable.
#include "companion/command_error.h"

#include <cstdio>
#include <iostream>

namespace {
void writeLine(const std::string& kind, const std::string& subject, const std::string& text) {
    std::cout.flush();
    std::string line = std::string(programName) + ": " + kind;
    if (!subject.empty()) {
        line += printable(subject) + ": ";
    }
    // Reasons may carry the line end of the tool's own message texts.
    std::string reason = text;
    while (!reason.empty() && reason.back() == '\n') {
        reason.pop_back();
    }
    std::cerr << line << printable(reason) << "\n" << std::flush;
}
}  // namespace

void reportError(const std::string& subject, const std::string& reason) {
    writeLine("", subject, reason);
}

void reportWarning(const std::string& subject, const std::string& text) {
    writeLine("warning: ", subject, text);
}
