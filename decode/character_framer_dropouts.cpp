// SPDX-License-Identifier: MIT
// The framer's dropouts: the signal lost inside the data or over the sync character,
// bridged to where the framing picks up, every character lost kept as unknown.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <optional>

#include "base/machine.h"
#include "decode/character_frame.h"
#include "decode/character_framer.h"
#include "decode/character_length.h"
#include "decode/dropout_bridge.h"

namespace kelvanto::decode {

using namespace frame;

CharacterFramer::Status CharacterFramer::loseSignal(const char* problem, double at,
                                                    std::optional<std::size_t> takeBackFrom) {
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
    std::size_t first = takeBackFrom.value_or(current.characters.size());
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

// A dip of level (or a burst of hiss) can cut or merge so many cycles of a few characters that
// no change of one or two cycles frames what follows. Read on cycle by cycle, every change that
// frames the next three characters by chance moves the framing again: on the bench's worn
// cassettes, runs of 26 to 200 characters came out a few cycles off, some loads a character
// short, before the framing found its place by chance. The data after the dip is as readable
// as after a dropout, so the stretch is bridged the same way: from the first character in
// trouble to where eight characters frame, its characters counted by its length and kept as
// unknown.
std::optional<std::size_t> CharacterFramer::troubleFrom() const {
    const std::size_t count = current.characters.size();
    std::optional<std::size_t> first;
    std::size_t troubled = 0;
    for (std::size_t k = count - std::min(count, troubleWindow); k < count; ++k) {
        const FramedCharacter& c = current.characters[k];
        if (c.stopBad || c.startMisread || c.extraCycleDropped) {
            first = first.value_or(k);
            ++troubled;
        }
    }
    return troubled >= troubledToBridge ? first : std::nullopt;
}

CharacterFramer::Status CharacterFramer::loseFraming(double at, std::size_t from) {
    framingLost = true;
    noBridgeAt = at;
    return loseSignal("the framing is lost inside the data", at, from);
}

void CharacterFramer::restoreTakenBack() {
    std::copy(takenBack.begin(), takenBack.end(),
              current.characters.end() - static_cast<long>(takenBack.size()));
    current.slips.insert(current.slips.end(), takenBackSlips.begin(), takenBackSlips.end());
    takenBack.clear();
    takenBackSlips.clear();
}

// Nothing frames within a dropout's length: the characters taken back are as they were read,
// and the character the framing broke in is read on as before.
CharacterFramer::Status CharacterFramer::endFramingBridge() {
    restoreTakenBack();
    framingLost = false;
    state = State::data;
    return status;
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
    if (framingLost) {
        // The stretch's cycles are all there, some cut in two or run together. A character
        // is ten cycles, a 1 two half units and a 0 one, so the stretch holds (halves - 1s) /
        // 10 characters: a cycle cut or merged moves the count of 1s by one and the estimate
        // by a tenth, where the length alone leaves every character's 1s to guess.
        double ones = 0.0;
        for (const FramedCharacter& c : takenBack) {
            ones += std::popcount(c.value) + (c.startMisread ? 1 : 0) + (c.stopBad ? 0 : 1);
        }
        for (std::size_t i = 0; i < found.offset; ++i) {
            ones += pending[i].value == Bit::one ? 1 : 0;
        }
        const double estimate = std::round((found.halves - ones) / characterCycles);
        return std::clamp(static_cast<std::size_t>(std::max(0.0, estimate)), fewest, found.most);
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
    if (framingLost && lastLost != pending.rend()) {
        // The signal is lost further on: that dropout is bridged when the reading comes to it.
        return endFramingBridge();
    }
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
    // Inside the data, the characters taken back and at least one more were lost. Where the
    // framing was lost, those taken back were read on cycles out of place, and the stretch
    // may hold fewer.
    const std::size_t fewest = std::max(found.fewest, syncLost      ? 0
                                                      : framingLost ? std::size_t{1}
                                                                    : taken + 1);
    const std::size_t lost = fitting > 0 && fewest <= found.most ? likeliestLost(found, fewest) : 0;
    if (fitting == 0 || fewest > found.most ||
        current.characters.size() + lost - taken > maximumCharacters) {
        if (framingLost) {
            return endFramingBridge();
        }
        // Nothing lost after all: the characters taken back are as they were read.
        restoreTakenBack();
        state = syncLost ? State::sync : State::data;
        return fail(lostProblem, lostAt);
    }
    if (fewest < found.most) {
        current.uncounted.push_back(UncountedDropout{current.characters.size() - taken, lost,
                                                     fewest, found.most, syncLost});
    }
    const double each =
        lost > 0 ? (pending[found.offset].start - lostFrom) / static_cast<double>(lost) : 0.0;
    // Where the framing was lost, a character before the first one in trouble may have
    // framed by chance a few cycles off: the stretch then starts in the wrong place, and the
    // checksum would give a value to the character lost and vouch for a wrong one. It is not
    // asked to.
    const float lostHalves = lost == 1 && fitting == 1 && found.counted() && !framingLost
                                 ? static_cast<float>(found.halves)
                                 : 0.0f;
    if (syncLost) {
        current.syncCertainty = 0.0f;
        syncLost = false;
    }
    for (std::size_t k = lost; k < taken; ++k) {
        current.characters.pop_back();
        secondOfPair = !secondOfPair;
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
    framingLost = false;
    lastTaken.clear();
    takenBack.clear();
    takenBackSlips.clear();
    state = State::data;
    return status;
}
}  // namespace kelvanto::decode
