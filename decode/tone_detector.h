// Finds the header tone: a long steady run of 1-bit cycles within the speed range a tape
// machine can plausibly have, and notices the first 0 bit that ends it (the sync character).
#pragma once

#include "decode/cycle.h"

namespace kelvanto::decode {

class ToneDetector {
  public:
    // A tape may run up to about a third slow or fast.
    static constexpr double slowestPeriod = 1.45 * 14.0 / 22050.0;
    static constexpr double fastestPeriod = 0.68 * 14.0 / 22050.0;

    // Cycles in a row that may disagree with a tone before it counts as ended: noisy
    // recordings disturb many single cycles of a tone that is still there.
    static constexpr int maximumOutliers = 4;
    // Pieces of tone closer than this are one tone that a few bad cycles broke.
    static constexpr double joinSeconds = 0.1;

    explicit ToneDetector(double sampleRate) : joinFrames(joinSeconds * sampleRate) {}

    enum class Event {
        none,
        // The cycle just pushed is a 0 bit after a tone of at least minimumToneCycles:
        // it opens the sync character.
        syncStart,
        // A tone of at least minimumToneCycles ended in something that is not a bit. The tone
        // stays readable (start, cycles, mean), and a piece of tone that follows within
        // joinSeconds continues it (with the same start).
        toneEnded,
    };

    Event push(const Cycle& cycle);
    void reset();

    int cycles() const { return count; }
    double meanPeriod() const { return mean; }
    double start() const { return firstStart; }
    double end() const { return lastEnd; }  // frame where the last tone cycle ended
    double amplitude() const { return count > 0 ? amplitudeSum / count : 0.0; }

  private:
    void begin(const Cycle& cycle);

    double joinFrames;
    bool paused = false;
    int count = 0;
    int outliers = 0;
    double mean = 0.0;
    double reference = 0.0;  // mean of the tone's first 32 cycles
    double firstStart = 0.0;
    double lastEnd = 0.0;
    double amplitudeSum = 0.0;
};

}  // namespace kelvanto::decode
