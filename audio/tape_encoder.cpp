// SPDX-License-Identifier: MIT
// Framed characters and pairs on tape.
#include "audio/tape_encoder.h"

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
    writer.writeCharacter(first);
    if (lastFlag == 0) {
        writer.writeCharacter(second);
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
    writer.writeCharacter(reverseBits(high));
    if (lastFlag == 0) {
        writer.writeCharacter(reverseBits(low));
    } else {
        writeBit(1);
        writer.writeByte(low);
        writeBit(1);
    }
}
