// SPDX-License-Identifier: MIT
// Numbers read from markup attribute values and HEX texts. Every conversion reads from the
// start of the text and stops at the first character that cannot continue the number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Decimal integer (leading white space and a sign allowed); no digits gives 0. Values beyond
// the 32-bit range are held at its ends.
std::int32_t attributeInteger(const std::string& value);

// Decimal real: sign, digits, decimal point, exponent; no digits gives 0. Words such as "inf"
// or "nan" and hexadecimal reals are not numbers here and give 0.
double attributeReal(const std::string& value);

// Hexadecimal number from at most four characters after any leading white space (an optional
// "0x" prefix counts toward the four); no digits gives 0.
std::int32_t attributeAddress(const std::string& value);

// A load's stated checksum: "0x" and at most two hexadecimal digits. A value without the
// prefix is read as a plain hexadecimal number. Only its low 8 bits are ever used.
std::int32_t attributeCheckSum(const std::string& value);

// One HEX token: a hexadecimal number from its start (white space skipped, optional "0x");
// its low 8 bits are the byte.
std::uint8_t hexTokenByte(std::string_view token);
