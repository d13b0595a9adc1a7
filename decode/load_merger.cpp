// Choice among the readings of each load, and the gaps between loads.
// Only the best reading of each load is kept while the recording goes on.
#include "decode/load_merger.h"

#include <algorithm>
#include <utility>

namespace kelvanto::decode {

int rank(const DecodedLoad& load) {
    switch (load.verdict) {
        case Verdict::ok:
            return 4;
        case Verdict::repaired:
            return 3;
        case Verdict::bad:
            break;
    }
    return load.characters.empty() ? 1 : 2;
}

namespace {

bool overlap(const DecodedLoad& a, const DecodedLoad& b) {
    return a.startSample < b.endSample && b.startSample < a.endSample;
}

bool better(const DecodedLoad& a, const DecodedLoad& b) {
    if (rank(a) != rank(b)) {
        return rank(a) > rank(b);
    }
    if (a.verdict == Verdict::bad && a.characters.size() != b.characters.size()) {
        return a.characters.size() > b.characters.size();
    }
    return a.doubts.size() < b.doubts.size();
}

}  // namespace

void LoadMerger::offer(DecodedLoad&& load) {
    bool wins = true;
    for (const DecodedLoad& kept : loads) {
        if (overlap(kept, load) && !better(load, kept)) {
            wins = false;
            break;
        }
    }
    if (!wins) {
        return;
    }
    std::erase_if(loads, [&](const DecodedLoad& kept) { return overlap(kept, load); });
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
