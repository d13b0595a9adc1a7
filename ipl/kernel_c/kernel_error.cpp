// SPDX-License-Identifier: MIT
// Printing of the image layer's messages: prefixes, location suffixes and the one sink on
// standard output (see kernel_error.h).
#include "ipl/kernel_c/kernel_error.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ipl {

namespace {

const char* const kStdPrefix[] = {"IPL_ERROR: ", "IPL_WARNING: ", ""};
const char* const kObjectPrefix[] = {"IPL_ERROR: ", "IPL_WARNING: ", "IPL_NOTE: "};

bool KnownType(int Type) {
    return Type >= IPL_ERROR && Type <= IPL_NOTE;
}

// A message that does not fit its buffers is a fault of the layer itself, not of any input:
// say so on standard error and stop, rather than print a cut message.
[[noreturn]] void StopTooLong(const char* pSource, int Line) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "IPL_ERROR: k_ShowMessageStd() Error message too long at %s line %d - increase "
                 "the MAX_MESSAGE_SIZE definition (%s line %d)\n",
                 pSource, Line, k_SourceName(__FILE__), __LINE__);
    std::exit(1);
}

bool Fits(int Written) {
    return Written >= 0 && Written < MAX_MESSAGE_SIZE;
}

}  // namespace

void PrintMessage(const char* pText) {
    std::fputs(pText, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ShowMessage(IPL_MESSAGETYPE Type, const std::string& Text) {
    if (!KnownType(Type)) {
        PrintMessage("Error: ShowMessage() unknown message type");
        return;
    }
    PrintMessage((kObjectPrefix[Type] + Text).c_str());
}

void k_ShowMessageStd(const char* pFile, int Line, int Type, const char* pFormat, ...) {
    const char* source = k_SourceName(pFile != nullptr ? pFile : "unknown");
    char text[MAX_MESSAGE_SIZE];
    va_list arguments;
    va_start(arguments, pFormat);
    const int textLength = std::vsnprintf(text, sizeof text, pFormat, arguments);
    va_end(arguments);
    if (!Fits(textLength)) {
        StopTooLong(source, Line);
    }
    if (!KnownType(Type)) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_ShowMessageStd() unknown message type at %s line %d", source, Line);
        return;
    }
    char suffix[MAX_MESSAGE_SIZE] = "";
    if (Type != IPL_NOTE &&
        !Fits(std::snprintf(suffix, sizeof suffix, " (%s line %d)", source, Line))) {
        StopTooLong(source, Line);
    }
    char line[MAX_MESSAGE_SIZE];
    if (!Fits(std::snprintf(line, sizeof line, "%s%s%s\n", kStdPrefix[Type], text, suffix))) {
        StopTooLong(source, Line);
    }
    PrintMessage(line);
}

const char* k_SourceName(const char* pPath) {
    const char* start = pPath;
    for (const char* found = std::strstr(pPath, "/ipl/"); found != nullptr;
         found = std::strstr(found + 1, "/ipl/")) {
        start = found + 1;
    }
    return start;
}

std::string LocationSuffix(const char* pFile, int Line) {
    return std::string(" (") + k_SourceName(pFile) + " line " + std::to_string(Line) + ")";
}

}  // namespace ipl
