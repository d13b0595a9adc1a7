// SPDX-License-Identifier: MIT
// What the decoder hands back for each load found in a recording: the received characters,
// the tones around them, where it all stood, how sure the decoder is and what it repaired.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/machine.h"

namespace kelvanto::decode {

struct LoadCandidate;

// OK: the checksum is right as read and the decisions are clear enough that no pattern of
// errors hides behind it. REPAIRED: a stated few decisions were changed, the only likely way
// to make the checksum right (wrongChance says how likely it is to be wrong anyway, always
// below repairTrusted). BAD: anything else, written as the most likely reading.
enum class Verdict { ok, repaired, bad };

// A repair is taken only when the chance that it is wrong is below this.
inline constexpr double repairTrusted = 1e-3;
// A load keeps at most this many doubts; doubtfulCharacters counts them all.
inline constexpr std::size_t maximumDoubts = 1000;

// Normal: every cycle starts low, so a cycle runs from one falling edge to the next.
// Inverted: the recording chain turned the signal upside down; cycles run rising to rising.
enum class Polarity { normal, inverted };

// A character the decoder is not sure of, or could not read at all.
struct CharacterDoubt {
    enum class Kind {
        unclear,  // its least certain cycle was close to the short/long threshold
        framing,  // a start bit read 1 or a stop bit read 0: the cycles around it are suspect
        slipped,  // a cycle too many or too few came in it: its value is unknown
        lost,     // the signal was lost over it (a dropout): its value is unknown
    };
    std::size_t character = 0;  // index into DecodedLoad::characters
    int bit = -1;               // 0..7 data bit, 8 start bit, 9 stop bit, -1 whole character
    float certainty = 0.0f;     // 0 (a guess) .. 1 (clear)
    std::int64_t sample = 0;    // position of that bit's cycle in the recording
    double seconds = 0.0;
    Kind kind = Kind::unclear;
    int take = 0;  // the recording (of several takes) that the place is in
};

// One decision changed to make the checksum right.
struct Repair {
    enum class Kind {
        bitFlip,  // a doubtful data bit was flipped
        vote,     // the whole character came from the readings of several takes weighed
        slip,     // its framing slipped; the checksum settled which reading of it is right
        lost,     // the signal was lost over it; the checksum gave its value
    };
    Kind kind = Kind::bitFlip;
    std::size_t character = 0;
    int bit = -1;  // the data bit changed, else -1
    std::uint8_t before = 0;
    std::uint8_t after = 0;
    std::int64_t sample = 0;
    double seconds = 0.0;
    int take = 0;  // the recording (of several takes) that the place is in
};

const char* repairKindName(Repair::Kind kind);
const char* doubtKindName(CharacterDoubt::Kind kind);

struct DecodedLoad {
    // c[0..n-1] as the machine receives them; the last one is the checksum.
    std::vector<std::uint8_t> characters;
    // With an odd number of characters the final pair ends with a filler sent behind a 1
    // start bit and left out of the sum; the usual filler (all 1s) looks like footer tone.
    bool hasFiller = false;
    std::uint8_t filler = machine::fillerCharacter;

    // Tone lengths as recorded (seconds of the recording) and in cycles.
    double headerSeconds = 0.0;
    int headerCycles = 0;
    double footerSeconds = 0.0;
    int footerCycles = 0;
    // Silence (or anything that is not a load) after the footer, up to the next load's
    // header or the end of the recording.
    double gapSeconds = 0.0;

    // Where the load stands: the header tone's first cycle, the sync character, and the end of
    // the footer (or of whatever could be read), in frames of the recording and in seconds.
    std::int64_t startSample = 0;
    double startSeconds = 0.0;
    std::int64_t syncSample = 0;
    double syncSeconds = 0.0;
    // Where the characters end (the footer's first cycle, or where the reading stopped).
    std::int64_t dataEndSample = 0;
    double dataEndSeconds = 0.0;
    std::int64_t endSample = 0;
    double endSeconds = 0.0;
    double sampleRate = 0.0;  // of the recording the places are in
    int take = 0;             // that recording, of several takes (problem and load places)

    Verdict verdict = Verdict::bad;
    bool whole = false;              // the reading went on to the footer
    std::string problem;             // why a load is BAD, empty otherwise
    std::int64_t problemSample = 0;  // where the reading stopped or failed
    double problemSeconds = 0.0;

    bool toneOnly = false;    // a header tone with nothing readable after it
    double speedRatio = 1.0;  // measured tone frequency against the nominal one (1.1 = 10 % fast)
    Polarity polarity = Polarity::normal;
    int channel = 0;  // from 0, or mixedChannels
    // The channel of a reading of the two channels of a stereo recording mixed.
    static constexpr int mixedChannels = -1;
    double levelDbfs = -200.0;  // peak level of the filtered signal during the load

    // REPAIRED: the estimated chance that the repaired characters are wrong all the same.
    // OK: the chance that errors which cancel in the sum hide in the reading.
    double wrongChance = 0.0;
    // The number of characters that are probably wrong, from the certainty of every decision
    // (a character whose framing slipped counts whole): what choices among readings go by.
    double expectedWrong = 0.0;

    // The first maximumDoubts doubtful characters in order; doubtfulCharacters counts all.
    std::vector<CharacterDoubt> doubts;
    std::size_t doubtfulCharacters = 0;
    // Where the reading went wrong: the first doubt from which doubts crowd together
    // (valid when doubtsCrowd), e.g. after a dropout or where the noise took over.
    bool doubtsCrowd = false;
    CharacterDoubt crowdFrom;
    std::vector<Repair> repairs;

    // For a load that is not OK, or OK with a wrongChance of repairTrusted or more: the
    // reading as framed, with every decision's certainty, so that other readings of the same
    // load (other takes) can be weighed with it. Empty for a clearly OK load.
    std::shared_ptr<const LoadCandidate> evidence;
};

const char* verdictName(Verdict verdict);

// The share of characters two readings agree on (-1 when either has none to compare), over
// their first 512 characters, each reading's characters laid beside the other's up to eight
// places off, the shift changing where that gains more than two characters (a cycle lost in
// one reading that the framer could not put right moves every later character a place; a
// dropout whose count of characters was not known, a few). Characters whose value is unknown
// (slipped or lost) count neither way while most are known.
double agreement(const DecodedLoad& a, const DecodedLoad& b);
// Readings that agree at least this much hold the same load (another take of it, its echo).
inline constexpr double sameContent = 0.9;

}  // namespace kelvanto::decode
