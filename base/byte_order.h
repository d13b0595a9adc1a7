// SPDX-License-Identifier: MIT
// Little-endian helpers: a word is 16 bits, a long word 32 bits, low byte first.
// The WAV header, 16-bit samples and the binary tape fields are all stored this way.
#pragma once

#include <cstdint>

void wordToBytes(std::int32_t value, unsigned char* bytes);
void longWordToBytes(std::int32_t value, unsigned char* bytes);
// Refuses values outside -32768..32767 with "Invalid signed word value".
void signedWordToBytes(double value, unsigned char* bytes);
void putWord(unsigned char* buffer, std::int32_t position, std::int32_t value);
void putLongWord(unsigned char* buffer, std::int32_t position, std::int32_t value);
// Always 0..65535: both bytes are taken unsigned.
double bytesToWord(const unsigned char* bytes);
