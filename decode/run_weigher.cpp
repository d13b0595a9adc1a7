// SPDX-License-Identifier: MIT
// Every reading of an unclear run of characters, its square wave stretched over the run and
// correlated with the signal kept there, summed by how it moves the loader's sum.
#include "decode/run_weigher.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "base/machine.h"
#include "decode/character_length.h"
#include "decode/log_sum.h"

namespace kelvanto::decode {

namespace {

constexpr double none = -std::numeric_limits<double>::infinity();
// Half units of a character of no 1 bits, and of eight.
constexpr int shortest = static_cast<int>(characterHalves(0x00));
constexpr int longest = static_cast<int>(characterHalves(0xFF));

// How many half units one bit's cycle lasts.
constexpr int halvesOf(int bit) {
    return machine::bitFrames(bit) / machine::zeroBitFrames;
}

// The correlation with the signal of one framed character's square wave (every cycle low,
// then high), from a frame on with half units of this many frames; nothing when the
// stretch does not hold all of it.
std::optional<double> correlation(const SignalHistory& signal, std::uint8_t value, double from,
                                  double halfUnit) {
    double total = 0.0;
    double at = from;
    auto cycle = [&](int bit) {
        const double length = halvesOf(bit) * halfUnit;
        const std::optional<double> low = signal.area(at, at + 0.5 * length);
        const std::optional<double> high = signal.area(at + 0.5 * length, at + length);
        at += length;
        if (!low || !high) {
            return false;
        }
        total += *high - *low;
        return true;
    };
    bool held = cycle(machine::startBit);
    for (int b = 0; b < machine::dataBitsPerCharacter; ++b) {
        held = held && cycle((value >> b) & 1);
    }
    held = held && cycle(machine::stopBit);
    return held ? std::optional<double>(total) : std::nullopt;
}

// The run filled with `count` characters of `total` half units in all: the correlation of
// every value at every place (half units from the run's start), worked out once.
class Places {
  public:
    Places(const SignalHistory& signal, double from, double unit, int total, double sign)
        : signal(signal),
          from(from),
          unit(unit),
          sign(sign),
          values(static_cast<std::size_t>(total + 1) * 256, std::nan("")) {}

    std::optional<double> at(int halves, std::uint8_t value) {
        double& known = values[static_cast<std::size_t>(halves) * 256 + value];
        if (std::isnan(known)) {
            const std::optional<double> c = correlation(signal, value, from + halves * unit, unit);
            if (!c) {
                return std::nullopt;
            }
            known = sign * *c;
        }
        return known;
    }

  private:
    const SignalHistory& signal;
    double from;
    double unit;
    double sign;
    std::vector<double> values;
};

// The walk through the run, by characters so far of some half units in all and some sum
// (mod 256): the likelihood of all ways to a state and of the likeliest; and, kept for
// every step, how the likeliest came (its last character, and the half units before it).
struct Likelihood {
    double all = none;
    double best = none;
};
struct Way {
    std::uint8_t value = 0;
    std::uint8_t from = 0;
};

}  // namespace

std::optional<RunWeights> RunWeigher::weigh(const LoadCandidate& candidate,
                                            const SignalStretch& stretch) {
    const std::vector<FramedCharacter>& characters = candidate.framed.characters;
    if (!(candidate.hissPerFrame > 0.0) || stretch.last < stretch.first ||
        stretch.last - stretch.first + 1 > longestRun || stretch.first == 0 ||
        stretch.last + 1 >= characters.size()) {
        return std::nullopt;
    }
    const int count = static_cast<int>(stretch.last - stretch.first + 1);
    const FramedCharacter& before = characters[stretch.first - 1];
    const FramedCharacter& after = characters[stretch.last + 1];
    // The run starts where the clear character before it ended (its own first edge may be
    // the one the damage moved).
    const double from = before.start + before.length;
    const double to = after.start;
    // The clear characters either side must agree on the speed: where one of them is off its
    // value's length, an edge of it moved, and the run's ends are as much in doubt as it.
    const double unitBefore = before.length / characterHalves(before.value);
    const double unitAfter = after.length / characterHalves(after.value);
    const double halfUnit = 0.5 * (unitBefore + unitAfter);
    if (!(halfUnit > 0.0) || !(to > from) ||
        !(std::fabs(unitBefore - unitAfter) <= neighboursAgree * halfUnit)) {
        return std::nullopt;
    }
    std::array<int, 256> halves{};
    for (unsigned v = 0; v < 256; ++v) {
        halves[v] = static_cast<int>(characterHalves(static_cast<std::uint8_t>(v)));
    }
    const double sign = candidate.polarity == Polarity::inverted ? -1.0 : 1.0;
    // Every length in half units the run may have at the speed of its neighbours.
    const double expected = (to - from) / halfUnit;
    const double slack = std::max(lengthSlack, speedSlack * expected);
    std::vector<int> totals;
    std::vector<Places> places;
    for (int total = shortest * count; total <= longest * count; ++total) {
        if (std::fabs(total - expected) <= slack) {
            totals.push_back(total);
            places.emplace_back(stretch.signal, from, (to - from) / total, total, sign);
        }
    }
    // A character of the run that leaves room for the rest of it.
    auto fits = [&](int total, int k, int end) {
        const int rest = count - k - 1;
        return end >= total - longest * rest && end <= total - shortest * rest;
    };
    // The likeliest reading first, for the level of the signal over the run.
    double bestCorrelation = none;
    for (std::size_t t = 0; t < totals.size(); ++t) {
        const int total = totals[t];
        std::vector<double> best(static_cast<std::size_t>(total + 1), none);
        best[0] = 0.0;
        for (int k = 0; k < count; ++k) {
            std::vector<double> next(best.size(), none);
            for (int h = 0; h <= total; ++h) {
                if (!(best[static_cast<std::size_t>(h)] > none)) {
                    continue;
                }
                for (unsigned v = 0; v < 256; ++v) {
                    const int end = h + halves[v];
                    if (!fits(total, k, end)) {
                        continue;
                    }
                    const std::optional<double> c = places[t].at(h, static_cast<std::uint8_t>(v));
                    if (!c) {
                        return std::nullopt;
                    }
                    double& into = next[static_cast<std::size_t>(end)];
                    into = std::max(into, best[static_cast<std::size_t>(h)] + *c);
                }
            }
            best = std::move(next);
        }
        bestCorrelation = std::max(bestCorrelation, best[static_cast<std::size_t>(total)]);
    }
    const double level = bestCorrelation / (to - from);
    if (!(level > 0.0)) {
        return std::nullopt;
    }
    const double scale = counted * level / candidate.hissPerFrame;
    unsigned readSum = 0;
    for (int k = 0; k < count; ++k) {
        readSum += characters[stretch.first + static_cast<std::size_t>(k)].value;
    }
    RunWeights weights;
    weights.first = stretch.first;
    weights.count = static_cast<std::size_t>(count);
    weights.measuredHalves = expected;
    weights.logWeight.fill(none);
    weights.likeliestLog.fill(none);
    // Then every reading, by half units so far and sum so far.
    std::array<double, 256> logs{};
    for (std::size_t t = 0; t < totals.size(); ++t) {
        const int total = totals[t];
        const std::size_t width = static_cast<std::size_t>(total + 1) * 256;
        std::vector<Likelihood> now(width);
        std::vector<Likelihood> next(width);
        std::vector<std::vector<Way>> ways(static_cast<std::size_t>(count),
                                           std::vector<Way>(width));
        now[0] = Likelihood{0.0, 0.0};
        for (int k = 0; k < count; ++k) {
            std::fill(next.begin(), next.end(), Likelihood{});
            std::vector<Way>& came = ways[static_cast<std::size_t>(k)];
            for (int h = 0; h <= total; ++h) {
                const Likelihood* row = &now[static_cast<std::size_t>(h) * 256];
                if (std::none_of(row, row + 256,
                                 [](const Likelihood& l) { return l.all > none; })) {
                    continue;
                }
                // Each character that may start here, against its share of the likeliest.
                for (unsigned v = 0; v < 256; ++v) {
                    logs[v] = none;
                    if (fits(total, k, h + halves[v])) {
                        const std::optional<double> c =
                            places[t].at(h, static_cast<std::uint8_t>(v));
                        if (!c) {
                            return std::nullopt;
                        }
                        logs[v] = scale * (*c - bestCorrelation / count);
                    }
                }
                for (unsigned s = 0; s < 256; ++s) {
                    const Likelihood& state = row[s];
                    if (!(state.all > none)) {
                        continue;
                    }
                    for (unsigned v = 0; v < 256; ++v) {
                        if (!(logs[v] > none)) {
                            continue;
                        }
                        const std::size_t into =
                            static_cast<std::size_t>(h + halves[v]) * 256 + ((s + v) & 0xFFu);
                        addLog(next[into].all, state.all + logs[v]);
                        if (state.best + logs[v] > next[into].best) {
                            next[into].best = state.best + logs[v];
                            came[into] =
                                Way{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(h)};
                        }
                    }
                }
            }
            std::swap(now, next);
        }
        for (unsigned s = 0; s < 256; ++s) {
            const Likelihood& end = now[static_cast<std::size_t>(total) * 256 + s];
            const std::size_t move = (s + 256u * longestRun - readSum) & 0xFFu;
            addLog(weights.logWeight[move], end.all);
            if (!(end.best > weights.likeliestLog[move])) {
                continue;
            }
            weights.likeliestLog[move] = end.best;
            weights.likeliestHalves[move] = total;
            // The likeliest way back to the start.
            int h = total;
            unsigned sum = s;
            for (int k = count; k > 0; --k) {
                const Way& way =
                    ways[static_cast<std::size_t>(k) - 1][static_cast<std::size_t>(h) * 256 + sum];
                weights.likeliest[move][static_cast<std::size_t>(k) - 1] = way.value;
                sum = (sum + 256u - way.value) & 0xFFu;
                h = way.from;
            }
        }
    }
    return weights;
}

}  // namespace kelvanto::decode
