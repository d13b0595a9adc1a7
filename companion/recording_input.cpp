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

DecodedTape decodeRecordings(const std::vector<std::string>& names, int channel) {
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
        const DecodedLoad& load = decoded.loads[i];
        if (load.characters.empty()) {
            continue;  // a header tone and nothing readable after it: reported, not written
        }
        std::optional<std::uint8_t> filler;
        if (load.hasFiller) {
            filler = load.filler;
        }
        // A binary load holds the received characters exactly; more than its 8192 bytes go
        // into a plain load, which states the received checksum and sends the same.
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
