// SPDX-License-Identifier: MIT
// A tape load built in tests from its format, data bytes, stated checksum and lengths, the
// way the reader would fill it.
#pragma once

#include <cstdint>
#include <vector>

#include "tape/tape_load.h"

namespace testing_support {

inline TapeLoad makeLoad(int format, const std::vector<std::uint8_t>& data, int checkSum = 0,
                         double header = 1.0, double footer = 0.25, double gap = 0.0) {
    TapeLoad load;
    load.setFormat(format);
    load.setLength(static_cast<int>(data.size()));
    for (std::size_t i = 0; i < data.size(); ++i) {
        load.setByte(static_cast<long>(i), data[i]);
    }
    load.setCheckSum(checkSum);
    load.setHeaderLength(header);
    load.setFooterLength(footer);
    load.setGapLength(gap);
    return load;
}

}  // namespace testing_support
