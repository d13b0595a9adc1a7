// How kelvanto-tape reports a failure: "kelvanto-tape: FILE: reason" on standard error and
// exit status 1. Commands throw CommandError; the entry prints it.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr const char* programName = "kelvanto-tape";

struct CommandError : std::runtime_error {
    // subject: the file (or the command) the reason is about; empty for none.
    CommandError(std::string subject, std::string reason)
        : std::runtime_error(reason), subject(std::move(subject)) {}
    std::string subject;
};

// Text from the user or a file made safe for a terminal: bytes below 0x20, 0x7F and above
// written as \xNN.
std::string printable(const std::string& text);

// Writes "kelvanto-tape: SUBJECT: reason\n" (or without the subject) to standard error.
void reportError(const std::string& subject, const std::string& reason);
// Writes "kelvanto-tape: warning: SUBJECT: text\n" to standard error.
void reportWarning(const std::string& subject, const std::string& text);
