// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary bytes as a bitmap, greymap or Photo CD file, loaded by name through
// the image layer, then its information block and the pixels of the 160 x 90 screen area.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "ipl/cpp/image.h"

namespace {

std::string scratch;
// Keeps the pixel reads from being optimised away.
volatile std::uint32_t pixelSink = 0;

// Photo CD files are told apart by their length alone, and the shortest is 49152 bytes.
// Rather than keep seeds that large, the first byte may ask for the rest of the input to be
// repeated up to one of the lengths that matter: the two exact ones, one between them and
// one past 786432 bytes (read as 1 MB, the largest resolution). The two larger resolutions
// are rare choices: converting them takes most of a run.
constexpr std::size_t pcdLengths[8] = {49152, 49152, 49152, 49152, 100000, 49153, 196608, 800000};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch = fuzz_support::prepare("image");
    return 0;
}

// The first byte: bits 0-1 pick the kind (bmp, pgm, pcd as given, pcd repeated to a length
// that bits 4-6 choose), bit 2 writes the extension in capitals, bit 3 loads the file twice
// into the same image (the second load must replace the first without a leak).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t control = data[0];
    const std::uint8_t* body = data + 1;
    const std::size_t bodySize = size - 1;
    const int kind = control & 3;
    const bool capitals = (control & 4) != 0;
    const bool twice = (control & 8) != 0;

    std::string extension = kind == 0 ? "bmp" : kind == 1 ? "pgm" : "pcd";
    if (capitals) {
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](char c) { return static_cast<char>(c - 'a' + 'A'); });
    }
    const std::string path = scratch + "input." + extension;
    bool written = false;
    if (kind == 3) {
        std::vector<std::uint8_t> file(pcdLengths[(control >> 4) & 7], 0);
        for (std::size_t i = 0; bodySize > 0 && i < file.size(); ++i) {
            file[i] = body[i % bodySize];
        }
        written = fuzz_support::writeFile(path, file.data(), file.size());
    } else {
        written = fuzz_support::writeFile(path, body, bodySize);
    }
    if (!written) {
        return 0;
    }

    ipl::CImage image;
    bool loaded = image.Load(path.c_str());
    if (twice) {
        loaded = image.Load(path.c_str());
    }
    if (loaded) {
        image.PrintInfo();
        // Every pixel inside the image is read. A pixel outside it, or any pixel of a depth
        // GetPixel does not read, prints an error line and is flushed one system call at a
        // time, so only the first few of those are asked for: they all take the same path.
        const ipl::TImage* record = image.GetConstTImagePtr();
        const bool readable = record->Bits == 1 || record->Bits == 8 || record->Bits == 24;
        int refusalsLeft = 8;
        std::uint32_t sum = 0;
        for (int y = 0; y < 90; ++y) {
            for (int x = 0; x < 160; ++x) {
                const bool inside = readable && x < record->Width && y < record->Height;
                if (inside || refusalsLeft-- > 0) {
                    sum += image.GetPixel(x, y);
                }
            }
        }
        pixelSink = sum;
    }
    return 0;
}
