// SPDX-License-Identifier: MIT
// What the companion watches while a recording is decoded: the position for the progress line
// and the level envelope for the timeline picture, taken from each block on its way.
#include "companion/recording_reader.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using namespace kelvanto::decode;

// Buckets kept at most; when full, neighbours merge and each bucket covers twice the time.
constexpr std::size_t mostBuckets = 4096;
// The first buckets are this long: 5 ms.
constexpr double firstBucketSeconds = 0.005;

class EnvelopeBuilder {
  public:
    EnvelopeBuilder(LevelEnvelope& envelope, int rate, int channels)
        : envelope(envelope),
          channels(std::max(1, channels)),
          bucketFrames(std::max<std::int64_t>(1, std::llround(rate * firstBucketSeconds))),
          rate(rate) {
        envelope.peaks.clear();
    }

    void add(const std::vector<float>& samples) {
        const std::size_t width = static_cast<std::size_t>(channels);
        for (std::size_t frame = 0; frame + width <= samples.size(); frame += width) {
            for (std::size_t c = 0; c < width; ++c) {
                const float level = std::fabs(samples[frame + c]);
                // NaN compares false and is left out.
                peak = level > peak ? std::min(level, 1.0f) : peak;
            }
            if (++framesInBucket == bucketFrames) {
                close();
            }
        }
    }

    void finish() {
        if (framesInBucket > 0) {
            close();
        }
        envelope.bucketSeconds = rate > 0 ? static_cast<double>(bucketFrames) / rate : 0.0;
    }

  private:
    void close() {
        envelope.peaks.push_back(peak);
        peak = 0.0f;
        framesInBucket = 0;
        if (envelope.peaks.size() == mostBuckets) {
            for (std::size_t i = 0; i < mostBuckets / 2; ++i) {
                envelope.peaks[i] = std::max(envelope.peaks[2 * i], envelope.peaks[2 * i + 1]);
            }
            envelope.peaks.resize(mostBuckets / 2);
            bucketFrames *= 2;
        }
    }

    LevelEnvelope& envelope;
    int channels;
    std::int64_t bucketFrames;
    int rate;
    std::int64_t framesInBucket = 0;
    float peak = 0.0f;
};

}  // namespace

FileDecodeResult decodeWatched(const std::string& path, const DecoderOptions& options,
                               const BlockWatcher& watcher, LevelEnvelope* envelope) {
    std::optional<EnvelopeBuilder> levels;
    const auto observe = [&](const std::vector<float>& block, std::int64_t framesRead,
                             std::int64_t framesTotal, int rate, int channels) {
        if (envelope != nullptr) {
            if (!levels) {
                levels.emplace(*envelope, rate, channels);
            }
            levels->add(block);
        }
        if (watcher) {
            watcher(framesRead, std::max<std::int64_t>(0, framesTotal), rate);
        }
    };
    FileDecodeResult result = decodeAudioFile(path, options, observe);
    if (levels) {
        levels->finish();
    }
    return result;
}
