// SPDX-License-Identifier: MIT
// Framing of sync character, character pairs, filler and footer.
// Bits wait in a short queue only where the end of a load must be confirmed.
#include "decode/character_framer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "base/machine.h"
#include "decode/character_length.h"
#include "decode/dropout_bridge.h"

namespace kelvanto::decode {

namespace {

// The cycles of a character: its start bit (index 0), its data bits least significant first
// (indices 1 to dataBits) and its stop bit (the last).
constexpr std::size_t characterCycles = machine::cyclesPerCharacter;
constexpr std::size_t dataBits = machine::dataBitsPerCharacter;
constexpr std::size_t stopIndex = characterCycles - 1;

// The sync character framed as every character is. Its bit pattern reads the same in both
// orders, so a reader that takes it most significant bit first finds it just the same.
constexpr std::array<int, characterCycles> syncPattern = [] {
    std::array<int, characterCycles> bits{};
    bits[0] = machine::startBit;
    for (std::size_t bit = 0; bit < dataBits; ++bit) {
        bits[bit + 1] = (machine::syncCharacter >> bit) & 1;
    }
    bits[stopIndex] = machine::stopBit;
    return bits;
}();
// Its length in units: a unit for each 1 cycle, half of one for each 0.
constexpr double syncUnits = [] {
    double units = 0.0;
    for (const int bit : syncPattern) {
        units += bit == Bit::one ? 1.0 : 0.5;
    }
    return units;
}();

// Whether the cycles from here read exactly as the sync character (the caller makes sure
// that a character's worth of them is there).
bool readsAsSync(std::deque<Bit>::const_iterator from) {
    return std::equal(syncPattern.begin(), syncPattern.end(), from,
                      [](int value, const Bit& b) { return b.value == value; });
}

// The longest load the machine takes: a plain load of all its data bytes sends them and
// its checksum (the filler of the last pair is not counted among the characters). A reading
// that runs on past this is no load of this machine and ends there.
constexpr std::size_t maximumCharacters = static_cast<std::size_t>(
    machine::characterPositions(machine::plainLoadFormat, machine::loadDataSize));
constexpr const char* noSyncCharacter = "no sync character after the header tone";
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

namespace {

// How many of the framing bits (start 0, stop 1) of the next three characters are right
// when the bits are read with an offset from position from on (+1: one bit skipped there;
// -1: one bit missing there; +2 and -2 two).
int framingScore(const std::deque<Bit>& bits, std::size_t from, int offset) {
    int score = 0;
    auto value = [&](std::size_t i) {
        if (i < from) {
            return bits[i].value;
        }
        if (offset < 0 && i < from + static_cast<std::size_t>(-offset)) {
            return static_cast<int>(Bit::zero);  // a missing cycle, guessed as a 0
        }
        return bits[static_cast<std::size_t>(static_cast<long>(i) + offset)].value;
    };
    for (std::size_t c = 0; c < 3; ++c) {
        score += value(c * characterCycles) == Bit::zero ? 1 : 0;
        score += value(c * characterCycles + stopIndex) == Bit::one ? 1 : 0;
    }
    return score;
}

// The values of the first count cycles with one cycle taken out at at (offset +1) or one
// put in there (offset -1, guessed as a 0).
std::vector<int> shiftedValues(const std::deque<Bit>& bits, std::size_t count, std::size_t at,
                               int offset) {
    std::vector<int> values;
    values.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        if (i == at && offset < 0) {
            values.push_back(Bit::zero);
        }
        if (i != at || offset < 0) {
            values.push_back(bits[i].value);
        }
    }
    return values;
}

// The data value of ten framed cycles' bits, or nothing when its start or stop bit is wrong.
std::optional<std::uint8_t> framedValue(const std::array<int, characterCycles>& bits) {
    if (bits[0] != Bit::zero || bits[stopIndex] != Bit::one) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (std::size_t i = 1; i <= dataBits; ++i) {
        value |= bits[i] == Bit::one ? 1u << (i - 1) : 0u;
    }
    return static_cast<std::uint8_t>(value);
}

// The first ten bits after one change of the pending cycles at place at: that cycle taken
// out (drop), it and the next read as one 1 (join), it read as two cycles (split: two 0s,
// or a 1 and a 0 in either order), or a 0 put in before it (insertZero).
enum class Change { drop, join, split, splitOneZero, splitZeroOne, insertZero };
std::array<int, characterCycles> changed(const std::deque<Bit>& bits, Change change,
                                         std::size_t at) {
    std::array<int, characterCycles> out{};
    std::size_t from = 0;
    bool inserted = false;
    for (std::size_t i = 0; i < characterCycles; ++i, ++from) {
        if (change == Change::insertZero && from == at && !inserted) {
            out[i] = Bit::zero;
            inserted = true;
            --from;
            continue;
        }
        if (change == Change::drop && from == at) {
            ++from;
        }
        if (change == Change::join && from == at) {
            out[i] = Bit::one;
            ++from;
            continue;
        }
        const bool split = change == Change::split || change == Change::splitOneZero ||
                           change == Change::splitZeroOne;
        if (split && from == at) {
            out[i] = change == Change::splitOneZero ? Bit::one : Bit::zero;
            if (++i < characterCycles) {
                out[i] = change == Change::splitZeroOne ? Bit::one : Bit::zero;
            }
            continue;
        }
        out[i] = bits[from].value;
    }
    return out;
}

// What the signal says of one change against the cycles as read: a 1 split into two 0s or
// into a 0 and a 1 puts a 0 where a 1 started, two 0s joined put a 1 there. A cycle dropped
// or put in is not weighed. A 1 that two 0s made when the edge between them was lost keeps
// its start, and its shape tells them apart well: on damaged recordings, the split the
// signal favoured by 6 or more in log odds was the true reading in all 686 such slips under
// hiss and on worn cassettes, in 177 of 178 under MP3. The other changes are weighed from an
// edge that was added or moved, and there the reading the signal favoured was the wrong one
// about as often as not, so each counts for no more than mostSlipOdds: the checksum settles
// those. (Once counted for 0.1, such readings beat the true one in 40 of 69 slips under MP3,
// every value: worse than a coin, so they count for nothing now; the order of a 0 and a 1
// run together is weighed by their middle edge instead, see orderLogOdds.)
double changeLogOdds(const std::deque<Bit>& bits, Change change, std::size_t at) {
    const double evidence = bits[at].evidence;
    const double bounded =
        std::clamp(evidence, -CharacterFramer::mostSlipOdds, CharacterFramer::mostSlipOdds);
    switch (change) {
        case Change::split:
            return -evidence;
        case Change::splitZeroOne:
            return -bounded;
        case Change::join:
            // Only two 0s can be the pieces of a cut 1; a 1 joined with the cycle after it
            // is that cycle dropped, of which its shape says nothing.
            return bits[at].value == Bit::zero && at + 1 < bits.size() &&
                           bits[at + 1].value == Bit::zero
                       ? bounded
                       : 0.0;
        default:
            return 0.0;
    }
}

// Adds the value the bits would frame after one change, when they frame one, with what the
// signal says of it and what else is known of the change (extra, in log odds).
void noteValue(std::vector<CharacterFramer::Reading>& values, const std::deque<Bit>& bits,
               Change change, std::size_t at, double extra = 0.0) {
    if (const auto value = framedValue(changed(bits, change, at))) {
        values.push_back({*value, changeLogOdds(bits, change, at) + extra});
    }
}

// The mean length of the clear 1s among the first count cycles (0 when there is none).
double clearOneLength(const std::deque<Bit>& bits, std::size_t count) {
    double sum = 0.0;
    int ones = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (bits[i].value == Bit::one && bits[i].certainty >= 0.5f) {
            sum += bits[i].end - bits[i].start;
            ++ones;
        }
    }
    return ones > 0 ? sum / ones : 0.0;
}

// The share of the time of the first length cycles in which they read as the sync character
// does, its cycles stretched over the same time (a half unit for a 0, a unit for a 1).
double syncAgreement(const std::deque<Bit>& bits, std::size_t length) {
    const auto& pattern = syncPattern;
    const double units = syncUnits;
    const double from = bits[0].start;
    const double span = bits[length - 1].end - from;
    if (!(span > 0.0)) {
        return 0.0;
    }
    // Walk both timelines, each as a list of (end, value), and add up where they agree.
    double agree = 0.0;
    double at = 0.0;
    std::size_t read = 0;
    std::size_t sent = 0;
    double sentEnd = (pattern[0] == Bit::one ? 1.0 : 0.5) / units;
    while (read < length && sent < pattern.size()) {
        const double readEnd = (bits[read].end - from) / span;
        const double end = std::min(readEnd, sentEnd);
        if (end > at && bits[read].value == pattern[sent]) {
            agree += end - at;
        }
        at = std::max(at, end);
        if (readEnd <= sentEnd) {
            ++read;
        } else if (++sent < pattern.size()) {
            sentEnd += (pattern[sent] == Bit::one ? 1.0 : 0.5) / units;
        }
    }
    return agree;
}

// Whether a cycle lasts at least a 1 and a quarter of a clear 1: two cycles run together, one
// of them a 1.
bool longCycle(const Bit& bit, double oneLength) {
    return oneLength > 0.0 && bit.end - bit.start >= 1.25 * oneLength;
}

// Two 0s run together into one cycle of a 1's length keep the level of 0s, and a lost edge
// means the level dipped there: they are quieter than the character's true 1s (a band limit
// takes more from the 0 tone, a dip more from them). Of the character's 1s of a 1's length
// (one cycle is missing, so they stand among its first nine cycles), the quietest is the
// likeliest pair by how much quieter it is than the next quietest: a likelihood ratio of
// (its level / theirs)^-2, at most e^3. Measured on the bench's damaged recordings, every
// value of every range (the share of those slips in which splitting the quietest 1 gave the
// true value): at a ratio below 0.5, all 83 under hiss and on worn cassettes; from 0.5 to
// 0.625, 36 of 44 under hiss; from 0.625 to 0.77, 83 of 124 under hiss and 38 of 41 on worn
// cassettes; from 0.77 to 1, 315 of 485 under hiss and 187 of 289 under MP3. Under hiss alone the
// levels of 1s scatter, and the likelihood stays near even there; it is weighed against the odds of
// every other split together, so the other splits' share only makes it more modest.
struct QuietOne {
    std::size_t at = characterCycles;  // none
    double ratio = 0.0;
    double logOdds = 0.0;
};
constexpr double levelExponent = 2.0;
constexpr double mostLevelOdds = 3.0;

QuietOne quietestOne(const std::deque<Bit>& bits, double oneLength) {
    QuietOne quiet;
    double quietest = HUGE_VAL;
    double next = HUGE_VAL;
    for (std::size_t i = 0; i + 1 < characterCycles; ++i) {
        if (bits[i].value != Bit::one || longCycle(bits[i], oneLength)) {
            continue;
        }
        const double level = bits[i].amplitude;
        if (level < quietest) {
            next = quietest;
            quietest = level;
            quiet.at = i;
        } else {
            next = std::min(next, level);
        }
    }
    if (!(next < HUGE_VAL) || !(quietest > 0.0)) {
        return QuietOne{};
    }
    quiet.ratio = quietest / next;
    quiet.logOdds = std::min(mostLevelOdds, -levelExponent * std::log(quiet.ratio));
    return quiet;
}

// A 0 and a 1 whose edges between them were lost run into one cycle half as long again as a
// 1, and the one edge left inside it says which came first. The edges lost are the rising
// and falling ones next to each other: the 0's low half and the edge after it when the 0
// came first, which leaves the middle edge at about two thirds of the cycle; the 1's edge at
// its end and the 0's first, when the 1 came first, which leaves it at about a third. (The
// other pairs would take a whole half of the louder 1.) The order the middle edge points at
// is the likelier by up to e^3, less the nearer it fell to half way. On the bench's damaged
// recordings, every value of every range, it was the true order in all 49 such slips whose
// middle edge fell more than 0.05 from half way (31 under MP3, 14 under hiss, 4 on worn
// cassettes), and in only 6 of 26 nearer (many of those were joined from two pieces, whose
// middle is taken as half way): there it says nothing.
constexpr double orderSlope = 30.0;
constexpr double mostOrderOdds = 3.0;

// Within this of half way the middle edge says nothing.
constexpr double orderDeadZone = 0.05;

// The log odds of a 0 then a 1, against a 1 then a 0, in a long cycle.
double orderLogOdds(const Bit& bit) {
    const double off = static_cast<double>(bit.middle) - 0.5;
    const double beyond = std::max(0.0, std::fabs(off) - orderDeadZone);
    return std::copysign(std::min(mostOrderOdds, orderSlope * beyond), off);
}

}  // namespace

// A noise spike that cuts one cycle into two pieces long enough to pass as bits adds a cycle,
// and every later character would be read one cycle late: its start bit in the place of the
// stop bit before it; a lost edge takes one away. When the framing bits show this (a clear 0
// stop bit, or a 1 start bit with data going on), the character is taken to hold one cycle
// too many or too few, if the next three characters then frame right and did not before.
// The values that every other such change would have given are kept with the load: the
// character's value is not known from its cycles alone, only the checksum can settle it.
std::optional<bool> CharacterFramer::resynchronise(bool final, bool startMisread) {
    // The next three characters; two cycles more for a change of two, and a character more
    // to look across two (see slipsInTwo).
    const std::size_t needed = 3 * characterCycles + 1;
    if (pending.size() < needed + 2 + characterCycles && !final) {
        return std::nullopt;
    }
    if (pending.size() < needed) {
        return false;
    }
    for (std::size_t i = 0; i < needed; ++i) {
        if (pending[i].value == Bit::invalid) {
            return false;
        }
    }
    std::size_t weakest = startMisread ? 0 : 1;
    for (std::size_t i = weakest; i <= characterCycles; ++i) {
        if (pending[i].certainty < pending[weakest].certainty) {
            weakest = i;
        }
    }
    // Two 0 cycles whose middle edge was lost look like one 1, and every later character is
    // read one cycle early. The least certain 1 of the character is taken as the pair; a
    // start bit read 1 may be the start and a 0 after it.
    std::optional<std::size_t> merged;
    for (std::size_t i = startMisread ? 0 : 1; i <= dataBits; ++i) {
        if (pending[i].value == Bit::one &&
            (!merged || pending[i].certainty < pending[*merged].certainty)) {
            merged = i;
        }
    }
    const int before = framingScore(pending, needed, 0);
    const double oneLength = clearOneLength(pending, needed);
    // A stop bit run together with the start bit after it: the character in hand lost its
    // start bit, and its data bits are all there.
    if (before <= 4 && lastTaken.size() == characterCycles &&
        longCycle(lastTaken.back(), oneLength) && framingScore(pending, 0, -1) == 6) {
        keepSlip(current.characters.size(),
                 {framedValue(changed(pending, Change::insertZero, 0)).value_or(0), 0.0}, {});
        Bit start = pending.front();
        start.value = Bit::zero;
        start.certainty = 0.0f;
        start.end = start.start;
        pending.push_front(start);
        return true;
    }
    const bool extraFits = before <= 4 && framingScore(pending, weakest, 1) == 6;
    const bool lostFits = before <= 4 && merged && framingScore(pending, *merged, -1) == 6;
    // Either change may frame the next three characters by chance; a cycle half as long
    // again as a 1 is two cycles run together, and then the lost cycle is the likelier.
    const bool lostFirst = lostFits && longCycle(pending[*merged], oneLength);
    if (extraFits && !lostFirst) {
        dropExtraCycle(weakest);
        return true;
    }
    if (lostFits) {
        restoreLostCycle(*merged, lostFirst, oneLength);
        return true;
    }
    return before <= 4 && (relockTwo() || slipsInTwo(weakest, merged, oneLength));
}

// A dip of level across the boundary of two characters can take a cycle from each (or add
// one to each): no change of this character alone frames what follows, and a change of two
// cycles in it frames this character wrong. Where one change of this character (the same
// two kinds resynchronise tries) frames it, and one more change in the next character then
// frames that one and the two after it, this character is put right now and the next one
// when its turn comes. Both values are then unknown, as after a change of two cycles in one
// character: no readings are kept, but the characters after them are read right. (Kept,
// such readings missed the true value far more often than single slips do: on the bench's
// damaged recordings, every value of every range, the slips whose true value none of their
// readings gave went from 53 to 163 under MP3 and from 55 to 71 on worn cassettes.)
bool CharacterFramer::slipsInTwo(std::size_t weakest, std::optional<std::size_t> merged,
                                 double oneLength) {
    constexpr std::size_t framed = 4;
    const std::size_t window = framed * characterCycles + 2;
    if (pending.size() < window) {
        return false;
    }
    for (std::size_t i = 0; i < window; ++i) {
        if (pending[i].value == Bit::invalid) {
            return false;
        }
    }
    // Whether the first change, then one more anywhere in the next character, frames all four.
    auto fits = [&](std::size_t at, int offset) {
        const std::vector<int> once = shiftedValues(pending, window, at, offset);
        if (once[0] != Bit::zero || once[stopIndex] != Bit::one) {
            return false;
        }
        std::deque<Bit> rest;
        for (std::size_t i = characterCycles; i < once.size(); ++i) {
            Bit bit;
            bit.value = once[i];
            rest.push_back(bit);
        }
        for (const int second : {1, -1}) {
            for (std::size_t place = 0; place <= characterCycles; ++place) {
                if (framingScore(rest, place, second) == 6) {
                    return true;
                }
            }
        }
        return false;
    };
    const bool lostFirst = merged && longCycle(pending[*merged], oneLength);
    const bool lostFits = merged && fits(*merged, -1);
    const bool extraFits = !(lostFits && lostFirst) && fits(weakest, 1);
    if (!lostFits && !extraFits) {
        return false;
    }
    unknownBefore = current.characters.size() + 2;
    if (extraFits) {
        dropExtraCycle(weakest);
    } else {
        restoreLostCycle(*merged, lostFirst, oneLength);
    }
    return true;
}

// Two cycles lost or two added in one character (a dip of level that merged or cut
// several): no change of one cycle frames what follows, and without a change of two every
// later character would be read off its framing. Where two cycles taken out, or two put in
// (guessed as 0s), frame the next three characters, the least certain such place is taken.
// The character's own value is then unknown: no other readings are kept, and it counts as
// lost, but the characters after it are read right.
bool CharacterFramer::relockTwo() {
    if (pending.size() < 3 * characterCycles + 3) {
        return false;  // the recording ended
    }
    std::optional<std::size_t> best;
    int bestOffset = 0;
    float least = 0.0f;
    for (const int offset : {2, -2}) {
        for (std::size_t from = 1; from <= stopIndex; ++from) {
            if (framingScore(pending, from, offset) != 6) {
                continue;
            }
            const float doubt = pending[from].certainty + pending[from + 1].certainty;
            if (!best || doubt < least) {
                least = doubt;
                best = from;
                bestOffset = offset;
            }
        }
    }
    if (!best) {
        return false;
    }
    const auto at = pending.begin() + static_cast<long>(*best);
    if (bestOffset > 0) {
        pending.erase(at, at + 2);
    } else {
        Bit guess = *at;
        guess.value = Bit::zero;
        guess.certainty = 0.0f;
        guess.evidence = 0.0f;
        guess.end = guess.start;
        pending.insert(at, 2, guess);
    }
    return true;
}

// A dip of level over the sync character can cut its cycles in two or run them together, and
// the whole load would be lost with it. The sync character lasts seven and a half units
// whatever its cycles were read as: where a stretch of eight to twelve cycles from the
// tone's end lasts that long (within syncTolerance of a unit) and the four characters after
// it frame right, the stretch is taken as the sync character, the closest fit first. Its
// cycles then count as guesses: a load without data is not trusted on it.
std::optional<bool> CharacterFramer::slippedSync(bool final) {
    constexpr std::size_t fewest = characterCycles - 2;
    constexpr std::size_t most = characterCycles + 2;
    constexpr std::size_t framedAfter = 4;
    constexpr double syncTolerance = 0.3;
    // A 1 cut into two 0s and two 0s run into a 1 still agree for 5.5 of its 7.5 units.
    constexpr double leastAgreement = 0.7;
    std::optional<std::size_t> best;
    double closest = 0.0;
    bool undecided = false;
    for (std::size_t length = fewest; length <= most; ++length) {
        const std::size_t end = length + framedAfter * characterCycles;
        bool fits = true;
        bool complete = true;
        for (std::size_t i = 0; fits && i < end; ++i) {
            if (i >= pending.size()) {
                complete = false;
                break;
            }
            const std::size_t place = (i + characterCycles - length) % characterCycles;
            fits = pending[i].value != Bit::invalid &&
                   (i < length || (place != 0 && place != stopIndex) ||
                    pending[i].value == (place == 0 ? Bit::zero : Bit::one));
        }
        if (!fits) {
            continue;
        }
        if (!complete) {
            undecided = true;
            continue;
        }
        const double oneLength = clearOneLength(pending, end);
        if (!(oneLength > 0.0)) {
            continue;
        }
        const double error =
            std::fabs((pending[length].start - pending[0].start) / oneLength - syncUnits);
        if (error < syncTolerance && syncAgreement(pending, length) >= leastAgreement &&
            (!best || error < closest)) {
            best = length;
            closest = error;
        }
    }
    if (undecided && !final) {
        return std::nullopt;
    }
    if (!best) {
        return false;
    }
    std::vector<Bit> sync(characterCycles);
    for (std::size_t i = 0; i < characterCycles; ++i) {
        sync[i] = pending[std::min(i, *best - 1)];
        sync[i].value = syncPattern[i];
        sync[i].certainty = 0.0f;
        sync[i].evidence = 0.0f;
    }
    sync.back().end = pending[*best - 1].end;
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(*best));
    pending.insert(pending.begin(), sync.begin(), sync.end());
    return true;
}

// A noise spike that cut one cycle into two pieces long enough to pass as bits: two pieces of
// a cut 1 are two 0s in a row, and the least certain such pair of the character is joined back
// into its 1; without one, the weakest cycle is dropped as a stray.
void CharacterFramer::dropExtraCycle(std::size_t weakest) {
    const std::size_t index = current.characters.size();
    std::vector<Reading> values;
    std::optional<std::size_t> join;
    for (std::size_t i = 0; i < characterCycles; ++i) {
        noteValue(values, pending, Change::drop, i);
        noteValue(values, pending, Change::join, i);
        if (pending[i].value == Bit::zero && pending[i + 1].value == Bit::zero &&
            framedValue(changed(pending, Change::join, i)) &&
            (!join || pending[i].certainty + pending[i + 1].certainty <
                          pending[*join].certainty + pending[*join + 1].certainty)) {
            join = i;
        }
    }
    noteValue(values, pending, Change::drop, characterCycles);
    Reading chosen;
    if (join) {
        chosen = {*framedValue(changed(pending, Change::join, *join)),
                  changeLogOdds(pending, Change::join, *join)};
        Bit& first = pending[*join];
        first.value = Bit::one;
        first.end = pending[*join + 1].end;
        first.certainty = 0.0f;
        pending.erase(pending.begin() + static_cast<long>(*join) + 1);
    } else {
        chosen = {framedValue(changed(pending, Change::drop, weakest)).value_or(0), 0.0};
        pending.erase(pending.begin() + static_cast<long>(weakest));
    }
    keepSlip(index, chosen, values);
}

// A lost edge: the cycle at merged stands for two. One of a 1's length was two 0s; one half
// as long again was a 1 and a 0 (in either order), and every such split of every 1 of the
// character is kept as a possible value. Two 0s are split where the signal and the levels
// (see quietestOne) make it likeliest; the least certain 1 when they say nothing.
void CharacterFramer::restoreLostCycle(std::size_t merged, bool withOne, double oneLength) {
    const std::size_t index = current.characters.size();
    const QuietOne quiet = withOne ? QuietOne{} : quietestOne(pending, oneLength);
    auto levelOdds = [&](std::size_t at) { return at == quiet.at ? quiet.logOdds : 0.0; };
    std::vector<Reading> values;
    for (std::size_t i = 0; i < characterCycles; ++i) {
        if (pending[i].value != Bit::one) {
            continue;
        }
        if (longCycle(pending[i], oneLength)) {
            // The order the middle edge points at keeps its odds, the other loses them.
            const double order = orderLogOdds(pending[i]);
            noteValue(values, pending, Change::splitOneZero, i, std::min(0.0, -order));
            noteValue(values, pending, Change::splitZeroOne, i, std::min(0.0, order));
        } else {
            noteValue(values, pending, Change::split, i, levelOdds(i));
        }
    }
    const auto quietValue = quiet.at < characterCycles
                                ? framedValue(changed(pending, Change::split, quiet.at))
                                : std::nullopt;
    std::size_t at = merged;
    if (quietValue && changeLogOdds(pending, Change::split, quiet.at) + quiet.logOdds >
                          changeLogOdds(pending, Change::split, merged) + levelOdds(merged)) {
        at = quiet.at;
    }
    const double order = withOne ? orderLogOdds(pending[merged]) : 0.0;
    const bool zeroFirst = order > 0.0;
    const Change change =
        !withOne ? Change::split : (zeroFirst ? Change::splitZeroOne : Change::splitOneZero);
    keepSlip(index,
             {framedValue(changed(pending, change, at)).value_or(0),
              changeLogOdds(pending, change, at) + levelOdds(at)},
             values);
    if (withOne && index >= unknownBefore) {
        const auto zeroOne = framedValue(changed(pending, Change::splitZeroOne, merged));
        const auto oneZero = framedValue(changed(pending, Change::splitOneZero, merged));
        if (zeroOne && oneZero) {
            current.slips.back().longMiddle = pending[merged].middle;
            current.slips.back().zeroOneValue = *zeroOne;
            current.slips.back().oneZeroValue = *oneZero;
        }
    }
    if (quietValue && index >= unknownBefore) {
        current.slips.back().quietRatio = static_cast<float>(quiet.ratio);
        current.slips.back().quietValue = *quietValue;
    }
    Bit& first = pending[at];
    Bit second = first;
    first.value = withOne && !zeroFirst ? Bit::one : Bit::zero;
    first.certainty = 0.0f;
    second.value = withOne && zeroFirst ? Bit::one : Bit::zero;
    second.certainty = 0.0f;
    pending.insert(pending.begin() + static_cast<long>(at) + 1, second);
}

// A value that several changes give is as likely as the likeliest of them, not as all of
// them together: the changes are not equally likely ways to the same value, and under hiss
// a value given several times beat the true one in all 59 slips where the sum of them decided
// by 2 or more in log odds. (The change chosen is among those noted, when any were.)
void CharacterFramer::keepSlip(std::size_t character, Reading chosen, std::vector<Reading> values) {
    if (character < unknownBefore) {
        return;
    }
    if (std::none_of(values.begin(), values.end(),
                     [&](const Reading& r) { return r.value == chosen.value; })) {
        values.push_back(chosen);
    }
    std::sort(values.begin(), values.end(),
              [](const Reading& a, const Reading& b) { return a.value < b.value; });
    SlipReading slip{character, {}, {}, 0.0};
    for (std::size_t i = 0; i < values.size();) {
        const std::uint8_t value = values[i].value;
        double likeliest = values[i].logOdds;
        std::size_t end = i;
        for (; end < values.size() && values[end].value == value; ++end) {
            likeliest = std::max(likeliest, values[end].logOdds);
        }
        if (value == chosen.value) {
            slip.chosenLogOdds = likeliest;
        } else {
            slip.others.push_back(value);
            slip.otherLogOdds.push_back(likeliest);
        }
        i = end;
    }
    current.slips.push_back(std::move(slip));
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

// A 1 cut in two in the last data bits of a character leaves its stop bit looking right (the
// last data bit takes its place) and shows only at the next start bit. When the character
// in hand cannot be put right on its own, the one before is taken back and tried with one
// cycle too many; if that frames the next three characters, it is the slipped one.
std::optional<bool> CharacterFramer::slipBefore(bool final) {
    if (lastTaken.size() != characterCycles || current.characters.empty() ||
        current.characters.back().extraCycleDropped || current.characters.back().startMisread) {
        return false;
    }
    const FramedCharacter taken = current.characters.back();
    const double end = current.end;
    current.characters.pop_back();
    secondOfPair = !secondOfPair;
    pending.insert(pending.begin(), lastTaken.begin(), lastTaken.end());
    const std::optional<bool> shifted = resynchronise(final, false);
    if (shifted.value_or(false)) {
        current.end = lastEnd;
        lastTaken.clear();
        return true;
    }
    pending.erase(pending.begin(), pending.begin() + characterCycles);
    current.characters.push_back(taken);
    current.end = end;
    secondOfPair = !secondOfPair;
    return shifted;
}

CharacterFramer::Status CharacterFramer::loseSignal(const char* problem, double at) {
    lostProblem = problem;
    lostAt = at;
    lostFrom = current.end;  // the end of the last character read, or of the sync character
    takenBack.clear();
    takenBackSlips.clear();
    // The characters read last before the dropout may hold cycles of its fade, or hiss read
    // in it: those that did not read clearly are lost with the rest, and the stretch lost is
    // measured from the last one that did.
    auto clear = [](const FramedCharacter& c) {
        bool clear = !c.stopBad && !c.startMisread && !c.extraCycleDropped;
        for (std::size_t i = 0; clear && i < characterCycles; ++i) {
            clear = c.bitCertainty(static_cast<int>(i)) >= DropoutBridge::clearAtEdge;
        }
        return clear;
    };
    std::size_t first = current.characters.size();
    while (first > 0 && current.characters.size() - first < mostTakenBack &&
           !clear(current.characters[first - 1])) {
        --first;
    }
    for (std::size_t k = first; k < current.characters.size(); ++k) {
        FramedCharacter& c = current.characters[k];
        takenBack.push_back(c);
        const auto kept = std::find_if(current.slips.begin(), current.slips.end(),
                                       [&](const SlipReading& s) { return s.character == k; });
        if (kept != current.slips.end()) {
            takenBackSlips.push_back(*kept);
            current.slips.erase(kept);
        }
        c.value = 0;
        c.extraCycleDropped = true;
        c.signalLost = true;
    }
    if (!takenBack.empty()) {
        lostFrom = current.characters[first].start;
    }
    state = State::bridge;
    return bridge(false);
}

// A dip of level so deep that hiss breaks every cycle of the sync character (and perhaps of
// the characters after it) leaves cycles that frame nothing, and the load's data after them
// as readable as ever. The stretch from the tone's end to where the framing picks up holds
// the sync character and a whole count of characters, just as a dropout inside the data
// does; the sync character is no data and is not kept. Where nothing frames after it (hiss
// that cut a cycle of the tone in two, the tone going on, or the signal gone: a footer into
// its gap), the tone is taken up again as before.
CharacterFramer::Status CharacterFramer::loseSync(const char* problem, double at) {
    if (!(halfUnit > 0.0)) {
        return fail(problem, at);
    }
    lookPastSync(problem, at, hiddenToneCycles, false);
    return bridge(false);
}

void CharacterFramer::beginAfterTone(double toneEnd, double toneHalfUnit, std::size_t gapCycles) {
    begin(toneEnd, toneHalfUnit);
    if (!(halfUnit > 0.0)) {
        fail(noSyncCharacter, toneEnd);
        return;
    }
    lookPastSync(noSyncCharacter, toneEnd, hiddenToneCycles + gapCycles, true);
}

void CharacterFramer::lookPastSync(const char* problem, double at, std::size_t shifts,
                                   bool afterGap) {
    lostProblem = problem;
    lostAt = at;
    // Where the sync character ended, had the tone ended where it seemed to.
    lostFrom = at + 2.0 * syncUnits * halfUnit;
    current.end = at;  // what was read ends there; the stretch after it may not be there at all
    syncLost = true;
    lookedPast = true;
    syncShifts = shifts;
    syncAfterGap = afterGap;
    takenBack.clear();
    takenBackSlips.clear();
    state = State::bridge;
}

// A stretch lost that fits several counts of characters (a dropout longer than about two)
// is taken to hold as many as it would at the mean length of the characters read either side
// of it (data runs alike for a while: a picture's rows, a program's text). The count may
// still be off; the load says by how much at most (see UncountedDropout).
std::size_t CharacterFramer::likeliestLost(const DropoutBridge::Found& found,
                                           std::size_t fewest) const {
    if (found.counted()) {
        return found.fewest;
    }
    double halves = 0.0;
    double characters = 0.0;
    for (auto c = current.characters.rbegin();
         c != current.characters.rend() && characters < DropoutBridge::framedAfter; ++c) {
        if (!c->signalLost) {
            halves += characterHalves(c->value);
            characters += 1.0;
        }
    }
    const std::size_t after =
        std::min(pending.size(), found.offset + DropoutBridge::framedAfter * characterCycles);
    for (std::size_t i = found.offset; i < after; ++i) {
        halves += halfUnitsOf(pending[i]);
    }
    characters += static_cast<double>(after - found.offset) / characterCycles;
    const double typical = halves / characters;
    const auto likeliest =
        static_cast<std::size_t>(std::max(0.0, std::round(found.halves / typical)));
    return std::clamp(likeliest, fewest, found.most);
}

// While the signal is lost, the cycles of the dropout (none a bit, or a few of hiss between
// them) are dropped; once it is back, the framing picks up where DropoutBridge finds it and
// every character lost is kept as one whose value is unknown, so that the count and the
// positions of the rest stay right.
CharacterFramer::Status CharacterFramer::bridge(bool final) {
    const double now = pending.empty() ? lostFrom : pending.back().end;
    const auto lastLost = std::find_if(pending.rbegin(), pending.rend(),
                                       [](const Bit& b) { return b.value == Bit::invalid; });
    if (syncLost && !syncAfterGap && lastLost != pending.rend()) {
        // The signal went where the sync character should be: the tone ended there (a
        // footer into its gap), as far as the cycles can tell.
        state = State::sync;
        return fail(lostProblem, lostAt);
    }
    pending.erase(pending.begin(), lastLost.base());
    // After a dropout the tone may come back for a few cycles, too few to count as tone
    // again, and then its sync character: the load starts there, nothing of it lost.
    if (syncAfterGap) {
        const auto sync = std::find_if(pending.begin(), pending.end(),
                                       [](const Bit& b) { return b.value != Bit::one; });
        if (pending.end() - sync >= static_cast<long>(characterCycles) && readsAsSync(sync)) {
            current.syncStart = sync->start;
            current.syncCertainty =
                std::min_element(sync, sync + characterCycles, [](const Bit& a, const Bit& b) {
                    return a.certainty < b.certainty;
                })->certainty;
            current.end = (sync + characterCycles - 1)->end;
            halfUnit = (current.end - current.syncStart) / (2.0 * syncUnits);
            pending.erase(pending.begin(), sync + characterCycles);
            syncLost = false;
            state = State::data;
            return status;
        }
    }
    // Where the sync character was lost, the damage may have begun in the tone and made its
    // last cycles into others (or a dropout taken them): the sync character then ended up to
    // syncShifts tone cycles later. The count is known where every such end that the framing
    // after it fits leaves one and the same count.
    const std::size_t ends = syncLost ? syncShifts + 1 : 1;
    DropoutBridge::Found found;
    std::size_t fitting = 0;
    bool oneCount = true;
    // The first end that measures a single count, and whether every such end measures the
    // same one.
    std::optional<DropoutBridge::Found> counted;
    bool countedAgree = true;
    for (std::size_t m = 0; m < ends; ++m) {
        DropoutBridge::Found shifted;
        const DropoutBridge::Outcome outcome =
            DropoutBridge::find(pending, lostFrom + 2.0 * halfUnit * static_cast<double>(m), now,
                                halfUnit, final, shifted, syncLost);
        if (outcome == DropoutBridge::Outcome::wait) {
            return status;
        }
        if (outcome == DropoutBridge::Outcome::found) {
            oneCount =
                oneCount && shifted.counted() && (fitting == 0 || shifted.fewest == found.fewest);
            found = fitting == 0 ? shifted : found;
            ++fitting;
            if (shifted.counted()) {
                countedAgree = countedAgree && (!counted || counted->fewest == shifted.fewest);
                counted = counted ? counted : shifted;
            }
        }
    }
    if (syncLost && !oneCount && fitting > 0) {
        if (found.clearAfter) {
            // The ends disagree: the tone may have run on into the damage for any part of it
            // (a dropout, a burst of noise), so it took anything from none of the characters
            // after the sync character to as many as the whole stretch holds, and the
            // likeliest count is that of half the stretch. The data after it is kept all the
            // same, where it reads clearly: hiss framed by chance reads as anything but clear
            // characters.
            found.fewest = 0;
            found.halves *= 0.5;
        } else if (counted && countedAgree) {
            // Unclear data after it: where the ends that measure a single count agree, that
            // count is taken; a reading begun at a place less sure than that, short of its
            // start, can pass for a whole load (hiss framed in a dropout inside a header).
            found = *counted;
        } else {
            fitting = 0;
        }
    }
    // Where the framing picks up at a sync character that a run of tone leads into, that is
    // the load's own sync character, after a cycle of the tone that hiss made into a 0: read
    // as data it would put every character one off. The tone goes on as before.
    constexpr std::size_t toneBefore = 8;
    if (fitting > 0 && syncLost && found.offset >= toneBefore &&
        found.offset + characterCycles <= pending.size() &&
        std::all_of(pending.begin() + static_cast<long>(found.offset - toneBefore),
                    pending.begin() + static_cast<long>(found.offset),
                    [](const Bit& b) { return b.value == Bit::one; }) &&
        readsAsSync(pending.begin() + static_cast<long>(found.offset))) {
        fitting = 0;
    }
    const std::size_t taken = takenBack.size();
    // Inside the data, the characters taken back and at least one more were lost.
    const std::size_t fewest = std::max(found.fewest, syncLost ? 0 : taken + 1);
    const std::size_t lost = fitting > 0 && fewest <= found.most ? likeliestLost(found, fewest) : 0;
    if (fitting == 0 || fewest > found.most ||
        current.characters.size() + lost - taken > maximumCharacters) {
        // Nothing lost after all: the characters taken back are as they were read.
        std::copy(takenBack.begin(), takenBack.end(),
                  current.characters.end() - static_cast<long>(taken));
        current.slips.insert(current.slips.end(), takenBackSlips.begin(), takenBackSlips.end());
        state = syncLost ? State::sync : State::data;
        return fail(lostProblem, lostAt);
    }
    if (fewest < found.most) {
        current.uncounted.push_back(UncountedDropout{current.characters.size() - taken, lost,
                                                     fewest, found.most, syncLost});
    }
    const double each =
        lost > 0 ? (pending[found.offset].start - lostFrom) / static_cast<double>(lost) : 0.0;
    const float lostHalves =
        lost == 1 && fitting == 1 && found.counted() ? static_cast<float>(found.halves) : 0.0f;
    if (syncLost) {
        current.syncCertainty = 0.0f;
        syncLost = false;
    }
    for (std::size_t k = taken; k < lost; ++k) {
        FramedCharacter character;
        character.start = lostFrom + each * static_cast<double>(k);
        character.extraCycleDropped = true;
        character.signalLost = true;
        character.lostHalves = lostHalves;
        current.characters.push_back(character);
        secondOfPair = !secondOfPair;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(found.offset));
    lastTaken.clear();
    takenBack.clear();
    takenBackSlips.clear();
    state = State::data;
    return status;
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
                    // The filler: its eight data bits, left out of the sum.
                    unsigned filler = 0;
                    for (std::size_t i = 1; i <= dataBits && i < pending.size(); ++i) {
                        if (pending[i].value != Bit::zero) {
                            filler |= 1u << (i - 1);
                        }
                    }
                    current.hasFiller = true;
                    current.filler = static_cast<std::uint8_t>(filler);
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
