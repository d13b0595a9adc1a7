// SPDX-License-Identifier: MIT
// Decoding throughput and breaking points: decodes an hour-long (or shorter) 44100 Hz 16-bit
// stereo recording made by the converter, then finds, for each kind of damage, where loads
// begin to fail. Prints Markdown tables. Not a test: timings depend on the machine.
//
// Build and run (Release):
//   cmake -S . -B build-dec -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-dec -j2 --target decode_bench
//   build-dec/decode/decode_bench [seconds] [--no-sweeps] [--no-throughput]
//                                 [--damage NAME] [--format 44100|22050] [--size small|8k]
//                                 [--show VALUE] (the loads found at one point of --damage)
//                                 [--seed N] [--one-polarity] [--save FILE] [--each-take]
//                                 (for --show; --each-take: each of two takes alone too)
//                                 [--as-read] (a load counts when its characters are right,
//                                 BAD or not: how a plain reader without verdicts is measured)
//                                 [--runaway MINUTES] (memory of a reading that never ends)
//                                 [--every-value] (sweeps go on past their breaking points)
// A point of a sweep passes when, for each of three seeds (data and damage), every load is
// read exactly (characters and not BAD) and no other load is reported. A load reported OK
// or REPAIRED with wrong characters is a trust fault: they are counted over the whole run
// (with --every-value also beyond each breaking point, to the end of the range).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "audio/conversion_run.h"
#include "decode/audio_file_reader.h"
#include "decode/load_candidate.h"
#include "decode/recording_decoder.h"
#include "decode/take_merger.h"
#include "tape/tarqo_bin_file.h"
#include "tests/decode/degradations.h"

using decode_testing::Recording;
using kelvanto::decode::DecodedLoad;
using kelvanto::decode::RecordingDecoder;
using kelvanto::decode::Verdict;

namespace {

struct Tape {
    std::vector<std::vector<std::uint8_t>> data;  // format-1 loads
    Recording recording;
};

struct Format {
    int rate;
    int bits;
    int channels;
    const char* name;
};

struct Size {
    int loads;
    std::size_t bytes;
    const char* name;
};

const std::vector<Format> formats = {{44100, 16, 1, "44100/16/1"}, {22050, 8, 2, "22050/8/2"}};
const std::vector<Size> sizes = {{3, 256, "small"}, {1, 8192, "8k"}};

std::string scratchPath(const char* what) {
    static int serial = 0;
    return (std::filesystem::temp_directory_path() /
            ("kelvanto-decode-bench-" + std::to_string(::getpid()) + "-" +
             std::to_string(++serial) + what))
        .string();
}

// The characters a receiver reads from a format-1 load: the data, then the checksum that
// makes 0xA5 + everything equal 0xFF modulo 256.
std::vector<std::uint8_t> expected(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out = data;
    unsigned sum = 0xA5;
    for (const std::uint8_t byte : data) {
        sum += byte;
    }
    out.push_back(static_cast<std::uint8_t>(0xFFu - (sum & 0xFFu)));
    return out;
}

Recording readBack(const std::string& path) {
    Recording out;
    kelvanto::decode::AudioFileReader reader;
    if (!reader.open(path)) {
        std::fprintf(stderr, "%s\n", reader.error().c_str());
        return out;
    }
    out.rate = reader.sampleRate();
    out.channels = reader.channels();
    std::vector<float> block;
    while (reader.read(block, 65536) > 0) {
        out.samples.insert(out.samples.end(), block.begin(), block.end());
    }
    return out;
}

Tape makeTape(int loads, std::size_t bytes, double header, double gap, const Format& format,
              unsigned seed) {
    Tape tape;
    std::mt19937 random(seed);
    const std::string path = scratchPath(".wav");
    {
        TarqoBinFile file;
        file.setVerbosity(0);
        for (int i = 0; i < loads; ++i) {
            std::vector<std::uint8_t> data(bytes);
            for (auto& byte : data) {
                byte = static_cast<std::uint8_t>(random());
            }
            TapeLoad load;
            load.setFormat(1);
            load.setLength(static_cast<int>(bytes));
            for (std::size_t b = 0; b < data.size(); ++b) {
                load.setByte(static_cast<long>(b), data[b]);
            }
            load.setCheckSum(expected(data).back());
            load.setHeaderLength(header);
            load.setGapLength(gap);
            file.loads.push_back(load);
            tape.data.push_back(data);
        }
        ConversionRun run;
        run.createAudioFile(file, path, format.rate, format.bits, format.channels);
        run.finish();
    }
    tape.recording = readBack(path);
    std::filesystem::remove(path);
    return tape;
}

int trustFaults = 0;
// Slipped characters of loads not trusted: how many, how many the framer read right, and how
// many had their true value among none of the readings it kept. The last against the first
// right is what the judge must allow for a slip of a kind it did not try.
int slipsSeen = 0;
int slipsChosenRight = 0;
// The characters either side of a slip that did not slip themselves: how many, how many were
// wrong, and how many of those looked clear (every data bit at least half certain).
int slipNeighbours = 0;
int slipNeighboursWrong = 0;
int slipNeighboursWrongClear = 0;
int slipsUntried = 0;
// Of the slips whose true value is among the readings and whose readings the signal weighed
// apart: how many, how often the reading it favoured most among the others beat the true one,
// and how often its log odds say that should happen. The judge's chance of a wrong repair is
// only as honest as these two agree.
int slipsWeighed = 0;
int slipsFavouredWrong = 0;
double slipsClaimedWrong = 0.0;
// Points (damage values of a column, every seed) decoded: with everyValue, sweeps go on past
// their breaking point to the end of their range, so that a wrong OK or REPAIRED of heavier
// damage is counted too.
int pointsRead = 0;
// Slips of two 0s run together, whose true value is among the readings: by how much quieter
// the character's quietest 1 is than the next quietest (its level over theirs, in bins), how
// many there were and in how many splitting the quietest 1 gave the true value.
// How often a rule was right, counted in bins of what it rests on (each bin below its edge;
// the last takes the rest).
template <std::size_t Bins>
struct BinnedCount {
    std::array<double, Bins> edges;
    std::array<int, Bins> seen{};
    std::array<int, Bins> right{};

    void add(double measure, bool wasRight) {
        std::size_t bin = 0;
        while (bin + 1 < Bins && measure >= edges[bin]) {
            ++bin;
        }
        ++seen[bin];
        right[bin] += wasRight ? 1 : 0;
    }
    // " below E: R of S;" for every bin, each edge shown no higher than top.
    void print(double top) const {
        for (std::size_t bin = 0; bin < Bins; ++bin) {
            std::printf(" below %.3g: %d of %d;", std::min(edges[bin], top), right[bin], seen[bin]);
        }
        std::printf("\n");
    }
};
BinnedCount<5> quietSplits{{0.5, 0.625, 0.77, 0.87, 1.0001}};
// Slips of a 0 and a 1 run into one long cycle, whose true value is one of the two orders:
// by how far from half way the middle edge fell (in bins of its distance), how many there
// were and in how many the order it points at was the true one.
BinnedCount<4> longOrders{{0.05, 0.1, 0.2, 0.51}};
bool everyValue = false;
// With --as-read, a load counts as read exactly when its characters are right, whatever its
// verdict: what a plain reader without verdicts is measured by.
bool asRead = false;

// Loads read exactly, or -1 when the decoder found another number of loads. A load reported
// OK or REPAIRED is a trust fault when its characters are not the tape's: those of the load
// in its place, or, when the decoder found more or fewer loads (a load broken in two, a stray
// tone) and the places no longer pair up, those of any load of the tape (each holds its own
// random data).
int exactLoads(const std::vector<DecodedLoad>& got, const Tape& tape, std::size_t repeats,
               bool tallySlips = true) {
    int exact = 0;
    const bool paired = got.size() == tape.data.size() * repeats;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const auto want = expected(tape.data[i % tape.data.size()]);
        const bool right = got[i].characters == want;
        bool someLoad = right;
        for (std::size_t k = 0; !paired && !someLoad && k < tape.data.size(); ++k) {
            someLoad = got[i].characters == expected(tape.data[k]);
        }
        if (got[i].verdict != Verdict::bad && !someLoad) {
            ++trustFaults;
        }
        if (paired && tallySlips && got[i].evidence) {
            const auto& framed = got[i].evidence->framed;
            for (const auto& slip : framed.slips) {
                if (slip.character < want.size() && slip.character < framed.characters.size()) {
                    const std::uint8_t truth = want[slip.character];
                    const bool chosen = framed.characters[slip.character].value == truth;
                    double truthOdds = -HUGE_VAL;
                    double otherOdds = -HUGE_VAL;
                    auto weigh = [&](std::uint8_t value, double logOdds) {
                        double& best = value == truth ? truthOdds : otherOdds;
                        best = std::max(best, logOdds);
                    };
                    weigh(framed.characters[slip.character].value, slip.chosenLogOdds);
                    for (std::size_t k = 0; k < slip.others.size(); ++k) {
                        weigh(slip.others[k], slip.logOddsOf(k));
                    }
                    if (slip.longMiddle >= 0.0f && slip.zeroOneValue != slip.oneZeroValue &&
                        (truth == slip.zeroOneValue || truth == slip.oneZeroValue)) {
                        const bool zeroFirst = slip.longMiddle > 0.5f;
                        longOrders.add(
                            std::fabs(slip.longMiddle - 0.5),
                            truth == (zeroFirst ? slip.zeroOneValue : slip.oneZeroValue));
                    }
                    if (slip.quietRatio > 0.0f && std::isfinite(truthOdds)) {
                        quietSplits.add(slip.quietRatio, slip.quietValue == truth);
                    }
                    const double margin = truthOdds - otherOdds;
                    if (std::isfinite(margin) && margin != 0.0) {
                        ++slipsWeighed;
                        slipsFavouredWrong += margin < 0.0 ? 1 : 0;
                        slipsClaimedWrong += 1.0 / (1.0 + std::exp(std::fabs(margin)));
                    }
                    for (const std::size_t beside : {slip.character - 1, slip.character + 1}) {
                        if (framed.slips.size() > 3 || beside >= want.size() ||
                            beside >= framed.characters.size() ||
                            framed.characters[beside].extraCycleDropped) {
                            continue;
                        }
                        const auto& c = framed.characters[beside];
                        ++slipNeighbours;
                        if (c.value != want[beside]) {
                            ++slipNeighboursWrong;
                            bool clear = true;
                            for (int b = 1; b <= 8; ++b) {
                                clear = clear && c.bitCertainty(b) >= 0.5f;
                            }
                            slipNeighboursWrongClear += clear ? 1 : 0;
                        }
                    }
                    ++slipsSeen;
                    slipsChosenRight += chosen ? 1 : 0;
                    slipsUntried += !chosen && std::find(slip.others.begin(), slip.others.end(),
                                                         truth) == slip.others.end()
                                        ? 1
                                        : 0;
                }
            }
        }
        exact += (asRead || got[i].verdict != Verdict::bad) && right ? 1 : 0;
    }
    return got.size() == tape.data.size() * repeats ? exact : -1;
}

bool onePolarity = false;

std::vector<DecodedLoad> decodeAll(const Recording& recording) {
    kelvanto::decode::DecoderOptions options;
    options.bothPolarities = !onePolarity;
    RecordingDecoder decoder(recording.rate, recording.channels, options);
    decoder.pushInterleaved(recording.samples);
    return decoder.finish();
}

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void throughput(double seconds) {
    // Three full loads of 8192 bytes with the usual tones and a one-second gap, repeated.
    const Tape tape = makeTape(3, 8192, 1.0, 1.0, Format{44100, 16, 2, ""}, 42);
    const double pass = static_cast<double>(tape.recording.frames()) / tape.recording.rate;
    const std::size_t repeats = std::max<std::size_t>(1, std::lround(seconds / pass));
    RecordingDecoder decoder(tape.recording.rate, tape.recording.channels);
    const double cpuStart = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t r = 0; r < repeats; ++r) {
        // Blocks as an audio file reader would hand them over.
        const std::span<const float> all(tape.recording.samples);
        for (std::size_t at = 0; at < all.size(); at += 32768) {
            decoder.pushInterleaved(all.subspan(at, std::min<std::size_t>(32768, all.size() - at)));
        }
    }
    const std::vector<DecodedLoad> loads = decoder.finish();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    const double recorded = pass * static_cast<double>(repeats);
    // The processor time is what the decoder itself costs on one core; the wall time also
    // holds whatever else the machine was doing.
    std::printf(
        "| recording | wall time | x real time | processor time | x real time | loads "
        "exact |\n|---|---|---|---|---|---|\n");
    std::printf(
        "| %.0f s, 44100 Hz, 16 bit, 2 channels (each, and mixed), both polarities | %.2f s | %.0f "
        "| %.2f "
        "s | %.0f | %d of %zu |\n\n",
        recorded, elapsed, recorded / elapsed, cpu, recorded / cpu,
        exactLoads(loads, tape, repeats), tape.data.size() * repeats);
    std::fflush(stdout);
}

// A header tone and then randomly framed characters for this many minutes, made and decoded
// block by block at 44100 Hz: the reading must stop at the longest load and the decoder's
// memory stay flat.
void runaway(double minutes) {
    const int rate = 44100;
    RecordingDecoder decoder(rate, 1);
    std::mt19937 random(5);
    std::vector<float> block;
    double clock = 0.0;  // position on the 22050 grid, in frames
    long written = 0;
    auto cycle = [&](int bit) {
        // 1: 7 frames low, 7 high; 0: 3 low, 1 in the middle, 3 high.
        const double low = bit ? 7 : 3;
        const double middle = bit ? 0 : 1;
        const double high = bit ? 7 : 3;
        const double end = clock + low + middle + high;
        for (;; ++written) {
            const double t = static_cast<double>(written) * 22050.0 / rate;
            if (t >= end) {
                break;
            }
            const double x = t - clock;
            block.push_back(x < low ? -0.5f : x < low + middle ? 0.0f : 0.5f);
        }
        clock = end;
        if (block.size() >= 32768) {
            decoder.pushInterleaved(block);
            block.clear();
        }
    };
    for (int i = 0; i < 1575; ++i) {
        cycle(1);
    }
    for (const int b : {0, 1, 0, 1, 0, 0, 1, 0, 1, 1}) {
        cycle(b);
    }
    const auto start = std::chrono::steady_clock::now();
    while (clock < minutes * 60.0 * 22050.0) {
        const unsigned value = random() & 0xFEu;
        cycle(0);
        for (int b = 0; b < 8; ++b) {
            cycle(static_cast<int>((value >> b) & 1u));
        }
        cycle(1);
    }
    decoder.pushInterleaved(block);
    const std::vector<DecodedLoad> loads = decoder.finish();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "| runaway reading | %.0f minutes of framed characters after a header tone | %zu "
        "load(s), the first %s with %zu characters: %s | peak memory %.1f MB | %.1f s |\n\n",
        minutes, loads.size(),
        loads.empty() ? "-" : kelvanto::decode::verdictName(loads[0].verdict),
        loads.empty() ? std::size_t{0} : loads[0].characters.size(),
        loads.empty() ? "" : loads[0].problem.c_str(),
        static_cast<double>(usage.ru_maxrss) / 1024.0, elapsed);
    for (const DecodedLoad& load : loads) {
        std::printf("  %s at %.1f s: %zu characters, header %d cycles, %s\n",
                    kelvanto::decode::verdictName(load.verdict), load.startSeconds,
                    load.characters.size(), load.headerCycles, load.problem.c_str());
    }
    std::fflush(stdout);
}

// Writes 16-bit PCM, by hand so that the bench needs no audio writer; false when the file
// cannot be written.
bool writeWav(const Recording& in, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const auto frames = static_cast<std::uint32_t>(in.frames());
    const auto channels = static_cast<std::uint16_t>(in.channels);
    const std::uint32_t dataBytes = frames * channels * 2u;
    auto u32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, file); };
    auto u16 = [&](std::uint16_t v) { std::fwrite(&v, 2, 1, file); };
    std::fwrite("RIFF", 1, 4, file);
    u32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, file);
    u32(16);
    u16(1);
    u16(channels);
    u32(static_cast<std::uint32_t>(in.rate));
    u32(static_cast<std::uint32_t>(in.rate) * channels * 2u);
    u16(static_cast<std::uint16_t>(channels * 2u));
    u16(16);
    std::fwrite("data", 1, 4, file);
    u32(dataBytes);
    std::vector<std::int16_t> pcm(in.samples.size());
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(
            std::lround(std::clamp(in.samples[i], -1.0f, 32767.0f / 32768.0f) * 32768.0f));
    }
    const bool written = std::fwrite(pcm.data(), 2, pcm.size(), file) == pcm.size();
    return std::fclose(file) == 0 && written;
}

// An MP3 round trip through ffmpeg at this bit rate; empty when ffmpeg cannot do it.
Recording mp3(const Recording& in, double kbits) {
    const std::string wav = scratchPath(".wav");
    const std::string coded = scratchPath(".mp3");
    const std::string back = scratchPath("-back.wav");
    if (!writeWav(in, wav)) {
        return {};
    }
    const std::string command = "ffmpeg -nostdin -v error -y -i '" + wav +
                                "' -codec:a libmp3lame -b:a " + std::to_string(std::lround(kbits)) +
                                "k '" + coded + "' && ffmpeg -nostdin -v error -y -i '" + coded +
                                "' -ar " + std::to_string(in.rate) + " '" + back + "'";
    Recording out;
    if (std::system(command.c_str()) == 0) {
        out = readBack(back);
    }
    std::filesystem::remove(wav);
    std::filesystem::remove(coded);
    std::filesystem::remove(back);
    return out;
}

struct Sweep {
    const char* name;
    const char* unit;
    std::vector<double> values;  // from harmless to harmful
    std::function<Recording(const Recording&, double, unsigned)> apply;
    // With 2, the tape is recorded twice with other damage of the same kind, and the two
    // takes are decoded together as kelvanto-tape decode does: the first take is the one of
    // the row above, so the two rows show what a second take is worth.
    int takes = 1;
};

double peak(const Recording& r) {
    double top = 0;
    for (const float x : r.samples) {
        top = std::max(top, static_cast<double>(std::fabs(x)));
    }
    return top;
}

Recording firstChannel(const Recording& r) {
    Recording mono;
    mono.rate = r.rate;
    for (std::size_t i = 0; i < r.frames(); ++i) {
        mono.samples.push_back(r.samples[i * static_cast<std::size_t>(r.channels)]);
    }
    return mono;
}

std::vector<double> range(double from, double to, double step) {
    std::vector<double> out;
    for (double v = from; step > 0 ? v <= to + 1e-9 : v >= to - 1e-9; v += step) {
        out.push_back(v);
    }
    return out;
}

std::vector<Sweep> sweeps() {
    const auto noisy = [](const Recording& r, double snr, unsigned seed) {
        Recording n = r;
        decode_testing::addNoise(n, snr, seed);
        return n;
    };
    const auto worn = [](const Recording& r, double s, unsigned seed) {
        return decode_testing::wornCassette(r, s, seed);
    };
    // Dropouts of one length, one in four seconds on average at random places (header, sync
    // character, data or footer alike), the signal gone to the tape's hiss (35 dB below it).
    const auto dropouts = [](const Recording& r, double ms, unsigned seed) {
        Recording n = r;
        std::mt19937 random(seed);
        std::exponential_distribution<double> apart(0.25);
        const double seconds = static_cast<double>(n.frames()) / n.rate;
        for (double t = apart(random); t < seconds; t += apart(random)) {
            decode_testing::dropout(n, t, ms / 1000.0);
        }
        decode_testing::addNoise(n, 35.0, seed + 1000);
        return n;
    };
    return {
        {"white noise", "dB SNR", range(11, -3, -0.5), noisy},
        {"white noise, two takes", "dB SNR", range(11, -3, -0.5), noisy, 2},
        {"speed, slow", "x", range(0.5, 0.1, -0.05),
         [](const Recording& r, double f, unsigned) { return decode_testing::speed(r, f); }},
        {"speed, fast", "x", range(1.8, 4.0, 0.1),
         [](const Recording& r, double f, unsigned) { return decode_testing::speed(r, f); }},
        {"wow at 0.5 Hz", "% depth", range(50, 95, 5),
         [](const Recording& r, double d, unsigned) {
             return decode_testing::wowAndFlutter(r, d / 100.0, 0.5, 0.0, 8.0);
         }},
        {"low-pass", "Hz", range(2250, 500, -125),
         [](const Recording& r, double f, unsigned) {
             Recording n = r;
             decode_testing::lowPass(n, f);
             return n;
         }},
        {"MP3",
         "kbit/s",
         {64, 56, 48, 40, 32, 24, 16, 8},
         [](const Recording& r, double k, unsigned) { return mp3(r, k); }},
        {"worn cassette", "severity", range(1.5, 6.0, 0.25), worn},
        {"worn cassette, two takes", "severity", range(1.5, 6.0, 0.25), worn, 2},
        {"dropouts, one in 4 s", "ms", {2, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128}, dropouts},
        {"dropouts, one in 4 s, two takes",
         "ms",
         {2, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128},
         dropouts,
         2},
        // The playback chains of real decks and sound cards: mains hum (fundamental and
        // third harmonic, the fundamental this many times the signal's amplitude) with the
        // level set so that hum and signal together just fit a 16-bit file, the same hum into
        // an input that clips at the signal's own peak, a high-pass (AC coupling, a head's
        // bass loss), and two heads out of line: the second channel late, kept as two
        // channels or summed to one.
        {"mains hum",
         "x signal",
         {1, 2, 4, 8, 16, 32, 64, 128},
         [](const Recording& r, double a, unsigned) {
             Recording n = r;
             const double top = peak(r);
             decode_testing::scale(n, 1.0 / ((1.0 + a * 4.0 / 3.0) * top));
             decode_testing::addHum(n, a / (1.0 + a * 4.0 / 3.0));
             decode_testing::quantise(n, 16);
             return n;
         }},
        {"mains hum, clipped", "x signal", range(0.25, 4.0, 0.25),
         [](const Recording& r, double a, unsigned) {
             Recording n = r;
             const double top = peak(r);
             decode_testing::addHum(n, a * top);
             decode_testing::clip(n, top);
             return n;
         }},
        {"high-pass", "Hz", range(500, 8000, 500),
         [](const Recording& r, double f, unsigned) {
             Recording n = r;
             decode_testing::highPass(n, f);
             return n;
         }},
        {"heads out of line", "ms", range(0.1, 1.0, 0.1),
         [](const Recording& r, double ms, unsigned) {
             return decode_testing::stereoWithSkew(firstChannel(r), ms / 1000.0);
         }},
        {"heads out of line, summed to mono", "ms", range(0.02, 0.3, 0.02),
         [](const Recording& r, double ms, unsigned) {
             return decode_testing::summedToMono(
                 decode_testing::stereoWithSkew(firstChannel(r), ms / 1000.0));
         }},
        {"8 kHz, linear resampling",
         "Hz",
         {8000},
         [](const Recording& r, double rate, unsigned) {
             return decode_testing::resampleLinear(r, static_cast<int>(rate));
         }},
    };
}

// Full-band SNR at which matched filtering of the cycle shapes leaves n characters
// error-free nine times in ten: each of the ten decisions of a character errs with
// Q(sqrt(6.45 x SNR x rate / 22050)). Every channel carries the signal with hiss of its own
// (the sweep adds it sample by sample), so matched filtering of all of them adds their
// evidence: the SNR counts once per channel.
double physicsLimit(int rate, int channels, double characters) {
    for (double db = -8; db < 20; db += 0.05) {
        const double snr = channels * std::pow(10.0, db / 10.0);
        const double q = 0.5 * std::erfc(std::sqrt(6.45 * snr * rate / 22050.0) / std::sqrt(2.0));
        if (characters * 10.0 * q < 0.1) {
            return db;
        }
    }
    return 20;
}

// What the decoder reports at one point of one sweep (first seed), load by load.
unsigned showSeed = 100;

// With --save, --show also writes the damaged recording there (16-bit WAV), to listen to it
// or to decode it with kelvanto-tape (--picture).
std::string showSave;

// With --each-take, --show of a two-take row also prints what each take reads alone.
bool showEachTake = false;

void printLoads(const Tape& tape, const std::vector<DecodedLoad>& got);

void show(const std::string& damage, double value, const std::string& onlyFormat,
          const std::string& onlySize) {
    const Format* format = &formats[0];
    for (const Format& f : formats) {
        format = std::to_string(f.rate) == onlyFormat ? &f : format;
    }
    const Size* size = &sizes[0];
    for (const Size& z : sizes) {
        size = onlySize == z.name ? &z : size;
    }
    const Tape tape = makeTape(size->loads, size->bytes, 0.5, 0.3, *format, showSeed);
    for (const Sweep& sweep : sweeps()) {
        if (std::string(sweep.name).find(damage) == std::string::npos) {
            continue;
        }
        const Recording damaged = sweep.apply(tape.recording, value, 7 + (showSeed - 100));
        if (!showSave.empty() && !writeWav(damaged, showSave)) {
            std::fprintf(stderr, "decode_bench: cannot write %s\n", showSave.c_str());
        }
        std::vector<DecodedLoad> got = decodeAll(damaged);
        if (sweep.takes == 2) {
            const std::vector<DecodedLoad> second =
                decodeAll(sweep.apply(tape.recording, value, 57 + (showSeed - 100)));
            if (showEachTake) {
                std::printf("first take alone:\n");
                printLoads(tape, got);
                std::printf("second take alone:\n");
                printLoads(tape, second);
            }
            got = kelvanto::decode::mergeTakes({got, second});
        }
        std::printf("%s at %g %s: %zu loads\n", sweep.name, value, sweep.unit, got.size());
        printLoads(tape, got);
        return;
    }
}

// Each load found, against the tape's load it differs least from: verdict, place, the
// characters that are wrong, the first doubts and the readings of its slips.
void printLoads(const Tape& tape, const std::vector<DecodedLoad>& got) {
    for (std::size_t i = 0; i < got.size(); ++i) {
        const DecodedLoad& load = got[i];
        // Compared with the tape's load it differs least from: a stray tone or a lost load
        // shifts the places, and each load holds its own random data.
        auto differences = [&](const std::vector<std::uint8_t>& data) {
            const auto want = expected(data);
            std::size_t count = want.size() > load.characters.size()
                                    ? want.size() - load.characters.size()
                                    : load.characters.size() - want.size();
            for (std::size_t c = 0; c < std::min(want.size(), load.characters.size()); ++c) {
                count += want[c] != load.characters[c] ? 1 : 0;
            }
            return count;
        };
        std::size_t closest = std::min(i, tape.data.size() - 1);
        for (std::size_t k = 0; k < tape.data.size(); ++k) {
            closest = differences(tape.data[k]) < differences(tape.data[closest]) ? k : closest;
        }
        const auto want = expected(tape.data[closest]);
        std::size_t wrong = 0;
        std::string places;
        for (std::size_t c = 0; c < std::min(want.size(), load.characters.size()); ++c) {
            if (want[c] != load.characters[c]) {
                ++wrong;
                char text[48];
                std::snprintf(text, sizeof text, " %zu:%02X->%02X", c, want[c], load.characters[c]);
                places += text;
            }
        }
        std::printf(
            "  %s %.3f-%.3f s, speed %.3f, %.1f dBFS, %zu characters (%zu wrong), %zu "
            "doubts, %zu repairs, header %d cycles, polarity %d: %s at %.3f s\n",
            kelvanto::decode::verdictName(load.verdict), load.startSeconds, load.endSeconds,
            load.speedRatio, load.levelDbfs, load.characters.size(), wrong, load.doubts.size(),
            load.repairs.size(), load.headerCycles, static_cast<int>(load.polarity),
            load.problem.c_str(), load.problemSeconds);
        if (!places.empty()) {
            std::printf("    wrong:%s\n", places.substr(0, 400).c_str());
        }
        for (std::size_t d = 0; d < std::min<std::size_t>(load.doubts.size(), 8); ++d) {
            const auto& doubt = load.doubts[d];
            std::printf("    doubt: character %zu bit %d certainty %.2f kind %d\n", doubt.character,
                        doubt.bit, static_cast<double>(doubt.certainty),
                        static_cast<int>(doubt.kind));
        }
        if (load.evidence) {
            for (const auto& slip : load.evidence->framed.slips) {
                const auto& framed = load.evidence->framed;
                std::string readings;
                char item[48];
                for (std::size_t k = 0; k < slip.others.size(); ++k) {
                    std::snprintf(item, sizeof item, " %02X (%+.2f)", slip.others[k],
                                  slip.logOddsOf(k));
                    readings += item;
                }
                std::printf("    slip: character %zu read %02X (%+.2f), others:%s\n",
                            slip.character,
                            slip.character < framed.characters.size()
                                ? framed.characters[slip.character].value
                                : 0,
                            slip.chosenLogOdds, readings.c_str());
            }
        }
    }
}

void breakingPoints(const std::string& onlyDamage, const std::string& onlyFormat,
                    const std::string& onlySize) {
    constexpr int seeds = 3;
    struct Column {
        const Format* format;
        const Size* size;
        std::vector<Tape> tapes;
    };
    std::vector<Column> columns;
    for (const Format& format : formats) {
        if (!onlyFormat.empty() && std::to_string(format.rate) != onlyFormat) {
            continue;
        }
        for (const Size& size : sizes) {
            if (!onlySize.empty() && onlySize != size.name) {
                continue;
            }
            Column column{&format, &size, {}};
            for (int s = 0; s < seeds; ++s) {
                column.tapes.push_back(makeTape(size.loads, size.bytes, 0.5, 0.3, format,
                                                static_cast<unsigned>(100 + s)));
            }
            columns.push_back(std::move(column));
        }
    }
    std::printf("| damage |");
    for (const Column& column : columns) {
        std::printf(" %s, %s |", column.format->name,
                    column.size->bytes > 1000 ? "8 KB load" : "3 small loads");
    }
    std::printf("\n|---|");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        std::printf("---|");
    }
    std::printf("\n");
    std::fflush(stdout);
    for (const Sweep& sweep : sweeps()) {
        if (!onlyDamage.empty() && std::string(sweep.name).find(onlyDamage) == std::string::npos) {
            continue;
        }
        std::printf("| %s (%s): last exact / first failing |", sweep.name, sweep.unit);
        for (const Column& column : columns) {
            double last = std::nan("");
            double first = std::nan("");
            for (const double value : sweep.values) {
                bool pass = true;
                for (int s = 0; s < seeds && (pass || everyValue); ++s) {
                    const Tape& tape = column.tapes[static_cast<std::size_t>(s)];
                    const Recording damaged =
                        sweep.apply(tape.recording, value, static_cast<unsigned>(7 + s));
                    if (damaged.samples.empty()) {
                        pass = false;
                        break;
                    }
                    std::vector<DecodedLoad> loads = decodeAll(damaged);
                    if (sweep.takes == 2) {
                        const Recording second =
                            sweep.apply(tape.recording, value, static_cast<unsigned>(57 + s));
                        loads = kelvanto::decode::mergeTakes({loads, decodeAll(second)});
                    }
                    const int faultsBefore = trustFaults;
                    const bool exact = exactLoads(loads, tape, 1, sweep.takes == 1) ==
                                       static_cast<int>(tape.data.size());
                    pass = pass && exact;
                    if (trustFaults != faultsBefore) {
                        std::fprintf(stderr, "trust fault: %s at %g %s, %s, %s, seed %d\n",
                                     sweep.name, value, sweep.unit, column.format->name,
                                     column.size->name, s);
                    }
                }
                ++pointsRead;
                if (!pass && std::isnan(first)) {
                    first = value;
                }
                if (!pass && !everyValue) {
                    break;
                }
                if (pass && std::isnan(first)) {
                    last = value;
                }
            }
            char buffer[64];
            if (std::isnan(last)) {
                std::snprintf(buffer, sizeof buffer, "fails at %.4g", first);
            } else if (std::isnan(first)) {
                std::snprintf(buffer, sizeof buffer, "%.4g / none in range", last);
            } else {
                std::snprintf(buffer, sizeof buffer, "%.4g / %.4g", last, first);
            }
            std::printf(" %s |", buffer);
            std::fflush(stdout);
        }
        std::printf("\n");
        if (std::string(sweep.name) == "white noise") {
            std::printf("| white noise: limit of matched filtering (dB SNR) |");
            for (const Column& column : columns) {
                const double characters =
                    column.size->loads * static_cast<double>(column.size->bytes + 1);
                std::printf(" %.1f |",
                            physicsLimit(column.format->rate, column.format->channels, characters));
            }
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    std::printf("\nLoads reported OK or REPAIRED with wrong characters: %d (over %d points%s)\n",
                trustFaults, pointsRead,
                everyValue ? ", every value of every range" : ", up to each breaking point");
    std::printf(
        "Slipped characters: %d; read right %d; their true value none of their readings gave "
        "%d\n",
        slipsSeen, slipsChosenRight, slipsUntried);
    std::printf(
        "Characters beside a slip that did not slip: %d; wrong %d, of them looking clear %d\n",
        slipNeighbours, slipNeighboursWrong, slipNeighboursWrongClear);
    std::printf(
        "A 0 and a 1 run together, the order the middle edge points at was the true "
        "one, by its distance from half way:");
    longOrders.print(0.5);
    std::printf(
        "Two 0s run together, the quietest 1 split gave the true value, by its level "
        "against the next quietest 1:");
    quietSplits.print(1.0);
    std::printf(
        "Slips the signal weighed: %d; a wrong reading beat the true one %d times; their log "
        "odds expected %.1f\n",
        slipsWeighed, slipsFavouredWrong, slipsClaimedWrong);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 3600;
    bool sweepsWanted = true;
    bool throughputWanted = true;
    std::string damage;
    std::string format;
    std::string size;
    bool showWanted = false;
    double showValue = 0.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-sweeps") {
            sweepsWanted = false;
        } else if (arg == "--no-throughput") {
            throughputWanted = false;
        } else if (arg == "--damage" && i + 1 < argc) {
            damage = argv[++i];
        } else if (arg == "--format" && i + 1 < argc) {
            format = argv[++i];
        } else if (arg == "--size" && i + 1 < argc) {
            size = argv[++i];
        } else if (arg == "--runaway" && i + 1 < argc) {
            runaway(std::atof(argv[++i]));
            return 0;
        } else if (arg == "--save" && i + 1 < argc) {
            showSave = argv[++i];
        } else if (arg == "--as-read") {
            asRead = true;
        } else if (arg == "--every-value") {
            everyValue = true;
        } else if (arg == "--each-take") {
            showEachTake = true;
        } else if (arg == "--one-polarity") {
            onePolarity = true;
        } else if (arg == "--seed" && i + 1 < argc) {
            showSeed = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (arg == "--show" && i + 1 < argc) {
            showValue = std::atof(argv[++i]);
            showWanted = true;
        } else {
            seconds = std::max(1.0, std::atof(argv[i]));
        }
    }
    if (showWanted) {
        show(damage, showValue, format, size);
        return 0;
    }
    if (throughputWanted) {
        throughput(seconds);
    }
    if (sweepsWanted) {
        breakingPoints(damage, format, size);
    }
    return 0;
}
