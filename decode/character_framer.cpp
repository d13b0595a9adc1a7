// Framing of sync character, character pairs, filler and footer.
// Bits wait in a short queue only where the end of a load must be confirmed.
#include "decode/character_framer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "decode/tape_timing.h"

namespace kelvanto::decode {

namespace {

// 0, then 0xA5 most significant bit first, then 1.
constexpr std::array<int, 10> syncPattern{0, 1, 0, 1, 0, 0, 1, 0, 1, 1};
// Disagreeing with the pattern more clearly than this is not a sync character.
constexpr float clearlyWrong = 0.5f;
// A 0 in the footer's place counts against an end only when it is this clear.
constexpr float clearZero = 0.25f;

std::uint8_t toByte(float certainty) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(certainty, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

void CharacterFramer::begin(double syncStart) {
    current = FramedLoad{};
    current.syncStart = syncStart;
    current.end = syncStart;
    pending.clear();
    rest.clear();
    failedInSync = false;
    secondOfPair = false;
    state = State::sync;
    status = Status::reading;
}

CharacterFramer::Status CharacterFramer::push(const Bit& bit) {
    if (state == State::done) {
        return status;
    }
    pending.push_back(bit);
    return process(false);
}

CharacterFramer::Status CharacterFramer::finish() {
    if (state == State::done) {
        return status;
    }
    return process(true);
}

CharacterFramer::Status CharacterFramer::fail(const char* problem, double at) {
    failedInSync = state == State::sync;
    current.problem = problem;
    current.problemAt = at;
    current.end = std::max(current.end, at);
    state = State::done;
    status = Status::failed;
    pending.clear();
    return status;
}

void CharacterFramer::startFooter(double at) {
    current.footerStart = at;
    current.footerEnd = at;
    state = State::footer;
}

std::optional<bool> CharacterFramer::syncAhead(bool final) const {
    int unclear = 0;
    for (std::size_t i = 0; i < syncPattern.size(); ++i) {
        if (i >= pending.size()) {
            return final ? std::optional<bool>(false) : std::nullopt;
        }
        const Bit& bit = pending[i];
        if (bit.value == Bit::invalid) {
            return false;
        }
        if (bit.value != syncPattern[i] && (bit.certainty >= clearlyWrong || ++unclear > 1)) {
            return false;
        }
    }
    return true;
}

// After a 1 in a start bit's place: the footer's 1s (after the filler's nine cycles in the
// second place of a pair) confirm the end; a clear 0 among them means the data goes on.
std::optional<bool> CharacterFramer::endConfirmed(bool final) const {
    const std::size_t skip = secondOfPair ? 10 : 1;
    int zeros = 0;
    for (std::size_t i = 1; i < skip + endWindow; ++i) {
        if (i >= pending.size()) {
            return final ? std::optional<bool>(zeros == 0) : std::nullopt;
        }
        const Bit& bit = pending[i];
        if (bit.value == Bit::invalid) {
            // The signal stopped (silence after a short or missing footer).
            return zeros == 0;
        }
        const bool mustBeOne = i >= skip - 1;  // the filler's stop bit and everything after
        if (mustBeOne && bit.value == Bit::zero) {
            if (bit.certainty >= clearZero || ++zeros > 1) {
                return false;
            }
        }
    }
    return true;
}

void CharacterFramer::takeCharacter(bool startMisread) {
    FramedCharacter character;
    character.start = pending[0].start;
    unsigned value = 0;
    for (std::size_t i = 0; i < 10; ++i) {
        const Bit& bit = pending[i];
        character.offsets[i] =
            static_cast<std::uint16_t>(std::clamp(bit.start - character.start, 0.0, 65535.0));
        character.certainty[i] = toByte(bit.certainty);
        if (i >= 1 && i <= 8 && bit.value == Bit::one) {
            value |= 1u << (i - 1);
        }
    }
    character.value = static_cast<std::uint8_t>(value);
    character.startMisread = startMisread;
    if (startMisread) {
        character.certainty[0] = 0;
    }
    character.stopBad = pending[9].value != Bit::one;
    current.end = pending[9].end;
    current.characters.push_back(character);
    pending.erase(pending.begin(), pending.begin() + 10);
    secondOfPair = !secondOfPair;
}

CharacterFramer::Status CharacterFramer::process(bool final) {
    while (state != State::done) {
        if (pending.empty()) {
            if (!final) {
                return status;
            }
            if (state == State::footer) {
                break;
            }
            return fail("the recording ends inside the load", current.end);
        }
        const Bit& first = pending.front();
        if (state == State::sync) {
            const std::optional<bool> sync = syncAhead(final);
            if (!sync.has_value()) {
                return status;
            }
            if (!*sync) {
                return fail("no sync character after the header tone", first.start);
            }
            current.end = pending[9].end;
            pending.erase(pending.begin(), pending.begin() + 10);
            state = State::data;
            continue;
        }
        if (state == State::footer) {
            if (first.value == Bit::one) {
                ++current.footerCycles;
                current.footerEnd = first.end;
                current.end = first.end;
                pending.pop_front();
                continue;
            }
            if (first.value == Bit::zero) {
                // Either the next load's sync character (the footer ran into its header)
                // or a cycle that noise shortened inside the footer.
                const std::optional<bool> sync = syncAhead(final);
                if (!sync.has_value()) {
                    return status;
                }
                if (!*sync) {
                    // A lone 0 among 1s is noise in the footer; anything else ends it.
                    const std::size_t look = 4;
                    if (pending.size() < look && !final) {
                        return status;
                    }
                    bool lone = pending.size() >= look;
                    for (std::size_t i = 1; lone && i < look; ++i) {
                        lone = pending[i].value == Bit::one;
                    }
                    if (!lone) {
                        break;
                    }
                    ++current.footerCycles;
                    current.footerEnd = first.end;
                    current.end = first.end;
                    pending.pop_front();
                    continue;
                }
                rest.assign(pending.begin(), pending.end());
            }
            break;
        }
        // A start bit's place.
        if (first.value == Bit::invalid) {
            return fail("the signal is lost inside the data", first.start);
        }
        bool misread = false;
        if (first.value == Bit::one) {
            const std::optional<bool> end = endConfirmed(final);
            if (!end.has_value()) {
                return status;
            }
            if (*end) {
                if (secondOfPair) {
                    // The filler: its eight data bits, left out of the sum.
                    unsigned filler = 0;
                    for (std::size_t i = 1; i <= 8 && i < pending.size(); ++i) {
                        if (pending[i].value != Bit::zero) {
                            filler |= 1u << (i - 1);
                        }
                    }
                    current.hasFiller = true;
                    current.filler = static_cast<std::uint8_t>(filler);
                    const std::size_t used = std::min<std::size_t>(10, pending.size());
                    current.end = pending[used - 1].end;
                    const double after = current.end;
                    pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
                    startFooter(after);
                } else {
                    startFooter(first.start);
                }
                continue;
            }
            misread = true;
        }
        if (pending.size() < 10) {
            const bool lost = std::any_of(pending.begin(), pending.end(),
                                          [](const Bit& b) { return b.value == Bit::invalid; });
            if (!final && !lost) {
                return status;
            }
            return fail("the signal is lost inside a character", pending.back().start);
        }
        for (std::size_t i = 1; i < 10; ++i) {
            if (pending[i].value == Bit::invalid) {
                return fail("the signal is lost inside a character", pending[i].start);
            }
        }
        if (current.characters.size() >= maximumCharacters) {
            return fail("longer than any load: no end found", first.start);
        }
        takeCharacter(misread);
    }
    current.complete = true;
    state = State::done;
    status = Status::finished;
    pending.clear();
    return status;
}

}  // namespace kelvanto::decode
