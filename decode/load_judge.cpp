// SPDX-License-Identifier: MIT
// Checksum verdicts and the weighing of repairs by the certainty of every decision.
// Every changed decision is listed; nothing else about the reading is touched.
#include "decode/load_judge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <optional>
#include <string>

#include "base/machine.h"
#include "decode/character_length.h"
#include "decode/log_sum.h"
#include "decode/sum_posterior.h"

namespace kelvanto::decode {

namespace {

// The decoder's core has no dependency, not even the project's text helpers.
template <typename... Values>
std::string formatted(const char* pattern, Values... values) {
    char buffer[200];
    const int length = std::snprintf(buffer, sizeof buffer, pattern, values...);
    return std::string(buffer, static_cast<std::size_t>(std::clamp(length, 0, 199)));
}

// A data bit that a repair may change.
struct BitChoice {
    std::size_t character;
    int bit;        // data bit 0..7
    double odds;    // of being wrong as read
    unsigned move;  // what changing it does to the sum, modulo 256
};

// Whether the stop cycle of one character and the start cycle of the next together last a
// stop and a start (one and a half units, measured on the data cycles of both): then a
// wrong-looking stop or start bit between them is an edge that noise moved from one to the
// other, and the characters on either side are framed right.
bool boundaryHolds(const FramedCharacter& first, const FramedCharacter& second) {
    double frames = 0.0;
    double units = 0.0;
    for (const FramedCharacter* character : {&first, &second}) {
        frames += character->offsets[9] - character->offsets[1];
        for (int b = 0; b < 8; ++b) {
            units += ((character->value >> b) & 1u) != 0 ? 1.0 : 0.5;
        }
    }
    if (!(frames > 0.0)) {
        return false;
    }
    const double unit = frames / units;
    const double pair = second.start + second.offsets[1] - (first.start + first.offsets[9]);
    return std::fabs(pair / unit - 1.5) < LoadJudge::boundaryTolerance;
}

// Per character: whether its data bits are suspect, its start or stop bit having read wrong
// where no moved edge explains it (the reading may be off its framing there, or ran past the
// load's end).
std::vector<bool> suspects(const FramedLoad& framed) {
    const auto& characters = framed.characters;
    std::vector<bool> out(characters.size(), false);
    for (std::size_t i = 0; i < characters.size(); ++i) {
        // Measured only where a framing bit read wrong: most characters have none.
        auto stopExplained = [&] {
            return i + 1 < characters.size() && boundaryHolds(characters[i], characters[i + 1]) &&
                   !characters[i + 1].extraCycleDropped;
        };
        auto startExplained = [&] {
            return i > 0 && boundaryHolds(characters[i - 1], characters[i]) &&
                   !characters[i - 1].extraCycleDropped;
        };
        out[i] = (characters[i].stopBad && !stopExplained()) ||
                 (characters[i].startMisread && !startExplained());
    }
    return out;
}

// Changing data bit k adds 2^k when it was read 0 and takes 2^k away when it was read 1.
unsigned moveOf(std::uint8_t value, int bit) {
    const unsigned weight = 1u << bit;
    return (value & weight) != 0 ? 256u - weight : weight;
}

double bitOdds(const ErrorOdds& odds, const FramedCharacter& character, bool suspect, int bit) {
    const double read = odds.odds(character.certainty[static_cast<std::size_t>(bit) + 1]);
    return suspect ? std::max(read, LoadJudge::suspectOdds) : read;
}

// Every data bit of every character whose value is known, grouped by what changing it does
// to the sum and by its odds. Above the doubtful half, where no repair looks, certainties
// are grouped by eight, each group at the odds of its least certain member (which can only
// make a repair look less sure than it is); the clear ones (255) stay a group of their own.
constexpr std::size_t certaintyGroup = 8;

std::size_t groupOf(std::uint8_t certainty) {
    if (certainty == 255 || certainty < 128) {
        return certainty;
    }
    return certainty / certaintyGroup * certaintyGroup;
}

// The decisions of the load that may be wrong, but for those of the characters left out
// (weighed apart).
SumPosterior posteriorOf(const FramedLoad& framed, const std::vector<bool>& suspect,
                         const ErrorOdds& odds, const std::vector<bool>& leftOut = {}) {
    // [move 0..15][certainty][suspect]
    std::vector<std::size_t> counts(16 * 256 * 2, 0);
    for (std::size_t i = 0; i < framed.characters.size(); ++i) {
        const FramedCharacter& character = framed.characters[i];
        if (character.extraCycleDropped || (i < leftOut.size() && leftOut[i])) {
            continue;
        }
        const std::size_t s = suspect[i] ? 1 : 0;
        for (int b = 0; b < 8; ++b) {
            const std::size_t move =
                static_cast<std::size_t>(b) * 2 + ((character.value >> b) & 1u);
            const std::size_t q = groupOf(character.certainty[static_cast<std::size_t>(b) + 1]);
            ++counts[(move * 256 + q) * 2 + s];
        }
    }
    SumPosterior posterior;
    for (std::size_t move = 0; move < 16; ++move) {
        const int bit = static_cast<int>(move / 2);
        const std::uint8_t change =
            static_cast<std::uint8_t>(moveOf(static_cast<std::uint8_t>((move & 1u) << bit), bit));
        for (std::size_t q = 0; q < 256; ++q) {
            for (std::size_t s = 0; s < 2; ++s) {
                const std::size_t count = counts[(move * 256 + q) * 2 + s];
                if (count == 0) {
                    continue;
                }
                const double read = odds.odds(static_cast<std::uint8_t>(q));
                posterior.add(change, s != 0 ? std::max(read, LoadJudge::suspectOdds) : read,
                              count);
            }
        }
    }
    return posterior;
}

std::string chanceText(double chance) {
    if (chance < 1e-6) {
        return "below 1 in a million";
    }
    if (chance >= 0.5) {
        return formatted("%.0f %%", 100.0 * chance);
    }
    return formatted("1 in %.0f", 1.0 / chance);
}

std::string fitsWrongChance(double chance) {
    return formatted(" (the reading that fits the checksum would be wrong with a chance of %s)",
                     chanceText(chance).c_str());
}

// A repair is trusted: the load is REPAIRED, with the chance that the repair is wrong and no
// problem left.
void markRepaired(DecodedLoad& load, double chance) {
    load.wrongChance = chance;
    load.verdict = Verdict::repaired;
    load.problem.clear();
    load.problemSample = 0;
    load.problemSeconds = 0.0;
}

// The slipped characters' readings taken together: one reading of each, the log odds the
// signal gives them jointly against the readings the framer chose, and what they move the
// load's sum by.
struct JointReading {
    std::vector<std::uint8_t> values;
    // Which reading of each slip: an index into its others, or others.size() for the chosen.
    std::vector<std::size_t> picks;
    double logOdds = 0.0;
    unsigned move = 0;
};

// Each slipped character has its chosen reading and the others the framer kept; with several
// slips every combination is a reading of the load. A handful of slips of a few readings each
// is a few hundred combinations; past joinedMost the load is not weighed.
constexpr std::size_t joinedMost = 4096;

std::vector<JointReading> jointReadings(const std::vector<const SlipReading*>& slips,
                                        const std::vector<std::uint8_t>& chosen) {
    std::size_t count = 1;
    for (const SlipReading* slip : slips) {
        count *= slip->others.size() + 1;
        if (count > joinedMost) {
            return {};
        }
    }
    std::vector<JointReading> out;
    out.reserve(count);
    JointReading current;
    current.values.resize(slips.size());
    current.picks.resize(slips.size());
    auto walk = [&](auto&& self, std::size_t s) -> void {
        if (s == slips.size()) {
            out.push_back(current);
            return;
        }
        const SlipReading& slip = *slips[s];
        const std::uint8_t first = chosen[slip.character];
        const JointReading before = current;
        for (std::size_t k = 0; k <= slip.others.size(); ++k) {
            const bool isChosen = k == slip.others.size();
            const std::uint8_t value = isChosen ? first : slip.others[k];
            current.values[s] = value;
            current.picks[s] = k;
            current.logOdds = before.logOdds + slip.logOddsOf(k) - slip.chosenLogOdds;
            current.move = (before.move + value + 256u - first) & 0xFFu;
            self(self, s + 1);
        }
        current = before;
    };
    walk(walk, 0);
    return out;
}

// The chance that the best joint reading is wrong although it fits the checksum. Every other
// reading counts as likely as the signal makes it against the best (the same when it said
// nothing), and as many times likelier as the other decisions of the load are to move the sum
// back by what that reading leaves wrong (either way: an upper bound). A slip of another kind
// than those tried (two cycles, or a cycle and a bit misread) gives any value, together 0.35
// times as likely as the reading taken: in damaged recordings, the slips whose true value
// none of the readings tried gave were at most 0.32 times as many as those read right (worn
// cassettes, every severity; decode_bench counts them).
// Alone such a value needs other decisions to make up the difference; with the other slips
// read another way one value of it fits with nothing else wrong. Against all that stands the
// best reading with nothing else wrong, or with wrong decisions that cancel.
double slipWrongChance(const SumPosterior& posterior, const std::vector<const SlipReading*>& slips,
                       const std::vector<JointReading>& joint, const JointReading& best,
                       std::size_t beside) {
    constexpr double anyValue = 0.35;
    const double logRight = posterior.logWeight(0);
    if (!(logRight < 50.0)) {
        return 1.0;
    }
    const double right = std::exp(logRight);
    auto weight = [&](unsigned residue) {
        const double log = posterior.logWeight(static_cast<std::uint8_t>(residue & 0xFFu));
        return log < 50.0 ? std::exp(log) : HUGE_VAL;
    };
    double others = 0.0;
    for (unsigned residue = 1; residue < 256; ++residue) {
        others += weight(residue);
    }
    auto likelihood = [](double logOdds) { return std::exp(std::clamp(logOdds, -50.0, 50.0)); };
    double wrong = 0.0;
    for (const JointReading& reading : joint) {
        if (reading.values == best.values) {
            continue;
        }
        const unsigned left = (best.move + 256u - reading.move) & 0xFFu;
        wrong += likelihood(reading.logOdds - best.logOdds) *
                 (left == 0 ? right : weight(left) + weight(256u - left));
    }
    // Per slip, how likely all its readings are together against the one taken.
    std::vector<double> total(slips.size(), 0.0);
    for (std::size_t s = 0; s < slips.size(); ++s) {
        const SlipReading& slip = *slips[s];
        const double taken = slip.logOddsOf(best.picks[s]);
        total[s] = likelihood(slip.chosenLogOdds - taken);
        for (std::size_t k = 0; k < slip.others.size(); ++k) {
            total[s] += likelihood(slip.logOddsOf(k) - taken);
        }
    }
    double every = 1.0;
    for (std::size_t s = 0; s < slips.size(); ++s) {
        double rest = 1.0;
        for (std::size_t t = 0; t < slips.size(); ++t) {
            rest *= t != s ? total[t] : 1.0;
        }
        wrong += anyValue / 255.0 * (others + (rest - 1.0) * (right + others));
        every *= total[s];
    }
    // A character beside a slip may have lost or gained the cycle instead and read wrong
    // although it looks clear; then another reading of the slips fits the checksum with it.
    wrong += static_cast<double>(beside) * LoadJudge::besideSlipWrong / 255.0 *
             (others + (every - 1.0) * (right + others));
    const double chance = (wrong + right - 1.0) / (wrong + right);
    return std::isfinite(chance) ? std::clamp(chance, 0.0, 1.0) : 1.0;
}

}  // namespace

void LoadJudge::settleSlip(DecodedLoad& load, const std::vector<FramedCharacter>& characters,
                           std::size_t at, std::uint8_t value) const {
    const double frame = characters[at].start;
    const std::uint8_t before = load.characters[at];
    load.characters[at] = value;
    load.repairs.push_back(Repair{Repair::Kind::slip, at, -1, before, value, std::llround(frame),
                                  frame / sampleRate, 0});
    // Settled by the checksum, the character is a repair now and no longer unknown.
    const auto unknown =
        std::find_if(load.doubts.begin(), load.doubts.end(), [&](const CharacterDoubt& doubt) {
            return doubt.kind == CharacterDoubt::Kind::slipped && doubt.character == at;
        });
    if (unknown != load.doubts.end()) {
        load.doubts.erase(unknown);
    }
    // Counted among the doubtful whether or not the list had room for it.
    if (characters[at].extraCycleDropped) {
        --load.doubtfulCharacters;
    }
}

bool LoadJudge::weighedRepair(const LoadCandidate& candidate,
                              const std::vector<std::size_t>& slipped, const ErrorOdds& odds,
                              std::uint8_t missing, DecodedLoad& load,
                              double& likeliestChance) const {
    const std::vector<FramedCharacter>& characters = candidate.framed.characters;
    // The runs that hold a slip; every slip, and every character beside one whose own
    // framing broke, must lie in one.
    std::vector<RunWeights> runs;
    auto runOf = [&](std::size_t at) {
        return std::find_if(runs.begin(), runs.end(), [&](const RunWeights& run) {
            return at >= run.first && at < run.first + run.count;
        });
    };
    for (const std::size_t at : slipped) {
        if (runOf(at) != runs.end()) {
            continue;
        }
        const auto stretch =
            std::find_if(candidate.stretches.begin(), candidate.stretches.end(),
                         [&](const SignalStretch& s) { return at >= s.first && at <= s.last; });
        if (stretch == candidate.stretches.end() || runs.size() == mostWeighedRuns) {
            return false;
        }
        const std::optional<RunWeights> weights = RunWeigher::weigh(candidate, *stretch);
        if (!weights) {
            return false;
        }
        runs.push_back(*weights);
    }
    for (const std::size_t at : slipped) {
        for (const std::size_t beside : {at - 1, at + 1}) {
            if (beside < characters.size() &&
                (characters[beside].stopBad || characters[beside].startMisread) &&
                runOf(beside) == runs.end()) {
                return false;
            }
        }
    }
    // The other decisions of the load; the characters of the runs are weighed on the signal.
    std::vector<bool> weighed(characters.size(), false);
    for (const RunWeights& run : runs) {
        std::fill_n(weighed.begin() + static_cast<long>(run.first), run.count, true);
    }
    const SumPosterior posterior =
        posteriorOf(candidate.framed, suspects(candidate.framed), odds, weighed);
    const double logRight = posterior.logWeight(0);
    if (runs.empty() || !(logRight < 50.0)) {
        return false;
    }
    // The runs together, one after another: for each move of the sum, all their readings
    // that make it, and the likeliest of them (with the move each run takes in it).
    constexpr double none = -std::numeric_limits<double>::infinity();
    std::array<double, 256> joint;
    std::array<double, 256> likeliest;
    joint.fill(none);
    likeliest.fill(none);
    joint[0] = likeliest[0] = 0.0;
    std::vector<std::array<std::uint8_t, 256>> moveOf(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        std::array<double, 256> sums;
        std::array<double, 256> bests;
        sums.fill(none);
        bests.fill(none);
        for (unsigned before = 0; before < 256; ++before) {
            if (!(joint[before] > none)) {
                continue;
            }
            for (unsigned a = 0; a < 256; ++a) {
                const unsigned m = (before + a) & 0xFFu;
                addLog(sums[m], joint[before] + runs[r].logWeight[a]);
                const double best = likeliest[before] + runs[r].likeliestLog[a];
                if (best > bests[m]) {
                    bests[m] = best;
                    moveOf[r][m] = static_cast<std::uint8_t>(a);
                }
            }
        }
        joint = sums;
        likeliest = bests;
    }
    if (!(likeliest[missing] > none)) {
        return false;
    }
    // Everything that fits the checksum: readings of the runs, with the other decisions of
    // the load making up what they leave (either way: an upper bound).
    double fit = none;
    for (unsigned d = 0; d < 256; ++d) {
        const double left = joint[(missing + 256u - d) & 0xFFu];
        addLog(fit, left + posterior.logWeight(static_cast<std::uint8_t>(d)));
        if (d != 0) {
            addLog(fit, left + posterior.logWeight(static_cast<std::uint8_t>(256u - d)));
        }
    }
    // A clear-looking character beside a run may be wrong too (the cycle lost or gained may
    // have been its), any of its other values with the runs read any way and the rest as it
    // comes: the checksum then fits where the runs' likeliest reading does not hold.
    std::size_t beside = 0;
    for (const RunWeights& run : runs) {
        for (const std::size_t at : {run.first - 1, run.first + run.count}) {
            beside += at < characters.size() && !weighed[at] ? 1 : 0;
        }
    }
    if (beside > 0) {
        double all = none;
        double rest = none;
        for (unsigned m = 0; m < 256; ++m) {
            addLog(all, joint[m]);
            addLog(rest, posterior.logWeight(static_cast<std::uint8_t>(m)));
        }
        addLog(fit, std::log(static_cast<double>(beside) * besideSlipWrong / 255.0) + all + rest);
    }
    const double chance = std::clamp(-std::expm1(likeliest[missing] - fit), 0.0, 1.0);
    if (!(chance < likelierRight)) {
        return false;
    }
    // Where the load's characters keep their lengths, each run's reading must last as long as
    // the run did: a recording cut and joined inside a run leaves it as long as no reading.
    const bool steady = typicalMisfit(candidate.framed) <= steadyLengths;
    std::vector<std::pair<std::size_t, std::uint8_t>> values;
    std::uint8_t left = missing;
    for (std::size_t r = runs.size(); r-- > 0;) {
        const std::uint8_t move = moveOf[r][left];
        if (steady &&
            std::fabs(runs[r].measuredHalves - runs[r].likeliestHalves[move]) > lengthSlack) {
            return false;
        }
        for (std::size_t i = 0; i < runs[r].count; ++i) {
            values.emplace_back(runs[r].first + i, runs[r].likeliest[move][i]);
        }
        left = static_cast<std::uint8_t>(left - move);
    }
    std::sort(values.begin(), values.end());
    if (lengthMismatch(candidate.framed, values)) {
        return false;
    }
    if (!(chance < repairTrusted)) {
        // Not to be trusted, but likelier right than the reading that fails the checksum.
        for (const auto& [at, value] : values) {
            load.characters[at] = value;
        }
        likeliestChance = chance;
        return false;
    }
    markRepaired(load, chance);
    for (const auto& [at, value] : values) {
        if (value != load.characters[at] || characters[at].extraCycleDropped) {
            settleSlip(load, characters, at, value);
        }
    }
    return true;
}

std::optional<std::size_t> LoadJudge::lengthMismatch(
    const FramedLoad& framed, const std::vector<std::pair<std::size_t, std::uint8_t>>& values) {
    if (!(typicalMisfit(framed) <= steadyLengths)) {
        return std::nullopt;
    }
    for (const auto& [at, value] : values) {
        // A character without clean neighbours cannot be measured, and is not held to it.
        if (std::fabs(lengthMisfit(framed, at, value)) > lengthSlack) {
            return at;
        }
    }
    return std::nullopt;
}

void LoadJudge::slipUnknown(DecodedLoad& load, const std::vector<FramedCharacter>& characters,
                            std::size_t index, const std::string& why) const {
    load.verdict = Verdict::bad;
    const std::string what = formatted(
        "the framing slipped in character %zu (a cycle cut in two or two merged), so its "
        "value is unknown",
        index);
    load.problem = (machine::loadSumRight(load.characters) ? "checksum right, but " + what
                                                           : "checksum wrong, and " + what) +
                   why;
    load.problemSample = std::llround(characters[index].start);
    load.problemSeconds = characters[index].start / sampleRate;
}

void LoadJudge::judgeLost(const FramedLoad& framed, const SumPosterior& posterior,
                          const std::vector<std::size_t>& lost, bool slipsToo,
                          DecodedLoad& load) const {
    const auto& characters = framed.characters;
    const std::size_t at = lost.front();
    load.verdict = Verdict::bad;
    std::size_t last = at;
    while (last + 1 < characters.size() && characters[last + 1].signalLost) {
        ++last;
    }
    if (lost.size() > 1 || slipsToo) {
        std::string what =
            last > at ? formatted(
                            "the signal was lost over characters %zu to %zu (a dropout), so "
                            "their values are unknown",
                            at, last)
                      : formatted(
                            "the signal was lost over character %zu (a dropout), so its "
                            "value is unknown",
                            at);
        if (lost.size() > last - at + 1) {
            what +=
                formatted(", and over %zu more characters later", lost.size() - (last - at + 1));
        } else if (slipsToo) {
            what += ", and the framing of other characters slipped";
        }
        load.problem = what;
        load.problemSample = std::llround(characters[at].start);
        load.problemSeconds = characters[at].start / sampleRate;
        return;
    }
    // The one value that makes the checksum right (the character counts as 0 so far). A
    // character's length follows from its 1 bits, so the stretch lost must last as long as
    // that value does; and any decision read wrong elsewhere would change it, so the chance
    // that it is wrong is the chance that any is.
    const std::uint8_t value = machine::checkSumCompleting(machine::loadSum(load.characters));
    load.characters[at] = value;
    load.problemSample = std::llround(characters[at].start);
    load.problemSeconds = characters[at].start / sampleRate;
    if (!(characters[at].lostHalves > 0.0f)) {
        // Lost with the sync character before it, where the tone's end is not known: the
        // stretch does not measure it, and the checksum alone does not settle it.
        load.problem = formatted(
            "the signal was lost over character %zu (a dropout), so its value is unknown", at);
        return;
    }
    if (!(std::fabs(characters[at].lostHalves - characterHalves(value)) <= lostLengthSlack)) {
        load.problem = formatted(
            "the signal was lost over character %zu (a dropout), and the value that makes the "
            "checksum right (%02x) does not last as long as the signal was lost",
            at, value);
        return;
    }
    double logTotal = -HUGE_VAL;
    for (unsigned residue = 0; residue < 256; ++residue) {
        const double w = posterior.logWeight(static_cast<std::uint8_t>(residue));
        addLog(logTotal, w);
    }
    const double chance = std::isfinite(logTotal) ? -std::expm1(-std::max(0.0, logTotal)) : 1.0;
    if (!(chance < repairTrusted)) {
        load.problem = formatted(
            "the signal was lost over character %zu (a dropout), so its value is unknown (the "
            "value that fits the checksum would be wrong with a chance of %s)",
            at, chanceText(chance).c_str());
        return;
    }
    markRepaired(load, chance);
    load.repairs.push_back(Repair{Repair::Kind::lost, at, -1, 0, value,
                                  std::llround(characters[at].start),
                                  characters[at].start / sampleRate, 0});
    const auto unknown =
        std::find_if(load.doubts.begin(), load.doubts.end(), [&](const CharacterDoubt& doubt) {
            return doubt.kind == CharacterDoubt::Kind::lost && doubt.character == at;
        });
    if (unknown != load.doubts.end()) {
        load.doubts.erase(unknown);
    }
    --load.doubtfulCharacters;
}

void LoadJudge::judgeUncounted(const FramedLoad& framed, std::size_t lostCharacters,
                               DecodedLoad& load) const {
    const UncountedDropout& dropout = framed.uncounted.front();
    const std::size_t off = std::max(dropout.kept - dropout.fewest, dropout.most - dropout.kept);
    const char* places = off == 1 ? "place" : "places";
    std::string what;
    if (dropout.tookSync) {
        // With the sync character, none of the data may have been lost, or several.
        what = "the signal was lost over the sync character";
        if (dropout.kept > 1) {
            what += formatted(" and characters 0 to %zu (a dropout), so their values are unknown",
                              dropout.kept - 1);
        } else if (dropout.kept == 1) {
            what += " and character 0 (a dropout), so its value is unknown";
        } else {
            what += " (a dropout)";
        }
        what += formatted(
            "; it took %zu to %zu characters after the sync character, so those read after it "
            "may stand up to %zu %s off",
            dropout.fewest, dropout.most, off, places);
    } else {
        // Inside the data, at least one character was lost.
        what = dropout.kept > 1
                   ? formatted(
                         "the signal was lost over characters %zu to %zu (a dropout), so their "
                         "values are unknown",
                         dropout.first, dropout.first + dropout.kept - 1)
                   : formatted(
                         "the signal was lost over character %zu (a dropout), so its value is "
                         "unknown",
                         dropout.first);
        what += formatted(
            "; it lasted as long as %zu to %zu characters, so those after it may stand up to "
            "%zu %s off",
            dropout.fewest, dropout.most, off, places);
    }
    if (lostCharacters > dropout.kept) {
        what += formatted(", and the signal was lost over %zu more characters elsewhere",
                          lostCharacters - dropout.kept);
    }
    load.verdict = Verdict::bad;
    load.problem = what;
    const double frame = dropout.first < framed.characters.size()
                             ? framed.characters[dropout.first].start
                             : framed.end;
    load.problemSample = std::llround(frame);
    load.problemSeconds = frame / sampleRate;
}

void LoadJudge::judgeChecksum(const LoadCandidate& candidate, const ErrorOdds& odds,
                              DecodedLoad& load) const {
    const FramedLoad& framed = candidate.framed;
    const auto& characters = framed.characters;
    const double checksumFrame = characters.back().start;

    // A character whose framing slipped has no value of its own: one that was put right with
    // its other possible readings kept is weighed below, with the checksum; one without them
    // is an erasure, and no sum can vouch for a value that was not read.
    std::vector<const SlipReading*> slips;
    std::vector<std::size_t> slipped;
    std::optional<std::size_t> firstSlip;
    std::optional<std::size_t> unread;  // the first slipped character without readings
    std::vector<std::size_t> lost;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (characters[i].signalLost) {
            lost.push_back(i);
            continue;
        }
        if (!characters[i].extraCycleDropped) {
            continue;
        }
        firstSlip = firstSlip.value_or(i);
        const auto kept =
            std::find_if(framed.slips.begin(), framed.slips.end(),
                         [&](const SlipReading& slip) { return slip.character == i; });
        slipped.push_back(i);
        if (kept == framed.slips.end()) {
            unread = unread.value_or(i);
            continue;
        }
        slips.push_back(&*kept);
    }

    if (!framed.uncounted.empty()) {
        judgeUncounted(framed, lost.size(), load);
        return;
    }

    std::size_t guesses = 0;
    for (const FramedCharacter& character : characters) {
        if (character.signalLost) {
            continue;  // nothing of it was read, and it is weighed on its own
        }
        for (int b = 0; b < 10; ++b) {
            guesses += character.bitCertainty(b) < veryDoubtful ? 1 : 0;
        }
        guesses += character.stopBad ? 1 : 0;
    }
    if (guesses > maximumGuesses + characters.size() * 10 / guessesPerCycles) {
        load.verdict = Verdict::bad;
        placeProblem(load,
                     machine::loadSumRight(load.characters)
                         ? formatted("checksum right, but %zu cycles were guesses: too many to "
                                     "trust it",
                                     guesses)
                         : formatted("checksum wrong, and %zu cycles were guesses: too many to "
                                     "repair",
                                     guesses),
                     checksumFrame);
        return;
    }

    if (!lost.empty()) {
        judgeLost(framed, posteriorOf(framed, suspects(framed), odds), lost, !slips.empty(), load);
        return;
    }

    // A load of a few characters has too few decisions to measure how its certainties fall,
    // and hiss in a dip between a header tone and the rest of it, read in either polarity,
    // can make one: it is trusted only as read, with a right checksum and a clearly read
    // sync character, and never repaired.
    if (characters.size() < fewestWeighed) {
        if (firstSlip) {
            slipUnknown(load, characters, *firstSlip, std::string());
            return;
        }
        if (!machine::loadSumRight(load.characters)) {
            load.verdict = Verdict::bad;
            placeProblem(load, "checksum wrong, and a load this short is not repaired",
                         checksumFrame);
            return;
        }
        if (!(framed.syncCertainty >= clearSync)) {
            load.verdict = Verdict::bad;
            placeProblem(load,
                         "checksum right, but its sync character read too unclearly to tell a "
                         "load this short from noise",
                         checksumFrame);
            return;
        }
    }

    const std::vector<bool> suspect = suspects(framed);
    const SumPosterior posterior = posteriorOf(framed, suspect, odds);
    const std::uint8_t missing = machine::checkSumCompleting(machine::loadSum(load.characters));
    // Where the readings the framer kept cannot settle the slipped characters, the signal
    // weighed over each broken run may. A BAD load is written as its likeliest reading: where
    // a reading that fits the checksum is likelier right than wrong, that one (the reading as
    // framed fails the checksum), and the report gives the chance that it is wrong.
    auto unsettled = [&](std::size_t at, const std::string& why) {
        double chance = std::nan("");
        if (!weighedRepair(candidate, slipped, odds, missing, load, chance)) {
            slipUnknown(load, characters, at,
                        std::isnan(chance) || !why.empty() ? why : fitsWrongChance(chance));
        }
    };
    if (unread) {
        unsettled(*unread, std::string());
        return;
    }
    if (!slips.empty()) {
        // The likeliest joint reading of the slipped characters that makes the checksum right
        // with nothing else changed is taken when nothing else comes near it.
        const std::vector<JointReading> joint = jointReadings(slips, load.characters);
        const JointReading* best = nullptr;
        for (const JointReading& reading : joint) {
            if (reading.move == missing && (best == nullptr || reading.logOdds > best->logOdds)) {
                best = &reading;
            }
        }
        if (best == nullptr) {
            unsettled(*firstSlip, std::string());
            return;
        }
        // A slip beside a character whose own framing broke (a start bit read 1, a stop bit
        // read 0) may have taken a cycle from it or given it one: that character's value is as
        // unknown as the slipped one's, and two unknown values fit any checksum.
        for (const SlipReading* slip : slips) {
            const std::size_t at = slip->character;
            for (const std::size_t beside : {at - 1, at + 1}) {
                if (beside < characters.size() && !characters[beside].extraCycleDropped &&
                    (characters[beside].stopBad || characters[beside].startMisread)) {
                    unsettled(at, formatted(" (the framing of character %zu beside it broke too)",
                                            beside));
                    return;
                }
            }
        }
        std::vector<std::pair<std::size_t, std::uint8_t>> repaired;
        for (std::size_t s = 0; s < slips.size(); ++s) {
            repaired.emplace_back(slips[s]->character, best->values[s]);
        }
        if (const auto misfit = lengthMismatch(framed, repaired)) {
            slipUnknown(load, characters, *misfit,
                        " (the reading that fits the checksum does not last as long as the "
                        "character did)");
            return;
        }
        std::vector<std::size_t> beside;
        for (const SlipReading* slip : slips) {
            for (const std::size_t at : {slip->character - 1, slip->character + 1}) {
                if (at < characters.size() && !characters[at].extraCycleDropped &&
                    std::find(beside.begin(), beside.end(), at) == beside.end()) {
                    beside.push_back(at);
                }
            }
        }
        const double chance = slipWrongChance(posterior, slips, joint, *best, beside.size());
        if (!(chance < repairTrusted)) {
            double weighed = std::nan("");
            if (weighedRepair(candidate, slipped, odds, missing, load, weighed)) {
                return;
            }
            if (std::isnan(weighed) && chance < likelierRight) {
                for (const auto& [at, value] : repaired) {
                    load.characters[at] = value;
                }
            }
            slipUnknown(load, characters, *firstSlip,
                        fitsWrongChance(std::isnan(weighed) ? chance : weighed));
            return;
        }
        markRepaired(load, chance);
        for (const auto& [at, value] : repaired) {
            settleSlip(load, characters, at, value);
        }
        return;
    }
    if (missing == 0) {
        // Errors that cancel in the sum (a bit of one weight read 0 in one place and 1 in
        // another) are all that a right checksum can hide.
        load.wrongChance = 1.0 - posterior.share(0, 1.0);
        if (load.wrongChance < okTrusted) {
            load.verdict = Verdict::ok;
            return;
        }
        load.verdict = Verdict::bad;
        placeProblem(load,
                     "checksum right, but so many decisions are unclear that errors cancelling "
                     "in it have a chance of " +
                         chanceText(load.wrongChance),
                     checksumFrame);
        return;
    }

    // The least certain data bits, most likely wrong first.
    std::vector<BitChoice> pool;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        for (int b = 0; b < 8; ++b) {
            if (characters[i].bitCertainty(b + 1) < doubtful) {
                pool.push_back(BitChoice{i, b, bitOdds(odds, characters[i], suspect[i], b),
                                         moveOf(characters[i].value, b)});
            }
        }
    }
    const std::size_t size = std::min(searchPool, pool.size());
    std::partial_sort(pool.begin(), pool.begin() + static_cast<long>(size), pool.end(),
                      [](const BitChoice& a, const BitChoice& b) { return a.odds > b.odds; });
    pool.resize(size);

    std::vector<std::size_t> best;
    double bestWeight = 0.0;
    std::vector<double> fitting;  // weights of every change that fits
    std::vector<std::size_t> chosen;
    auto search = [&](auto&& self, std::size_t from, unsigned move, double weight) -> void {
        if (!chosen.empty() && static_cast<std::uint8_t>(move) == missing) {
            fitting.push_back(weight);
            if (weight > bestWeight) {
                bestWeight = weight;
                best = chosen;
            }
        }
        if (chosen.size() == maximumChanges) {
            return;
        }
        for (std::size_t i = from; i < pool.size(); ++i) {
            chosen.push_back(i);
            self(self, i + 1, move + pool[i].move, weight * pool[i].odds);
            chosen.pop_back();
        }
    };
    search(search, 0, 0, 1.0);

    if (best.empty()) {
        load.verdict = Verdict::bad;
        placeProblem(load, "checksum wrong, and no change of the unclear decisions makes it right",
                     checksumFrame);
        return;
    }
    const double chance = 1.0 - posterior.share(missing, bestWeight);
    const auto rivals = std::count_if(fitting.begin(), fitting.end(), [&](double weight) {
        return weight >= comparable * bestWeight;
    });
    std::sort(best.begin(), best.end(), [&](std::size_t a, std::size_t b) {
        return pool[a].character != pool[b].character ? pool[a].character < pool[b].character
                                                      : pool[a].bit < pool[b].bit;
    });
    // The change made, each bit a repair when it is trusted.
    auto change = [&](bool repaired) {
        for (const std::size_t index : best) {
            const BitChoice& choice = pool[index];
            std::uint8_t& value = load.characters[choice.character];
            const std::uint8_t before = value;
            value = static_cast<std::uint8_t>(value ^ (1u << choice.bit));
            const double frame = characters[choice.character].bitFrame(choice.bit + 1);
            if (repaired) {
                load.repairs.push_back(Repair{Repair::Kind::bitFlip, choice.character, choice.bit,
                                              before, value, std::llround(frame),
                                              frame / sampleRate, 0});
            }
        }
    };
    if (!(chance < repairTrusted)) {
        load.verdict = Verdict::bad;
        // Likelier right than wrong, the change is made all the same: the load is written as
        // its likeliest reading (as read, it fails the checksum).
        const bool made = chance < likelierRight;
        if (made) {
            change(false);
        }
        const auto count = static_cast<long>(rivals);
        const std::string which =
            rivals > 1 ? (made ? formatted("the likeliest of %ld changes of unclear decisions that "
                                           "make it right about as likely as each other",
                                           count)
                               : formatted("%ld changes of unclear decisions make it right about "
                                           "as likely as each other",
                                           count))
                       : std::string(made ? "the likeliest change of unclear decisions"
                                          : "the likeliest change that makes it right");
        placeProblem(load,
                     (made ? "checksum right only with " : "checksum wrong, and ") + which +
                         formatted(made ? " (it would be wrong with a chance of %s)"
                                        : " (the best would be wrong with a chance of %s)",
                                   chanceText(chance).c_str()),
                     checksumFrame);
        return;
    }
    markRepaired(load, chance);
    change(true);
}

// An odd count of characters ends with a filler that the sum leaves out, yet a binary load's
// data holds it: half its bits in the byte that holds the checksum, half in the byte after
// the last. No checksum vouches for it, so a load is trusted only when its own decisions do
// (a filler the reading never got is unknown).
void LoadJudge::judgeFiller(const FramedLoad& framed, const ErrorOdds& odds,
                            DecodedLoad& load) const {
    if (framed.characters.size() % 2 == 0) {
        return;
    }
    double right = framed.hasFiller ? 1.0 : 0.0;
    for (const std::uint8_t certainty : framed.fillerCertainty) {
        right /= 1.0 + odds.odds(certainty);
    }
    load.wrongChance += 1.0 - right;
    if (load.wrongChance < repairTrusted) {
        return;
    }
    load.verdict = Verdict::bad;
    const std::string filler =
        "the characters fit the checksum, but the filler after them, which the sum leaves out "
        "and the tape image keeps, ";
    if (!framed.hasFiller) {
        placeProblem(load, filler + "was not read", framed.end);
        return;
    }
    placeProblem(load,
                 filler + "is unclear: it is wrong with a chance of " + chanceText(1.0 - right),
                 framed.fillerStart);
}

DecodedLoad LoadJudge::judge(const LoadCandidate& candidate) const {
    return judge(candidate, ErrorOdds(candidate.framed));
}

DecodedLoad LoadJudge::judge(const LoadCandidate& candidate, const ErrorOdds& odds) const {
    DecodedLoad load;
    describe(candidate, load);
    listDoubts(candidate, load);
    const FramedLoad& framed = candidate.framed;
    const std::vector<bool> suspect = suspects(framed);
    for (std::size_t i = 0; i < framed.characters.size(); ++i) {
        const FramedCharacter& character = framed.characters[i];
        if (character.extraCycleDropped) {
            load.expectedWrong += 1.0;
            continue;
        }
        double right = 1.0;
        for (int b = 0; b < 8; ++b) {
            right /= 1.0 + bitOdds(odds, character, suspect[i], b);
        }
        // A start bit read 1 or a stop bit read 0: most likely not a character at all (the
        // reading is off its framing there, or ran past the load's end).
        load.expectedWrong += suspect[i] ? std::max(0.5, 1.0 - right) : 1.0 - right;
    }
    load.whole = framed.complete && !candidate.toneOnly;
    if (candidate.toneOnly || !framed.complete) {
        load.verdict = Verdict::bad;
    } else if (load.characters.empty()) {
        // The converter sends a load without data as header, sync character and footer:
        // there is no checksum, and only a clearly read sync character tells it from hiss in
        // a header tone that happened to look like one.
        load.problemSample = 0;
        load.problemSeconds = 0.0;
        load.verdict = Verdict::ok;
        if (framed.runsIntoNext) {
            load.verdict = Verdict::bad;
            placeProblem(load,
                         "no characters, and the footer runs straight into the next load's tone "
                         "(a load cut off and recorded over ends like this)",
                         framed.syncStart);
        } else if (!(framed.syncCertainty >= clearSync)) {
            load.verdict = Verdict::bad;
            placeProblem(load,
                         "no characters after a sync character read too unclearly to tell it "
                         "from noise",
                         framed.syncStart);
        }
    } else {
        load.problemSample = 0;
        load.problemSeconds = 0.0;
        judgeChecksum(candidate, odds, load);
        if (load.verdict != Verdict::bad && framed.runsIntoNext &&
            !(framed.endCertainty >= clearEnd)) {
            load.verdict = Verdict::bad;
            placeProblem(load,
                         "checksum right, but the load runs straight into the next load's tone "
                         "where its cycles are unclear (a load cut off and recorded over ends "
                         "like this)",
                         framed.characters.back().start);
        }
        if (load.verdict != Verdict::bad) {
            judgeFiller(framed, odds, load);
        }
    }
    if (load.verdict != Verdict::ok || !(load.wrongChance < repairTrusted)) {
        load.evidence = std::make_shared<const LoadCandidate>(candidate);
    }
    return load;
}

}  // namespace kelvanto::decode
