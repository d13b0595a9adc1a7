// SPDX-License-Identifier: MIT
// Lengths both ways between the layouts: the seconds pairs and the decimal text.
#include "tape/tape_lengths.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/formatted.h"
#include "tape/attribute_values.h"

double SecondsPair::value() const {
    return seconds + hundredths / 100.0;
}

SecondsPair secondsPair(double length) {
    SecondsPair pair;
    if (!(length > 0.0)) {
        return pair;
    }
    const double total = std::min(std::floor(length * 100.0 + 1e-6), 255.0 * 100 + 99);
    const auto whole = static_cast<int>(total);
    pair.seconds = static_cast<std::uint8_t>(whole / 100);
    pair.hundredths = static_cast<std::uint8_t>(whole % 100);
    return pair;
}

double readLengthText(const std::string& text) {
    return attributeReal(text);
}

std::string lengthText(double length) {
    // A length written with an exponent too large for a double ("0.001e90000") reads as
    // infinite, and "%f" would write "inf", which reads back as 0: it is written as a number
    // that reads back as infinite again (no audio file can hold it; the converter says so).
    if (std::isinf(length) && length > 0.0) {
        return "1e999";
    }
    const std::string fixed = formatted("%f", length);
    const double read = readLengthText(fixed);
    // Only a length that six decimals already give up to rounding noise is written in full;
    // any other is rounded to them, and the writer says so.
    if (!std::isfinite(length) || read == length || !(std::fabs(read - length) <= 1e-9)) {
        return fixed;
    }
    for (int digits = 7; digits <= 17; ++digits) {
        const std::string text = formatted("%.*g", digits, length);
        if (readLengthText(text) == length) {
            return text;
        }
    }
    return fixed;
}
