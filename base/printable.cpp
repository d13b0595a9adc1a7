// SPDX-License-Identifier: MIT
// Escaping of input text for messages (printable.h).
#include "base/printable.h"

namespace kelvanto {

std::string printable(std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            result += "\\x";
            result += digits[byte >> 4];
            result += digits[byte & 0x0F];
        } else {
            result += c;
        }
    }
    return result;
}

}  // namespace kelvanto
