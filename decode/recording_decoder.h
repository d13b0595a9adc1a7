// SPDX-License-Identifier: MIT
// The decoder's front door: takes a recording block by block (interleaved or one array per
// channel, any rate from 8000 to 192000) and returns every load found in it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "base/machine.h"
#include "decode/decoded_load.h"

namespace kelvanto::decode {

struct DecoderOptions {
    // -1 reads every channel, each on its own, and the two of a stereo recording mixed as
    // well (the same signal adds up where the noise of the two partly cancels: 3 dB when it
    // is independent; channels in antiphase, one dead channel or a skew between them spoil
    // the mix, and are read on their own); otherwise only this channel (0 = left).
    int channel = -1;
    // Read the falling and the rising edges as cycle boundaries: an inverted recording loads
    // without the user knowing it was inverted.
    bool bothPolarities = true;
    // Keep, with every load that is not clearly right, the whole reading it was judged on
    // (DecodedLoad::evidence), which merging several takes weighs bit by bit. A single
    // recording needs none of it, and a long damaged one would hold it for every load.
    bool keepEvidence = true;
};

// Memory stays flat whatever the recording's length: the samples of one block are filtered
// and reduced to crossings at once, and only the load being read and the finished loads
// are kept.
//
// A reading far quieter than the loudest load of the recording is no load: the echo of a
// neighbouring turn of tape printed through, crosstalk from the other track, the tail of
// a codec or hiss between loads. Such readings are left out at the end, once the
// recording's level is known, unless the checksum vouches for one and no louder load holds
// its characters (a load saved quietly, not an echo). So is a lone header tone outside a plain
// machine's speeds, unless a load with characters ran within loneToneSpeedMatch of its speed and
// the tone is longer than a footer (the footers of loads that broke off are lone tones at their
// speed too).
class RecordingDecoder {
  public:
    static constexpr double quietestLoadDb = 20.0;  // below the loudest load
    static constexpr double loneToneSpeedMatch = 0.1;
    static constexpr int longestLoneFooterCycles = machine::defaultFooterCycles * 3 / 2;
    static constexpr double lowestRate = 4000.0;
    static constexpr double highestRate = 768000.0;
    static constexpr int mostChannels = 64;

    // Throws std::invalid_argument for a rate, channel count or channel choice out of range.
    RecordingDecoder(double sampleRate, int channels, DecoderOptions options = {});
    ~RecordingDecoder();
    RecordingDecoder(const RecordingDecoder&) = delete;
    RecordingDecoder& operator=(const RecordingDecoder&) = delete;

    // Samples of all channels, frame by frame, full scale +-1. A block may end inside a
    // frame; the rest of the frame is expected at the start of the next block.
    void pushInterleaved(std::span<const float> samples);
    // One array per channel, each holding the same number of frames.
    void pushPlanar(std::span<const float* const> channels, std::size_t frames);

    // Ends the recording and returns its loads in order. The decoder is spent afterwards.
    std::vector<DecodedLoad> finish();

    std::int64_t framesSeen() const { return frames; }

  private:
    struct Channel;
    void processChannel(Channel& channel, std::span<float> samples);
    // Analyses the mix of the two channels' filtered samples of this block.
    void analyseMix();
    // The stages after the filter, on the channel's kept samples.
    void analyse(Channel& channel, std::size_t kept);
    void collect(Channel& channel);
    // The band of the channel's filter follows the speed of the load being read.
    void followSpeed(Channel& channel);

    double sampleRate;
    int channelCount;
    std::vector<std::unique_ptr<Channel>> channels;
    std::unique_ptr<Channel> mixed;  // the two channels of a stereo recording mixed
    std::vector<float> partialFrame;
    std::vector<float> scratch;
    std::int64_t frames = 0;
    bool finished = false;
    struct Results;
    std::unique_ptr<Results> results;
    bool keepEvidence = true;
};

}  // namespace kelvanto::decode
