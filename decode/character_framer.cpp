// SPDX-License-Identifier: MIT
// Framing of sync character, character pairs, filler and footer.
// Bits wait in a short queue only where the end of a load must be confirmed.
#include "decode/character_framer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "base/machine.h"
#include "decode/character_frame.h"
#include "decode/character_length.h"
#include "decode/dropout_bridge.h"

namespace kelvanto::decode {

using namespace frame;

namespace {

// Disagreeing with the pattern more clearly than this is not a sync character.
constexpr float clearlyWrong = 0.5f;
// A 0 in the footer's place counts against an end only when it is this clear.
constexpr float clearZero = 0.25f;

std::uint8_t toByte(float certainty) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(certainty, 0.0f, 1.0f) * 255.0f));
}

// Frames of half a unit at a character's own speed: its length over its half units (0 when
// it has none).
double halfUnitOf(const std::vector<Bit>& cycles) {
    double halves = 0.0;
    double frames = 0.0;
    for (const Bit& b : cycles) {
        halves += halfUnitsOf(b);
        frames += b.end - b.start;
    }
    return halves > 0.0 ? frames / halves : 0.0;
}

// How far a cycle lasts from its value's length, as a share of it, at this half unit.
double cycleDeviation(const Bit& b, double halfUnit) {
    return std::fabs((b.end - b.start) / (halfUnit * halfUnitsOf(b)) - 1.0);
}

// How far each cycle of a character lasts from its value's length, at the character's own
// speed. (Every character, so no allocation: nothing when there is no whole character.)
using Deviations = std::array<double, characterCycles>;
std::optional<Deviations> cycleDeviations(const std::vector<Bit>& cycles, double halfUnit) {
    if (cycles.size() != characterCycles || !(halfUnit > 0.0)) {
        return std::nullopt;
    }
    Deviations out{};
    for (std::size_t i = 0; i < characterCycles; ++i) {
        out[i] = cycleDeviation(cycles[i], halfUnit);
    }
    return out;
}

}  // namespace

void CharacterFramer::begin(double syncStart, double toneHalfUnit) {
    halfUnit = toneHalfUnit;
    syncLost = false;
    lookedPast = false;
    takenBack.clear();
    takenBackSlips.clear();
    current = FramedLoad{};
    current.syncStart = syncStart;
    current.end = syncStart;
    pending.clear();
    rest.clear();
    lastTaken.clear();
    deviations.fill(0);
    middleSums.fill(0.0);
    middleSquares.fill(0.0);
    middleCounts.fill(0.0);
    failedInSync = false;
    syncDoubted = false;
    unknownBefore = 0;
    secondOfPair = false;
    state = State::sync;
    status = Status::reading;
}

CharacterFramer::Status CharacterFramer::push(const Bit& bit) {
    if (state == State::done) {
        return status;
    }
    pending.push_back(bit);
    return process(false);
}

CharacterFramer::Status CharacterFramer::finish() {
    if (state == State::done) {
        return status;
    }
    return process(true);
}

CharacterFramer::Status CharacterFramer::fail(const char* problem, double at) {
    failedInSync = state == State::sync;
    current.problem = problem;
    current.problemAt = at;
    current.end = std::max(current.end, at);
    state = State::done;
    status = Status::failed;
    pending.clear();
    return status;
}

void CharacterFramer::startFooter(double at) {
    current.footerStart = at;
    current.footerEnd = at;
    state = State::footer;
}

std::optional<bool> CharacterFramer::syncAhead(bool final) const {
    int unclear = 0;
    for (std::size_t i = 0; i < syncPattern.size(); ++i) {
        if (i >= pending.size()) {
            return final ? std::optional<bool>(false) : std::nullopt;
        }
        const Bit& bit = pending[i];
        if (bit.value == Bit::invalid) {
            return false;
        }
        if (bit.value != syncPattern[i] && (bit.certainty >= clearlyWrong || ++unclear > 1)) {
            return false;
        }
    }
    return true;
}

// After a 1 in a start bit's place: the footer's 1s (after the filler's nine cycles in the
// second place of a pair) confirm the end; a clear 0 among them means the data goes on.
std::optional<bool> CharacterFramer::endConfirmed(bool final) const {
    const std::size_t skip = secondOfPair ? characterCycles : 1;
    int zeros = 0;
    for (std::size_t i = 1; i < skip + endWindow; ++i) {
        if (i >= pending.size()) {
            return final ? std::optional<bool>(zeros == 0) : std::nullopt;
        }
        const Bit& bit = pending[i];
        if (bit.value == Bit::invalid) {
            // The signal stopped: silence after a short or missing footer, unless it comes
            // back within the longest dropout with data (a clear 0 among the cycles of a
            // character): then the 1 here was the dropout's edge, not the load's end.
            if (zeros != 0) {
                return false;
            }
            const std::optional<bool> data = dataAfterLoss(i, final);
            if (!data.has_value()) {
                return std::nullopt;
            }
            return !*data;
        }
        const bool mustBeOne = i >= skip - 1;  // the filler's stop bit and everything after
        if (mustBeOne && bit.value == Bit::zero) {
            if (bit.certainty >= clearZero || ++zeros > 1) {
                return false;
            }
        }
    }
    return true;
}

std::optional<bool> CharacterFramer::dataAfterLoss(std::size_t lost, bool final) const {
    const double from = pending[lost].start;
    std::size_t at = lost;
    while (at < pending.size() && pending[at].value == Bit::invalid) {
        ++at;
    }
    const double back = at < pending.size() ? pending[at].start : pending.back().end;
    if (halfUnit > 0.0 && back - from > DropoutBridge::longestHalves * halfUnit) {
        return false;  // silence longer than any dropout that is bridged
    }
    for (std::size_t seen = 0; seen < characterCycles; ++seen, ++at) {
        if (at >= pending.size()) {
            return final ? std::optional<bool>(false) : std::nullopt;
        }
        const Bit& bit = pending[at];
        if (bit.value == Bit::invalid) {
            return false;
        }
        if (bit.value == Bit::zero && bit.certainty >= clearZero) {
            return true;
        }
    }
    return false;
}

// The filler's eight data bits are left out of the sum, and a bit the recording cut off or
// lost is a guess. Nor does any framing check them: where two 0s run together into a 1, the
// bits after it move up a place, the stop bit reads as the last data bit and the footer's
// first cycle as the stop bit (in the data the next start bit shows such a slip). That takes
// a last data bit of 1, and a "1" whose middle edge stands off where the load's own 1s have
// theirs.
void CharacterFramer::takeFiller(double start) {
    unsigned filler = 0;
    for (std::size_t i = 1; i <= dataBits; ++i) {
        const bool read = i < pending.size() && pending[i].value != Bit::invalid;
        if (!read || pending[i].value == Bit::one) {
            filler |= 1u << (i - 1);
        }
        current.fillerCertainty[i - 1] = read ? toByte(pending[i].certainty) : 0;
    }
    if ((filler >> (dataBits - 1) & 1u) != 0) {
        for (std::size_t i = 1; i < dataBits && i < pending.size(); ++i) {
            if (pending[i].value == Bit::one) {
                const std::size_t after = pending[i - 1].value == Bit::one ? 1 : 0;
                double usual = 0.5;
                double spread = unmeasuredMiddleSpread;
                if (const double n = middleCounts[after]; n >= middleSamples) {
                    usual = middleSums[after] / n;
                    spread = std::sqrt(std::max(0.0, middleSquares[after] / n - usual * usual));
                    spread = std::max(spread, leastMiddleSpread);
                }
                const double spreads = std::fabs(pending[i].middle - usual) / spread;
                const double left = 2.0 - spreads / mergedMiddleSpreads;
                current.fillerCertainty[i - 1] =
                    std::min(current.fillerCertainty[i - 1], toByte(static_cast<float>(left)));
            }
        }
    }
    current.hasFiller = true;
    current.filler = static_cast<std::uint8_t>(filler);
    current.fillerStart = start;
}

void CharacterFramer::takeCharacter(bool startMisread) {
    FramedCharacter character;
    character.start = pending[0].start;
    unsigned value = 0;
    for (std::size_t i = 0; i < characterCycles; ++i) {
        const Bit& bit = pending[i];
        character.offsets[i] =
            static_cast<std::uint16_t>(std::clamp(bit.start - character.start, 0.0, 65535.0));
        character.certainty[i] = toByte(bit.certainty);
        if (i >= 1 && i <= dataBits && bit.value == Bit::one) {
            value |= 1u << (i - 1);
        }
    }
    if (middleCounts[0] < middleSamplesKept || middleCounts[1] < middleSamplesKept) {
        for (std::size_t i = 1; i < characterCycles; ++i) {
            const Bit& bit = pending[i];
            if (bit.value == Bit::one && bit.certainty >= clearMiddle) {
                const std::size_t after = pending[i - 1].value == Bit::one ? 1 : 0;
                middleSums[after] += bit.middle;
                middleSquares[after] += bit.middle * bit.middle;
                middleCounts[after] += 1.0;
            }
        }
    }
    character.value = static_cast<std::uint8_t>(value);
    character.startMisread = startMisread;
    if (startMisread) {
        character.certainty[0] = 0;
    }
    character.stopBad = pending[stopIndex].value != Bit::one;
    character.length = static_cast<float>(pending[stopIndex].end - character.start);
    current.end = pending[stopIndex].end;
    current.characters.push_back(character);
    lastTaken.assign(pending.begin(), pending.begin() + characterCycles);
    halfUnit = halfUnitOf(lastTaken);
    if (const std::optional<Deviations> measured = cycleDeviations(lastTaken, halfUnit)) {
        for (const double deviation : *measured) {
            ++deviations[std::min(deviations.size() - 1,
                                  static_cast<std::size_t>(deviation * deviationBins))];
        }
    }
    lastEnd = current.end;
    pending.erase(pending.begin(), pending.begin() + characterCycles);
    secondOfPair = !secondOfPair;
}

// How clearly the data ended where a 1 stands in a start bit's place: 0 where a cycle of the
// last character, or one of those that confirmed the end, lasts other than its value's length
// at the footer's speed, by more than the footer's own cycles scatter (endSpreads times their
// spread, at least endLengthTolerance); else 1. Data cut off and followed by another tone
// mostly leaves a cycle of odd length at the join, one that can still read as a clear 1.
float CharacterFramer::endClarity() const {
    std::vector<double> ones;
    const std::size_t confirming =
        std::min(pending.size(), (secondOfPair ? characterCycles : 1) + endClarityCycles);
    for (std::size_t i = confirming; i < pending.size() && ones.size() < endWindow; ++i) {
        if (pending[i].value == Bit::one) {
            ones.push_back(pending[i].end - pending[i].start);
        }
    }
    if (ones.empty()) {
        return 1.0f;  // the signal stopped: the end of the recording or silence, not a tone
    }
    const auto middle = ones.begin() + static_cast<long>(ones.size() / 2);
    std::nth_element(ones.begin(), middle, ones.end());
    const double unit = *middle;
    std::vector<double> offs;
    for (const double length : ones) {
        offs.push_back(std::fabs(length / unit - 1.0));
    }
    const auto offMiddle = offs.begin() + static_cast<long>(offs.size() / 2);
    std::nth_element(offs.begin(), offMiddle, offs.end());
    // The data's own cycles before the last character, which a band limit or a codec may have
    // made longer or shorter after some patterns, show how far a cycle strays without a cut.
    auto before = deviations;
    const std::optional<Deviations> last = cycleDeviations(lastTaken, halfUnitOf(lastTaken));
    for (const double deviation : last.value_or(Deviations{})) {
        std::size_t& n = before[std::min(before.size() - 1,
                                         static_cast<std::size_t>(deviation * deviationBins))];
        n -= last && n > 0 ? 1 : 0;
    }
    std::size_t counted = 0;
    for (const std::size_t n : before) {
        counted += n;
    }
    std::size_t bin = 0;
    for (std::size_t below = 0; bin + 1 < before.size(); ++bin) {
        below += before[bin];
        if (static_cast<double>(below) >= endQuantile * static_cast<double>(counted)) {
            break;
        }
    }
    const double strays = static_cast<double>(bin + 1) / deviationBins;
    const double tolerance =
        std::max({endLengthTolerance, endSpreads * 1.4826 * *offMiddle, strays * endStraysMargin});
    float clarity = 1.0f;
    auto weigh = [&](const Bit& b) {
        if (b.value == Bit::invalid) {
            return;
        }
        if (cycleDeviation(b, unit / 2.0) > tolerance) {
            clarity = 0.0f;
        }
    };
    for (const double deviation : last.value_or(Deviations{})) {
        if (last && deviation > tolerance) {
            clarity = 0.0f;
        }
    }
    std::for_each(pending.begin(), pending.begin() + static_cast<long>(confirming), weigh);
    return clarity;
}

CharacterFramer::Status CharacterFramer::process(bool final) {
    while (state != State::done) {
        if (pending.empty()) {
            if (!final) {
                return status;
            }
            if (state == State::footer) {
                break;
            }
            return fail("the recording ends inside the load", current.end);
        }
        const Bit& first = pending.front();
        if (state == State::sync) {
            const std::optional<bool> sync = syncAhead(final);
            if (!sync.has_value()) {
                return status;
            }
            if (!*sync || syncDoubted) {
                const std::optional<bool> slipped = slippedSync(final);
                if (!slipped.has_value()) {
                    return status;
                }
                if (!*slipped) {
                    return loseSync(noSyncCharacter, first.start);
                }
            }
            current.end = pending[stopIndex].end;
            halfUnit = (pending[stopIndex].end - pending[0].start) / (2.0 * syncUnits);
            for (std::size_t i = 0; i < syncPattern.size(); ++i) {
                current.syncCertainty =
                    std::min(current.syncCertainty,
                             pending[i].value == syncPattern[i] ? pending[i].certainty : 0.0f);
            }
            pending.erase(pending.begin(), pending.begin() + characterCycles);
            state = State::data;
            continue;
        }
        if (state == State::footer) {
            if (first.value == Bit::one) {
                ++current.footerCycles;
                current.footerEnd = first.end;
                current.end = first.end;
                pending.pop_front();
                continue;
            }
            if (first.value == Bit::zero) {
                // Either the next load's sync character (the footer ran into its header)
                // or a cycle that noise shortened inside the footer.
                const std::optional<bool> sync = syncAhead(final);
                if (!sync.has_value()) {
                    return status;
                }
                if (!*sync) {
                    // A lone 0 among 1s is noise in the footer; anything else ends it.
                    const std::size_t look = 4;
                    if (pending.size() < look && !final) {
                        return status;
                    }
                    bool lone = pending.size() >= look;
                    for (std::size_t i = 1; lone && i < look; ++i) {
                        lone = pending[i].value == Bit::one;
                    }
                    if (!lone) {
                        break;
                    }
                    ++current.footerCycles;
                    current.footerEnd = first.end;
                    current.end = first.end;
                    pending.pop_front();
                    continue;
                }
                rest.assign(pending.begin(), pending.end());
                current.runsIntoNext = true;
            }
            break;
        }
        if (state == State::bridge) {
            const Status bridged = bridge(final);
            if (state == State::bridge || state == State::done) {
                return bridged;
            }
            continue;
        }
        // A start bit's place.
        if (first.value == Bit::invalid) {
            return loseSignal("the signal is lost inside the data", first.start);
        }
        bool misread = false;
        if (first.value == Bit::one) {
            const std::optional<bool> end = endConfirmed(final);
            if (!end.has_value()) {
                return status;
            }
            if (*end) {
                current.endCertainty = endClarity();
                if (secondOfPair) {
                    takeFiller(first.start);
                    const std::size_t used = std::min<std::size_t>(characterCycles, pending.size());
                    current.end = pending[used - 1].end;
                    const double after = current.end;
                    pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
                    startFooter(after);
                } else {
                    startFooter(first.start);
                }
                continue;
            }
            misread = true;
        }
        if (pending.size() < characterCycles) {
            const bool lost = std::any_of(pending.begin(), pending.end(),
                                          [](const Bit& b) { return b.value == Bit::invalid; });
            if (!final && !lost) {
                return status;
            }
            if (!lost) {
                return fail("the signal is lost inside a character", pending.back().start);
            }
            return loseSignal("the signal is lost inside a character", pending.back().start);
        }
        for (std::size_t i = 1; i < characterCycles; ++i) {
            if (pending[i].value == Bit::invalid) {
                return loseSignal("the signal is lost inside a character", pending[i].start);
            }
        }
        if (current.characters.size() >= maximumCharacters) {
            return fail("ran past the longest load the machine takes", first.start);
        }
        bool dropped = false;
        if (misread || (pending[stopIndex].value == Bit::zero &&
                        pending[stopIndex].certainty >= clearlyWrong)) {
            // A start bit read 1 after a stop bit read 0 points at the last character first;
            // otherwise this one is tried first and the last one after it.
            const bool lastStopBad =
                !current.characters.empty() && current.characters.back().stopBad;
            bool tookBack = false;
            if (misread && lastStopBad) {
                const std::optional<bool> back = slipBefore(final);
                if (!back.has_value()) {
                    return status;
                }
                tookBack = *back;
            }
            if (!tookBack) {
                const std::optional<bool> shifted = resynchronise(final, misread);
                if (!shifted.has_value()) {
                    return status;
                }
                dropped = *shifted;
            }
            if (misread && !tookBack && !dropped && !lastStopBad) {
                const std::optional<bool> back = slipBefore(final);
                if (!back.has_value()) {
                    return status;
                }
                tookBack = *back;
            }
            if (tookBack) {
                takeCharacter(false);
                current.characters.back().extraCycleDropped = true;
                continue;
            }
            misread = misread && !dropped;
        }
        if (!dropped && (misread || pending[stopIndex].value != Bit::one) &&
            pending.front().start != noBridgeAt) {
            if (const std::optional<std::size_t> from = troubleFrom()) {
                const Status bridged = loseFraming(pending.front().start, *from);
                if (state == State::bridge || state == State::done) {
                    return bridged;
                }
                continue;
            }
        }
        takeCharacter(misread);
        if (dropped) {
            current.characters.back().extraCycleDropped = true;
        }
    }
    // A sync character with no data after it, whose footer something other than the end of
    // the recording cut off within a character's worth of cycles (lost signal, or a 0 that is
    // no lone hiss in a footer), was hiss at the edge of a dropout in a header tone: taken as
    // a load without data, it would stand in for the real load whose sync the dropout took,
    // as OK. The tone goes on.
    if (state == State::footer && !pending.empty() && current.characters.empty() &&
        current.footerCycles < static_cast<int>(characterCycles)) {
        rest.clear();
        state = State::sync;
        return fail(noSyncCharacter, pending.front().start);
    }
    current.complete = true;
    state = State::done;
    status = Status::finished;
    pending.clear();
    return status;
}

}  // namespace kelvanto::decode
