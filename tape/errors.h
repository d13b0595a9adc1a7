// The exceptions that travel to the entry; everything else ends the process through fatal().
// The decoding ones belong to reading recorded audio back, which this tool does not do.
#pragma once

namespace Error {
struct badOutputFileName {};
struct endOfFile {};
struct badStopBit {};
struct badWavLength {};
struct loadComplete {};
struct conversionComplete {};
}  // namespace Error
