// Decoding takes into loads and loads into a tape image: binary loads hold exactly the
// characters received, filler included; the writer makes text loads of them where asked.
#include "companion/recording_input.h"

#include <cmath>

#include "base/machine.h"
#include "companion/command_error.h"
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

DecodedTape decodeRecordings(const std::vector<std::string>& names, int channel, bool binaryImage) {
    using namespace kelvanto::decode;
    DecodedTape decoded;
    DecoderOptions options;
    options.channel = channel;
    std::vector<std::vector<DecodedLoad>> takes;
    for (const std::string& name : names) {
        FileDecodeResult result = decodeAudioFile(name, options);
        if (!result.readable) {
            throw CommandError(name, result.error);
        }
        if (!result.warning.empty()) {
            reportWarning(name, result.warning);
        }
        RecordingInfo info;
        info.name = name;
        info.sampleRate = result.sampleRate;
        info.channels = result.channels;
        info.seconds =
            result.sampleRate > 0 ? static_cast<double>(result.frames) / result.sampleRate : 0.0;
        decoded.recordings.push_back(info);
        takes.push_back(std::move(result.loads));
    }
    decoded.loads = takes.size() == 1 ? std::move(takes.front()) : mergeTakes(takes);

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
