// Block reading of audio files through libsndfile, with its own error texts.
// The only file of the decoder that includes libsndfile.
#include "decode/audio_file_reader.h"

#include <sndfile.h>

#include <algorithm>

namespace kelvanto::decode {

namespace {

SNDFILE* handle(void* file) {
    return static_cast<SNDFILE*>(file);
}

}  // namespace

AudioFileReader::~AudioFileReader() {
    close();
}

void AudioFileReader::close() {
    if (file != nullptr) {
        sf_close(handle(file));
        file = nullptr;
    }
}

bool AudioFileReader::open(const std::string& path) {
    close();
    message.clear();
    SF_INFO info{};
    SNDFILE* opened = sf_open(path.c_str(), SFM_READ, &info);
    if (opened == nullptr) {
        message = sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(opened);
        message = "the file holds no audio channels";
        return false;
    }
    file = opened;
    rate = info.samplerate;
    channelCount = info.channels;
    frameCount = static_cast<std::int64_t>(info.frames);
    // Integer samples come in as +-1 full scale, and float files are not rescaled.
    sf_command(opened, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    return true;
}

std::size_t AudioFileReader::read(std::vector<float>& samples, std::size_t maxFrames) {
    samples.clear();
    if (file == nullptr || maxFrames == 0) {
        return 0;
    }
    const std::size_t width = static_cast<std::size_t>(channelCount);
    maxFrames = std::min<std::size_t>(maxFrames, (std::size_t{1} << 24) / width);
    samples.resize(maxFrames * width);
    const sf_count_t got =
        sf_readf_float(handle(file), samples.data(), static_cast<sf_count_t>(maxFrames));
    if (got <= 0) {
        samples.clear();
        if (sf_error(handle(file)) != SF_ERR_NO_ERROR) {
            message = sf_strerror(handle(file));
        }
        return 0;
    }
    samples.resize(static_cast<std::size_t>(got) * width);
    return static_cast<std::size_t>(got);
}

}  // namespace kelvanto::decode
