// Combines several takes (recordings of the same tape) load by load: a take with a right
// checksum wins; otherwise each character is taken by a vote weighted by certainty.
#pragma once

#include <vector>

#include "decode/decoded_load.h"

namespace kelvanto::decode {

// Loads are matched by their order in each take. A vote whose characters make the checksum
// right is REPAIRED and lists every character that it changed against the first BAD take;
// otherwise the load stays BAD, with the voted characters.
std::vector<DecodedLoad> mergeTakes(const std::vector<std::vector<DecodedLoad>>& takes);

}  // namespace kelvanto::decode
