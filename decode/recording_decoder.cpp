// SPDX-License-Identifier: MIT
// The chain of stages for every channel and polarity, and the merge of their readings.
// Blocks of at most 2048 frames keep every buffer small.
#include "decode/recording_decoder.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "decode/crossing_detector.h"
#include "decode/cycle_timer.h"
#include "decode/load_judge.h"
#include "decode/load_merger.h"
#include "decode/load_reader.h"
#include "decode/signal_filter.h"
#include "decode/signal_history.h"
#include "decode/tone_detector.h"

namespace kelvanto::decode {

namespace {

// Frames handled at once: small enough that the scratch buffers stay small, and that the
// band follows a fast tape's speed well within its header tone (the speed is passed on
// between blocks; 8192 frames at 22050 Hz outlast a header played at twice the speed).
constexpr std::size_t blockFrames = 2048;

}  // namespace

struct RecordingDecoder::Channel {
    Channel(int index, double sampleRate, bool bothPolarities)
        : index(index),
          filter(sampleRate),
          crossings(filter.outputRate(), filter.step()),
          history(filter.step()) {
        readers.push_back(Reader{CycleTimer(Polarity::normal, sampleRate),
                                 LoadReader(Polarity::normal, index, sampleRate)});
        if (bothPolarities) {
            readers.push_back(Reader{CycleTimer(Polarity::inverted, sampleRate),
                                     LoadReader(Polarity::inverted, index, sampleRate)});
        }
        for (Reader& reader : readers) {
            reader.reader.weigh(&history);
        }
    }
    struct Reader {
        CycleTimer timer;
        LoadReader reader;
    };
    int index;
    SignalFilter filter;
    CrossingDetector crossings;
    SignalHistory history;
    std::vector<Reader> readers;
    std::vector<float> kept;
    std::size_t produced = 0;  // filtered samples of the last block in kept
    std::vector<Crossing> found;
    std::vector<Cycle> cycles;
};

struct RecordingDecoder::Results {
    explicit Results(double sampleRate) : judge(sampleRate) {}
    LoadJudge judge;
    LoadMerger merger;
};

RecordingDecoder::RecordingDecoder(double rate, int count, DecoderOptions options)
    : sampleRate(rate),
      channelCount(count),
      results(std::make_unique<Results>(rate)),
      keepEvidence(options.keepEvidence) {
    if (!(rate >= lowestRate && rate <= highestRate)) {
        throw std::invalid_argument("sample rate out of range");
    }
    if (count < 1 || count > mostChannels) {
        throw std::invalid_argument("channel count out of range");
    }
    if (options.channel < -1 || options.channel >= count) {
        throw std::invalid_argument("no such channel");
    }
    for (int c = 0; c < count; ++c) {
        if (options.channel == -1 || options.channel == c) {
            channels.push_back(std::make_unique<Channel>(c, rate, options.bothPolarities));
        } else {
            channels.push_back(nullptr);
        }
    }
    if (count == 2 && options.channel == -1) {
        mixed = std::make_unique<Channel>(DecodedLoad::mixedChannels, rate, options.bothPolarities);
    }
    scratch.reserve(blockFrames);
}

RecordingDecoder::~RecordingDecoder() = default;

void RecordingDecoder::collect(Channel& channel) {
    for (Channel::Reader& reader : channel.readers) {
        for (LoadCandidate& candidate : reader.reader.takeReady()) {
            DecodedLoad load = results->judge.judge(candidate);
            if (!keepEvidence) {
                load.evidence.reset();
            }
            results->merger.offer(std::move(load));
        }
    }
}

void RecordingDecoder::processChannel(Channel& channel, std::span<float> samples) {
    channel.kept.resize(channel.filter.room(samples.size()));
    analyse(channel, channel.filter.process(samples, channel.kept));
}

// The filter is linear, so the mix of the two filtered channels is the mixed channels
// filtered: the mix costs no filter of its own. (Each channel's band follows the speed its
// own readings measure; on one tape they agree.)
void RecordingDecoder::analyseMix() {
    if (!mixed) {
        return;
    }
    const std::vector<float>& left = channels[0]->kept;
    const std::vector<float>& right = channels[1]->kept;
    // Both filters give the same number of samples for the same input.
    const std::size_t kept = std::min(channels[0]->produced, channels[1]->produced);
    mixed->kept.resize(kept);
    for (std::size_t i = 0; i < kept; ++i) {
        mixed->kept[i] = 0.5f * (left[i] + right[i]);
    }
    analyse(*mixed, kept);
}

void RecordingDecoder::followSpeed(Channel& channel) {
    // The band moves on a header tone (so that it settles before the data comes) and
    // between loads stays where the last load left it: the loads of one tape run at one
    // speed, and a band that moves back and forth only adds steps.
    for (const Channel::Reader& reader : channel.readers) {
        if (const double speed = reader.reader.loadSpeed(); speed > 0.0) {
            channel.filter.followSpeed(speed);
            return;
        }
    }
}

void RecordingDecoder::analyse(Channel& channel, std::size_t kept) {
    channel.produced = kept;
    channel.found.clear();
    channel.history.append(std::span<const float>(channel.kept).first(kept));
    channel.crossings.process(std::span<const float>(channel.kept).first(kept), channel.found);
    for (Channel::Reader& reader : channel.readers) {
        channel.cycles.clear();
        for (const Crossing& crossing : channel.found) {
            reader.timer.push(crossing, channel.cycles);
        }
        for (const Cycle& cycle : channel.cycles) {
            reader.reader.push(cycle);
        }
    }
    collect(channel);
    followSpeed(channel);
}

void RecordingDecoder::pushInterleaved(std::span<const float> samples) {
    if (finished) {
        return;
    }
    const std::size_t width = static_cast<std::size_t>(channelCount);
    // Complete a frame left open by the previous block.
    while (!partialFrame.empty() && !samples.empty()) {
        partialFrame.push_back(samples.front());
        samples = samples.subspan(1);
        if (partialFrame.size() == width) {
            std::vector<float> frame;
            frame.swap(partialFrame);
            pushInterleaved(frame);
        }
    }
    while (samples.size() >= width) {
        const std::size_t count = std::min(blockFrames, samples.size() / width);
        if (width == 2 && channels[0] && channels[1]) {
            channels[0]->kept.resize(channels[0]->filter.room(count));
            channels[1]->kept.resize(channels[1]->filter.room(count));
            const std::size_t kept = SignalFilter::processPair(
                channels[0]->filter, channels[1]->filter, samples.first(2 * count),
                channels[0]->kept, channels[1]->kept);
            analyse(*channels[0], kept);
            analyse(*channels[1], kept);
            analyseMix();
            frames += static_cast<std::int64_t>(count);
            samples = samples.subspan(count * width);
            continue;
        }
        for (std::size_t c = 0; c < width; ++c) {
            if (!channels[c]) {
                continue;
            }
            scratch.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                scratch[i] = samples[i * width + c];
            }
            processChannel(*channels[c], scratch);
        }
        frames += static_cast<std::int64_t>(count);
        samples = samples.subspan(count * width);
    }
    partialFrame.assign(samples.begin(), samples.end());
}

void RecordingDecoder::pushPlanar(std::span<const float* const> planes, std::size_t count) {
    if (finished || planes.size() != static_cast<std::size_t>(channelCount)) {
        return;
    }
    for (std::size_t done = 0; done < count;) {
        const std::size_t step = std::min(blockFrames, count - done);
        for (std::size_t c = 0; c < planes.size(); ++c) {
            if (!channels[c] || planes[c] == nullptr) {
                continue;
            }
            scratch.assign(planes[c] + done, planes[c] + done + step);
            processChannel(*channels[c], scratch);
        }
        analyseMix();
        done += step;
        frames += static_cast<std::int64_t>(step);
    }
}

std::vector<DecodedLoad> RecordingDecoder::finish() {
    if (finished) {
        return {};
    }
    finished = true;
    for (auto& channel : channels) {
        if (!channel) {
            continue;
        }
        // The filter holds back the last samples until it knows the recording has ended.
        channel->kept.resize(channel->filter.room(0));
        analyse(*channel, channel->filter.finish(channel->kept));
        for (Channel::Reader& reader : channel->readers) {
            reader.reader.finish();
        }
        collect(*channel);
    }
    if (mixed) {
        analyseMix();
        for (Channel::Reader& reader : mixed->readers) {
            reader.reader.finish();
        }
        collect(*mixed);
    }
    std::vector<DecodedLoad> loads = results->merger.finish(frames, sampleRate);
    double loudest = -200.0;
    for (const DecodedLoad& load : loads) {
        loudest = std::max(loudest, load.levelDbfs);
    }
    auto believable = [&](const DecodedLoad& lone) {
        if (!(lone.speedRatio > 0.0)) {
            return false;
        }
        const double period = machine::oneBitSeconds / lone.speedRatio;
        if (period >= ToneDetector::fastestLonePeriod &&
            period <= ToneDetector::slowestLonePeriod) {
            return true;
        }
        if (lone.headerCycles <= longestLoneFooterCycles) {
            return false;  // as likely the footer of a load that broke off before it
        }
        return std::any_of(loads.begin(), loads.end(), [&](const DecodedLoad& load) {
            return !load.characters.empty() &&
                   std::fabs(load.speedRatio / lone.speedRatio - 1.0) <= loneToneSpeedMatch;
        });
    };
    // A quiet reading that is right (its checksum vouches for every character) is a load
    // saved quietly, unless a louder load holds the same characters: then it is that load's
    // echo, printed through from the next turn of the reel.
    auto quietButReal = [&](const DecodedLoad& quiet) {
        return quiet.verdict != Verdict::bad && !quiet.characters.empty() &&
               std::none_of(loads.begin(), loads.end(), [&](const DecodedLoad& load) {
                   return load.levelDbfs > quiet.levelDbfs && agreement(load, quiet) >= sameContent;
               });
    };
    const std::size_t before = loads.size();
    std::vector<bool> keep;
    for (const DecodedLoad& load : loads) {
        keep.push_back((load.levelDbfs >= loudest - quietestLoadDb || quietButReal(load)) &&
                       (!load.toneOnly || believable(load)));
    }
    std::vector<DecodedLoad> kept;
    for (std::size_t i = 0; i < loads.size(); ++i) {
        if (keep[i]) {
            kept.push_back(std::move(loads[i]));
        }
    }
    loads.swap(kept);
    if (loads.size() != before) {
        // The silence after a load now runs up to the next load that stayed.
        for (std::size_t i = 0; i < loads.size(); ++i) {
            const std::int64_t next = i + 1 < loads.size() ? loads[i + 1].startSample : frames;
            loads[i].gapSeconds =
                static_cast<double>(std::max<std::int64_t>(0, next - loads[i].endSample)) /
                sampleRate;
        }
    }
    return loads;
}

}  // namespace kelvanto::decode
