// SPDX-License-Identifier: MIT
// The seventh stage: checks a reading against the load's checksum and, when it fails, looks
// for the one likely change of its least certain decisions that makes it right.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "decode/decoded_load.h"
#include "decode/error_odds.h"
#include "decode/load_candidate.h"
#include "decode/run_weigher.h"
#include "decode/sum_posterior.h"

namespace kelvanto::decode {

// The loader's sum is 8 bits: any wrong reading matches it by chance once in 256, so every
// extra reading a repair considers is another chance to "fix" a load into wrong data. The
// judge therefore weighs instead of trying: each data bit's certainty gives odds that it is
// wrong (ErrorOdds), the best few changes among the least certain bits are ranked by those
// odds, and the whole weight of every pattern of wrong decisions that fits the checksum
// (SumPosterior) says how likely the best change is to be the true one. A repair is taken
// only when that chance of being wrong is below repairTrusted, and it is stated. A character
// whose framing slipped has no value of its own: the framer put it right the likeliest way
// and kept the values every other way would have given. The slipped characters' readings are
// weighed together; when one combination makes the checksum right and no other (with other
// decisions cancelling it, or a value no way tried gave) fits it nearly as well, the load is
// REPAIRED with a slip repair per character and the chance stated. Where they cannot settle it,
// every reading of the run of unclear characters around each slip is weighed on the signal
// kept there (RunWeigher), with the same bar; else it is BAD.
class LoadJudge {
  public:
    // A character whose least certain cycle is below this is listed as a doubt.
    static constexpr float doubtful = 0.5f;
    // Repairs are sought among this many least certain data bits (certainty below doubtful),
    // changing at most maximumChanges of them.
    static constexpr std::size_t searchPool = 16;
    static constexpr std::size_t maximumChanges = 3;
    // Readings that fit the checksum at least this share of the best one's weight are
    // counted as its competitors in the report.
    static constexpr double comparable = 0.01;
    // The data bits of a character whose start or stop bit read wrong are suspect: they are
    // wrong with at least these odds, whatever their cycles looked like.
    static constexpr double suspectOdds = 0.02;
    // Unless the stop cycle and the next start cycle together last one and a half units
    // within this much: then an edge between them moved and the framing held.
    static constexpr double boundaryTolerance = 0.15;
    // A right checksum is trusted (OK) when the chance of errors cancelling in it is below
    // this, the same bar as a repair's; above it the load is BAD with the reason. (At 1 in
    // 100, loads with two wrong decisions of one weight going opposite ways, one pair in
    // sixteen, were reported OK with estimates between 1 in 1000 and 1 in 100.)
    static constexpr double okTrusted = repairTrusted;
    // A character beside a slipped one that did not slip itself, however clear, is wrong this
    // often: the cycle cut in two or lost may have been its (on the bench's hiss and worn
    // cassettes at 44100 Hz, every value, loads of at most three slips: 9 of 180 such
    // characters were wrong and looked clear).
    static constexpr double besideSlipWrong = 0.05;
    // More clear-cut framing faults or near-guesses than this (plus one per guessesPerCycles
    // cycles of a long load) and even a right checksum is not trusted: a reading of noise
    // guesses at a good part of its cycles, a noisy but right reading at very few.
    static constexpr float veryDoubtful = 0.15f;
    static constexpr std::size_t maximumGuesses = 8;
    static constexpr std::size_t guessesPerCycles = 200;
    // A load without data is trusted only when every cycle of its sync character is at least
    // this certain: hiss in a header tone, inside a dip of level, can look like a sync
    // character with a guess or two in it, and then the rest of the tone like its footer.
    static constexpr float clearSync = 0.5f;
    // Where a load's footer runs straight into the next load's tone, its data may have been
    // cut off there and recorded over (the next tone looks just like a footer, and the last
    // character read matches the checksum one time in 256): it is trusted only when the
    // cycles where it ended are this clear (CharacterFramer::endClarity: every one of the
    // length of its value). A cut mostly leaves a cycle of odd length there.
    static constexpr float clearEnd = 0.5f;
    // A load of fewer characters than this is never repaired, and trusted only with a clear
    // sync character.
    static constexpr std::size_t fewestWeighed = 8;
    // Doubts crowd (the reading went wrong there) when this many doubtful characters fall
    // within crowdSpan characters.
    static constexpr std::size_t crowdCount = 8;
    static constexpr std::size_t crowdSpan = 32;
    // How far (in half units) the stretch lost over one character may be from the length of
    // the value the checksum gives it.
    static constexpr double lostLengthSlack = 0.75;
    // A slipped character's reading must last as long as the character did (see
    // lengthMisfit), within lengthSlack half units, in a load whose characters keep their
    // lengths (a typical misfit of at most steadyLengths). A cycle cut in two or two merged
    // keep a character's ends; a recording cut and joined to another inside a character does
    // not, and the checksum matches some reading of it by chance. Where damage moves edges
    // (a worn cassette: typical misfits of 0.03 to 0.05), right readings of slips were off
    // by up to a whole half unit, and the length says nothing. (A misread bit is not held
    // to it: one cycle stretched by the tape lengthens its character just as a join does.)
    static constexpr double lengthSlack = 0.2;
    static constexpr double steadyLengths = 0.02;

    explicit LoadJudge(double sampleRate) : sampleRate(sampleRate) {}

    DecodedLoad judge(const LoadCandidate& candidate) const;
    // The same with the odds given: for a reading made of several readings, whose
    // certainties say how strong their joint evidence is in the odds of the first.
    DecodedLoad judge(const LoadCandidate& candidate, const ErrorOdds& odds) const;

  private:
    void describe(const LoadCandidate& candidate, DecodedLoad& load) const;
    void listDoubts(const LoadCandidate& candidate, DecodedLoad& load) const;
    void judgeChecksum(const LoadCandidate& candidate, const ErrorOdds& odds,
                       DecodedLoad& load) const;
    void judgeFiller(const FramedLoad& framed, const ErrorOdds& odds, DecodedLoad& load) const;
    void placeProblem(DecodedLoad& load, std::string problem, double frame) const;
    void slipUnknown(DecodedLoad& load, const std::vector<FramedCharacter>& characters,
                     std::size_t index, const std::string& why) const;
    // Characters the signal was lost over (see DropoutBridge): one alone, with every other
    // character read, takes the value that makes the checksum right, when that value also
    // lasts as long as the stretch lost and the rest of the load is sure enough.
    void judgeLost(const FramedLoad& framed, const SumPosterior& posterior,
                   const std::vector<std::size_t>& lost, bool slipsToo, DecodedLoad& load) const;
    // A dropout whose count of characters the stretch does not settle: never trusted, and the
    // report says by how many places the characters after it may stand off.
    void judgeUncounted(const FramedLoad& framed, std::size_t lostCharacters,
                        DecodedLoad& load) const;

    // Takes a value for a slipped character as a slip repair (the character is no longer
    // unknown).
    void settleSlip(DecodedLoad& load, const std::vector<FramedCharacter>& characters,
                    std::size_t at, std::uint8_t value) const;
    // Where the framer's readings cannot settle the slipped characters: every reading of the
    // broken runs around them weighed on the signal (RunWeigher), with the checksum and the
    // load's other decisions (those of the runs' characters left out: the signal weighs them).
    // REPAIRED (and true) when the likeliest reading that fits is wrong with a chance below
    // repairTrusted; below likelierRight its values are written all the same, and its chance
    // given back.
    bool weighedRepair(const LoadCandidate& candidate, const std::vector<std::size_t>& slipped,
                       const ErrorOdds& odds, std::uint8_t missing, DecodedLoad& load,
                       double& likeliestChance) const;
    // A reading that fits the checksum, not trusted, is the load's likeliest when it is
    // wrong with a chance below this.
    static constexpr double likelierRight = 0.5;
    // At most this many runs are weighed together.
    static constexpr std::size_t mostWeighedRuns = 16;

    // The first slipped character (its index and the reading taken given) that does not
    // last as long as that reading does, if any.
    static std::optional<std::size_t> lengthMismatch(
        const FramedLoad& framed, const std::vector<std::pair<std::size_t, std::uint8_t>>& values);

    double sampleRate;
};

}  // namespace kelvanto::decode
