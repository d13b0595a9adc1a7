// SPDX-License-Identifier: MIT
// Loads from the cycles of one channel and polarity.
// Tone, sync character, characters and footer, then back to waiting for a tone.
#include "decode/load_reader.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/machine.h"
#include "decode/dropout_bridge.h"

namespace kelvanto::decode {

namespace {

// A tone with nothing readable after it, reported where it was.
LoadCandidate loneTone(double start, int cycles, double onePeriod, double amplitude, double end) {
    LoadCandidate lone;
    lone.headerStart = start;
    lone.headerCycles = cycles;
    lone.onePeriod = onePeriod;
    lone.amplitude = amplitude;
    lone.toneOnly = true;
    lone.framed.syncStart = end;
    lone.framed.end = end;
    lone.framed.problem = "a header tone with no load after it";
    lone.framed.problemAt = end;
    return lone;
}

// Where a run of 1s that was a footer and the next header too cannot be heard to change
// from one to the other, the footer gets its usual length, but never leaves less than a
// tone's worth of header.
int footerCyclesOf(int run) {
    return run > ToneDetector::minimumToneCycles
               ? std::min(LoadReader::defaultFooterCycles, run - ToneDetector::minimumToneCycles)
               : run;
}

// Cuts the load's footer there; returns the frame where the header's part begins.
double splitFooter(FramedLoad& framed) {
    const int run = framed.footerCycles;
    const int footer = footerCyclesOf(run);
    const double framesPerCycle = (framed.footerEnd - framed.footerStart) / std::max(1, run);
    const double split = framed.footerStart + footer * framesPerCycle;
    framed.footerCycles = footer;
    framed.footerEnd = split;
    framed.end = split;
    return split;
}

}  // namespace

LoadReader::LoadReader(Polarity polarity, int channel, double sampleRate)
    : polarity(polarity), channel(channel), sampleRate(sampleRate), tone(sampleRate) {}

std::vector<LoadCandidate> LoadReader::takeReady() {
    std::vector<LoadCandidate> out;
    out.swap(ready);
    return out;
}

double LoadReader::loadSpeed() const {
    if (inLoad) {
        return classifier.unit() > 0.0 ? machine::oneBitSeconds / classifier.unit() : 0.0;
    }
    // On the header: the filter then settles on the tone before the data comes.
    return tone.cycles() >= toneCyclesForSpeed && tone.meanPeriod() > 0.0
               ? machine::oneBitSeconds / tone.meanPeriod()
               : 0.0;
}

void LoadReader::emit(LoadCandidate&& candidate) {
    candidate.polarity = polarity;
    candidate.channel = channel;
    ready.push_back(std::move(candidate));
}

void LoadReader::flushHeld() {
    if (longFooter) {
        emit(std::move(*longFooter));
        longFooter.reset();
    }
    if (orphan) {
        emit(std::move(*orphan));
        orphan.reset();
    }
    if (broken) {
        emit(std::move(*broken));
        broken.reset();
    }
}

void LoadReader::startLoad(double headerStart, int headerCycles, double onePeriod,
                           double amplitude) {
    current = LoadCandidate{};
    current.headerStart = headerStart;
    current.headerCycles = headerCycles;
    current.onePeriod = onePeriod;
    amplitudeSum = amplitude * headerCycles;
    amplitudeCount = headerCycles;
    footerAmplitudeSum = 0.0;
    footerAmplitudeCount = 0;
    toneAmplitude = amplitude;
    bitsRead = 0;
    onesRead = 0;
    syncAmplitudeSum = 0.0;
    syncOnes = 0;
    guessScore = 0.0;
    classifier.calibrate(onePeriod);
    refiner.reset();
    stretchWatch = 0;
    runFirst.reset();
    runBroke = false;
    slipWatch = 0;
    measureHiss();
    inLoad = true;
}

// Every cycle of a header tone is the same square wave: how much the correlation of its
// template with the signal (per frame) varies from one cycle to the next is the hiss, as
// the weighing of characters meets it. Successive differences leave out slow changes of
// level (a dip, wow). The last cycle is the sync character's first 0 and is left out.
void LoadReader::measureHiss() {
    std::vector<double> weights;
    double length = 0.0;
    const std::size_t from = toneCount - std::min(toneCount, hissCycles + 1);
    for (std::size_t i = from; signal != nullptr && i + 1 < toneCount; ++i) {
        const Cycle& cycle = toneCycles[i & (toneRing - 1)];
        if (cycle.start < current.headerStart) {
            continue;  // before this tone (a load that ran straight into it)
        }
        const double middle = 0.5 * (cycle.start + cycle.end);
        const std::optional<double> low = signal->area(cycle.start, middle);
        const std::optional<double> high = signal->area(middle, cycle.end);
        if (low && high && cycle.end > cycle.start) {
            const double sign = polarity == Polarity::inverted ? -1.0 : 1.0;
            weights.push_back(sign * (*high - *low) / (cycle.end - cycle.start));
            length += cycle.end - cycle.start;
        }
    }
    toneCount = 0;
    if (weights.size() < hissCycles / 2) {
        return;
    }
    double variance = 0.0;
    for (std::size_t i = 1; i < weights.size(); ++i) {
        variance += (weights[i] - weights[i - 1]) * (weights[i] - weights[i - 1]);
    }
    variance /= 2.0 * static_cast<double>(weights.size() - 1);
    current.hissPerFrame = variance * length / static_cast<double>(weights.size());
}

// The signal is kept around a run of unclear characters that holds one whose framing broke
// (it slipped, lost or gained a cycle, or its start or stop bit read wrong): a damaged stretch
// of tape seldom stops at the character whose framing shows it. The characters beside it that
// read unclearly are as much in doubt, and so are a character or two read clearly between two
// that broke (framed off by a cycle, they can look clean). The run ends before runGap clear
// characters in a row, and the first of them starts where the run ends; it is kept once the
// character after that one is taken (a character may be taken back and framed again).
void LoadReader::keepStretches() {
    const FramedLoad& framed = framer.load();
    const std::vector<FramedCharacter>& characters = framed.characters;
    while (stretchWatch + 1 < characters.size()) {
        const std::size_t at = stretchWatch++;
        while (slipWatch < framed.slips.size() && framed.slips[slipWatch].character < at) {
            ++slipWatch;
        }
        const FramedCharacter& character = characters[at];
        const bool broke =
            character.extraCycleDropped || character.stopBad || character.startMisread ||
            (slipWatch < framed.slips.size() && framed.slips[slipWatch].character == at);
        const bool clear =
            !broke && std::all_of(character.certainty.begin(), character.certainty.end(),
                                  [](std::uint8_t c) { return c >= clearCycle * 255.0f; });
        if (!clear) {
            runFirst = runFirst.value_or(at);
            runLast = at;
            runBroke = runBroke || broke;
            continue;
        }
        if (!runFirst || at < runLast + runGap) {
            continue;
        }
        const std::size_t first = *runFirst;
        const std::size_t end = runLast + 1;  // the clear character after the run
        const bool keep = runBroke;
        runFirst.reset();
        runBroke = false;
        const bool lost = std::any_of(characters.begin() + static_cast<long>(first),
                                      characters.begin() + static_cast<long>(end),
                                      [](const FramedCharacter& c) { return c.signalLost; });
        if (!keep || signal == nullptr || first == 0 || end - first > longestStretchRun || lost ||
            current.stretches.size() >= mostStretches) {
            continue;
        }
        const double margin = (characters[end].start - characters[end - 1].start) / 4.0;
        current.stretches.push_back(SignalStretch{
            first, end - 1,
            signal->stretch(characters[first].start - margin, characters[end].start + margin)});
    }
}

void LoadReader::push(const Cycle& cycle) {
    pushOne(cycle);
    handBack();
}

// Cycles handed back go through in order, each after the stage that handed them back has
// finished with its own (a hand-back happens while bits of the cycle before are still fed).
void LoadReader::handBack() {
    while (!handedBack.empty()) {
        const Cycle next = handedBack.front();
        handedBack.pop_front();
        pushOne(next);
    }
}

void LoadReader::pushOne(const Cycle& cycle) {
    if (inLoad) {
        if (lookingPast) {
            pastTone.push_back(cycle);
        }
        classifyAndFeed(cycle);
        if (lookingPast && inLoad && !framer.openingLoad()) {
            lookingPast = false;  // the load's start was found: it goes on
            pastTone.clear();
        }
        return;
    }
    toneCycles[toneCount++ & (toneRing - 1)] = cycle;
    if (longFooter) {
        watchAfterFooter(cycle);
    }
    switch (tone.push(cycle)) {
        case ToneDetector::Event::syncStart: {
            // A piece of this same tone that ended earlier waits: it is no lone tone if a
            // load follows, and still one if this 0 opens no sync character.
            std::optional<LoadCandidate> sameTone;
            if (orphan && orphan->headerStart == tone.start()) {
                sameTone = std::move(orphan);
                orphan.reset();
            }
            flushHeld();
            orphan = std::move(sameTone);
            startLoad(tone.start(), tone.cycles(), tone.meanPeriod(), tone.amplitude());
            // The tone is kept: if no sync character follows, this 0 was noise in it.
            framer.begin(cycle.start, 0.5 * tone.meanPeriod() * sampleRate);
            lookingPast = true;
            lookFromSync = true;
            pastTone.clear();
            classifyAndFeed(cycle);
            break;
        }
        case ToneDetector::Event::toneEnded:
            toneWithoutLoad();
            lookPastTone(cycle);
            break;
        case ToneDetector::Event::none:
            break;
    }
}

void LoadReader::classifyAndFeed(const Cycle& cycle) {
    if (const std::optional<Bit> bit = classifier.push(cycle)) {
        const double unitFrames = classifier.unit() * sampleRate;
        refiner.push(*bit, unitFrames, settled);
        if (const std::optional<Bit> next = classifier.extra()) {
            refiner.push(*next, unitFrames, settled);
        }
        feedSettled();
    }
}

// Bits after the one that ended the load belong to no load.
void LoadReader::feedSettled() {
    for (const Bit& bit : settled) {
        if (!inLoad) {
            break;
        }
        feed(bit);
    }
    settled.clear();
}

void LoadReader::toneWithoutLoad() {
    if (broken) {
        // The load broke off and its footer is what remained readable.
        FramedLoad& framed = broken->framed;
        framed.footerCycles = tone.cycles();
        framed.footerStart = tone.start();
        framed.footerEnd = tone.end();
        framed.end = std::max(framed.end, tone.end());
        emit(std::move(*broken));
        broken.reset();
        tone.reset();
        return;
    }
    if (orphan && orphan->headerStart != tone.start()) {
        emit(std::move(*orphan));
        orphan.reset();
    }
    // Hiss that breaks a footer (more than the lone 0 the framer forgives) ends it early; the
    // 1s after it are still that footer, not a header whose load was lost.
    const double footerGap = tone.start() - lastFooterEnd;
    if (lastFooterEnd >= 0.0 && footerGap >= 0.0 &&
        footerGap <= footerRestGap * tone.meanPeriod() * sampleRate &&
        tone.cycles() <= defaultFooterCycles) {
        return;
    }
    const double seconds = (tone.end() - tone.start()) / sampleRate;
    // Its speed is weighed once the recording's loads are known (RecordingDecoder).
    const bool believable = tone.steadyThroughout() && seconds >= shortestLoneToneSeconds;
    if (!believable) {
        return;
    }
    orphan = loneTone(tone.start(), tone.cycles(), tone.meanPeriod(), tone.amplitude(), tone.end());
}

void LoadReader::lookPastTone(const Cycle& cycle) {
    // Only a tone believed a header (kept as one with nothing after it), and only where the
    // cycle that ended it came soon enough for a dropout inside a load to be bridged. The
    // header ended where the tone last ran clean: cycles after that were the damage, or data
    // whose 1s read as tone.
    if (!orphan || orphan->headerStart != tone.start() || inLoad) {
        return;
    }
    const double halfUnit = 0.5 * tone.meanPeriod() * sampleRate;
    // The cycle that ended the tone may span a dropout: the signal came back at its end.
    const double gap = cycle.end - tone.cleanEnd();
    if (!(halfUnit > 0.0) || gap > DropoutBridge::longestAfterTone * halfUnit) {
        return;
    }
    startLoad(tone.start(), tone.cycles(), tone.meanPeriod(), tone.amplitude());
    framer.beginAfterTone(
        tone.cleanEnd(), halfUnit,
        static_cast<std::size_t>(std::ceil(std::max(0.0, gap) / (2.0 * halfUnit))));
    // The cycle that ended the tone went to the search for tones already: it is not handed
    // back.
    lookingPast = true;
    lookFromSync = false;
    pastTone.clear();
    classifyAndFeed(cycle);
}

void LoadReader::watchAfterFooter(const Cycle& cycle) {
    const LoadCandidate& held = *longFooter;
    auto release = [&] {
        emit(std::move(*longFooter));
        longFooter.reset();
    };
    if (cycle.start > held.framed.footerEnd + watchSeconds * sampleRate) {
        release();
        return;
    }
    if (cycle.amplitude < dataLevel * longFooterLevel) {
        return;
    }
    // A cycle of data lasts about a 1 or a 0; hiss and music give any length.
    const double length = cycle.period / held.onePeriod;
    ++cyclesAfter;
    shortAfter += std::fabs(length - 0.5) < dataCycleTolerance ? 1 : 0;
    longAfter += std::fabs(length - 1.0) < 2.0 * dataCycleTolerance ? 1 : 0;
    if (cyclesAfter < dataCycles) {
        return;
    }
    if (shortAfter >= dataShareOfEach * cyclesAfter && longAfter >= dataShareOfEach * cyclesAfter &&
        shortAfter + longAfter >= dataFittingShare * cyclesAfter) {
        // The header's part of the run is reported as a tone whose load was lost.
        LoadCandidate load = std::move(*longFooter);
        longFooter.reset();
        const double end = load.framed.footerEnd;
        const int run = load.framed.footerCycles;
        const double split = splitFooter(load.framed);
        const double onePeriod = load.onePeriod;
        emit(std::move(load));
        emit(loneTone(split, run - footerCyclesOf(run), onePeriod, longFooterLevel, end));
    } else {
        release();
    }
}

void LoadReader::feed(const Bit& input) {
    Bit bit = input;
    if (bitsRead < 10) {
        if (bit.value == Bit::one) {
            syncAmplitudeSum += bit.amplitude;
            ++syncOnes;
        }
        if (bitsRead == 9 &&
            (syncOnes == 0 || syncAmplitudeSum < syncOnes * quietestSyncLevel * toneAmplitude)) {
            framer.doubtSync();
        }
    }
    ++bitsRead;
    onesRead += bit.value == Bit::one ? 1 : 0;
    if (bit.value != Bit::invalid && !framer.inFooter()) {
        guessScore = bit.certainty < guessCertainty ? std::min(guessScore + 1.0, mostGuesses + 1.0)
                                                    : std::max(0.0, guessScore - guessDecay);
        if (guessScore > mostGuesses) {
            bit.value = Bit::invalid;
        }
    }
    if (bit.value != Bit::invalid && framer.inFooter()) {
        footerAmplitudeSum += bit.amplitude;
        ++footerAmplitudeCount;
    } else if (bit.value != Bit::invalid) {
        amplitudeSum += bit.amplitude;
        ++amplitudeCount;
    }
    const CharacterFramer::Status status = framer.push(bit);
    if (stretchWatch + 1 < framer.load().characters.size()) {
        keepStretches();
    }
    if (status != CharacterFramer::Status::reading) {
        loadEnded(status);
    }
}

void LoadReader::loadEnded(CharacterFramer::Status status) {
    inLoad = false;
    if (lookingPast) {
        lookingPast = false;
        if (status == CharacterFramer::Status::failed && framer.syncFailed() &&
            framer.lookedPastSync()) {
            // No data found after the tone: its cycles go to the search for tones as they
            // would have (the 0 that opened the look, if one did, a disturbance of it), and
            // a tone that ended stays a tone with nothing after it.
            if (lookFromSync) {
                tone.syncFailed(0);
            }
            handedBack.insert(handedBack.begin(), pastTone.begin(), pastTone.end());
            pastTone.clear();
            return;
        }
        pastTone.clear();
    }
    if (status == CharacterFramer::Status::failed && framer.syncFailed()) {
        // A cycle that noise cut short inside the tone, not a sync character: the tone
        // goes on (and is reported on its own if no load ever follows it).
        tone.syncFailed(onesRead);
        return;
    }
    tone.reset();
    if (orphan && orphan->headerStart == current.headerStart) {
        orphan.reset();  // the tone had a load after it
    }
    current.framed = framer.load();
    current.amplitude = amplitudeCount > 0 ? amplitudeSum / amplitudeCount : 0.0;
    const double unit = classifier.unit();
    if (status == CharacterFramer::Status::failed) {
        broken = std::move(current);
        return;
    }
    const std::vector<Bit> next = framer.leftover();
    if (!next.empty()) {
        // No gap: the run of 1s was this footer and the next header (see splitFooter).
        const int run = current.framed.footerCycles;
        const double split = splitFooter(current.framed);
        const double amplitude = footerAmplitudeCount > 0
                                     ? footerAmplitudeSum / footerAmplitudeCount
                                     : current.amplitude;
        emit(std::move(current));
        startLoad(split, run - footerCyclesOf(run), unit, amplitude);
        framer.begin(next.front().start, 0.5 * unit * sampleRate);
        for (const Bit& bit : next) {
            if (!inLoad) {
                break;
            }
            feed(bit);
        }
        return;
    }
    lastFooterEnd = current.framed.footerCycles > 0 ? current.framed.footerEnd : -1.0;
    if (current.framed.footerCycles > defaultFooterCycles + ToneDetector::minimumToneCycles) {
        longFooter = std::move(current);
        longFooterLevel = footerAmplitudeCount > 0 ? footerAmplitudeSum / footerAmplitudeCount
                                                   : longFooter->amplitude;
        cyclesAfter = 0;
        shortAfter = 0;
        longAfter = 0;
        return;
    }
    emit(std::move(current));
}

void LoadReader::finish() {
    // A load that ends may start another: the next one without a gap, or one found in the
    // cycles handed back after a tone (each time fewer of them).
    for (handBack(); inLoad; handBack()) {
        refiner.flush(settled);
        feedSettled();
        if (!inLoad) {
            continue;
        }
        const CharacterFramer::Status status = framer.finish();
        if (status == CharacterFramer::Status::reading) {
            return;
        }
        loadEnded(status);
    }
    // A tone still running (also one whose last 0 opened no sync character).
    if (!inLoad && tone.cycles() >= ToneDetector::minimumToneCycles) {
        toneWithoutLoad();
    }
    flushHeld();
}

}  // namespace kelvanto::decode
