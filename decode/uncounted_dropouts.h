// SPDX-License-Identifier: MIT
// Settles how many characters a long dropout took in one take by laying the characters after
// it beside another take's: the count at which they clearly agree, and only that one.
#pragma once

#include <vector>

#include "decode/framed_load.h"

namespace kelvanto::decode {

// The readings are of one load, from several takes. Where a dropout left a reading's count of
// characters open (see UncountedDropout), its characters after it are compared at every count
// the stretch fits with the characters of the other readings at the same places (up to where
// each of them may stand off itself). A count is taken where at least fewestAgreeing read
// characters agree, at least agreeShare of those compared, and every other count agrees on at
// most rivalShare as many; and where another reading that reached its footer and holds no open
// count has as many characters as this one would. The reading is then recounted: lost
// characters are put in or taken out, and the later ones (and their slips) move with them;
// a count changed by an odd number also changes which character the filler was.
// Dropouts are settled from the start of the load on, so each is compared only with places
// already settled. Returns for each reading whether every such dropout of it was settled.
struct UncountedDropouts {
    static constexpr std::size_t fewestAgreeing = 12;
    static constexpr double agreeShare = 0.75;
    static constexpr double rivalShare = 0.5;

    static std::vector<bool> settle(std::vector<FramedLoad>& readings);
};

}  // namespace kelvanto::decode
