// SPDX-License-Identifier: MIT
// How kelvanto-tape reports a failure: "kelvanto-tape: FILE: reason" on standard error and
// exit status 1. Commands throw CommandError; the entry prints it.
#pragma once

#include <stdexcept>
#include <string>

#include "base/printable.h"

using kelvanto::printable;

inline constexpr const char* programName = "kelvanto-tape";

struct CommandError : std::runtime_error {
    // subject: the file (or the command) the reason is about; empty for none.
    CommandError(std::string subject, std::string reason)
        : std::runtime_error(reason), subject(std::move(subject)) {}
    std::string subject;
};

// Writes "kelvanto-tape: SUBJECT: reason\n" (or without the subject) to standard error.
void reportError(const std::string& subject, const std::string& reason);
// Writes "kelvanto-tape: warning: SUBJECT: text\n" to standard error.
void reportWarning(const std::string& subject, const std::string& text);
