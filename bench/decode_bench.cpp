// Decoding throughput and breaking points: decodes an hour-long (or shorter) 44100 Hz 16-bit
// stereo recording made by the converter, then finds, for each kind of damage, where loads
// begin to fail. Prints Markdown tables. Not a test: timings depend on the machine.
//
// Build and run (Release):
//   cmake -S . -B build-dec -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-dec -j2 --target decode_bench
//   build-dec/decode/decode_bench [seconds of recording, default 3600] [--no-sweeps]
#include <unistd.h>

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

#include "decode/audio_file_reader.h"
#include "decode/recording_decoder.h"
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

Tape makeTape(int loads, std::size_t bytes, double header, double gap, int rate, int bits,
              int channels) {
    Tape tape;
    std::mt19937 random(42);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kelvanto-decode-bench-" + std::to_string(::getpid()) + ".wav"))
                                 .string();
    {
        TarqoBinFile file;
        file.verbosity = 0;
        for (int i = 0; i < loads; ++i) {
            std::vector<std::uint8_t> data(bytes);
            for (auto& byte : data) {
                byte = static_cast<std::uint8_t>(random());
            }
            TapeLoad load;
            load.setFormat(1);
            load.setLength(static_cast<int>(bytes));
            for (std::size_t i = 0; i < data.size(); ++i) {
                load.setByte(static_cast<long>(i), data[i]);
            }
            load.setCheckSum(expected(data).back());
            load.setHeaderLength(header);
            load.setGapLength(gap);
            file.loads.push_back(load);
            tape.data.push_back(data);
        }
        file.createAudioFile(path, rate, bits, channels);
    }
    kelvanto::decode::AudioFileReader reader;
    if (!reader.open(path)) {
        std::fprintf(stderr, "%s\n", reader.error().c_str());
        std::exit(1);
    }
    tape.recording.rate = reader.sampleRate();
    tape.recording.channels = reader.channels();
    std::vector<float> block;
    while (reader.read(block, 65536) > 0) {
        tape.recording.samples.insert(tape.recording.samples.end(), block.begin(), block.end());
    }
    std::filesystem::remove(path);
    return tape;
}

int exactLoads(const std::vector<DecodedLoad>& got, const Tape& tape, std::size_t repeats) {
    int exact = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const auto& want = tape.data[i % tape.data.size()];
        exact += got[i].verdict != Verdict::bad && got[i].characters == expected(want) ? 1 : 0;
    }
    return got.size() == tape.data.size() * repeats ? exact : -1;
}

std::vector<DecodedLoad> decodeAll(const Recording& recording) {
    RecordingDecoder decoder(recording.rate, recording.channels);
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
    const Tape tape = makeTape(3, 8192, 1.0, 1.0, 44100, 16, 2);
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
        "| %.0f s, 44100 Hz, 16 bit, 2 channels, both polarities | %.2f s | %.0f | %.2f "
        "s | %.0f | %d of %zu |\n\n",
        recorded, elapsed, recorded / elapsed, cpu, recorded / cpu,
        exactLoads(loads, tape, repeats), tape.data.size() * repeats);
}

struct Sweep {
    const char* name;
    const char* unit;
    std::vector<double> values;  // from harmless to harmful
    std::function<Recording(const Recording&, double)> apply;
};

void breakingPoints() {
    const Tape tape = makeTape(3, 256, 0.5, 0.3, 22050, 16, 1);
    const Tape tape44 = makeTape(3, 256, 0.5, 0.3, 44100, 16, 1);
    auto range = [](double from, double to, double step) {
        std::vector<double> out;
        for (double v = from; step > 0 ? v <= to + 1e-9 : v >= to - 1e-9; v += step) {
            out.push_back(v);
        }
        return out;
    };
    const std::vector<Sweep> sweeps = {
        {"white noise, 22050 Hz", "dB SNR", range(16, -2, -0.5),
         [](const Recording& r, double snr) {
             Recording n = r;
             decode_testing::addNoise(n, snr, 1);
             return n;
         }},
        {"speed, slow", "x", range(1.0, 0.5, -0.025),
         [](const Recording& r, double f) { return decode_testing::speed(r, f); }},
        {"speed, fast", "x", range(1.0, 1.8, 0.025),
         [](const Recording& r, double f) { return decode_testing::speed(r, f); }},
        {"level", "dBFS", range(0, -160, -10),
         [](const Recording& r, double db) {
             Recording n = r;
             decode_testing::scale(n, std::pow(10.0, db / 20.0));
             return n;
         }},
        {"wow at 0.5 Hz", "% depth", range(0, 30, 1),
         [](const Recording& r, double d) {
             return decode_testing::wowAndFlutter(r, d / 100.0, 0.5, 0.0, 7.0);
         }},
        {"flutter at 7 Hz", "% depth", range(0, 20, 0.5),
         [](const Recording& r, double d) {
             return decode_testing::wowAndFlutter(r, 0.0, 0.5, d / 100.0, 7.0);
         }},
        {"50 Hz hum", "x signal", range(1, 64, 1),
         [](const Recording& r, double a) {
             Recording n = r;
             decode_testing::addHum(n, 0.95 * a);
             return n;
         }},
        {"low-pass", "Hz", range(5000, 1000, -250),
         [](const Recording& r, double f) {
             Recording n = r;
             decode_testing::lowPass(n, f);
             return n;
         }},
        {"high-pass", "Hz", range(500, 4000, 250),
         [](const Recording& r, double f) {
             Recording n = r;
             decode_testing::highPass(n, f);
             return n;
         }},
    };
    std::printf(
        "| damage (3 loads of 256 bytes) | last value with every load exact | first "
        "failing value |\n|---|---|---|\n");
    for (const Sweep& sweep : sweeps) {
        double last = std::nan("");
        double first = std::nan("");
        for (const double value : sweep.values) {
            const Recording damaged = sweep.apply(tape.recording, value);
            if (exactLoads(decodeAll(damaged), tape, 1) == 3) {
                last = value;
            } else {
                first = value;
                break;
            }
        }
        char failing[64] = "none in range";
        if (!std::isnan(first)) {
            std::snprintf(failing, sizeof failing, "%g %s", first, sweep.unit);
        }
        std::printf("| %s | %g %s | %s |\n", sweep.name, last, sweep.unit, failing);
    }
    // At 44100 the noise spreads over twice the band, so the same SNR hurts less.
    for (double snr = 14; snr >= -4; snr -= 0.5) {
        Recording n = tape44.recording;
        decode_testing::addNoise(n, snr, 1);
        if (exactLoads(decodeAll(n), tape44, 1) != 3) {
            std::printf("| white noise, 44100 Hz | %g dB SNR | %g dB SNR |\n", snr + 0.5, snr);
            break;
        }
    }
    // Full loads hold 32 times as many bits, so one of them goes wrong sooner.
    const Tape full = makeTape(3, 8192, 0.5, 0.3, 22050, 16, 1);
    for (double snr = 16; snr >= 4; snr -= 0.5) {
        Recording n = full.recording;
        decode_testing::addNoise(n, snr, 1);
        if (exactLoads(decodeAll(n), full, 1) != 3) {
            std::printf(
                "| white noise, 22050 Hz, 3 loads of 8192 bytes | %g dB SNR | %g dB SNR |\n",
                snr + 0.5, snr);
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 3600;
    bool sweeps = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-sweeps") == 0) {
            sweeps = false;
        } else {
            seconds = std::max(1.0, std::atof(argv[i]));
        }
    }
    throughput(seconds);
    if (sweeps) {
        breakingPoints();
    }
    return 0;
}
