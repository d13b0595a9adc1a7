// SPDX-License-Identifier: MIT
// Matching of loads across takes by content and time, and the bit-by-bit weighing of the
// readings of one load. A joint reading is judged again like any other.
#include "decode/take_merger.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "decode/error_odds.h"
#include "decode/load_candidate.h"
#include "decode/load_judge.h"
#include "decode/load_merger.h"
#include "decode/shared_noise.h"
#include "decode/uncounted_dropouts.h"

namespace kelvanto::decode {

namespace {

struct Reading {
    int take = 0;
    const DecodedLoad* load = nullptr;
};

// The readings of one load in several takes, and where it stands on the first take's clock.
struct Group {
    std::vector<Reading> readings;
    const DecodedLoad* best = nullptr;
    double seconds = 0.0;
};

// Start times of one take against the first take's: take = scale * first + offset.
struct Clock {
    double scale = 1.0;
    double offset = 0.0;
};

// Loads whose characters agree at least sameContent are the same load; their times set the
// clock. Loads placed within closeInTime of each other (after the clock) are likely the
// same load, beyond farInTime they are not.
constexpr double closeInTime = 1.0;
constexpr double farInTime = 5.0;

double matchScore(const Group& group, const DecodedLoad& load, const std::optional<Clock>& clock) {
    const double agree = agreement(*group.best, load);
    // Two readings that each stand on their own (OK or REPAIRED) and do not agree are two
    // loads, however close their places: a take that holds a load more (a re-save, a load
    // skipped in the other) can put another load where the other take has this one.
    if (agree < sameContent && group.best->verdict != Verdict::bad &&
        load.verdict != Verdict::bad) {
        return -1.0;
    }
    double score = agree < 0.0 ? (clock ? 0.2 : -1.0) : agree - 0.5;
    // The same characters outweigh a place in time: a clock set on other loads is off by a
    // whole load after one that a take lacks, and a tone there must not take a load's match.
    if (agree >= sameContent) {
        score += 1.0;
    }
    if (clock) {
        const double distance =
            std::fabs(load.startSeconds - (clock->scale * group.seconds + clock->offset));
        if (distance < closeInTime) {
            score += 0.5;
        } else if (distance > farInTime) {
            score -= 2.0;
        }
    }
    return score;
}

// Where a load of a take stands on the first take's clock.
double firstClock(const DecodedLoad& load, const std::optional<Clock>& clock) {
    return clock ? (load.startSeconds - clock->offset) / clock->scale : load.startSeconds;
}

// The matching that maximises the total score, in order on both sides: pairs of (group,
// load) with -1 for "none".
std::vector<std::pair<long, long>> align(const std::vector<Group>& groups,
                                         const std::vector<DecodedLoad>& take,
                                         const std::optional<Clock>& clock) {
    const std::size_t n = groups.size();
    const std::size_t m = take.size();
    std::vector<double> score((n + 1) * (m + 1), 0.0);
    std::vector<double> pair(n * m, 0.0);
    auto at = [&](std::size_t i, std::size_t j) -> double& { return score[i * (m + 1) + j]; };
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const double s = matchScore(groups[i - 1], take[j - 1], clock);
            pair[(i - 1) * m + (j - 1)] = s;
            double best = std::max(at(i - 1, j), at(i, j - 1));
            if (s > 0.0) {
                best = std::max(best, at(i - 1, j - 1) + s);
            }
            at(i, j) = best;
        }
    }
    std::vector<std::pair<long, long>> path;
    std::size_t i = n;
    std::size_t j = m;
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && pair[(i - 1) * m + (j - 1)] > 0.0 &&
            at(i, j) == at(i - 1, j - 1) + pair[(i - 1) * m + (j - 1)]) {
            path.emplace_back(static_cast<long>(i - 1), static_cast<long>(j - 1));
            --i;
            --j;
        } else if (i > 0 && (j == 0 || at(i, j) == at(i - 1, j)) &&
                   // Both left unmatched: the later one goes last, so that loads stay in
                   // the order of the tape.
                   (j == 0 || at(i, j) != at(i, j - 1) ||
                    groups[i - 1].seconds >= firstClock(take[j - 1], clock))) {
            path.emplace_back(static_cast<long>(i - 1), -1);
            --i;
        } else {
            path.emplace_back(-1, static_cast<long>(j - 1));
            --j;
        }
    }
    std::reverse(path.begin(), path.end());
    return path;
}

// The clock of a take from the loads that match clearly (least squares when they spread
// over more than a few seconds, else an offset alone). A load whose characters the tape
// holds twice (a re-save) matches either copy by what it holds, whichever take holds the
// copies (a take can have lost one), and which one the order picked says nothing of time:
// where other loads set the clock, it does not (taken on the later copy, it put a take's
// clock two seconds off, and a tone of a load that take lost stood beside no load:
// take_trials.py 1431). A tape of nothing but saves made twice keeps them all.
std::optional<Clock> clockOf(const std::vector<std::pair<long, long>>& path,
                             const std::vector<Group>& groups,
                             const std::vector<DecodedLoad>& take) {
    std::vector<std::pair<double, double>> points;
    std::vector<std::pair<double, double>> copies;
    for (const auto& [g, l] : path) {
        if (g < 0 || l < 0) {
            continue;
        }
        const DecodedLoad& load = take[static_cast<std::size_t>(l)];
        const DecodedLoad& best = *groups[static_cast<std::size_t>(g)].best;
        if (!load.characters.empty() && agreement(best, load) >= sameContent) {
            const auto same =
                std::count_if(groups.begin(), groups.end(),
                              [&](const Group& other) {
                                  return agreement(*other.best, load) >= sameContent;
                              }) +
                std::count_if(take.begin(), take.end(), [&](const DecodedLoad& other) {
                    return agreement(best, other) >= sameContent;
                });
            (same == 2 ? points : copies)
                .emplace_back(groups[static_cast<std::size_t>(g)].seconds, load.startSeconds);
        }
    }
    if (points.empty()) {
        points = copies;
    }
    if (points.empty()) {
        return std::nullopt;
    }
    double mx = 0.0;
    double my = 0.0;
    for (const auto& [x, y] : points) {
        mx += x;
        my += y;
    }
    mx /= static_cast<double>(points.size());
    my /= static_cast<double>(points.size());
    double sxx = 0.0;
    double sxy = 0.0;
    for (const auto& [x, y] : points) {
        sxx += (x - mx) * (x - mx);
        sxy += (x - mx) * (y - my);
    }
    Clock clock;
    if (points.size() >= 2 && sxx > 9.0) {
        clock.scale = std::clamp(sxy / sxx, 0.25, 4.0);
    }
    clock.offset = my - clock.scale * mx;
    return clock;
}

// The value of framed bit b (0 start, 1..8 data, 9 stop) as this character was read.
int bitOf(const FramedCharacter& character, int b) {
    if (b == 0) {
        return character.startMisread ? 1 : 0;
    }
    if (b == 9) {
        return character.stopBad ? 0 : 1;
    }
    return (character.value >> (b - 1)) & 1;
}

// The readings of takes a and b in a group, when the two hold the same characters.
std::optional<std::pair<const DecodedLoad*, const DecodedLoad*>> readAlike(const Group& group,
                                                                           int a, int b) {
    for (const Reading& x : group.readings) {
        for (const Reading& y : group.readings) {
            if (x.take == a && y.take == b && agreement(*x.load, *y.load) >= sameContent) {
                return std::make_pair(x.load, y.load);
            }
        }
    }
    return std::nullopt;
}

// A load's own tones reach this far past the times at which another take heard them (the
// tones' ends move a little with the signal).
constexpr double withinLoad = 0.2;

// Whether the lone reading `lone` of take `loneTake` lies inside a load that another take
// read whole and trusted (OK or REPAIRED) and that the lone take heard the start of: another
// of its readings (a header tone with nothing readable after it) stands in that load's
// group. Measured from that reading, in the lone take's own time, the lone reading must lie
// within the load's length: it is that load's footer, or a part of it in which the data
// could not be read, since the tape holds no load inside a load. (Measured from the load's
// own start, not on the clocks: a take that holds a load more throws its clock off by that
// load's length between the loads the clock was set on.)
bool insideTrusted(const std::vector<Group>& groups,
                   const std::vector<std::optional<Clock>>& clocks, const DecodedLoad& lone,
                   int loneTake) {
    const std::optional<Clock>& own = clocks[static_cast<std::size_t>(loneTake)];
    if (!own) {
        return false;
    }
    for (const Group& group : groups) {
        for (const Reading& start : group.readings) {
            if (start.take != loneTake) {
                continue;
            }
            for (const Reading& r : group.readings) {
                const std::optional<Clock>& clock = clocks[static_cast<std::size_t>(r.take)];
                if (r.take == loneTake || !clock || r.load->verdict == Verdict::bad ||
                    readAlike(group, r.take, loneTake)) {
                    continue;
                }
                const double length =
                    (r.load->endSeconds - r.load->startSeconds) * own->scale / clock->scale;
                if (lone.startSeconds >= start.load->startSeconds &&
                    lone.endSeconds <= start.load->startSeconds + length + withinLoad) {
                    return true;
                }
            }
        }
    }
    return false;
}

// Two takes of the same stretch of tape run as long, speed corrected, within this share and
// these seconds (the speed of each take is measured on its loads, and wanders a little).
constexpr double stretchShare = 0.03;
constexpr double stretchSeconds = 0.3;

// Whether take `other` played the stretch of tape that the lone reading of take `lone` in
// group `at` lies in, and that stretch alone: between the loads the two takes read alike
// around it, it ran as long, and none of its readings there is unplaced (stands alone, or
// was put with a load another take read on its own and that it does not resemble). An
// unplaced reading may be this very load, put elsewhere by a clock that a load more in one
// take throws off by that load's length; a take that ran shorter lacks a load there
// (skipped, or another copy of the tape). Neither says the lone reading is noise.
// `otherEnd`: where the other take stopped, in its own time.
bool playedAlike(const std::vector<Group>& groups, std::size_t at, int other, int lone,
                 double otherEnd) {
    auto unplaced = [&](const Group& group) {
        bool alone = true;
        bool holds = false;
        for (const Reading& r : group.readings) {
            if (r.take == other) {
                holds = true;
            } else {
                alone = false;
            }
        }
        if (!holds) {
            return false;
        }
        for (const Reading& r : group.readings) {
            for (const Reading& q : group.readings) {
                if (r.take == other && q.take != other && q.load->verdict != Verdict::bad &&
                    agreement(*r.load, *q.load) < sameContent) {
                    return true;
                }
            }
        }
        return alone;
    };
    // The nearest loads both read alike before and after (other's reading first).
    std::optional<std::pair<const DecodedLoad*, const DecodedLoad*>> before;
    std::optional<std::pair<const DecodedLoad*, const DecodedLoad*>> after;
    for (std::size_t g = at; g-- > 0 && !(before = readAlike(groups[g], other, lone));) {
        if (unplaced(groups[g])) {
            return false;
        }
    }
    for (std::size_t g = at + 1; g < groups.size() && !(after = readAlike(groups[g], other, lone));
         ++g) {
        if (unplaced(groups[g])) {
            return false;
        }
    }
    // Lengths of tape, in seconds at the nominal speed, measured from the sync characters of
    // the loads read alike (where a header tone begins moves with a dropout in it).
    auto tape = [](const DecodedLoad& load, double seconds) { return seconds * load.speedRatio; };
    auto alike = [](double ran, double length) {
        return ran >= length - stretchShare * length - stretchSeconds;
    };
    const DecodedLoad& reading = *groups[at].readings.front().load;
    if (before && after) {
        const double otherRan =
            tape(*after->first, after->first->syncSeconds - before->first->syncSeconds);
        const double loneRan =
            tape(*after->second, after->second->syncSeconds - before->second->syncSeconds);
        return alike(otherRan, loneRan) && alike(loneRan, otherRan);
    }
    if (before) {
        // To the lone reading's end: a take that stopped where another's load begins did not
        // hear that load's data (it may be a copy of the tape that ends there).
        return alike(tape(*before->first, otherEnd - before->first->syncSeconds),
                     tape(*before->second, reading.endSeconds - before->second->syncSeconds));
    }
    if (after) {
        return alike(tape(*after->first, after->first->syncSeconds),
                     tape(*after->second, after->second->syncSeconds - reading.startSeconds));
    }
    return true;
}

// How far a take's characters can be laid beside the reference's: up to where they stop
// agreeing (a cycle lost or added that the framer could not put right shifts every later
// character of that take, and shifted characters are no evidence).
constexpr std::size_t agreementSpan = 16;

std::size_t usableLength(const FramedLoad& reading, const FramedLoad& reference) {
    const std::size_t length = std::min(reading.characters.size(), reference.characters.size());
    // A character the signal was lost over in either says nothing of the shift.
    auto agrees = [&](std::size_t i) {
        return reading.characters[i].signalLost || reference.characters[i].signalLost ||
               reading.characters[i].value == reference.characters[i].value;
    };
    std::size_t agree = 0;
    for (std::size_t i = 0; i < length; ++i) {
        agree += agrees(i) ? 1 : 0;
        if (i >= agreementSpan) {
            const std::size_t old = i - agreementSpan;
            agree -= agrees(old) ? 1 : 0;
            if (agree * 4 < agreementSpan) {
                return old;  // fewer than a quarter agree from here on
            }
        }
    }
    return length;
}

void nameTake(DecodedLoad& load, int take) {
    load.take = take;
    for (CharacterDoubt& doubt : load.doubts) {
        doubt.take = take;
    }
    load.crowdFrom.take = take;
    for (Repair& repair : load.repairs) {
        repair.take = take;
    }
}

// Where the framing slipped in two characters a few apart, the characters between them were
// framed by the first slip's repair; where that repair went the wrong way they were read a
// cycle or two off, each clean-looking but wrong, until the framing broke again. On the
// bench's worn cassettes (44100 Hz, three small loads, every severity to 6) 416 of 547 such
// characters were wrong, against about one in six elsewhere in the same readings. Like the
// slipped characters themselves they are no evidence beside another take's reading.
constexpr std::size_t slipsApart = 12;

std::vector<bool> betweenSlips(const FramedLoad& reading) {
    std::vector<bool> between(reading.characters.size(), false);
    std::size_t last = 0;
    bool seen = false;
    for (std::size_t i = 0; i < reading.characters.size(); ++i) {
        if (!reading.characters[i].extraCycleDropped) {
            continue;
        }
        if (seen && i - last <= slipsApart) {
            std::fill(between.begin() + static_cast<long>(last) + 1,
                      between.begin() + static_cast<long>(i), true);
        }
        last = i;
        seen = true;
    }
    return between;
}

// What readings of one decision say together: takes that share their flaws (or are one
// recording given twice) count for no more than their errors are independent.
double jointEvidence(double sum, int heard, double shared) {
    return sum / (1.0 + (heard - 1) * shared);
}

// The filler after the checksum, which the sum leaves out, weighed over the takes that read
// one after as many characters: its bits on the joint scale, as the characters' are.
void voteFiller(const std::vector<const FramedLoad*>& laid, const std::vector<ErrorOdds>& odds,
                double shared, const ErrorOdds& jointOdds, FramedLoad& joint) {
    std::array<double, 8> evidence{};
    int heard = 0;
    for (std::size_t r = 0; r < laid.size(); ++r) {
        const FramedLoad& reading = *laid[r];
        if (!reading.hasFiller || reading.characters.size() != joint.characters.size()) {
            continue;
        }
        ++heard;
        for (std::size_t b = 0; b < evidence.size(); ++b) {
            const double strength = odds[r].evidence(reading.fillerCertainty[b]);
            evidence[b] += (reading.filler >> b & 1) != 0 ? strength : -strength;
        }
    }
    joint.hasFiller = heard > 0;
    unsigned value = 0;
    for (std::size_t b = 0; b < evidence.size(); ++b) {
        const double e = heard > 0 ? jointEvidence(evidence[b], heard, shared) : 0.0;
        if (e > 0.0) {
            value |= 1u << b;
        }
        joint.fillerCertainty[b] = jointOdds.certaintyOf(std::fabs(e));
    }
    if (heard > 0) {
        joint.filler = static_cast<std::uint8_t>(value);
    }
}

DecodedLoad weigh(const Group& group) {
    // A take that is OK on its own, and clearly so, wins.
    const Reading* chosen = nullptr;
    for (const Reading& reading : group.readings) {
        if (reading.load->verdict == Verdict::ok && !reading.load->evidence &&
            (!chosen || betterReading(*reading.load, *chosen->load))) {
            chosen = &reading;
        }
    }
    std::vector<const Reading*> weighed;
    for (const Reading& reading : group.readings) {
        if (reading.load->evidence && !reading.load->evidence->toneOnly) {
            weighed.push_back(&reading);
        }
    }
    // Characters are laid beside each other by their place in the load: where a dropout left
    // a reading's count open, the other readings settle it, or every character after it may
    // stand in the wrong place and the reading is no evidence (a take can still stand alone).
    std::vector<FramedLoad> framed;
    for (const Reading* reading : weighed) {
        framed.push_back(reading->load->evidence->framed);
    }
    const std::vector<bool> settled = UncountedDropouts::settle(framed);
    std::vector<const FramedLoad*> laid;
    for (std::size_t r = 0, kept = 0; r < settled.size(); ++r) {
        if (settled[r]) {
            weighed[kept++] = weighed[r];
            laid.push_back(&framed[r]);
        }
    }
    weighed.resize(laid.size());
    if (!chosen && weighed.size() < 2) {
        for (const Reading& reading : group.readings) {
            if (!chosen || betterReading(*reading.load, *chosen->load)) {
                chosen = &reading;
            }
        }
    }
    if (chosen) {
        DecodedLoad load = *chosen->load;
        nameTake(load, chosen->take);
        return load;
    }
    // The reference: the whole reading with the most characters (so that every character
    // has a place in it), else the longest.
    std::size_t reference = 0;
    for (std::size_t r = 0; r < weighed.size(); ++r) {
        const DecodedLoad& a = *weighed[r]->load;
        const DecodedLoad& b = *weighed[reference]->load;
        const std::size_t aSize = laid[r]->characters.size();
        const std::size_t bSize = laid[reference]->characters.size();
        if (a.whole != b.whole ? a.whole : aSize != bSize ? aSize > bSize : betterReading(a, b)) {
            reference = r;
        }
    }
    const FramedLoad& base = *laid[reference];
    const ErrorOdds referenceOdds(base);
    std::vector<ErrorOdds> odds;
    std::vector<std::size_t> usable;
    for (const FramedLoad* reading : laid) {
        odds.emplace_back(*reading);
        usable.push_back(usableLength(*reading, base));
    }
    LoadCandidate joint = *weighed[reference]->load->evidence;
    if (!joint.framed.uncounted.empty()) {
        // Recounted: its stretches of signal no longer sit at their characters.
        joint.stretches.clear();
    }
    joint.framed = base;
    const std::size_t bits = 10 * joint.framed.characters.size();
    std::vector<BitEvidence> said(weighed.size(), BitEvidence(bits, std::nan("")));
    for (std::size_t r = 0; r < weighed.size(); ++r) {
        const auto& characters = laid[r]->characters;
        const std::vector<bool> shifted = betweenSlips(*laid[r]);
        for (std::size_t i = 0; i < std::min(usable[r], joint.framed.characters.size()); ++i) {
            if (characters[i].extraCycleDropped || shifted[i]) {
                continue;
            }
            for (int b = 0; b < 10; ++b) {
                const double strength =
                    odds[r].evidence(characters[i].certainty[static_cast<std::size_t>(b)]);
                said[r][10 * i + static_cast<std::size_t>(b)] =
                    bitOf(characters[i], b) != 0 ? strength : -strength;
            }
        }
    }
    // Takes that agree because they share their flaws (or are one recording given twice)
    // count for no more than their errors are independent.
    double shared = 0.0;
    int pairs = 0;
    for (std::size_t r = 0; r < said.size(); ++r) {
        for (std::size_t q = r + 1; q < said.size(); ++q) {
            shared += sharedNoise(said[r], said[q]);
            ++pairs;
        }
    }
    shared = pairs > 0 ? shared / pairs : 1.0;
    // The joint decisions on a scale of their own, none clearer than the reference's clearest.
    const ErrorOdds jointOdds = ErrorOdds::ofEvidence(referenceOdds.evidence(255));
    for (std::size_t i = 0; i < joint.framed.characters.size(); ++i) {
        FramedCharacter& character = joint.framed.characters[i];
        std::array<double, 10> evidence{};
        int heard = 0;
        for (const BitEvidence& reading : said) {
            if (std::isnan(reading[10 * i])) {
                continue;
            }
            ++heard;
            for (std::size_t b = 0; b < 10; ++b) {
                evidence[b] += reading[10 * i + b];
            }
        }
        if (heard == 0) {
            // No take read this character's framing: it stays as the reference read it
            // (unknown where it slipped), its decisions on the joint scale.
            for (std::uint8_t& certainty : character.certainty) {
                certainty = jointOdds.certaintyOf(referenceOdds.evidence(certainty));
            }
            continue;
        }
        unsigned value = 0;
        for (int b = 0; b < 10; ++b) {
            const double e = jointEvidence(evidence[static_cast<std::size_t>(b)], heard, shared);
            const int bit = e > 0.0 ? 1 : e < 0.0 ? 0 : bitOf(character, b);
            character.certainty[static_cast<std::size_t>(b)] = jointOdds.certaintyOf(std::fabs(e));
            if (b >= 1 && b <= 8 && bit != 0) {
                value |= 1u << (b - 1);
            }
            if (b == 0) {
                character.startMisread = bit != 0;
            }
            if (b == 9) {
                character.stopBad = bit == 0;
            }
        }
        character.value = static_cast<std::uint8_t>(value);
        character.extraCycleDropped = false;
        character.signalLost = false;
    }
    voteFiller(laid, odds, shared, jointOdds, joint.framed);
    const DecodedLoad& referenceLoad = *weighed[reference]->load;
    DecodedLoad load = LoadJudge(referenceLoad.sampleRate).judge(joint, jointOdds);
    load.gapSeconds = referenceLoad.gapSeconds;
    std::vector<Repair> votes;
    for (std::size_t i = 0; i < joint.framed.characters.size(); ++i) {
        const FramedCharacter& was = base.characters[i];
        const FramedCharacter& now = joint.framed.characters[i];
        if (was.value != now.value || was.extraCycleDropped) {
            votes.push_back(Repair{Repair::Kind::vote, i, -1, was.value, now.value,
                                   std::llround(now.start), now.start / load.sampleRate, 0});
        }
    }
    if (load.verdict == Verdict::ok && !votes.empty() && !(load.wrongChance < repairTrusted)) {
        // Right, but not sure enough to change characters of the take on its strength.
        load.verdict = Verdict::bad;
        load.problem =
            "checksum right, but the characters the takes changed could still be "
            "wrong with a chance above 1 in 1000";
        load.problemSample = votes.front().sample;
        load.problemSeconds = votes.front().seconds;
    }
    if (load.verdict == Verdict::bad) {
        // Weighing found nothing better than a take that is trusted on its own (OK only just,
        // so it did not win outright above, or REPAIRED, as where the signal of one take read
        // a broken run): that take stands, as it would decoded alone. Two takes never read
        // worse than the better of them.
        const Reading* trustedTake = nullptr;
        for (const Reading& reading : group.readings) {
            if (reading.load->verdict != Verdict::bad &&
                (!trustedTake || betterReading(*reading.load, *trustedTake->load))) {
                trustedTake = &reading;
            }
        }
        if (trustedTake) {
            DecodedLoad alone = *trustedTake->load;
            nameTake(alone, trustedTake->take);
            return alone;
        }
        load.problem = "weighed over " + std::to_string(weighed.size()) + " takes: " + load.problem;
    } else if (!votes.empty()) {
        load.verdict = Verdict::repaired;
        load.problem.clear();
        load.repairs.insert(load.repairs.begin(), votes.begin(), votes.end());
    }
    nameTake(load, weighed[reference]->take);
    return load;
}

}  // namespace

std::vector<DecodedLoad> mergeTakes(const std::vector<std::vector<DecodedLoad>>& takes) {
    std::vector<Group> groups;
    if (takes.empty()) {
        return {};
    }
    for (const DecodedLoad& load : takes.front()) {
        groups.push_back(Group{{Reading{0, &load}}, &load, load.startSeconds});
    }
    std::vector<std::optional<Clock>> clocks(takes.size());
    clocks[0] = Clock{};
    for (std::size_t t = 1; t < takes.size(); ++t) {
        const std::vector<DecodedLoad>& take = takes[t];
        const std::optional<Clock> clock = clockOf(align(groups, take, std::nullopt), groups, take);
        clocks[t] = clock;
        std::vector<Group> next;
        for (const auto& [g, l] : align(groups, take, clock)) {
            if (g >= 0) {
                next.push_back(groups[static_cast<std::size_t>(g)]);
            }
            if (l < 0) {
                continue;
            }
            const DecodedLoad& load = take[static_cast<std::size_t>(l)];
            const Reading reading{static_cast<int>(t), &load};
            if (g >= 0) {
                Group& group = next.back();
                group.readings.push_back(reading);
                if (betterReading(load, *group.best)) {
                    group.best = &load;
                }
            } else {
                next.push_back(Group{{reading}, &load, firstClock(load, clock)});
            }
        }
        groups.swap(next);
    }
    // Something that only one of several takes holds, with nothing readable in it (a lone
    // tone, or characters mostly likely wrong), is that take's noise or the rest of a
    // dropout, not a load of the tape; but only where another take read a load at its place
    // that this take did not read alike elsewhere, or every other take that read anything
    // played that stretch of tape as this one did and heard nothing (see playedAlike). A take
    // that ended before it, began after it or read nothing at all says nothing about that
    // stretch of tape, and a load there must not vanish. A take whose clock could not be set
    // against the first is placed by its own times: beside a take of as many readings they
    // are likely the same stretch (a tape of one load, read in one take only), beside others
    // they say nothing (a take that began after the first load puts the second where the
    // other take has the first); and it cannot show that it was playing anywhere.
    auto placed = [&](int take, int other) {
        const auto t = static_cast<std::size_t>(take);
        const auto o = static_cast<std::size_t>(other);
        return (clocks[t] && clocks[o]) || takes[t].size() == takes[o].size();
    };
    auto heardAround = [&](std::size_t at, int except) {
        for (std::size_t g = 0; g < groups.size(); ++g) {
            if (g != at && std::fabs(groups[g].seconds - groups[at].seconds) < closeInTime &&
                std::any_of(
                    groups[g].readings.begin(), groups[g].readings.end(), [&](const Reading& r) {
                        return r.take != except && placed(except, r.take) &&
                               !r.load->characters.empty() && !readAlike(groups[g], r.take, except);
                    })) {
                return true;
            }
        }
        if (!clocks[static_cast<std::size_t>(except)]) {
            return false;
        }
        const Clock& own = *clocks[static_cast<std::size_t>(except)];
        const DecodedLoad& lone = *groups[at].readings.front().load;
        const double loneEnd =
            groups[at].seconds + (lone.endSeconds - lone.startSeconds) / own.scale;
        if (lone.characters.empty() && insideTrusted(groups, clocks, lone, except)) {
            return true;
        }
        bool heard = false;
        for (std::size_t t = 0; t < takes.size(); ++t) {
            const std::vector<DecodedLoad>& take = takes[t];
            if (static_cast<int>(t) == except ||
                std::none_of(take.begin(), take.end(),
                             [](const DecodedLoad& load) { return !load.characters.empty(); })) {
                continue;
            }
            // The take ran from its start to its last load's gap's end, in its own time.
            double last = 0.0;
            for (const DecodedLoad& load : take) {
                last = std::max(last, load.endSeconds + load.gapSeconds);
            }
            if (!clocks[t] || !playedAlike(groups, at, static_cast<int>(t), except, last)) {
                return false;
            }
            const Clock& clock = *clocks[t];
            const double from = (0.0 - clock.offset) / clock.scale;
            const double to = (last - clock.offset) / clock.scale;
            // The whole of the lone reading, not only its start, lies where this take played.
            if (groups[at].seconds < from || loneEnd > to) {
                return false;
            }
            heard = true;
        }
        return heard;
    };
    std::vector<DecodedLoad> merged;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Group& group = groups[g];
        const DecodedLoad& only = *group.readings.front().load;
        if (takes.size() > 1 && group.readings.size() == 1 && only.verdict == Verdict::bad &&
            (only.characters.empty() ||
             only.expectedWrong >= 0.5 * static_cast<double>(only.characters.size())) &&
            heardAround(g, group.readings.front().take)) {
            continue;
        }
        merged.push_back(weigh(group));
    }
    return merged;
}

}  // namespace kelvanto::decode
