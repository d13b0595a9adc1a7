// SPDX-License-Identifier: MIT
// Little-endian word and long-word conversion.
#include "base/byte_order.h"

#include "base/fatal.h"

void wordToBytes(std::int32_t value, unsigned char* bytes) {
    const auto bits = static_cast<std::uint32_t>(value);
    bytes[0] = static_cast<unsigned char>(bits & 0xFFu);
    bytes[1] = static_cast<unsigned char>((bits >> 8) & 0xFFu);
}

void longWordToBytes(std::int32_t value, unsigned char* bytes) {
    const auto bits = static_cast<std::uint32_t>(value);
    wordToBytes(static_cast<std::int32_t>(bits & 0xFFFFu), bytes);
    wordToBytes(static_cast<std::int32_t>(bits >> 16), bytes + 2);
}

void signedWordToBytes(double value, unsigned char* bytes) {
    if (!(value >= -32768.0 && value <= 32767.0)) {
        kelvanto::fatal("Invalid signed word value\n");
    }
    wordToBytes(static_cast<std::int32_t>(value), bytes);
}

void putWord(unsigned char* buffer, std::int32_t position, std::int32_t value) {
    wordToBytes(value, buffer + position);
}

void putLongWord(unsigned char* buffer, std::int32_t position, std::int32_t value) {
    longWordToBytes(value, buffer + position);
}

double bytesToWord(const unsigned char* bytes) {
    return static_cast<double>(bytes[1]) * 256.0 + static_cast<double>(bytes[0]);
}
