// SPDX-License-Identifier: MIT
// printf-style formatting into a std::string, for the fixed layouts of tape images, listings
// and messages. The pattern is always a literal of the program, checked by the compiler.
#pragma once

#include <string>

std::string formatted(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
