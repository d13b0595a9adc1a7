// SPDX-License-Identifier: MIT
// The three standard descriptors made safe before anything else runs: a closed one is opened
// on /dev/null, so that no file the run opens later can take its number by accident.
#pragma once

namespace kelvanto {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, in the contrary mode
// (standard input for writing, the others for reading), so that using the stream still fails
// as it would have, closed. Called first thing in main(): a file opened while 2 was
// closed would get number 2 and receive every later error message. Returns false when
// /dev/null itself cannot be opened; the caller then ends at once (status 127), since no
// message can safely be written anywhere.
bool openClosedStandardDescriptors() noexcept;

}  // namespace kelvanto
