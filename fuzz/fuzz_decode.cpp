// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary bytes as a recording for the decoder, either as raw 16-bit samples
// or as a list of cycle lengths rendered into a square wave, so that inputs of a few hundred
// bytes reach header tones, sync characters, framing, footers and repairs.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "decode/recording_decoder.h"

namespace {

constexpr double rates[] = {8000, 11025, 22050, 44100, 48000, 96000, 4000, 192000};

// Cycle mode: each byte is one cycle of 3 to 34 frames of the 22050 grid (7 and 14 are the
// machine's 0 and 1), repeated 1 + (byte >> 5) times for long tones from short inputs.
std::vector<float> renderCycles(std::span<const std::uint8_t> bytes, double rate) {
    std::vector<float> samples;
    const double perFrame = rate / 22050.0;
    double position = 0.0;
    for (const std::uint8_t byte : bytes) {
        const int frames = 3 + (byte & 31);
        for (int repeat = 0; repeat <= byte >> 5 && samples.size() < (1u << 22); ++repeat) {
            const double end = position + frames * perFrame;
            const double middle = position + frames * perFrame / 2.0;
            while (static_cast<double>(samples.size()) < end) {
                samples.push_back(static_cast<double>(samples.size()) < middle ? -0.8f : 0.8f);
            }
            position = end;
        }
    }
    return samples;
}

}  // namespace

// Byte 0: rate (low 3 bits), cycle mode (bit 3), stereo (bit 4), one polarity only (bit 5),
// pick a channel (bit 6). Byte 1: block size. The rest: the recording.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const double rate = rates[data[0] & 7];
    const bool cycles = (data[0] & 8) != 0;
    const int channels = (data[0] & 16) != 0 ? 2 : 1;
    kelvanto::decode::DecoderOptions options;
    options.bothPolarities = (data[0] & 32) == 0;
    options.channel = (data[0] & 64) != 0 ? channels - 1 : -1;
    const std::size_t block = 1 + data[1] * 37u;
    const std::span<const std::uint8_t> body(data + 2, size - 2);

    std::vector<float> samples;
    if (cycles) {
        const std::vector<float> mono = renderCycles(body, rate);
        for (const float x : mono) {
            for (int c = 0; c < channels; ++c) {
                samples.push_back(c == 0 ? x : -x);
            }
        }
    } else {
        for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
            samples.push_back(static_cast<std::int16_t>(body[i] | body[i + 1] << 8) / 32768.0f);
        }
    }
    kelvanto::decode::RecordingDecoder decoder(rate, channels, options);
    std::span<const float> rest(samples);
    while (!rest.empty()) {
        const std::size_t step = std::min(block, rest.size());
        decoder.pushInterleaved(rest.first(step));
        rest = rest.subspan(step);
    }
    const auto loads = decoder.finish();
    // Every reported position lies inside the recording.
    for (const auto& load : loads) {
        if (load.startSample < -16 || load.endSample > decoder.framesSeen() + 16 ||
            load.characters.size() > 8194) {
            __builtin_trap();
        }
    }
    return 0;
}
