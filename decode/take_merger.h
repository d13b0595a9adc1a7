// SPDX-License-Identifier: MIT
// Combines several takes (recordings of the same tape) load by load: loads are matched by
// their characters and their place in time, and weighed decision by decision.
#pragma once

#include <vector>

#include "decode/decoded_load.h"

namespace kelvanto::decode {

// Loads are matched between takes by content (how many characters agree) and by position
// (start times corrected for each take's offset and speed, measured on the loads that match
// clearly), never by their order: a dropout that leaves a stray tone or a broken piece in
// one take does not shift the others. Per load, a take that is clearly OK on its own (its
// chance of hidden errors below repairTrusted) wins. Otherwise every take's reading is
// weighed bit by bit by its certainty (a character whose framing slipped gives no evidence,
// nor do a take's characters past where they stop agreeing; takes count for less the more of
// their doubts they share, as a copy of one recording does: see sharedNoise), and the joint
// reading is judged
// again: REPAIRED (kind vote for every character that differs from the reading of the take
// the places are in) when the checksum is right with a chance of being wrong below
// repairTrusted, else BAD with the joint characters. Every place names its take (0 first).
std::vector<DecodedLoad> mergeTakes(const std::vector<std::vector<DecodedLoad>>& takes);

}  // namespace kelvanto::decode
