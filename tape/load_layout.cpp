// SPDX-License-Identifier: MIT
// The layout of a load on tape: pairs by format, the final pair with its checksum and filler,
// and the inverse that builds a load's data from the characters it is to send.
#include "tape/load_layout.h"

#include <algorithm>
#include <array>
#include <memory>

#include "base/bit_order.h"
#include "base/machine.h"

namespace loadLayout {

int characterPositions(int format, int length) {
    return machine::characterPositions(format, length);
}

int halfLength(int format, int length) {
    return machine::pairCount(format, length);
}

int secondHalfStart(int format, int length) {
    return machine::secondHalfStart(format, length);
}

void dataCharacters(const TapeLoad& load, int j, std::uint8_t& first, std::uint8_t& second) {
    const int format = load.getFormat();
    if (format == machine::plainLoadFormat) {
        first = load.byteAt(2L * j);
        second = load.byteAt(2L * j + 1);
        return;
    }
    receivedPair(load.byteAt(j),
                 load.byteAt(static_cast<long>(j) + secondHalfStart(format, load.getLength())),
                 first, second);
}

namespace {

// The load's data in one run with zeros past its 8192 bytes, so that every index a pair
// names (at most 2 H, which is 8194) reads as byteAt() reads it. Only the bytes the pairs
// read are written: the rest of the array is never looked at.
struct ContiguousData {
    std::array<std::uint8_t, 2 * machine::loadDataSize + 8> bytes;
    explicit ContiguousData(const TapeLoad& load, std::size_t needed) {
        needed = std::min(needed, bytes.size());
        const std::size_t stored = std::min<std::size_t>(needed, machine::loadDataSize);
        load.dataBytes.copyTo(bytes.data(), stored);
        std::fill(bytes.begin() + static_cast<long>(stored),
                  bytes.begin() + static_cast<long>(needed), 0);
    }
};

}  // namespace

LoadCharacters sentCharacters(const TapeLoad& load) {
    LoadCharacters sent;
    const int format = load.getFormat();
    const int positions = characterPositions(format, load.getLength());
    const int half = halfLength(format, load.getLength());
    if (half < 1) {
        return sent;
    }
    const int start =
        format == machine::plainLoadFormat ? 0 : secondHalfStart(format, load.getLength());
    // Plain pairs read the bytes up to 2 H, interleaved ones up to H - 1 + start.
    const ContiguousData data(
        load,
        static_cast<std::size_t>(format == machine::plainLoadFormat ? 2 * half : half + start));
    const std::uint8_t* bytes = data.bytes.data();
    sent.characters.resize(2 * static_cast<std::size_t>(half));
    std::uint8_t* out = sent.characters.data();
    unsigned sum = machine::syncCharacter;
    if (format == machine::plainLoadFormat) {
        std::copy(bytes, bytes + 2 * static_cast<std::size_t>(half), out);
    } else {
        for (int j = 0; j < half; ++j) {
            receivedPair(bytes[j], bytes[j + start], out[2 * j], out[2 * j + 1]);
        }
    }
    for (int i = 0; i + 2 < 2 * half; ++i) {
        sum += out[i];
    }
    // The final pair holds one data character and the checksum, or, when L is odd, the
    // checksum and the filler.
    const int j = half - 1;
    sent.filler = j + half >= positions;
    const std::uint8_t first = out[2 * j];
    const std::uint8_t second = out[2 * j + 1];
    auto computed = machine::checkSumCompleting(static_cast<std::uint8_t>(sum));
    if (!sent.filler) {
        computed = static_cast<std::uint8_t>(computed - first);
    }
    sent.hasCheckSum = true;
    sent.computedCheckSum = computed;
    if (format == machine::binaryLoadFormat) {
        sent.statedCheckSum = sent.filler ? first : second;
    } else {
        sent.statedCheckSum = static_cast<std::uint8_t>(load.getCheckSum());
    }
    if (sent.filler) {
        // A binary load with a right checksum goes out as its data holds it, filler included.
        const bool fromData = format == machine::binaryLoadFormat && sent.checkSumRight();
        out[2 * j] = computed;
        out[2 * j + 1] = fromData ? second : machine::fillerCharacter;
    } else {
        out[2 * j + 1] = computed;
    }
    return sent;
}

TapeLoad loadSending(int format, const std::vector<std::uint8_t>& counted,
                     std::optional<std::uint8_t> filler) {
    TapeLoad load;
    load.setFormat(format);
    const int count = static_cast<int>(counted.size());
    if (format != machine::binaryLoadFormat) {
        const int length = count > 0 ? count - 1 : 0;
        load.setLength(length);
        // In one copy; past the 8192 bytes of a load nothing is stored, as setByte() does.
        load.dataBytes.assign(counted.data(), static_cast<std::size_t>(length));
        load.setCheckSum(count > 0 ? counted.back() : 0);
        return load;
    }
    // Binary: pair j sends the characters 2j and 2j + 1, which the data holds as its bytes j
    // and j + H interleaved; an odd count takes the filler as its last character.
    load.setLength(count);
    const int half = (count + 1) / 2;
    std::vector<std::uint8_t> bytes(2 * static_cast<std::size_t>(half));
    for (int j = 0; j < half; ++j) {
        const std::uint8_t first = counted[2 * static_cast<std::size_t>(j)];
        const auto secondAt = 2 * static_cast<std::size_t>(j) + 1;
        const std::uint8_t second = secondAt < counted.size()
                                        ? counted[secondAt]
                                        : filler.value_or(machine::fillerCharacter);
        std::uint8_t a = 0;
        std::uint8_t b = 0;
        interleavePair(reverseBits(first), reverseBits(second), a, b);
        bytes[static_cast<std::size_t>(j)] = a;
        bytes[static_cast<std::size_t>(j + half)] = b;
    }
    load.dataBytes.assign(bytes.data(), bytes.size());
    return load;
}

}  // namespace loadLayout
