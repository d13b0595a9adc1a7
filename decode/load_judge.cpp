// Checksum verdicts and checksum-guided repair of the least certain bits.
// Every changed decision is listed; nothing else about the reading is touched.
#include "decode/load_judge.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "decode/signal_filter.h"
#include "decode/tape_timing.h"

namespace kelvanto::decode {

namespace {

struct BitChoice {
    std::size_t character;
    int bit;  // data bit 0..7
    float certainty;
};

// Framed bit index (0 start, 1..8 data, 9 stop) to the numbering the report uses.
int reportedBit(int framedIndex) {
    if (framedIndex == 0) {
        return 8;
    }
    return framedIndex == 9 ? 9 : framedIndex - 1;
}

}  // namespace

void LoadJudge::describe(const LoadCandidate& candidate, DecodedLoad& load) const {
    const FramedLoad& framed = candidate.framed;
    load.characters.reserve(framed.characters.size());
    for (const FramedCharacter& character : framed.characters) {
        load.characters.push_back(character.value);
    }
    load.hasFiller = framed.hasFiller;
    load.filler = framed.filler;
    load.headerCycles = candidate.headerCycles;
    const double syncFrame = candidate.toneOnly ? framed.end : framed.syncStart;
    load.headerSeconds = std::max(0.0, syncFrame - candidate.headerStart) / sampleRate;
    load.footerCycles = framed.footerCycles;
    load.footerSeconds = std::max(0.0, framed.footerEnd - framed.footerStart) / sampleRate;
    load.startSample = std::llround(candidate.headerStart);
    load.startSeconds = candidate.headerStart / sampleRate;
    load.syncSample = std::llround(syncFrame);
    load.endSample = std::llround(framed.end);
    load.endSeconds = framed.end / sampleRate;
    load.speedRatio = candidate.onePeriod > 0.0 ? nominalOnePeriod / candidate.onePeriod : 0.0;
    load.polarity = candidate.polarity;
    load.channel = candidate.channel;
    load.levelDbfs = candidate.amplitude > 0.0
                         ? 20.0 * std::log10(candidate.amplitude) - SignalFilter::squarePeakGainDb
                         : -200.0;
    load.problem = framed.problem;
    load.problemSample = std::llround(framed.problemAt);
    load.problemSeconds = framed.problemAt / sampleRate;
}

// One entry per doubtful character (its least certain cycle), so the list stays as long as
// the load at most.
void LoadJudge::listDoubts(const LoadCandidate& candidate, DecodedLoad& load) const {
    const auto& characters = candidate.framed.characters;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const FramedCharacter& character = characters[i];
        int worst = 0;
        for (int b = 1; b < 10; ++b) {
            if (character.certainty[static_cast<std::size_t>(b)] <
                character.certainty[static_cast<std::size_t>(worst)]) {
                worst = b;
            }
        }
        if (character.stopBad) {
            worst = 9;
        }
        const bool broken = character.stopBad || character.extraCycleDropped;
        const float certainty = broken ? 0.0f : character.bitCertainty(worst);
        if (certainty < doubtful) {
            const double frame = character.bitFrame(worst);
            load.doubts.push_back(CharacterDoubt{i, reportedBit(worst), certainty,
                                                 std::llround(frame), frame / sampleRate});
        }
    }
}

bool LoadJudge::repair(const LoadCandidate& candidate, DecodedLoad& load) const {
    const auto& characters = candidate.framed.characters;
    std::vector<BitChoice> choices;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        for (int b = 0; b < 8; ++b) {
            const float certainty = characters[i].bitCertainty(b + 1);
            if (certainty < doubtful) {
                choices.push_back(BitChoice{i, b, certainty});
                if (choices.size() > maximumDoubtfulBits) {
                    load.problem = "checksum wrong, and too many unclear cycles to repair";
                    return false;
                }
            }
        }
    }
    std::sort(choices.begin(), choices.end(),
              [](const BitChoice& a, const BitChoice& b) { return a.certainty < b.certainty; });
    const unsigned sum = loadSum(load.characters);
    // Flipping bit k of a character adds 2^k when it was 0 and takes 2^k away when it was 1.
    auto change = [&](const BitChoice& choice) {
        const unsigned weight = 1u << choice.bit;
        const bool set = (load.characters[choice.character] & weight) != 0;
        return set ? 256u - weight : weight;
    };
    auto fixes = [&](unsigned delta) { return ((sum + delta) & 0xFFu) == checksumTarget; };

    std::vector<BitChoice> best;
    float bestCost = std::numeric_limits<float>::max();
    for (const BitChoice& choice : choices) {
        if (fixes(change(choice)) && choice.certainty < bestCost) {
            best = {choice};
            bestCost = choice.certainty;
        }
    }
    if (best.empty()) {
        const std::size_t pool = std::min(pairPool, choices.size());
        for (std::size_t a = 0; a < pool; ++a) {
            for (std::size_t b = a + 1; b < pool; ++b) {
                const BitChoice& x = choices[a];
                const BitChoice& y = choices[b];
                if (x.certainty >= pairDoubtful || y.certainty >= pairDoubtful) {
                    continue;
                }
                const float cost = x.certainty + y.certainty;
                if (fixes(change(x) + change(y)) && cost < bestCost) {
                    best = {x, y};
                    bestCost = cost;
                }
            }
        }
    }
    if (best.empty()) {
        load.problem = "checksum wrong, and no change of the unclear cycles makes it right";
        return false;
    }
    for (const BitChoice& choice : best) {
        std::uint8_t& value = load.characters[choice.character];
        const std::uint8_t before = value;
        value = static_cast<std::uint8_t>(value ^ (1u << choice.bit));
        const double frame = characters[choice.character].bitFrame(choice.bit + 1);
        load.repairs.push_back(Repair{Repair::Kind::bitFlip, choice.character, choice.bit, before,
                                      value, std::llround(frame), frame / sampleRate});
    }
    return true;
}

DecodedLoad LoadJudge::judge(const LoadCandidate& candidate) const {
    DecodedLoad load;
    describe(candidate, load);
    listDoubts(candidate, load);
    const FramedLoad& framed = candidate.framed;
    if (candidate.toneOnly || !framed.complete) {
        load.verdict = Verdict::bad;
        return load;
    }
    load.problemSample = 0;
    load.problemSeconds = 0.0;
    if (load.characters.empty()) {
        // The converter sends a load without data as header, sync character and footer:
        // there is nothing to check and nothing missing.
        load.verdict = Verdict::ok;
        return load;
    }
    std::size_t guesses = 0;
    for (const FramedCharacter& character : framed.characters) {
        for (int b = 0; b < 10; ++b) {
            guesses += character.bitCertainty(b) < veryDoubtful ? 1 : 0;
        }
        guesses += character.stopBad ? 1 : 0;
        guesses += character.extraCycleDropped ? 1 : 0;
    }
    // Framing that held only because an extra cycle was left out counts as a repair.
    std::vector<Repair> framing;
    for (std::size_t i = 0; i < framed.characters.size(); ++i) {
        const FramedCharacter& character = framed.characters[i];
        if (character.extraCycleDropped) {
            framing.push_back(Repair{Repair::Kind::extraCycle, i, -1, character.value,
                                     character.value, std::llround(character.start),
                                     character.start / sampleRate});
        }
    }
    if (guesses > maximumGuesses + framed.characters.size() * 10 / guessesPerCycles) {
        load.verdict = Verdict::bad;
        load.problem = checksumRight(load.characters)
                           ? "checksum right, but too many cycles were guesses to trust it"
                           : "checksum wrong, and too many cycles were guesses to repair";
        return load;
    }
    if (checksumRight(load.characters)) {
        load.verdict = framing.empty() ? Verdict::ok : Verdict::repaired;
        load.repairs = framing;
        return load;
    }
    load.verdict = repair(candidate, load) ? Verdict::repaired : Verdict::bad;
    if (load.verdict == Verdict::repaired) {
        load.repairs.insert(load.repairs.begin(), framing.begin(), framing.end());
    }
    if (load.verdict == Verdict::bad) {
        const double at = framed.characters.back().start;
        load.problemSample = std::llround(at);
        load.problemSeconds = at / sampleRate;
    }
    return load;
}

}  // namespace kelvanto::decode
