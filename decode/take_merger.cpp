// Load-by-load choice and character vote across takes.
// A vote never makes a load OK: at best REPAIRED, with every changed character listed.
#include "decode/take_merger.h"

#include <algorithm>
#include <map>

#include "decode/load_merger.h"
#include "decode/tape_timing.h"

namespace kelvanto::decode {

namespace {

// How much a take's reading of one character counts in a vote.
float weightOf(const DecodedLoad& load, std::size_t character) {
    for (const CharacterDoubt& doubt : load.doubts) {
        if (doubt.character == character) {
            return 0.05f + doubt.certainty;
        }
    }
    return 1.0f;
}

DecodedLoad vote(const std::vector<const DecodedLoad*>& group) {
    // Only readings of the most common length can be compared position by position.
    std::map<std::size_t, int> lengths;
    for (const DecodedLoad* load : group) {
        if (!load->characters.empty()) {
            ++lengths[load->characters.size()];
        }
    }
    if (lengths.empty()) {
        return *group.front();
    }
    const std::size_t length =
        std::max_element(lengths.begin(), lengths.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->first;
    std::vector<const DecodedLoad*> voters;
    for (const DecodedLoad* load : group) {
        if (load->characters.size() == length) {
            voters.push_back(load);
        }
    }
    DecodedLoad result = *voters.front();
    result.repairs.clear();
    result.doubts.clear();
    for (std::size_t i = 0; i < length; ++i) {
        std::map<std::uint8_t, float> weights;
        for (const DecodedLoad* load : voters) {
            weights[load->characters[i]] += weightOf(*load, i);
        }
        const auto winner =
            std::max_element(weights.begin(), weights.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        result.characters[i] = winner->first;
        if (weights.size() > 1) {
            float total = 0.0f;
            for (const auto& entry : weights) {
                total += entry.second;
            }
            result.doubts.push_back(CharacterDoubt{i, -1, winner->second / total, 0, 0.0});
        }
        if (winner->first != voters.front()->characters[i]) {
            result.repairs.push_back(Repair{Repair::Kind::vote, i, -1,
                                            voters.front()->characters[i], winner->first, 0, 0.0});
        }
    }
    if (checksumRight(result.characters)) {
        result.verdict = Verdict::repaired;
        result.problem.clear();
    } else {
        result.verdict = Verdict::bad;
        result.repairs.clear();
        result.problem = "no take has a right checksum; characters by vote";
    }
    return result;
}

}  // namespace

std::vector<DecodedLoad> mergeTakes(const std::vector<std::vector<DecodedLoad>>& takes) {
    std::size_t count = 0;
    for (const auto& take : takes) {
        count = std::max(count, take.size());
    }
    std::vector<DecodedLoad> merged;
    for (std::size_t i = 0; i < count; ++i) {
        std::vector<const DecodedLoad*> group;
        for (const auto& take : takes) {
            if (i < take.size()) {
                group.push_back(&take[i]);
            }
        }
        const auto best = std::max_element(
            group.begin(), group.end(),
            [](const DecodedLoad* a, const DecodedLoad* b) { return rank(*a) < rank(*b); });
        merged.push_back(rank(**best) >= 3 ? **best : vote(group));
    }
    return merged;
}

}  // namespace kelvanto::decode
