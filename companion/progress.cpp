// SPDX-License-Identifier: MIT
// The progress line: a thread redraws it every quarter second with a carriage return and an
// erase to the end of the line, so the work itself never waits for the terminal.
#include "companion/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "base/printable.h"

namespace {

constexpr std::chrono::milliseconds redrawEvery{250};
// Carriage return, then erase to the end of the line (ECMA-48 EL).
constexpr const char* eraseLine = "\r\x1b[K";

std::size_t terminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return size.ws_col - 1u;
    }
    return 79;
}

void writeAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(STDERR_FILENO, bytes.data() + done, bytes.size() - done);
        if (put <= 0) {
            return;  // a progress line is worth no error of its own
        }
        done += static_cast<std::size_t>(put);
    }
}

}  // namespace

bool progressWanted(bool quiet) {
    return !quiet && ::isatty(STDERR_FILENO) == 1;
}

ProgressLine::ProgressLine(bool enabled, std::chrono::milliseconds delay)
    : running(progressWanted(!enabled)), start(std::chrono::steady_clock::now()), delay(delay) {
    if (running) {
        painter = std::thread([this] { run(); });
    }
}

ProgressLine::~ProgressLine() {
    finish();
}

void ProgressLine::set(std::string value) {
    if (!running) {
        return;
    }
    const std::lock_guard<std::mutex> guard(lock);
    text = std::move(value);
    // Work that shows its line at once shows the first text the moment it is known.
    if (!drawn && delay.count() == 0) {
        draw();
    }
}

void ProgressLine::finish() {
    if (!running) {
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(lock);
        stop = true;
    }
    wake.notify_all();
    painter.join();
    running = false;
    if (drawn) {
        writeAll(eraseLine);
    }
}

void ProgressLine::run() {
    std::unique_lock<std::mutex> guard(lock);
    if (wake.wait_until(guard, start + delay, [this] { return stop; })) {
        return;
    }
    while (!stop) {
        draw();
        wake.wait_for(guard, redrawEvery, [this] { return stop; });
    }
}

void ProgressLine::draw() {
    if (text.empty()) {
        return;
    }
    // Names in the text come from the user: never raw to the terminal.
    std::string line = kelvanto::printable(text);
    const std::size_t width = terminalWidth();
    if (line.size() > width) {
        line.resize(width);
    }
    writeAll(eraseLine + line);
    drawn = true;
}
