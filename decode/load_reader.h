// SPDX-License-Identifier: MIT
// The sixth stage: reads loads from the cycles of one channel in one polarity, from the
// header tone through the characters to the footer, anywhere in a long recording.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <vector>

#include "base/machine.h"
#include "decode/bit_classifier.h"
#include "decode/bit_refiner.h"
#include "decode/character_framer.h"
#include "decode/load_candidate.h"
#include "decode/run_weigher.h"
#include "decode/tone_detector.h"

namespace kelvanto::decode {

// Between loads it waits for a header tone of at least ToneDetector::minimumToneCycles; the first 0
// bit after one opens a load, which the framer reads until its footer ends. A tone after which no
// load can be read is reported too (as a load without characters), since it tells the user where a
// load was lost; but a tone that only followed a load that broke off is that load's footer and is
// added to it. When a footer runs straight into the next load's header (no gap), the next load
// starts at the 0 bit that ends the run of 1s.
class LoadReader {
  public:
    // How the 1s between two loads without a gap are split: the footer the converter writes
    // by default, and never less header than a tone needs.
    static constexpr int defaultFooterCycles = machine::defaultFooterCycles;
    // A tone with nothing readable after it is reported when it lasts this long and held
    // still: shorter or wandering tones are notes of music, whistles and the like.
    static constexpr double shortestLoneToneSeconds = 0.15;
    // The sync character comes straight after the tone, its 1 cycles at the tone's level
    // (its 0 cycles lower when the highs were lost): 1 cycles far quieter than the tone
    // there are hiss after a tone that ended, or a sync character in a dip of level; only
    // the characters framed after it can tell which.
    static constexpr double quietestSyncLevel = 0.6;
    // A reading whose cycles are mostly guesses is not reading a load (the wrong polarity,
    // where every change between 0 and 1 gives a cycle of three quarters of a unit, or noise
    // after the signal went): each guess adds 1, each clear cycle takes guessDecay away,
    // and past mostGuesses the signal counts as lost there. The count stops one guess past
    // it, so that a long dropout full of hiss is over once a character's worth of clear
    // cycles has come back, not after ten for every cycle of hiss it held.
    static constexpr float guessCertainty = 0.3f;
    static constexpr double guessDecay = 0.1;
    static constexpr double mostGuesses = 12.0;
    // A tone starting within this many cycles of the end of a load's footer, and no longer
    // than a footer, is the rest of that footer.
    static constexpr double footerRestGap = 16.0;
    // A footer long enough to hold a header as well, followed at once by the data of a load
    // (cycles at the footer's level, many of them 0s) rather than by silence or a tone, was
    // also the header of a load whose sync character was lost with no gap before it: within
    // watchSeconds of the footer's end, dataCycles cycles at dataLevel of the footer's,
    // dataFittingShare of them as long as a 1 or a 0 (within dataCycleTolerance of a 1's
    // length for a 0, twice that for a 1), and dataShareOfEach of each kind: music with a
    // note near either tone does not pass.
    static constexpr double watchSeconds = 0.5;
    static constexpr int dataCycles = 30;
    static constexpr double dataLevel = 0.5;
    static constexpr double dataCycleTolerance = 0.1;
    static constexpr double dataFittingShare = 0.8;
    static constexpr double dataShareOfEach = 0.25;
    // Runs of at most longestStretchRun characters, unclear ones (a cycle's certainty below
    // clearCycle, or the framing broken) with fewer than runGap clear ones in a row between
    // them, keep the signal over them (see SignalStretch), at most mostStretches per load; the
    // hiss is measured on the last hissCycles cycles of the header tone.
    static constexpr std::size_t longestStretchRun = longestWeighedRun;
    static constexpr float clearCycle = 0.5f;
    static constexpr std::size_t runGap = 4;
    static constexpr std::size_t mostStretches = 16;
    static constexpr std::size_t hissCycles = 64;

    LoadReader(Polarity polarity, int channel, double sampleRate);

    void push(const Cycle& cycle);
    // The filtered signal the cycles come from, weighed where a cycle's length leaves doubt.
    void weigh(const SignalHistory* history) {
        signal = history;
        refiner.weigh(history, polarity == Polarity::inverted);
    }
    void finish();

    // The tape's speed (1 = nominal) while a load is being read, or measured on a header
    // tone of at least toneCyclesForSpeed cycles; 0 otherwise.
    double loadSpeed() const;
    static constexpr int toneCyclesForSpeed = 64;

    // Loads read so far (moved out).
    std::vector<LoadCandidate> takeReady();

  private:
    void startLoad(double headerStart, int headerCycles, double onePeriod, double amplitude);
    void feed(const Bit& bit);
    void classifyAndFeed(const Cycle& cycle);
    void feedSettled();
    void loadEnded(CharacterFramer::Status status);
    void toneWithoutLoad();
    // A header tone that ended without a sync character (a dropout or a dip took it): its
    // data is looked for after it, the cycles kept meanwhile; handed back to the search for
    // tones when none is found.
    void lookPastTone(const Cycle& cycle);
    void pushOne(const Cycle& cycle);
    void handBack();
    void flushHeld();
    void emit(LoadCandidate&& candidate);
    void watchAfterFooter(const Cycle& cycle);
    void splitLongFooter();
    void measureHiss();
    void keepStretches();

    Polarity polarity;
    int channel;
    double sampleRate;
    ToneDetector tone;
    BitClassifier classifier;
    BitRefiner refiner;
    const SignalHistory* signal = nullptr;
    // The last cycles before a load (the end of its header tone): a ring, and how many
    // went into it since the last load began.
    static constexpr std::size_t toneRing = 128;
    static_assert(toneRing > hissCycles && (toneRing & (toneRing - 1)) == 0);
    std::array<Cycle, toneRing> toneCycles{};
    std::size_t toneCount = 0;
    // The next character to look at for an unclear run, where an open run began, and the
    // first slip not yet passed.
    std::size_t stretchWatch = 0;
    std::optional<std::size_t> runFirst;
    std::size_t runLast = 0;  // its last unclear character
    bool runBroke = false;    // a character of the open run broke its framing
    std::size_t slipWatch = 0;
    std::vector<Bit> settled;
    CharacterFramer framer;
    bool inLoad = false;
    LoadCandidate current;
    // The level of the load: its header and data; the footer's apart, since it may be the
    // next load's header too (and the load a quiet echo ahead of it).
    double amplitudeSum = 0.0;
    int amplitudeCount = 0;
    double footerAmplitudeSum = 0.0;
    int footerAmplitudeCount = 0;
    double toneAmplitude = 0.0;
    int bitsRead = 0;
    int onesRead = 0;               // of them 1s
    double syncAmplitudeSum = 0.0;  // over the 1 cycles of the sync character
    int syncOnes = 0;
    double guessScore = 0.0;
    // A tone whose end was not a load yet: it may be joined by the next piece of tone.
    std::optional<LoadCandidate> orphan;
    // The cycles since a load's start was looked for: after a 0 in a tone (its sync
    // character), or after a tone that ended without one (see lookPastTone); handed back to
    // the search for tones where the data after a lost sync character was looked for and
    // not found, so that a long look costs the tone none of its cycles.
    bool lookingPast = false;
    bool lookFromSync = false;
    std::vector<Cycle> pastTone;
    std::deque<Cycle> handedBack;
    // A load that broke off: the next lone tone is its footer.
    std::optional<LoadCandidate> broken;
    // Where the footer of the last whole load stopped being read (-1: none since).
    double lastFooterEnd = -1.0;
    // A whole load whose footer could hold a header too, held while what follows it is
    // watched, with the cycles seen after it so far (at its level, and of them short ones).
    std::optional<LoadCandidate> longFooter;
    double longFooterLevel = 0.0;
    int cyclesAfter = 0;
    int shortAfter = 0;
    int longAfter = 0;
    std::vector<LoadCandidate> ready;
};

}  // namespace kelvanto::decode
