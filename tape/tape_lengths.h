// SPDX-License-Identifier: MIT
// Tone and gap lengths as the two layouts of a tape image hold them: a pair of bytes (whole
// seconds, hundredths) in binary loads and a decimal number in markup, read and written here.
#pragma once

#include <cstdint>
#include <string>

// A seconds pair of the binary layout.
struct SecondsPair {
    std::uint8_t seconds = 0;
    std::uint8_t hundredths = 0;
    // The length the pair stands for, as the reader takes it.
    double value() const;
};

// The pair for a length: rounded down to hundredths counted from the decimal value (0.29 s is
// 0 and 29, never 28), held at 255.99 s; not above zero is 0.00.
SecondsPair secondsPair(double length);

// A length as markup text, with the six decimals ("%f") of the canonical layout. Where they
// give the length only up to rounding noise (2 s and 28 hundredths of a binary load is the
// double 2.2800000000000002, not 2.28), the shortest text that reads back as the very same
// double is written instead, so both layouts give the same signal. A length that needs more
// than six decimals (0.1234567) is rounded to them: the writer warns of it. An infinite length
// (an exponent beyond a double's range) is written "1e999", which reads back as infinite.
std::string lengthText(double length);
// Reads a length written by lengthText (or by hand), as the markup reader reads attributes.
double readLengthText(const std::string& text);
