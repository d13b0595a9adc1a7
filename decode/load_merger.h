// The last stage: keeps, for each load of the recording, the best of its readings from every
// channel and polarity, and measures the silence between the loads.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/decoded_load.h"

namespace kelvanto::decode {

// Readings of one load overlap in time. A reading with a right checksum wins over a
// repaired one, which wins over a BAD one; a BAD reading with characters wins over a tone
// without a load. Among equals the first offered stays. Only the winners are kept, so the
// memory held grows with the number of loads, not with the number of readings.
class LoadMerger {
  public:
    void offer(DecodedLoad&& load);
    // The loads in recording order, each with the gap up to the next load (or to the end of
    // the recording, totalFrames long).
    std::vector<DecodedLoad> finish(std::int64_t totalFrames, double sampleRate);

  private:
    std::vector<DecodedLoad> loads;  // ordered by start
};

// How good a reading is, for choosing among readings of the same load.
int rank(const DecodedLoad& load);

}  // namespace kelvanto::decode
