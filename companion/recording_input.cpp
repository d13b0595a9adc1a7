// SPDX-License-Identifier: MIT
// Decoding takes into loads and loads into a tape image: binary loads hold exactly the
// characters received, filler included; the writer makes text loads of them where asked.
#include "companion/recording_input.h"

#include <cmath>

#include "base/formatted.h"
#include "base/machine.h"
#include "companion/command_error.h"
#include "companion/decode_report.h"
#include "decode/file_decoder.h"
#include "decode/take_merger.h"
#include "tape/load_layout.h"

namespace {

// Measured tone and gap lengths, to the hundredth of a second that both layouts hold.
double hundredths(double seconds) {
    return std::isfinite(seconds) && seconds > 0.0 ? std::round(seconds * 100.0) / 100.0 : 0.0;
}

// A load that ran on past what the tape image can hold (its footer lost, noise read as
// characters) keeps the characters that fit and is BAD: a tape image that the tools refuse
// would lose the good loads with it.
void cutToFit(kelvanto::decode::DecodedLoad& load, std::size_t fits) {
    if (load.characters.size() <= fits) {
        return;
    }
    const std::size_t dropped = load.characters.size() - fits;
    load.characters.resize(fits);
    load.hasFiller = false;
    load.verdict = kelvanto::decode::Verdict::bad;
    const std::string cut = "cut to the " + std::to_string(fits) +
                            " characters that fit in the tape image (" + std::to_string(dropped) +
                            " more were read)";
    load.problem = load.problem.empty() ? cut : load.problem + "; " + cut;
}

// "decoding NAME: 1:23.456 of 31:02.000 (4 %)", and with several takes which one it is and
// the verdicts of the loads of the takes before it (the decoder tells a take's loads at its
// end).
std::string progressText(const std::string& name,
                         const std::vector<std::vector<kelvanto::decode::DecodedLoad>>& done,
                         std::size_t takeCount, std::int64_t read, std::int64_t total, int rate) {
    std::string text = "decoding " + name;
    if (takeCount > 1) {
        text +=
            " (take " + std::to_string(done.size() + 1) + " of " + std::to_string(takeCount) + ")";
    }
    const double seconds = rate > 0 ? static_cast<double>(read) / rate : 0.0;
    text += ": " + clockTime(seconds);
    if (total >= read && total > 0 && rate > 0) {
        text += " of " + clockTime(static_cast<double>(total) / rate) +
                formatted(" (%d %%)", static_cast<int>(100 * read / total));
    }
    if (!done.empty()) {
        int counts[3] = {0, 0, 0};
        std::size_t loads = 0;
        for (const auto& take : done) {
            for (const auto& load : take) {
                ++counts[static_cast<int>(load.verdict)];
                ++loads;
            }
        }
        text += formatted("; earlier takes: %zu loads, %d OK, %d REPAIRED, %d BAD", loads,
                          counts[0], counts[1], counts[2]);
    }
    return text;
}

}  // namespace

bool isRecordingName(const std::string& name) {
    static const char* const extensions[] = {".wav",  ".flac", ".aif", ".aiff", ".ogg", ".oga",
                                             ".opus", ".mp3",  ".w64", ".rf64", ".caf", ".au"};
    std::string lower = name;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const char* extension : extensions) {
        const std::string tail(extension);
        if (lower.size() > tail.size() &&
            lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0) {
            return true;
        }
    }
    return false;
}

DecodedTape decodeRecordings(const std::vector<std::string>& names, int channel, bool binaryImage,
                             const DecodeWatch& watch) {
    using namespace kelvanto::decode;
    DecodedTape decoded;
    DecoderOptions options;
    options.channel = channel;
    // Only takes are weighed against each other bit by bit.
    options.keepEvidence = names.size() > 1;
    std::vector<std::vector<DecodedLoad>>& takes = decoded.takes;
    for (const std::string& name : names) {
        RecordingInfo info;
        BlockWatcher watcher;
        if (watch.progress != nullptr) {
            watch.progress->set(progressText(name, takes, names.size(), 0, 0, 0));
            watcher = [&](std::int64_t read, std::int64_t total, int rate) {
                watch.progress->set(progressText(name, takes, names.size(), read, total, rate));
            };
        }
        FileDecodeResult result =
            decodeWatched(name, options, watcher, watch.envelopes ? &info.envelope : nullptr);
        if (!result.readable) {
            throw CommandError(name, result.error);
        }
        if (!result.warning.empty()) {
            reportWarning(name, result.warning);
        }
        info.name = name;
        info.sampleRate = result.sampleRate;
        info.channels = result.channels;
        info.seconds =
            result.sampleRate > 0 ? static_cast<double>(result.frames) / result.sampleRate : 0.0;
        decoded.recordings.push_back(info);
        takes.push_back(std::move(result.loads));
    }
    decoded.loads = takes.size() == 1 ? takes.front() : mergeTakes(takes);

    decoded.tape = std::make_unique<TarqoBinFile>();
    for (std::size_t i = 0; i < decoded.loads.size(); ++i) {
        DecodedLoad& load = decoded.loads[i];
        if (load.characters.empty()) {
            continue;  // a header tone and nothing readable after it: reported, not written
        }
        // A binary load holds 8192 characters, checksum included; a plain load (markup
        // only) 8192 data bytes and its checksum.
        cutToFit(load, static_cast<std::size_t>(machine::loadDataSize + (binaryImage ? 0 : 1)));
        std::optional<std::uint8_t> filler;
        if (load.hasFiller) {
            filler = load.filler;
        }
        // A binary load holds the received characters exactly; the one more of a full plain
        // load goes into a plain load, which states the received checksum and sends the same.
        const int format = load.characters.size() > static_cast<std::size_t>(machine::loadDataSize)
                               ? machine::plainLoadFormat
                               : machine::binaryLoadFormat;
        TapeLoad tapeLoad = loadLayout::loadSending(format, load.characters, filler);
        tapeLoad.setLoadNumber(static_cast<int>(i + 1));
        tapeLoad.setHeaderLength(hundredths(load.headerSeconds));
        tapeLoad.setFooterLength(hundredths(load.footerSeconds));
        tapeLoad.setGapLength(i + 1 < decoded.loads.size() ? hundredths(load.gapSeconds) : 0.0);
        decoded.tape->loads.push_back(tapeLoad);
    }
    return decoded;
}
