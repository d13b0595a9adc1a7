// Framed characters and pairs on tape, and the two bit-order helpers.
#include "audio/tape_encoder.h"

std::uint8_t reverseBits(std::uint8_t value) {
    std::uint8_t result = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (value & (1u << bit)) {
            result = static_cast<std::uint8_t>(result | (0x80u >> bit));
        }
    }
    return result;
}

// high takes bits 1, 3, 5, 7 and low bits 0, 2, 4, 6 of both bytes, first before second,
// from the top bit down.
void interleavePair(std::uint8_t first, std::uint8_t second, std::uint8_t& high,
                    std::uint8_t& low) {
    unsigned h = 0;
    unsigned l = 0;
    for (int bit = 0; bit < 4; ++bit) {
        const int odd = 2 * bit + 1;
        const int even = 2 * bit;
        h |= ((first >> odd) & 1u) << (7 - 2 * bit);
        h |= ((second >> odd) & 1u) << (6 - 2 * bit);
        l |= ((first >> even) & 1u) << (7 - 2 * bit);
        l |= ((second >> even) & 1u) << (6 - 2 * bit);
    }
    high = static_cast<std::uint8_t>(h);
    low = static_cast<std::uint8_t>(l);
}

void TapeEncoder::writeBit(int bit) {
    writer.writeCycle(bit != 0 ? writer.oneBitLength : writer.zeroBitLength);
}

// The receiver reads each character least significant bit first, which is writeByte of the
// reversed byte.
void TapeEncoder::writePair(int lastFlag, std::uint8_t first, std::uint8_t second) {
    runningSum = static_cast<std::uint8_t>(runningSum + first);
    if (lastFlag == 0) {
        runningSum = static_cast<std::uint8_t>(runningSum + second);
    }
    writer.writeCharacter(reverseBits(first));
    if (lastFlag == 0) {
        writer.writeCharacter(reverseBits(second));
    } else {
        writeBit(1);
        writer.writeByte(reverseBits(second));
        writeBit(1);
    }
}

void TapeEncoder::writeInterleavedPair(int lastFlag, std::uint8_t first, std::uint8_t second) {
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    interleavePair(first, second, high, low);
    runningSum = static_cast<std::uint8_t>(runningSum + reverseBits(high));
    if (lastFlag == 0) {
        runningSum = static_cast<std::uint8_t>(runningSum + reverseBits(low));
    }
    writer.writeCharacter(high);
    if (lastFlag == 0) {
        writer.writeCharacter(low);
    } else {
        writeBit(1);
        writer.writeByte(low);
        writeBit(1);
    }
}
