// The seventh stage: checks a reading against the load's checksum and, when it fails, tries
// changing the few least certain bit decisions that could explain the difference.
#pragma once

#include "decode/decoded_load.h"
#include "decode/load_candidate.h"

namespace kelvanto::decode {

// One wrong bit of weight 2^k moves the loader's sum by exactly 2^k, so the difference
// between the sum and 0xFF says which bit weights are worth reconsidering. Only doubtful
// decisions are changed, a single one or a pair, and only in a reading that has few of
// them: every hypothesis tried is another 1-in-256 chance of a right checksum over wrong
// data, so a reading full of doubt stays BAD. A repair is taken only when it makes the
// checksum right, and is listed with its position.
class LoadJudge {
  public:
    static constexpr float doubtful = 0.5f;       // decisions below this may be changed alone
    static constexpr float pairDoubtful = 0.35f;  // both of a changed pair must be below this
    static constexpr float veryDoubtful = 0.15f;
    // More doubtful data bits than this: no repair is tried.
    static constexpr std::size_t maximumDoubtfulBits = 24;
    // Pairs are tried among this many least certain bits.
    static constexpr std::size_t pairPool = 10;
    // More clear-cut framing faults or near-guesses than this (plus one per guessesPerCycles
    // cycles of a long load) and even a right checksum is not trusted: a reading of noise
    // guesses at a good part of its cycles, a noisy but right reading at very few.
    static constexpr std::size_t maximumGuesses = 8;
    static constexpr std::size_t guessesPerCycles = 200;

    explicit LoadJudge(double sampleRate) : sampleRate(sampleRate) {}

    DecodedLoad judge(const LoadCandidate& candidate) const;

  private:
    void describe(const LoadCandidate& candidate, DecodedLoad& load) const;
    void listDoubts(const LoadCandidate& candidate, DecodedLoad& load) const;
    bool repair(const LoadCandidate& candidate, DecodedLoad& load) const;

    double sampleRate;
};

}  // namespace kelvanto::decode
