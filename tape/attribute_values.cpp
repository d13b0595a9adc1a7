// SPDX-License-Identifier: MIT
// Conversions of attribute values and HEX tokens into numbers.
// They follow the standard library's decimal and hexadecimal readers, with fixed limits.
#include "tape/attribute_values.h"

#include <cctype>
#include <cstdlib>

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::size_t skipDigits(const std::string& text, std::size_t at) {
    while (at < text.size() && isDigit(text[at])) {
        ++at;
    }
    return at;
}

// The longest start of the text (after white space) that has the shape of a decimal real.
std::string decimalPrefix(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && isSpace(text[at])) {
        ++at;
    }
    const std::size_t begin = at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
    }
    const std::size_t integerStart = at;
    at = skipDigits(text, at);
    bool digits = at > integerStart;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(text, at + 1);
        digits = digits || fractionEnd > at + 1;
        at = fractionEnd;
    }
    if (!digits) {
        return "0";
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        const std::size_t exponentEnd = skipDigits(text, exponent);
        if (exponentEnd > exponent) {
            at = exponentEnd;
        }
    }
    return text.substr(begin, at - begin);
}

long hexNumber(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 16);
}

}  // namespace

std::int32_t attributeInteger(const std::string& value) {
    const long long number = std::strtoll(value.c_str(), nullptr, 10);
    if (number > INT32_MAX) {
        return INT32_MAX;
    }
    if (number < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(number);
}

double attributeReal(const std::string& value) {
    return std::strtod(decimalPrefix(value).c_str(), nullptr);
}

std::int32_t attributeAddress(const std::string& value) {
    std::size_t at = 0;
    while (at < value.size() && isSpace(value[at])) {
        ++at;
    }
    return static_cast<std::int32_t>(hexNumber(value.substr(at, 4)));
}

std::int32_t attributeCheckSum(const std::string& value) {
    if (value.rfind("0x", 0) == 0) {
        std::string digits;
        for (std::size_t at = 2; at < value.size() && digits.size() < 2; ++at) {
            if (!std::isxdigit(static_cast<unsigned char>(value[at]))) {
                break;
            }
            digits += value[at];
        }
        return static_cast<std::int32_t>(hexNumber(digits));
    }
    return static_cast<std::int32_t>(hexNumber(value) & 0xFF);
}

namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::uint8_t hexTokenByte(std::string_view token) {
    // One or two digits, as every HEX line writes them, read at once; any other token the way
    // the library reader takes it (blanks, a sign, "0x", digits up to the first other).
    if (token.size() == 1 || token.size() == 2) {
        const int high = hexDigitValue(token[0]);
        const int low = token.size() == 2 ? hexDigitValue(token[1]) : 0;
        if (high >= 0 && low >= 0) {
            return static_cast<std::uint8_t>(token.size() == 2 ? high << 4 | low : high);
        }
    }
    const unsigned long value = std::strtoul(std::string(token).c_str(), nullptr, 16);
    return static_cast<std::uint8_t>(value & 0xFFu);
}
