#include "cli/ConsoleProgress.h"

#include <cstdio>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace shardix::cli {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM};

// `bytes` in the largest binary unit that keeps a number from 1 up: "3.5 MiB".
std::string amount(double bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 6) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

// `seconds` rounded, in the two largest units: "12 s", "3 min 05 s", "2 h 07 min".
std::string duration(double seconds) {
    const auto s = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (s < 60)
        std::snprintf(text, sizeof text, "%lld s", s);
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%lld min %02lld s", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld h %02lld min", s / 3600, s / 60 % 60);
    return text;
}

// `line` cut to one character less than the terminal's width, so that it never wraps.
void fitToTerminal(std::string& line) {
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
        line.size() >= size.ws_col)
        line.resize(size.ws_col - 1u);
}

} // namespace

StopSignals::StopSignals() {
    sigemptyset(&held_);
    for (int signal : kStopSignals) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
            sigaddset(&held_, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &held_, nullptr);
}

int StopSignals::received() const {
    sigset_t pending;
    if (::sigpending(&pending) != 0)
        return 0;
    for (int signal : kStopSignals) {
        if (sigismember(&held_, signal) == 1 && sigismember(&pending, signal) == 1)
            return signal;
    }
    return 0;
}

ConsoleProgress::ConsoleProgress(const char* verb, bool quiet, bool stoppable)
    : verb_(verb), shown_(!quiet && isatty(STDERR_FILENO)), start_(Clock::now()) {
    if (stoppable)
        stop_.emplace();
}

ConsoleProgress::~ConsoleProgress() {
    endLine();
}

void ConsoleProgress::setBytesDone(std::int64_t done, std::int64_t total) {
    if (!shown_)
        return;
    const Clock::time_point now = Clock::now();
    if (!firstDone_)
        firstDone_ = done; // bytes that were there before the run, as an appended target's
    if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(250))
        return;
    lastDrawn_ = now;
    draw(done, total, std::chrono::duration<double>(now - start_).count());
}

void ConsoleProgress::endLine() {
    if (drawn_)
        std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

void ConsoleProgress::draw(std::int64_t done, std::int64_t total, double seconds) {
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    // Of a stream, whose length is not known, only what is done and the rate.
    std::string line =
        std::string(verb_) + ": " +
        (total < 0 ? amount(static_cast<double>(done))
                   : std::to_string(percent) + "%  " + amount(static_cast<double>(done)) + " of " +
                         amount(static_cast<double>(total)));
    const double rate = seconds > 0.05 ? static_cast<double>(done - *firstDone_) / seconds : 0;
    if (rate > 0)
        line += "  " + amount(rate) + "/s";
    if (rate > 0 && total >= 0)
        line += "  " + duration(static_cast<double>(total - done) / rate) + " left";
    fitToTerminal(line);
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

} // namespace shardix::cli
