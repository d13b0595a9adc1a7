// SPDX-License-Identifier: MIT
// Every reading of a broken run of characters, its square wave stretched over the run and
// correlated with the signal kept there.
#include "decode/run_weigher.h"

#include <cmath>
#include <limits>
#include <vector>

#include "base/machine.h"
#include "decode/character_length.h"

namespace kelvanto::decode {

namespace {

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

struct Scored {
    double correlation;
    std::array<std::uint8_t, 2> values;
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
    const std::size_t count = stretch.last - stretch.first + 1;
    const FramedCharacter& before = characters[stretch.first - 1];
    const FramedCharacter& after = characters[stretch.last + 1];
    const double from = characters[stretch.first].start;
    const double to = after.start;
    const double halfUnit = 0.5 * (before.length / characterHalves(before.value) +
                                   after.length / characterHalves(after.value));
    if (!(halfUnit > 0.0) || !(to > from)) {
        return std::nullopt;
    }
    // The values of a character by its length in half units.
    constexpr int shortest = 11;
    constexpr int longest = 19;
    std::array<std::vector<std::uint8_t>, longest + 1> byLength;
    for (unsigned v = 0; v < 256; ++v) {
        byLength[static_cast<std::size_t>(characterHalves(static_cast<std::uint8_t>(v)))].push_back(
            static_cast<std::uint8_t>(v));
    }
    const double sign = candidate.polarity == Polarity::inverted ? -1.0 : 1.0;
    std::vector<Scored> scored;
    std::vector<double> second;
    const auto runs = static_cast<int>(count);
    for (int total = shortest * runs; total <= longest * runs; ++total) {
        const double unit = (to - from) / total;
        if (std::fabs(unit / halfUnit - 1.0) > speedSlack) {
            continue;
        }
        for (int firstLength = shortest; firstLength <= longest; ++firstLength) {
            const int secondLength = count == 1 ? 0 : total - firstLength;
            if ((count == 1 && firstLength != total) ||
                (count == 2 && (secondLength < shortest || secondLength > longest))) {
                continue;
            }
            second.clear();
            if (count == 2) {
                for (const std::uint8_t v : byLength[static_cast<std::size_t>(secondLength)]) {
                    const std::optional<double> c =
                        correlation(stretch.signal, v, from + firstLength * unit, unit);
                    if (!c) {
                        return std::nullopt;
                    }
                    second.push_back(*c);
                }
            }
            for (const std::uint8_t v : byLength[static_cast<std::size_t>(firstLength)]) {
                const std::optional<double> c = correlation(stretch.signal, v, from, unit);
                if (!c) {
                    return std::nullopt;
                }
                if (count == 1) {
                    scored.push_back(Scored{sign * *c, {v, 0}});
                    continue;
                }
                const auto& seconds = byLength[static_cast<std::size_t>(secondLength)];
                for (std::size_t k = 0; k < seconds.size(); ++k) {
                    scored.push_back(Scored{sign * (*c + second[k]), {v, seconds[k]}});
                }
            }
        }
    }
    if (scored.empty()) {
        return std::nullopt;
    }
    double best = -std::numeric_limits<double>::infinity();
    for (const Scored& s : scored) {
        best = std::max(best, s.correlation);
    }
    const double level = best / (to - from);
    if (!(level > 0.0)) {
        return std::nullopt;
    }
    const double scale = counted * level / candidate.hissPerFrame;
    unsigned readSum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        readSum += characters[stretch.first + i].value;
    }
    RunWeights weights;
    weights.first = stretch.first;
    weights.count = count;
    weights.logWeight.fill(-std::numeric_limits<double>::infinity());
    weights.likeliestLog.fill(-std::numeric_limits<double>::infinity());
    for (const Scored& s : scored) {
        const double log = scale * (s.correlation - best);
        const std::size_t move =
            (s.values[0] + (count == 2 ? s.values[1] : 0u) + 256u * 2 - readSum) & 0xFFu;
        double& sum = weights.logWeight[move];
        sum = std::max(sum, log) + std::log1p(std::exp(-std::fabs(sum - log)));
        if (log > weights.likeliestLog[move]) {
            weights.likeliestLog[move] = log;
            weights.likeliest[move] = s.values;
        }
    }
    return weights;
}

}  // namespace kelvanto::decode
