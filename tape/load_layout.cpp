// The layout of a load on tape: pairs by format, the final pair with its checksum and filler,
// and the inverse that builds a load's data from the characters it is to send.
#include "tape/load_layout.h"

#include "base/bit_order.h"
#include "base/machine.h"

namespace loadLayout {

int characterPositions(int format, int length) {
    return format == machine::binaryLoadFormat ? length : length + 1;
}

int halfLength(int format, int length) {
    const int positions = characterPositions(format, length);
    return positions > 0 ? (positions + 1) / 2 : 0;
}

int secondHalfStart(int format, int length) {
    const int half = halfLength(format, length);
    return format == machine::screenLoadFormat ? half - 1 : half;
}

void dataCharacters(const TapeLoad& load, int j, std::uint8_t& first, std::uint8_t& second) {
    const int format = load.getFormat();
    if (format == machine::plainLoadFormat) {
        first = load.byteAt(2L * j);
        second = load.byteAt(2L * j + 1);
        return;
    }
    // The encoder sends the interleaved bytes top bit first, which the receiver reads as the
    // reversed bytes.
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    interleavePair(load.byteAt(j),
                   load.byteAt(static_cast<long>(j) + secondHalfStart(format, load.getLength())),
                   high, low);
    first = reverseBits(high);
    second = reverseBits(low);
}

LoadCharacters sentCharacters(const TapeLoad& load) {
    LoadCharacters sent;
    const int format = load.getFormat();
    const int positions = characterPositions(format, load.getLength());
    const int half = halfLength(format, load.getLength());
    if (half < 1) {
        return sent;
    }
    sent.characters.reserve(2 * static_cast<std::size_t>(half));
    std::uint8_t sum = machine::syncCharacter;
    for (int j = 0; j + 1 < half; ++j) {
        std::uint8_t first = 0;
        std::uint8_t second = 0;
        dataCharacters(load, j, first, second);
        sent.characters.push_back(first);
        sent.characters.push_back(second);
        sum = static_cast<std::uint8_t>(sum + first + second);
    }
    // The final pair holds one data character and the checksum, or, when L is odd, the
    // checksum and the filler.
    const int j = half - 1;
    sent.filler = j + half >= positions;
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    dataCharacters(load, j, first, second);
    auto computed = static_cast<std::uint8_t>(machine::checkSumTotal - sum);
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
        sent.characters.push_back(computed);
        sent.characters.push_back(fromData ? second : machine::fillerCharacter);
    } else {
        sent.characters.push_back(first);
        sent.characters.push_back(computed);
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
        for (int i = 0; i < length; ++i) {
            load.setByte(i, counted[static_cast<std::size_t>(i)]);
        }
        load.setCheckSum(count > 0 ? counted.back() : 0);
        return load;
    }
    // Binary: pair j sends the characters 2j and 2j + 1, which the data holds as its bytes j
    // and j + H interleaved; an odd count takes the filler as its last character.
    load.setLength(count);
    const int half = (count + 1) / 2;
    for (int j = 0; j < half; ++j) {
        const std::uint8_t first = counted[2 * static_cast<std::size_t>(j)];
        const auto secondAt = 2 * static_cast<std::size_t>(j) + 1;
        const std::uint8_t second = secondAt < counted.size()
                                        ? counted[secondAt]
                                        : filler.value_or(machine::fillerCharacter);
        std::uint8_t a = 0;
        std::uint8_t b = 0;
        interleavePair(reverseBits(first), reverseBits(second), a, b);
        load.setByte(j, a);
        load.setByte(j + half, b);
    }
    return load;
}

}  // namespace loadLayout
