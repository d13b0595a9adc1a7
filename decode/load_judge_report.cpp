// SPDX-License-Identifier: MIT
// The judge's account of a reading: its places, speed, level and problem, and the doubtful
// characters the report lists, where they crowd.
#include <algorithm>
#include <cmath>
#include <deque>
#include <string>

#include "base/machine.h"
#include "decode/load_judge.h"
#include "decode/signal_filter.h"

namespace kelvanto::decode {

namespace {

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
    // An edge interpolated before the first sample of a recording that opens on the tone
    // lies a fraction of a frame before it; the load starts at the recording's start.
    const double start = std::max(0.0, candidate.headerStart);
    load.startSample = std::llround(start);
    load.startSeconds = start / sampleRate;
    load.syncSample = std::llround(syncFrame);
    load.syncSeconds = syncFrame / sampleRate;
    double dataEnd = syncFrame;
    if (!framed.characters.empty()) {
        const FramedCharacter& last = framed.characters.back();
        dataEnd = last.bitFrame(9);
    }
    if (framed.complete && framed.footerStart > dataEnd) {
        dataEnd = framed.footerStart;
    } else if (!framed.complete && !candidate.toneOnly) {
        dataEnd = std::max(dataEnd, framed.problemAt);
    }
    load.dataEndSample = std::llround(dataEnd);
    load.dataEndSeconds = dataEnd / sampleRate;
    load.endSample = std::llround(framed.end);
    load.endSeconds = framed.end / sampleRate;
    load.sampleRate = sampleRate;
    load.toneOnly = candidate.toneOnly;
    load.speedRatio =
        candidate.onePeriod > 0.0 ? machine::oneBitSeconds / candidate.onePeriod : 0.0;
    load.polarity = candidate.polarity;
    load.channel = candidate.channel;
    load.levelDbfs = candidate.amplitude > 0.0
                         ? 20.0 * std::log10(candidate.amplitude) - SignalFilter::squarePeakGainDb
                         : -200.0;
    load.problem = framed.problem;
    load.problemSample = std::llround(framed.problemAt);
    load.problemSeconds = framed.problemAt / sampleRate;
}

// One entry per doubtful character (its least certain cycle), the first maximumDoubts of
// them kept; and the first place from which the doubts crowd together.
void LoadJudge::listDoubts(const LoadCandidate& candidate, DecodedLoad& load) const {
    const auto& characters = candidate.framed.characters;
    std::deque<CharacterDoubt> recent;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const FramedCharacter& character = characters[i];
        int worst = 0;
        for (int b = 1; b < 10; ++b) {
            if (character.certainty[static_cast<std::size_t>(b)] <
                character.certainty[static_cast<std::size_t>(worst)]) {
                worst = b;
            }
        }
        CharacterDoubt::Kind kind = CharacterDoubt::Kind::unclear;
        if (character.startMisread) {
            worst = 0;
            kind = CharacterDoubt::Kind::framing;
        }
        if (character.stopBad) {
            worst = 9;
            kind = CharacterDoubt::Kind::framing;
        }
        if (character.extraCycleDropped) {
            kind =
                character.signalLost ? CharacterDoubt::Kind::lost : CharacterDoubt::Kind::slipped;
        }
        const float certainty =
            kind == CharacterDoubt::Kind::unclear ? character.bitCertainty(worst) : 0.0f;
        if (certainty >= doubtful) {
            continue;
        }
        const bool whole = character.extraCycleDropped;
        const double frame = whole ? character.start : character.bitFrame(worst);
        const CharacterDoubt doubt{
            i, reportedBit(worst), certainty, std::llround(frame), frame / sampleRate, kind, 0};
        ++load.doubtfulCharacters;
        if (load.doubts.size() < maximumDoubts) {
            load.doubts.push_back(doubt);
        }
        if (!load.doubtsCrowd) {
            recent.push_back(doubt);
            while (recent.front().character + crowdSpan <= i) {
                recent.pop_front();
            }
            if (recent.size() >= crowdCount) {
                load.doubtsCrowd = true;
                load.crowdFrom = recent.front();
            }
        }
    }
}
void LoadJudge::placeProblem(DecodedLoad& load, std::string problem, double frame) const {
    // Where the reading went wrong: where its doubts crowd, else its first doubt, else the
    // given place.
    if (load.doubtsCrowd) {
        load.problemSample = load.crowdFrom.sample;
        load.problemSeconds = load.crowdFrom.seconds;
    } else if (!load.doubts.empty()) {
        load.problemSample = load.doubts.front().sample;
        load.problemSeconds = load.doubts.front().seconds;
    } else {
        load.problemSample = std::llround(frame);
        load.problemSeconds = frame / sampleRate;
    }
    load.problem = std::move(problem);
}

}  // namespace kelvanto::decode
