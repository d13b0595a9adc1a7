// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary lists of loads, as the decoder could report them for two to four
// takes, merged by mergeTakes: stray tones, loads out of order, clocks that cannot be set.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/take_merger.h"

namespace {

using kelvanto::decode::DecodedLoad;
using kelvanto::decode::Verdict;

// Reads the input a byte at a time, 0 past its end.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    std::uint8_t next() { return at < size ? data[at++] : 0; }
    bool done() const { return at >= size; }

  private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

// One load: where it stands and how long it lasts (tenths of a second), its verdict, and
// characters from a small alphabet so that readings of different takes often agree.
DecodedLoad load(Bytes& in, double& clock, int take) {
    DecodedLoad l;
    clock += in.next() / 10.0;
    const double header = 0.1 + (in.next() & 15) / 10.0;
    const std::uint8_t kind = in.next();
    const std::size_t count = (kind & 1) != 0 ? 0 : in.next() % 40;
    const std::uint8_t alphabet = static_cast<std::uint8_t>(1 + (in.next() & 7));
    for (std::size_t i = 0; i < count; ++i) {
        l.characters.push_back(static_cast<std::uint8_t>(in.next() % alphabet));
    }
    l.verdict = static_cast<Verdict>((kind >> 1) % 3);
    l.toneOnly = l.characters.empty();
    l.whole = (kind & 8) != 0;
    l.speedRatio = 0.5 + in.next() / 128.0;
    l.expectedWrong = (kind & 16) != 0 ? static_cast<double>(count) : 0.0;
    l.wrongChance = (kind & 32) != 0 ? 0.5 : 0.0;
    l.startSeconds = clock;
    l.headerSeconds = header;
    l.syncSeconds = clock + header;
    l.dataEndSeconds = l.syncSeconds + static_cast<double>(count) * 0.006;
    l.footerSeconds = 0.25;
    l.endSeconds = l.dataEndSeconds + l.footerSeconds;
    l.gapSeconds = (in.next() & 15) / 10.0;
    l.sampleRate = 22050.0;
    l.startSample = static_cast<std::int64_t>(l.startSeconds * l.sampleRate);
    l.syncSample = static_cast<std::int64_t>(l.syncSeconds * l.sampleRate);
    l.dataEndSample = static_cast<std::int64_t>(l.dataEndSeconds * l.sampleRate);
    l.endSample = static_cast<std::int64_t>(l.endSeconds * l.sampleRate);
    l.take = take;
    // Loads of a take follow each other unless the input says otherwise.
    if ((kind & 64) == 0) {
        clock = l.endSeconds + l.gapSeconds;
    }
    return l;
}

}  // namespace

// Byte 0: takes (2 to 4). Then per take a count of loads (0 to 7) and the loads.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const int takeCount = 2 + in.next() % 3;
    std::vector<std::vector<DecodedLoad>> takes(static_cast<std::size_t>(takeCount));
    std::size_t total = 0;
    for (int t = 0; t < takeCount; ++t) {
        double clock = 0.0;
        const int loads = in.next() % 8;
        for (int i = 0; i < loads && !in.done(); ++i) {
            takes[static_cast<std::size_t>(t)].push_back(load(in, clock, t));
            ++total;
        }
    }
    const std::vector<DecodedLoad> merged = kelvanto::decode::mergeTakes(takes);
    // Nothing is made up: at most one load per reading, none longer than a reading.
    if (merged.size() > total) {
        __builtin_trap();
    }
    for (const DecodedLoad& l : merged) {
        if (l.characters.size() > 40) {
            __builtin_trap();
        }
    }
    return 0;
}
