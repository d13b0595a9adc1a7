// SPDX-License-Identifier: MIT
// Recounting the characters of a long dropout in one take against the other takes of a load.
#include "decode/uncounted_dropouts.h"

#include <algorithm>
#include <optional>

namespace kelvanto::decode {

namespace {

bool read(const FramedCharacter& c) {
    return !c.signalLost && !c.extraCycleDropped;
}

// Where a reading's characters may begin to stand off: its first dropout still open.
std::size_t settledUntil(const FramedLoad& reading) {
    std::size_t until = reading.characters.size();
    for (const UncountedDropout& d : reading.uncounted) {
        until = std::min(until, d.first);
    }
    return until;
}

struct Agreement {
    std::size_t agree = 0;
    std::size_t compared = 0;
};

// How the characters of reading r from `from` to `to`, moved by `shift` places, agree with
// those of every other reading where those stand settled.
Agreement agreementAt(const std::vector<FramedLoad>& readings, std::size_t r, std::size_t from,
                      std::size_t to, long shift) {
    Agreement a;
    for (std::size_t q = 0; q < readings.size(); ++q) {
        if (q == r) {
            continue;
        }
        const auto& mine = readings[r].characters;
        const auto& theirs = readings[q].characters;
        const auto limit = static_cast<long>(settledUntil(readings[q]));
        for (std::size_t i = from; i < to; ++i) {
            const long j = static_cast<long>(i) + shift;
            if (j >= limit) {
                break;
            }
            if (j < 0 || !read(mine[i]) || !read(theirs[static_cast<std::size_t>(j)])) {
                continue;
            }
            ++a.compared;
            a.agree += mine[i].value == theirs[static_cast<std::size_t>(j)].value ? 1 : 0;
        }
    }
    return a;
}

// Keeps `count` characters lost for open dropout `which` of the reading instead of the count it
// kept, and marks it settled.
void recount(FramedLoad& reading, std::size_t which, std::size_t count) {
    const UncountedDropout d = reading.uncounted[which];
    reading.uncounted.erase(reading.uncounted.begin() + static_cast<long>(which));
    auto& characters = reading.characters;
    const auto after = static_cast<long>(d.first + d.kept);
    const long shift = static_cast<long>(count) - static_cast<long>(d.kept);
    if (shift > 0) {
        FramedCharacter lost;
        lost.start = after < static_cast<long>(characters.size())
                         ? characters[static_cast<std::size_t>(after)].start
                         : reading.end;
        lost.signalLost = true;
        lost.extraCycleDropped = true;
        characters.insert(characters.begin() + after, static_cast<std::size_t>(shift), lost);
    } else {
        characters.erase(characters.begin() + after + shift, characters.begin() + after);
    }
    for (SlipReading& slip : reading.slips) {
        if (static_cast<long>(slip.character) >= after) {
            slip.character = static_cast<std::size_t>(static_cast<long>(slip.character) + shift);
        }
    }
    for (UncountedDropout& later : reading.uncounted) {
        if (static_cast<long>(later.first) >= after) {
            later.first = static_cast<std::size_t>(static_cast<long>(later.first) + shift);
        }
    }
    if (shift % 2 != 0 && reading.complete && characters.size() % 2 == 0 && reading.hasFiller) {
        // The framer told the end by the count it kept, and an odd change of it turns the
        // last character into the other of its pair. A load of an odd count sends a filler
        // with a 1 for its start bit as the second of its last pair: framed as the first of a
        // pair, it reads as a character whose start bit read 1 (and the footer's first
        // cycles as the filler). Counted right, that character is the filler; with no such
        // character, the count is even and the filler was the footer's.
        if (!characters.empty() && characters.back().startMisread) {
            reading.filler = characters.back().value;
            reading.fillerStart = characters.back().start;
            std::copy_n(characters.back().certainty.begin() + 1, reading.fillerCertainty.size(),
                        reading.fillerCertainty.begin());
            characters.pop_back();
            std::erase_if(reading.slips, [&](const SlipReading& slip) {
                return slip.character >= characters.size();
            });
        } else {
            reading.hasFiller = false;
        }
    }
}

// The count to keep for open dropout `which` of reading r, if the other readings settle it.
std::optional<std::size_t> settledCount(const std::vector<FramedLoad>& readings, std::size_t r,
                                        std::size_t which) {
    const FramedLoad& reading = readings[r];
    const UncountedDropout& d = reading.uncounted[which];
    const std::size_t from = d.first + d.kept;
    std::size_t to = reading.characters.size();
    for (const UncountedDropout& later : reading.uncounted) {
        if (later.first > d.first) {
            to = std::min(to, later.first);
        }
    }
    std::optional<std::size_t> best;
    Agreement bestAgreement;
    std::size_t rivalAgree = 0;
    for (std::size_t count = d.fewest; count <= d.most; ++count) {
        const long shift = static_cast<long>(count) - static_cast<long>(d.kept);
        const Agreement a = agreementAt(readings, r, from, to, shift);
        if (!best || a.agree > bestAgreement.agree) {
            rivalAgree = best ? bestAgreement.agree : 0;
            best = count;
            bestAgreement = a;
        } else {
            rivalAgree = std::max(rivalAgree, a.agree);
        }
    }
    if (!best || bestAgreement.agree < UncountedDropouts::fewestAgreeing ||
        static_cast<double>(bestAgreement.agree) <
            UncountedDropouts::agreeShare * static_cast<double>(bestAgreement.compared) ||
        static_cast<double>(rivalAgree) >
            UncountedDropouts::rivalShare * static_cast<double>(bestAgreement.agree)) {
        return std::nullopt;
    }
    // A whole reading with no open count says how long the load is.
    if (reading.complete && reading.uncounted.size() == 1) {
        const std::size_t length = reading.characters.size() + *best - d.kept;
        for (std::size_t q = 0; q < readings.size(); ++q) {
            if (q != r && readings[q].complete && readings[q].uncounted.empty() &&
                readings[q].characters.size() != length) {
                return std::nullopt;
            }
        }
    }
    return best;
}

}  // namespace

std::vector<bool> UncountedDropouts::settle(std::vector<FramedLoad>& readings) {
    std::vector<bool> open(readings.size(), true);  // may still be settled
    for (;;) {
        // The open dropout nearest the start of the load.
        std::optional<std::pair<std::size_t, std::size_t>> next;
        for (std::size_t r = 0; r < readings.size(); ++r) {
            for (std::size_t k = 0; open[r] && k < readings[r].uncounted.size(); ++k) {
                if (!next || readings[r].uncounted[k].first <
                                 readings[next->first].uncounted[next->second].first) {
                    next = std::make_pair(r, k);
                }
            }
        }
        if (!next) {
            break;
        }
        const auto [r, k] = *next;
        const std::optional<std::size_t> count = settledCount(readings, r, k);
        if (count) {
            recount(readings[r], k, *count);
        } else {
            open[r] = false;
        }
    }
    std::vector<bool> settled;
    for (const FramedLoad& reading : readings) {
        settled.push_back(reading.uncounted.empty());
    }
    return settled;
}

}  // namespace kelvanto::decode
