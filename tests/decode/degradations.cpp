// SPDX-License-Identifier: MIT
// Seeded degradations of test recordings (see degradations.h).
// Filters here are the tests' own, independent of the decoder's.
#include "tests/decode/degradations.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace decode_testing {

namespace {

constexpr double pi = std::numbers::pi;

// A plain second-order section for the degradations, independent of the decoder's filters.
struct Section {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double run(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Section section(double rate, double corner, bool high) {
    const double w = 2 * pi * corner / rate;
    const double alpha = std::sin(w) / std::sqrt(2.0);
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    const double g = high ? (1 + c) / 2 : (1 - c) / 2;
    const double b1 = high ? -(1 + c) : (1 - c);
    return Section{g / a0, b1 / a0, g / a0, -2 * c / a0, (1 - alpha) / a0};
}

void filter(Recording& recording, double corner, bool high) {
    for (int c = 0; c < recording.channels; ++c) {
        Section s = section(recording.rate, corner, high);
        for (std::size_t i = static_cast<std::size_t>(c); i < recording.samples.size();
             i += static_cast<std::size_t>(recording.channels)) {
            recording.samples[i] = static_cast<float>(s.run(recording.samples[i]));
        }
    }
}

template <typename Change>
void eachSample(Recording& recording, Change change) {
    const std::size_t width = static_cast<std::size_t>(recording.channels);
    for (std::size_t i = 0; i < recording.samples.size(); ++i) {
        const double t = static_cast<double>(i / width) / recording.rate;
        recording.samples[i] = static_cast<float>(change(recording.samples[i], t));
    }
}

double sinc(double x) {
    return std::fabs(x) < 1e-9 ? 1.0 : std::sin(pi * x) / (pi * x);
}

}  // namespace

double signalPower(const Recording& recording) {
    // The converter's silence is its middle level; only samples away from it count.
    const float middle = -1639.0f / 32768.0f;
    double sum = 0;
    double mean = 0;
    std::size_t count = 0;
    for (const float x : recording.samples) {
        if (std::fabs(x - middle) > 0.02f) {
            mean += x;
            sum += static_cast<double>(x) * x;
            ++count;
        }
    }
    if (count == 0) {
        return 0;
    }
    mean /= static_cast<double>(count);
    return sum / static_cast<double>(count) - mean * mean;
}

void addNoise(Recording& recording, double snrDb, unsigned seed) {
    const double sigma = std::sqrt(signalPower(recording) / std::pow(10.0, snrDb / 10.0));
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, sigma);
    for (float& x : recording.samples) {
        x = static_cast<float>(x + normal(random));
    }
}

Recording resample(const Recording& in, int rate, const std::function<double(double)>& warp) {
    Recording out;
    out.rate = rate;
    out.channels = in.channels;
    const double inFrames = static_cast<double>(in.frames());
    const double duration = inFrames / in.rate;
    // Output length: until the warped time passes the end of the input.
    std::size_t frames = 0;
    while (warp(static_cast<double>(frames) / rate) < duration) {
        ++frames;
    }
    const double localSpeed = (warp(1.0) - warp(0.0));
    const double cutoff = std::min(1.0, static_cast<double>(rate) / (in.rate * localSpeed)) * 0.92;
    const int half = 24;
    out.samples.resize(frames * static_cast<std::size_t>(in.channels));
    for (std::size_t n = 0; n < frames; ++n) {
        const double position = warp(static_cast<double>(n) / rate) * in.rate;
        const long centre = static_cast<long>(std::floor(position));
        for (int c = 0; c < in.channels; ++c) {
            double sum = 0;
            for (long k = centre - half + 1; k <= centre + half; ++k) {
                if (k < 0 || k >= static_cast<long>(inFrames)) {
                    continue;
                }
                const double d = position - static_cast<double>(k);
                const double window = 0.5 + 0.5 * std::cos(pi * d / half);
                sum +=
                    in.samples[static_cast<std::size_t>(k) * static_cast<std::size_t>(in.channels) +
                               static_cast<std::size_t>(c)] *
                    cutoff * sinc(cutoff * d) * window;
            }
            out.samples[n * static_cast<std::size_t>(in.channels) + static_cast<std::size_t>(c)] =
                static_cast<float>(sum);
        }
    }
    return out;
}

Recording speed(const Recording& recording, double factor) {
    return resample(recording, recording.rate, [factor](double t) { return t * factor; });
}

Recording wowAndFlutter(const Recording& recording, double wowDepth, double wowHz,
                        double flutterDepth, double flutterHz) {
    // Speed 1 + d sin(2 pi f t) integrates to this playback position.
    return resample(recording, recording.rate, [=](double t) {
        return t + wowDepth / (2 * pi * wowHz) * (1 - std::cos(2 * pi * wowHz * t)) +
               flutterDepth / (2 * pi * flutterHz) * (1 - std::cos(2 * pi * flutterHz * t));
    });
}

void lowPass(Recording& recording, double corner) {
    filter(recording, corner, false);
}
void highPass(Recording& recording, double corner) {
    filter(recording, corner, true);
}

void scale(Recording& recording, double gain) {
    eachSample(recording, [gain](double x, double) { return x * gain; });
}

void addOffset(Recording& recording, double offset) {
    eachSample(recording, [offset](double x, double) { return x + offset; });
}

void clip(Recording& recording, double limit) {
    eachSample(recording, [limit](double x, double) { return std::clamp(x, -limit, limit); });
}

void quantise(Recording& recording, int bits) {
    const double steps = std::pow(2.0, bits - 1);
    eachSample(recording, [steps](double x, double) {
        return std::clamp(std::round(x * steps), -steps, steps - 1) / steps;
    });
}

void addHum(Recording& recording, double amplitude) {
    eachSample(recording, [amplitude](double x, double t) {
        return x + amplitude * std::sin(2 * pi * 50 * t) +
               amplitude / 3 * std::sin(2 * pi * 150 * t + 0.5);
    });
}

void driftLevel(Recording& recording, double depth, double hz) {
    eachSample(recording,
               [=](double x, double t) { return x * (1 + depth * std::sin(2 * pi * hz * t)); });
}

void dropout(Recording& recording, double atSeconds, double seconds) {
    eachSample(recording, [=](double x, double t) {
        return t >= atSeconds && t < atSeconds + seconds ? 0.0 : x;
    });
}

Recording stereoWithSkew(const Recording& mono, double skewSeconds) {
    const Recording late =
        resample(mono, mono.rate, [skewSeconds](double t) { return t - skewSeconds; });
    Recording out;
    out.rate = mono.rate;
    out.channels = 2;
    for (std::size_t i = 0; i < mono.frames(); ++i) {
        out.samples.push_back(mono.samples[i]);
        out.samples.push_back(i < late.frames() ? late.samples[i] : 0.0f);
    }
    return out;
}

Recording summedToMono(const Recording& recording) {
    Recording mono;
    mono.rate = recording.rate;
    const auto width = static_cast<std::size_t>(recording.channels);
    for (std::size_t i = 0; i < recording.frames(); ++i) {
        float sum = 0.0f;
        for (std::size_t c = 0; c < width; ++c) {
            sum += recording.samples[i * width + c];
        }
        mono.samples.push_back(sum / static_cast<float>(width));
    }
    return mono;
}

Recording stereoWithNoiseChannel(const Recording& mono, unsigned seed) {
    Recording noise = mono;
    const double power = signalPower(mono);
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, std::sqrt(power));
    Recording out;
    out.rate = mono.rate;
    out.channels = 2;
    for (std::size_t i = 0; i < mono.frames(); ++i) {
        out.samples.push_back(static_cast<float>(normal(random)));
        out.samples.push_back(mono.samples[i]);
    }
    return out;
}

Recording resampleLinear(const Recording& in, int rate) {
    Recording out;
    out.rate = rate;
    out.channels = in.channels;
    const std::size_t width = static_cast<std::size_t>(in.channels);
    const std::size_t inFrames = in.frames();
    if (inFrames < 2) {
        return out;
    }
    const double step = static_cast<double>(in.rate) / rate;
    const auto frames = static_cast<std::size_t>(static_cast<double>(inFrames - 1) / step);
    out.samples.resize(frames * width);
    for (std::size_t n = 0; n < frames; ++n) {
        const double position = static_cast<double>(n) * step;
        const auto k = static_cast<std::size_t>(position);
        const double f = position - static_cast<double>(k);
        for (std::size_t c = 0; c < width; ++c) {
            const double a = in.samples[k * width + c];
            const double b = in.samples[(k + 1) * width + c];
            out.samples[n * width + c] = static_cast<float>(a + f * (b - a));
        }
    }
    return out;
}

Recording wornCassette(const Recording& recording, double severity, unsigned seed) {
    const double s = std::max(0.0, severity);
    Recording worn = s > 0 ? wowAndFlutter(recording, 0.02 * s, 0.5, 0.004 * s, 8.0) : recording;
    const double power = signalPower(worn);
    lowPass(worn, 9000.0 / (1.0 + s));
    // Dropouts: the oxide is thin or lifted here, and the level dips for a moment.
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const double duration = static_cast<double>(worn.frames()) / worn.rate;
    const double floor = std::max(0.1, 1.0 - 0.25 * s);
    std::vector<double> dips;
    for (double t = 0; s > 0;) {
        t += -std::log(1.0 - uniform(random)) / s;
        if (t >= duration) {
            break;
        }
        dips.push_back(t);
    }
    const double dipSeconds = 0.015;
    std::size_t next = 0;
    const std::size_t width = static_cast<std::size_t>(worn.channels);
    for (std::size_t i = 0; i < worn.frames(); ++i) {
        const double t = static_cast<double>(i) / worn.rate;
        while (next < dips.size() && dips[next] + dipSeconds < t) {
            ++next;
        }
        double gain = 1.0;
        if (next < dips.size() && t >= dips[next]) {
            // A smooth dip (raised cosine) so that it takes the level, not the timing.
            const double x = (t - dips[next]) / dipSeconds;
            gain = 1.0 - (1.0 - floor) * 0.5 * (1.0 - std::cos(2 * pi * x));
        }
        for (std::size_t c = 0; c < width; ++c) {
            worn.samples[i * width + c] = static_cast<float>(worn.samples[i * width + c] * gain);
        }
    }
    // Hiss at a level set against the signal before the damage.
    const double sigma = std::sqrt(power / std::pow(10.0, (36.0 - 8.0 * s) / 10.0));
    std::normal_distribution<double> normal(0.0, sigma);
    for (float& x : worn.samples) {
        x = static_cast<float>(x + normal(random));
    }
    return worn;
}

}  // namespace decode_testing
