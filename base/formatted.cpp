// SPDX-License-Identifier: MIT
// Formatting into a string of whatever length the result needs.
#include "base/formatted.h"

#include <cstdarg>
#include <cstdio>

std::string formatted(const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    va_list copy;
    va_copy(copy, arguments);
    const int size = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) {
        std::vsnprintf(text.data(), text.size() + 1, pattern, arguments);
    }
    va_end(arguments);
    return text;
}
