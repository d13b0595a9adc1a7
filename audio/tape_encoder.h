// SPDX-License-Identifier: MIT
// Pairs of serial characters written one at a time (start bit, eight data bits least
// significant first, stop bit) with an 8-bit running sum; for checks and measurements of the
// renderer only: the conversion run sends whole loads through tape/load_signal.h.
#pragma once

#include <cstdint>

#include "audio/tape_wav_writer.h"
#include "base/bit_order.h"

class TapeEncoder {
  public:
    TapeEncoder() = default;
    virtual ~TapeEncoder() = default;

    TapeWavWriter& getWriter() { return writer; }
    const TapeWavWriter& getWriter() const { return writer; }
    std::uint8_t getRunningSum() const { return runningSum; }
    void setRunningSum(std::uint8_t value) { runningSum = value; }

    void writeBit(int bit);
    // Two characters; with lastFlag set the second is a filler: it follows a 1 in place of
    // its start bit and is left out of the sum.
    void writePair(int lastFlag, std::uint8_t first, std::uint8_t second);
    // The two bytes interleaved, each result sent as it is (most significant bit first).
    void writeInterleavedPair(int lastFlag, std::uint8_t first, std::uint8_t second);

  private:
    TapeWavWriter writer;
    std::uint8_t runningSum = 0;
};
