// SPDX-License-Identifier: MIT
// The timeline of decoded recordings as one self-contained SVG picture: the level envelope,
// each load as a span coloured by its verdict, its repairs and doubts as marks at their time.
#pragma once

#include <string>

#include "companion/recording_input.h"

// One row per take (the recording's level envelope and the loads found in it) and, for
// several takes, one for the merged result; a decoded screen's picture below its span; a time
// axis in minutes and seconds. The envelopes must have been kept (DecodeWatch::envelopes).
std::string timelineSvg(const DecodedTape& decoded);
