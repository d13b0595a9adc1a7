// What the decoder hands back for each load found in a recording: the received characters,
// the tones around them, where it all stood, how sure the decoder is and what it repaired.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvanto::decode {

// OK: the checksum is right as read. REPAIRED: the checksum became right only after the
// listed least certain decisions were changed. BAD: no reading with a right checksum.
enum class Verdict { ok, repaired, bad };

// Normal: every cycle starts low, so a cycle runs from one falling edge to the next.
// Inverted: the recording chain turned the signal upside down; cycles run rising to rising.
enum class Polarity { normal, inverted };

// A character the decoder is not sure of, or could not read at all.
struct CharacterDoubt {
    std::size_t character = 0;  // index into DecodedLoad::characters
    int bit = -1;               // 0..7 data bit, 8 start bit, 9 stop bit, -1 whole character
    float certainty = 0.0f;     // 0 (a guess) .. 1 (clear)
    std::int64_t sample = 0;    // position of that bit's cycle in the recording
    double seconds = 0.0;
};

// One decision changed to make the checksum right.
struct Repair {
    enum class Kind {
        bitFlip,     // a doubtful data bit was flipped
        vote,        // the whole character came from a vote among takes
        extraCycle,  // a cycle cut in two was taken as one, so the framing held
    };
    Kind kind = Kind::bitFlip;
    std::size_t character = 0;
    int bit = -1;  // the data bit flipped (bitFlip), else -1
    std::uint8_t before = 0;
    std::uint8_t after = 0;
    std::int64_t sample = 0;
    double seconds = 0.0;
};

struct DecodedLoad {
    // c[0..n-1] as the machine receives them; the last one is the checksum.
    std::vector<std::uint8_t> characters;
    // With an odd number of characters the final pair ends with a filler sent behind a 1
    // start bit and left out of the sum; 0xFF looks exactly like the footer tone.
    bool hasFiller = false;
    std::uint8_t filler = 0xFF;

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
    std::int64_t endSample = 0;
    double endSeconds = 0.0;

    Verdict verdict = Verdict::bad;
    std::string problem;             // why a load is BAD, empty otherwise
    std::int64_t problemSample = 0;  // where the reading stopped or failed
    double problemSeconds = 0.0;

    double speedRatio = 1.0;  // measured tone frequency against 1575 Hz (1.1 = 10 % fast)
    Polarity polarity = Polarity::normal;
    int channel = 0;
    double levelDbfs = -200.0;  // peak level of the filtered signal during the load

    std::vector<CharacterDoubt> doubts;
    std::vector<Repair> repairs;
};

const char* verdictName(Verdict verdict);

}  // namespace kelvanto::decode
