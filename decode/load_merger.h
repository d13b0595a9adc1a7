// SPDX-License-Identifier: MIT
// The last stage: keeps, for each load of the recording, the most likely of its readings
// from every channel and polarity, and measures the silence between the loads.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/decoded_load.h"

namespace kelvanto::decode {

// Two readings are of the same load when their sync characters stand close together or
// their characters cover mostly the same stretch of the recording; a header tone alone, or
// a few unreadable characters, belong to any reading they overlap. A load cut off by the
// header of its own re-save is therefore a load of its own, next to the re-save, and is
// reported, never swallowed.
// An OK reading wins over a REPAIRED one, which wins over a BAD one; among BAD readings the
// one with the fewest characters likely wrong (by the certainty of every decision, a
// reading that broke off, or that ended long before the other's data did, counting what it
// lacks) wins, never merely the longest. Only the
// winners are kept, so the memory held grows with the number of loads, not with the number
// of readings.
class LoadMerger {
  public:
    void offer(DecodedLoad&& load);
    // The loads in recording order, each with the gap up to the next load (or to the end of
    // the recording, totalFrames long).
    std::vector<DecodedLoad> finish(std::int64_t totalFrames, double sampleRate);

  private:
    std::vector<DecodedLoad> loads;  // ordered by start
};

// How good a reading is by its verdict alone, for choosing among readings of one load.
int rank(const DecodedLoad& load);
// Whether a is a better reading than b of the same load.
bool betterReading(const DecodedLoad& a, const DecodedLoad& b);
// Whether two readings from one recording are of the same load.
bool sameLoad(const DecodedLoad& a, const DecodedLoad& b);

}  // namespace kelvanto::decode
