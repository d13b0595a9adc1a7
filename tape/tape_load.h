// SPDX-License-Identifier: MIT
// One load of a tape: up to 8192 data bytes and the numbers that frame them on tape. A plain
// value: a copy's stores never reach the original, even where both read a binary image's bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/machine.h"
#include "tape/load_data.h"

class TapeLoad {
  public:
    static constexpr int dataSize = machine::loadDataSize;

    // Bytes never stored read as 0; only the stored ones take memory.
    using DataBytes = LoadData;
    DataBytes dataBytes;

    int getLoadNumber() const { return loadNumber; }
    void setLoadNumber(int value) { loadNumber = value; }
    int getFormat() const { return format; }
    void setFormat(int value) { format = value; }
    int getLength() const { return length; }
    void setLength(int value) { length = value; }
    double getGapLength() const { return gapLength; }
    void setGapLength(double value) { gapLength = value; }
    double getHeaderLength() const { return headerLength; }
    void setHeaderLength(double value) { headerLength = value; }
    double getFooterLength() const { return footerLength; }
    void setFooterLength(double value) { footerLength = value; }
    // The checksum is an 8-bit value on tape; only its low bits are ever read back.
    int getCheckSum() const { return checkSum & 0xFF; }
    void setCheckSum(int value) { checkSum = value; }

    // Data byte at index, or 0 for an index outside the 8192 bytes. Pairs near the end of a
    // full load name positions past the data; those characters are always replaced by the
    // checksum, so reading them as 0 changes nothing on tape.
    std::uint8_t byteAt(long index) const {
        return index >= 0 && index < dataSize ? dataBytes[static_cast<std::size_t>(index)] : 0;
    }

    // Stores a byte at a data index; outside the 8192 bytes nothing is stored.
    void setByte(long index, std::uint8_t value) {
        if (index >= 0 && index < dataSize) {
            dataBytes.set(static_cast<std::size_t>(index), value);
        }
    }

  private:
    int loadNumber = 0;
    int format = 0;
    int length = 0;
    double gapLength = 0.0;
    double headerLength = machine::defaultHeaderLength;
    double footerLength = machine::defaultFooterLength;
    int checkSum = 0;
};
