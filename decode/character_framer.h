// SPDX-License-Identifier: MIT
// The fifth stage: frames the bits after a header tone into the sync character, the pairs
// of characters with their filler, and the footer tone, exactly as the machine sends them.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <vector>

#include "decode/bit.h"
#include "decode/dropout_bridge.h"
#include "decode/framed_load.h"

namespace kelvanto::decode {

// The machine sends the sync character framed like any other; then pairs of characters, each
// a 0 start bit, eight data bits least significant first and a 1 stop bit. A 1 where a
// start bit belongs ends the load: in the first place of a pair the footer has begun (an
// even number of characters), in the second place it is the filler of an odd count,
// followed by the footer. Since one cycle is one bit, the framing never drifts: every
// character starts ten cycles after the one before, and a stop bit that reads 0 is noted
// but does not shift anything. A start bit that reads 1 only ends the load when the footer's
// steady 1s follow; otherwise it was misread and the data goes on.
class CharacterFramer {
  public:
    enum class Status { reading, finished, failed };
    // A value a slipped character could have had, with what the signal says of the change
    // that gives it (see SlipReading).
    struct Reading {
        std::uint8_t value = 0;
        double logOdds = 0.0;
    };
    // The most log odds a change of a slipped character's cycles takes from the signal's
    // shapes, other than a 1 split into the two 0s it was made of (none: see changeLogOdds).
    static constexpr double mostSlipOdds = 0.0;
    // How many cycles after a possible end must be 1s before the end is believed.
    static constexpr std::size_t endWindow = 12;
    // Characters read before a dropout that may be taken back as lost with it.
    static constexpr std::size_t mostTakenBack = 8;
    // A character whose framing is still broken once every change of a cycle or two was
    // tried, with troubledToBridge of the troubleWindow characters before it broken or put
    // right as well: the framing is lost, and the stretch is bridged as a dropout is. (Bridged
    // at a lone break, or at a character a change put right, on the bench's worn cassettes at
    // severities 3 and 3.25, 44100 Hz, 72 loads, loads that were REPAIRED right came out BAD.)
    static constexpr std::size_t troubleWindow = 5;
    static constexpr std::size_t troubledToBridge = 2;
    // Footer cycles after the end whose certainty counts in how clearly the data ended, and
    // how far a cycle there may be from its value's length.
    static constexpr std::size_t endClarityCycles = 4;
    static constexpr double endLengthTolerance = 0.1;
    static constexpr double endSpreads = 5.0;
    // ... and than this share of the data's cycles strayed, by this margin.
    static constexpr double endQuantile = 0.999;
    static constexpr double endStraysMargin = 1.25;
    static constexpr double deviationBins = 100.0;
    // Cycles at a tone's end that a dip may have broken with the sync character after them.
    static constexpr std::size_t hiddenToneCycles = 4;
    // Two 0s run together into one cycle have its middle edge about a quarter of the way
    // from either end, a true 1 where the load's own clear 1s after the same value have it
    // (their spread taken as at least leastMiddleSpread; until there are middleSamples of
    // them, half way within unmeasuredMiddleSpread). A filler 1 whose middle edge stands more
    // than mergedMiddleSpreads spreads from there loses certainty, down to a guess at twice
    // that (see takeFiller).
    static constexpr double mergedMiddleSpreads = 3.0;
    static constexpr double leastMiddleSpread = 0.02;
    static constexpr double unmeasuredMiddleSpread = 0.05;
    static constexpr double middleSamples = 8.0;
    // They are counted until there are this many of each (a recording's phase response does
    // not change within a load; counting every character cost 0.7 % of the decoding time).
    static constexpr double middleSamplesKept = 512.0;
    static constexpr float clearMiddle = 0.5f;

    // Starts a load; the next bit is the sync character's leading 0. toneHalfUnit: frames of
    // half a unit in the tone before it (0 when not known).
    void begin(double syncStart, double toneHalfUnit = 0.0);
    // Starts a load whose header tone ended (into a dropout, or broken by a dip) without a
    // sync character: its data is looked for after it as after a dropout (see loseSync), the
    // sync character having begun where the tone ended or up to hiddenToneCycles plus
    // gapCycles tone cycles later.
    void beginAfterTone(double toneEnd, double toneHalfUnit, std::size_t gapCycles);
    // Whether the load's start is still being looked for: its sync character, or the data
    // after a lost one; and whether the data after a lost one was looked for at all.
    bool openingLoad() const { return state == State::sync || syncLost; }
    bool lookedPastSync() const { return lookedPast; }
    Status push(const Bit& bit);
    // The recording ended: decide with the bits that are there.
    Status finish();

    const FramedLoad& load() const { return current; }
    FramedLoad& load() { return current; }
    // When the footer ran straight into the next load (no gap), the bits of that load's
    // sync character that were already read, its leading 0 first; empty otherwise.
    const std::vector<Bit>& leftover() const { return rest; }
    // The sync character's 1 cycles are far quieter than the tone: it must be borne out by
    // the characters after it, as a sync character with a slip is.
    void doubtSync() { syncDoubted = true; }
    // Whether the bits now coming are the footer tone's.
    bool inFooter() const { return state == State::footer; }
    // The last reading stopped in the sync character: the tone had not ended after all.
    bool syncFailed() const { return failedInSync; }

  private:
    enum class State { sync, data, bridge, footer, done };

    Status process(bool final);
    Status fail(const char* problem, double at);
    // Whether the pending bits begin with the sync character (one unclear cycle forgiven);
    // nothing while too few bits are there to tell.
    std::optional<bool> syncAhead(bool final) const;
    // A sync character with cycles cut in two or merged, found by its length and the four
    // characters framed after it: puts it right; whether it did, or nothing while too few
    // bits are there to tell.
    std::optional<bool> slippedSync(bool final);
    std::optional<bool> endConfirmed(bool final) const;
    // Whether the signal, lost at pending[lost], comes back within the longest bridged
    // dropout with data (a clear 0 among a character's cycles); nothing while too few bits
    // are there to tell.
    std::optional<bool> dataAfterLoss(std::size_t lost, bool final) const;
    // Drops one extra cycle when the framing shows that one was added; whether it did, or
    // nothing while too few bits are there to tell.
    std::optional<bool> resynchronise(bool final, bool startMisread);
    // The two changes resynchronise makes: one cycle taken out at (or near) weakest, or
    // the cycle at merged read as two (a 1 and a 0 when withOne, else two 0s; a clear 1 lasts
    // oneLength).
    void dropExtraCycle(std::size_t weakest);
    bool relockTwo();
    // One cycle lost or added in this character and one in the next: puts this one right
    // when that frames the next four characters, and leaves both unknown.
    bool slipsInTwo(std::size_t weakest, std::optional<std::size_t> merged, double oneLength);
    void restoreLostCycle(std::size_t merged, bool withOne, double oneLength);
    // Notes the other values a slipped character could have had.
    void keepSlip(std::size_t character, Reading chosen, std::vector<Reading> values);
    void takeCharacter(bool startMisread);
    // Reads the filler that ends a load of an odd count from the cycles after its 1 start bit.
    void takeFiller(double start);
    // Takes the last character back and puts it right with one cycle too many, when that
    // frames what follows; whether it did, or nothing while too few bits are there to tell.
    std::optional<bool> slipBefore(bool final);
    void startFooter(double at);
    float endClarity() const;
    // The signal was lost inside the data: waits for it to come back and for the framing to
    // pick up again (see DropoutBridge), or fails with problem at `at` as before.
    Status loseSignal(const char* problem, double at,
                      std::optional<std::size_t> takeBackFrom = std::nullopt);
    // The first of the last troubleWindow characters whose framing broke or was put right,
    // when troubledToBridge of them did.
    std::optional<std::size_t> troubleFrom() const;
    // The framing is lost: bridged from the character at `from` to where eight characters
    // frame again, or, where none do within a dropout's length, read on as before.
    Status loseFraming(double at, std::size_t from);
    Status endFramingBridge();
    // Puts the characters taken back with a stretch lost back as they were read.
    void restoreTakenBack();
    // The sync character could not be read at all, but the data may follow: bridged as a
    // dropout over the sync character and the characters after it that did not frame.
    Status loseSync(const char* problem, double at);
    // Sets the bridge to look for the data after a lost sync character that began at `at`
    // or up to `shifts` tone cycles later.
    void lookPastSync(const char* problem, double at, std::size_t shifts, bool afterGap);
    Status bridge(bool final);
    // How many characters a stretch lost is taken to hold: the count it fits, or the
    // likeliest of those from fewest on.
    std::size_t likeliestLost(const DropoutBridge::Found& found, std::size_t fewest) const;

    State state = State::done;
    Status status = Status::finished;
    bool secondOfPair = false;
    std::deque<Bit> pending;
    FramedLoad current;
    std::vector<Bit> rest;
    // The cycles of the last character taken, while it may still be taken back.
    std::vector<Bit> lastTaken;
    double lastEnd = 0.0;
    // Frames of half a unit at the last character read (or the sync character).
    double halfUnit = 0.0;
    // How far the load's data cycles strayed from their lengths, in hundredths (the last bin:
    // half or more).
    std::array<std::size_t, 51> deviations{};
    // Where the middle edge of the load's clear 1s fell (sum and count), after a 0 and after a
    // 1: a recording's phase response moves it, and most at a change of tone.
    std::array<double, 2> middleSums{};
    std::array<double, 2> middleSquares{};
    std::array<double, 2> middleCounts{};
    bool failedInSync = false;
    bool syncDoubted = false;
    // Slipped characters before this one keep no readings (see slipsInTwo).
    std::size_t unknownBefore = 0;
    // While the signal is lost: where it was lost (and what to say if it stays lost), where
    // the first character lost began, and the characters read last that were taken back as
    // lost (as they were read, and the readings kept of their slips).
    const char* lostProblem = nullptr;
    double lostAt = 0.0;
    double lostFrom = 0.0;
    // The stretch lost began with the sync character (see loseSync), whose end may be this
    // many tone cycles later than lostFrom; and whether the signal was lost before it (a
    // dropout where the tone ended) rather than being read on through it.
    bool syncLost = false;
    bool lookedPast = false;
    std::size_t syncShifts = 0;
    bool syncAfterGap = false;
    std::vector<FramedCharacter> takenBack;
    std::vector<SlipReading> takenBackSlips;
    // The stretch bridged is one whose framing was lost (its cycles are there, cut in two or
    // run together), not the signal; where nothing framed after the character that began at
    // noBridgeAt, it is read on.
    bool framingLost = false;
    double noBridgeAt = -1.0;
};

}  // namespace kelvanto::decode
