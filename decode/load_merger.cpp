// SPDX-License-Identifier: MIT
// Choice among the readings of each load, and the gaps between loads.
// Only the best reading of each load is kept while the recording goes on.
#include "decode/load_merger.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/machine.h"

namespace kelvanto::decode {

namespace {

// Readings of one load in another polarity or channel find its sync character within a
// cycle or two; a character lasts 10 to 20 cycles.
constexpr double syncTolerance = 10.0 * machine::oneBitSeconds;
// A reading with fewer characters than this is not taken as a load beside another it
// overlaps.
constexpr std::size_t readableCharacters = 8;

bool overlap(const DecodedLoad& a, const DecodedLoad& b) {
    return a.startSample < b.endSample && b.startSample < a.endSample;
}

// Seconds of the data stretch [sync, data end] that both readings cover, against the
// shorter stretch.
double sharedData(const DecodedLoad& a, const DecodedLoad& b) {
    const double from = std::max(a.syncSeconds, b.syncSeconds);
    const double to = std::min(a.dataEndSeconds, b.dataEndSeconds);
    const double shorter =
        std::min(a.dataEndSeconds - a.syncSeconds, b.dataEndSeconds - b.syncSeconds);
    if (!(shorter > 0.0)) {
        return 0.0;
    }
    return std::max(0.0, to - from) / shorter;
}

// Characters this reading probably has wrong, counting those another reading of the same
// load holds beyond where this one broke off, or, when this one holds less than half as
// many, beyond the end of its footer: hiss in a dip can pass for a sync character, a
// character or two and the rest of a footer, and the load's real data then comes after that
// reading's end. (A reading that ran on past the footer holds its extra characters where the
// whole reading's footer is, and only a few more than it.)
double likelyWrong(const DecodedLoad& load, const DecodedLoad& other) {
    const bool endedEarly = other.dataEndSample > load.endSample &&
                            2 * load.characters.size() < other.characters.size();
    double lacking = 0.0;
    if ((!load.whole || endedEarly) && other.characters.size() > load.characters.size()) {
        lacking = static_cast<double>(other.characters.size() - load.characters.size());
    }
    return load.expectedWrong + lacking;
}

// Enough characters, mostly likely right, to be a load of its own.
bool readable(const DecodedLoad& load) {
    return load.characters.size() >= readableCharacters &&
           load.expectedWrong < 0.5 * static_cast<double>(load.characters.size());
}

// A dropout inside a footer ends it there, and the 1s after it read as a tone of their own,
// with nothing after it: the rest of that footer, not a header whose load was lost. It runs
// at the load's speed and either starts within 100 cycles of the load's end (about 64 ms at
// the machine's speed) and is no longer than a footer, or, after a longer dropout (up to
// about 127 ms, the longest bridged inside data), ends where a footer begun at the load's
// footer would end. A header that starts so soon after a whole load and is over by then
// would be too short for the machine to load anything after it.
constexpr double footerDropoutCycles = 100.0;
constexpr double longFooterDropoutCycles = 200.0;
constexpr double footerSpeedTolerance = 0.05;

bool restOfFooter(const DecodedLoad& load, const DecodedLoad& tone) {
    if (!load.whole || !tone.toneOnly || !(load.speedRatio > 0.0) || !(tone.sampleRate > 0.0) ||
        std::fabs(tone.speedRatio / load.speedRatio - 1.0) > footerSpeedTolerance) {
        return false;
    }
    const double cycle = machine::oneBitSeconds / load.speedRatio;
    const double footer = machine::defaultFooterLength / load.speedRatio;
    const double after = (tone.startSample - load.endSample) / tone.sampleRate;
    if (after < 0.0) {
        return false;
    }
    if (after <= footerDropoutCycles * cycle && tone.endSeconds - tone.startSeconds <= footer) {
        return true;
    }
    const double footerStart = load.endSeconds - load.footerSeconds;
    return after <= longFooterDropoutCycles * cycle &&
           tone.endSeconds - footerStart <= footer * (1.0 + footerSpeedTolerance);
}

// The load's footer goes on to the end of the tone that was the rest of it.
void takeRestOfFooter(DecodedLoad& load, const DecodedLoad& tone) {
    load.footerSeconds += tone.endSeconds - load.endSeconds;
    load.endSample = tone.endSample;
    load.endSeconds = tone.endSeconds;
}

}  // namespace

int rank(const DecodedLoad& load) {
    switch (load.verdict) {
        case Verdict::ok:
            return 4;
        case Verdict::repaired:
            return 3;
        case Verdict::bad:
            break;
    }
    return load.characters.empty() && !load.whole ? 1 : 2;
}

bool sameLoad(const DecodedLoad& a, const DecodedLoad& b) {
    if (rank(a) == 1 || rank(b) == 1) {
        return overlap(a, b);  // a header tone alone: the tone of whatever it overlaps
    }
    if (std::fabs(a.syncSeconds - b.syncSeconds) <= syncTolerance || sharedData(a, b) > 0.5) {
        return true;
    }
    // Two readable loads whose characters lie apart are two loads, even where one's tones
    // run into the other's (a save cut off by the header of its re-save); a few unreadable
    // characters overlapping a load are a stray reading of its tones.
    if (readable(a) && readable(b)) {
        return false;
    }
    return overlap(a, b);
}

bool betterReading(const DecodedLoad& a, const DecodedLoad& b) {
    if (rank(a) != rank(b)) {
        return rank(a) > rank(b);
    }
    switch (a.verdict) {
        case Verdict::ok:
            return a.doubtfulCharacters < b.doubtfulCharacters;
        case Verdict::repaired:
            return a.wrongChance < b.wrongChance;
        case Verdict::bad:
            break;
    }
    const double wrongA = likelyWrong(a, b);
    const double wrongB = likelyWrong(b, a);
    if (wrongA != wrongB) {
        return wrongA < wrongB;
    }
    return a.doubtfulCharacters < b.doubtfulCharacters;
}

void LoadMerger::offer(DecodedLoad&& load) {
    for (DecodedLoad& kept : loads) {
        if (restOfFooter(kept, load)) {
            takeRestOfFooter(kept, load);
            return;
        }
    }
    for (const DecodedLoad& kept : loads) {
        if (sameLoad(kept, load) && !betterReading(load, kept)) {
            return;
        }
    }
    std::erase_if(loads, [&](const DecodedLoad& kept) {
        if (restOfFooter(load, kept)) {
            takeRestOfFooter(load, kept);
            return true;
        }
        return sameLoad(kept, load);
    });
    const auto place = std::upper_bound(
        loads.begin(), loads.end(), load.startSample,
        [](std::int64_t start, const DecodedLoad& kept) { return start < kept.startSample; });
    loads.insert(place, std::move(load));
}

std::vector<DecodedLoad> LoadMerger::finish(std::int64_t totalFrames, double sampleRate) {
    for (std::size_t i = 0; i < loads.size(); ++i) {
        const std::int64_t next = i + 1 < loads.size() ? loads[i + 1].startSample : totalFrames;
        loads[i].gapSeconds =
            static_cast<double>(std::max<std::int64_t>(0, next - loads[i].endSample)) / sampleRate;
    }
    std::vector<DecodedLoad> out;
    out.swap(loads);
    return out;
}

}  // namespace kelvanto::decode
