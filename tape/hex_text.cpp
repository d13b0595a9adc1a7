// SPDX-License-Identifier: MIT
// Hex values and their characters, digit by digit from a table.
#include "tape/hex_text.h"

namespace hexText {

namespace {
constexpr char digitsOf[] = "0123456789abcdef";
}  // namespace

void appendNumber(std::string& out, unsigned value, int digits) {
    char text[16];
    int length = 0;
    do {
        text[length++] = digitsOf[value & 0xFu];
        value >>= 4;
    } while (value != 0 || length < digits);
    while (length > 0) {
        out.push_back(text[--length]);
    }
}

void appendValues(std::string& out, const std::uint8_t* bytes, std::size_t count,
                  std::size_t width) {
    const std::size_t start = out.size();
    out.resize(start + 3 * (count > width ? count : width), ' ');
    char* at = out.data() + start;
    for (std::size_t i = 0; i < count; ++i) {
        at[3 * i] = digitsOf[bytes[i] >> 4];
        at[3 * i + 1] = digitsOf[bytes[i] & 0xF];
    }
}

void appendCharacters(std::string& out, const std::uint8_t* bytes, std::size_t count) {
    const std::size_t start = out.size();
    out.resize(start + count);
    char* at = out.data() + start;
    for (std::size_t i = 0; i < count; ++i) {
        at[i] = bytes[i] >= 32 && bytes[i] <= 126 ? static_cast<char>(bytes[i]) : '.';
    }
}

}  // namespace hexText
