// SPDX-License-Identifier: MIT
// Hex dumps as the tape image's HEX lines and the lister print them, written straight into a
// string: printf-style formatting of every byte would cost most of a large conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hexText {

// Lowercase hexadecimal digits of a value, at least `digits` of them ("%0*x").
void appendNumber(std::string& out, unsigned value, int digits);
// "xx " for each of count bytes, then "   " for each place up to width.
void appendValues(std::string& out, const std::uint8_t* bytes, std::size_t count,
                  std::size_t width);
// Each byte as itself when printable ASCII (32 to 126), otherwise '.'.
void appendCharacters(std::string& out, const std::uint8_t* bytes, std::size_t count);

}  // namespace hexText
