// SPDX-License-Identifier: MIT
// A progress line on standard error for long work: shown only on a terminal (and not with
// --quiet), redrawn in place a few times a second, erased when the work ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class ProgressLine {
  public:
    // enabled: the user did not ask for quiet; the line still shows only when standard error
    // is a terminal. delay: nothing is shown for work that ends sooner.
    ProgressLine(bool enabled, std::chrono::milliseconds delay);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // The text of the line from now on (one line; cut to the terminal's width when drawn).
    void set(std::string text);
    // Erases the line and stops redrawing it, before other output follows. Idempotent.
    void finish();
    bool active() const { return running; }

  private:
    void run();
    void draw();

    bool running = false;
    std::chrono::steady_clock::time_point start;
    std::chrono::milliseconds delay;
    std::mutex lock;
    std::condition_variable wake;
    std::string text;
    bool stop = false;
    bool drawn = false;
    std::thread painter;
};

// Decoding shows its line at once; reading and writing tape images only once they have taken
// this long, so that quick work stays silent.
inline constexpr std::chrono::milliseconds atOnce{0};
inline constexpr std::chrono::milliseconds afterASecond{1000};

// Whether standard error is a terminal, where a progress line makes sense.
bool progressWanted(bool quiet);
