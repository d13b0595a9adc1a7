// SPDX-License-Identifier: MIT
// Reads a tape .wav back the way the machine's receiver does: samples to levels, levels to
// cycles of 7 or 14 frames, cycles to bits and framed characters. Tests only.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

// One element of the signal: a bit (one cycle) or a run of silent frames.
struct SignalEvent {
    enum Kind { bit, silence } kind;
    int value;  // the bit, or the number of silent frames on the 22050 grid
};

struct DecodedWav {
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    std::vector<SignalEvent> events;
};

inline int levelOf(const std::vector<unsigned char>& file, std::size_t offset, int bits) {
    if (bits == 8) {
        switch (file.at(offset)) {
            case 0x00:
                return -100;
            case 0x78:
                return 0;
            case 0xF2:
                return 100;
        }
    } else {
        const int value = static_cast<std::int16_t>(file.at(offset) | (file.at(offset + 1) << 8));
        switch (value) {
            case -32768:
                return -100;
            case -1639:
                return 0;
            case 29490:
                return 100;
        }
    }
    throw std::runtime_error("sample at offset " + std::to_string(offset) + " is no tape level");
}

// Decodes the samples after the 44-byte header into bits and silences. Every frame must hold
// the same level on every channel (and twice in a row at 44100).
inline DecodedWav decodeWav(const std::vector<unsigned char>& file) {
    DecodedWav wav;
    wav.channels = file.at(22);
    wav.sampleRate = file.at(24) | (file.at(25) << 8);
    wav.bits = file.at(34);
    const std::size_t sampleBytes = static_cast<std::size_t>(wav.bits / 8);
    const std::size_t repeat =
        static_cast<std::size_t>(wav.channels) * (wav.sampleRate == 44100 ? 2 : 1);
    const std::size_t frameBytes = sampleBytes * repeat;
    std::vector<int> frames;
    for (std::size_t at = 44; at + frameBytes <= file.size(); at += frameBytes) {
        const int level = levelOf(file, at, wav.bits);
        for (std::size_t k = 1; k < repeat; ++k) {
            if (levelOf(file, at + k * sampleBytes, wav.bits) != level) {
                throw std::runtime_error("channels differ at offset " + std::to_string(at));
            }
        }
        frames.push_back(level);
    }
    std::size_t i = 0;
    while (i < frames.size()) {
        if (frames[i] == 0) {
            int count = 0;
            while (i < frames.size() && frames[i] == 0) {
                ++count;
                ++i;
            }
            wav.events.push_back({SignalEvent::silence, count});
            continue;
        }
        if (frames[i] != -100) {
            throw std::runtime_error("cycle does not start low at frame " + std::to_string(i));
        }
        int lows = 0, middles = 0, highs = 0;
        while (i < frames.size() && frames[i] == -100) {
            ++lows;
            ++i;
        }
        while (i < frames.size() && frames[i] == 0 && middles == 0 && lows == 3) {
            ++middles;
            ++i;
        }
        while (i < frames.size() && frames[i] == 100 && highs < lows) {
            ++highs;
            ++i;
        }
        const int length = lows + middles + highs;
        if (length == 7 && lows == 3 && middles == 1 && highs == 3) {
            wav.events.push_back({SignalEvent::bit, 0});
        } else if (length == 14 && lows == 7 && highs == 7) {
            wav.events.push_back({SignalEvent::bit, 1});
        } else {
            throw std::runtime_error("cycle of " + std::to_string(length) + " frames at frame " +
                                     std::to_string(i));
        }
    }
    return wav;
}

// One load as the receiver reads it.
struct ReceivedLoad {
    int headerCycles = 0;
    int syncCharacter = -1;
    std::vector<int> characters;  // every character of every pair, fillers included
    std::vector<int> startBits;   // the start bit of each character (1 marks a filler)
    int footerCycles = 0;
    int silentFrames = 0;
};

// Reads loads from the events; each entry of pairsPerLoad says how many pairs a load holds.
inline std::vector<ReceivedLoad> receiveLoads(const DecodedWav& wav,
                                              const std::vector<int>& pairsPerLoad) {
    std::vector<ReceivedLoad> loads;
    std::size_t at = 0;
    auto nextBit = [&]() {
        if (at >= wav.events.size() || wav.events[at].kind != SignalEvent::bit) {
            throw std::runtime_error("bit expected at event " + std::to_string(at));
        }
        return wav.events[at++].value;
    };
    for (int pairs : pairsPerLoad) {
        ReceivedLoad load;
        while (at < wav.events.size() && wav.events[at].kind == SignalEvent::bit &&
               wav.events[at].value == 1) {
            ++load.headerCycles;
            ++at;
        }
        if (nextBit() != 0)
            throw std::runtime_error("sync start bit");
        int sync = 0;
        for (int b = 0; b < 8; ++b)
            sync = (sync << 1) | nextBit();  // sent top bit first
        load.syncCharacter = sync;
        if (nextBit() != 1)
            throw std::runtime_error("sync stop bit");
        for (int c = 0; c < 2 * pairs; ++c) {
            load.startBits.push_back(nextBit());
            int value = 0;
            for (int b = 0; b < 8; ++b)
                value |= nextBit() << b;  // received low bit first
            load.characters.push_back(value);
            if (nextBit() != 1)
                throw std::runtime_error("stop bit of character " + std::to_string(c));
        }
        while (at < wav.events.size() && wav.events[at].kind == SignalEvent::bit &&
               wav.events[at].value == 1) {
            ++load.footerCycles;
            ++at;
        }
        if (at < wav.events.size() && wav.events[at].kind == SignalEvent::silence) {
            load.silentFrames = wav.events[at++].value;
        }
        loads.push_back(load);
    }
    if (at != wav.events.size())
        throw std::runtime_error("signal continues after the last load");
    return loads;
}

}  // namespace testing_support
