// SPDX-License-Identifier: MIT
// Micro-benchmarks of the inner pieces of the audio writer: one bit cycle, one pair of framed
// characters, the data of a whole load, a one-second tone and one second of silence, each at
// 22050 Hz 8-bit mono and at 44100 Hz 16-bit stereo.
//
// Every benchmark takes two arguments: fmt (0 = 22050/8/1, 1 = 44100/16/2) and sink (0 =
// /dev/null, which shows the cost of making the bytes; 1 = a file in the temporary folder,
// which adds the cost of the page cache). Throughput is in bytes of audio produced.
//
// Run: build-bench/bench/micro_bench [--benchmark_filter=Pair] [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/tape_wav_writer.h"
#include "tape/load_layout.h"
#include "tape/load_signal.h"
#include "tape/tape_load.h"

namespace {

struct AudioFormat {
    int sampleRate;
    int bitsPerSample;
    int channels;
    const char* label;
};

constexpr AudioFormat formats[] = {
    {22050, 8, 1, "22050/8/1"},
    {44100, 16, 2, "44100/16/2"},
};

// A file is started anew past this size: /dev/null would otherwise reach the 2 GB limit of a
// .wav file, and a file in the temporary folder would fill the disk.
constexpr std::int32_t nullSinkLimit = 1 << 30;
constexpr std::int32_t fileSinkLimit = 64 << 20;

std::string sinkPath(std::int64_t sink) {
    if (sink == 0) {
        return "/dev/null";
    }
    const char* folder = std::getenv("TMPDIR");
    const std::filesystem::path base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    return (base / ("kelvanto_micro_bench_" + std::to_string(::getpid()) + ".wav")).string();
}

// A writer open on the benchmark's sink, and the count of bytes written across the restarts
// of the file.
class Session {
  public:
    explicit Session(benchmark::State& state)
        : format(formats[state.range(0)]),
          path(sinkPath(state.range(1))),
          limit(state.range(1) == 0 ? nullSinkLimit : fileSinkLimit) {
        state.SetLabel(std::string(format.label) + (state.range(1) == 0 ? " null" : " file"));
        open();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ~Session() {
        writer().close();
        if (path != "/dev/null") {
            std::remove(path.c_str());
        }
    }

    TapeWavWriter& writer() { return tape; }

    // Starts the file anew, outside the measured time, when it has grown past the limit.
    void restartIfLarge(benchmark::State& state) {
        if (writer().position() < limit) {
            return;
        }
        state.PauseTiming();
        done += writer().position() - WavFile::headerSize;
        writer().close();
        open();
        state.ResumeTiming();
    }

    void report(benchmark::State& state, std::int64_t items) {
        const std::int64_t bytes = done + writer().position() - WavFile::headerSize;
        state.SetBytesProcessed(bytes);
        state.SetItemsProcessed(items);
    }

  private:
    void open() { writer().open(path, format.sampleRate, format.bitsPerSample, format.channels); }

    AudioFormat format;
    std::string path;
    std::int32_t limit;
    TapeWavWriter tape;
    std::int64_t done = 0;
};

std::vector<std::uint8_t> randomBytes(std::size_t count) {
    std::mt19937 random(20040131);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(count);
    for (auto& value : bytes) {
        value = static_cast<std::uint8_t>(byte(random));
    }
    return bytes;
}

// One bit as the receiver reads it: a single square-wave cycle.
void writeBit(TapeWavWriter& writer, int bit) {
    writer.writeCycle(bit != 0 ? writer.oneBitLength : writer.zeroBitLength);
}

// One bit: a single square-wave cycle of 7 frames (0) or 14 frames (1).
void BM_WriteBit(benchmark::State& state, int bit) {
    Session session(state);
    std::int64_t bits = 0;
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) {
            writeBit(session.writer(), bit);
        }
        bits += 64;
        session.restartIfLarge(state);
    }
    session.report(state, bits);
}

void BM_WriteBit0(benchmark::State& state) {
    BM_WriteBit(state, 0);
}
void BM_WriteBit1(benchmark::State& state) {
    BM_WriteBit(state, 1);
}

// Random bits, as the data of a load has them.
void BM_WriteBitRandom(benchmark::State& state) {
    Session session(state);
    const std::vector<std::uint8_t> data = randomBytes(4096);
    std::size_t next = 0;
    std::int64_t bits = 0;
    for (auto _ : state) {
        const std::uint8_t value = data[next];
        next = (next + 1) % data.size();
        for (int bit = 0; bit < 8; ++bit) {
            writeBit(session.writer(), (value >> bit) & 1);
        }
        bits += 8;
        session.restartIfLarge(state);
    }
    session.report(state, bits);
}

// One pair of framed characters (20 cycles), random data; items are pairs.
void BM_WritePair(benchmark::State& state) {
    Session session(state);
    const std::vector<std::uint8_t> data = randomBytes(8192);
    std::size_t next = 0;
    std::int64_t pairs = 0;
    for (auto _ : state) {
        session.writer().writeCharacters(data.data() + next, 2, false);
        next = (next + 2) % data.size();
        ++pairs;
        session.restartIfLarge(state);
    }
    session.report(state, pairs);
}

// The data part of one binary load of 8192 random bytes, as the conversion run sends it: the
// characters its interleaved pairs make, with the checksum last, in one run; items are loads.
void BM_LoadData(benchmark::State& state) {
    Session session(state);
    const std::vector<std::uint8_t> data = randomBytes(8192);
    TapeLoad load;
    load.setFormat(machine::binaryLoadFormat);
    load.setLength(static_cast<int>(data.size()));
    load.dataBytes.assign(data.data(), data.size());
    const LoadCharacters sent = loadLayout::sentCharacters(load);
    std::int64_t loads = 0;
    for (auto _ : state) {
        session.writer().writeCharacters(sent.characters.data(), sent.characters.size(),
                                         sent.filler);
        ++loads;
        session.restartIfLarge(state);
    }
    session.report(state, loads);
}

// A one-second tone of 1 cycles, as many as the tone rule gives; items are tones.
void BM_Tone1s(benchmark::State& state) {
    Session session(state);
    std::int64_t tones = 0;
    const std::int64_t cycles = toneCycles(1.0, session.writer().getBytesPerSecond());
    for (auto _ : state) {
        session.writer().writeTone(cycles);
        ++tones;
        session.restartIfLarge(state);
    }
    session.report(state, tones);
}

// One second of silence; items are seconds.
void BM_WriteSilence1s(benchmark::State& state) {
    Session session(state);
    std::int64_t seconds = 0;
    for (auto _ : state) {
        session.writer().writeSilence(1.0);
        ++seconds;
        session.restartIfLarge(state);
    }
    session.report(state, seconds);
}

// One sample at a time through writeSample, the path that every level goes through when it is
// not a whole cycle or silence (for comparison with the block copies above).
void BM_WriteSample(benchmark::State& state) {
    Session session(state);
    std::int64_t samples = 0;
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) {
            session.writer().writeSample((i & 8) != 0 ? 100 : -100);
        }
        samples += 64;
        session.restartIfLarge(state);
    }
    session.report(state, samples);
}

void formatsAndSinks(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"fmt", "sink"});
    benchmark->ArgsProduct({{0, 1}, {0, 1}});
}

}  // namespace

BENCHMARK(BM_WriteBit0)->Apply(formatsAndSinks);
BENCHMARK(BM_WriteBit1)->Apply(formatsAndSinks);
BENCHMARK(BM_WriteBitRandom)->Apply(formatsAndSinks);
BENCHMARK(BM_WritePair)->Apply(formatsAndSinks);
BENCHMARK(BM_LoadData)->Apply(formatsAndSinks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Tone1s)->Apply(formatsAndSinks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteSilence1s)->Apply(formatsAndSinks)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteSample)->Apply(formatsAndSinks);

BENCHMARK_MAIN();
