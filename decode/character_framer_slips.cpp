// SPDX-License-Identifier: MIT
// The framer's slips: a cycle cut in two or two run together inside a character, found by
// the framing of the characters after it, put right the likeliest way, its other readings kept.

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "base/machine.h"
#include "decode/character_frame.h"
#include "decode/character_framer.h"
#include "decode/character_length.h"
#include "decode/dropout_bridge.h"

namespace kelvanto::decode {

using namespace frame;

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

}  // namespace kelvanto::decode
