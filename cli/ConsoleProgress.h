#pragma once

#include "engines/io/RunProgress.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string>

namespace shardix::cli {

// SIGINT and SIGTERM during a run that writes: held back (blocked) from the
// start of the run, so that they do not end the process in the middle of a
// piece, and polled by the engine between its pieces (sigpending), which then
// stops with a message naming what it left. No handler runs and nothing is
// shared with one. A signal that the process was told to ignore stays ignored.
// They stay blocked until the process ends, with status 128 + the signal.
class StopSignals {
  public:
    StopSignals();

    // The signal that asked the run to stop, or 0.
    int received() const;

  private:
    sigset_t held_;
};

// Progress on standard error, when it is a terminal: one line, rewritten at
// most four times a second, that shows how much is done, the rate and the time
// left, and is cleared at the end.
class ConsoleProgress : public RunProgress {
  public:
    // `verb` names the command on the line. A run that writes may be
    // `stoppable` by SIGINT and SIGTERM (StopSignals); one that only reads
    // ends at once as they say.
    ConsoleProgress(const char* verb, bool quiet, bool stoppable = true);
    ~ConsoleProgress() override;

    void pumpEvents() override {}
    void setProgressMin(int) override {}
    void setProgressMax(int) override {}
    void setProgressValue(int) override {}
    void setProgressVisible(bool) override {}
    bool stopRequested() override { return stoppedBy() != 0; }
    void setBytesDone(std::int64_t done, std::int64_t total) override;

    // The command the line names.
    const char* verb() const { return verb_; }
    // The signal that stopped the run, or 0.
    int stoppedBy() const { return stop_ ? stop_->received() : 0; }
    // Clears the progress line, so that a message starts at the line's beginning.
    void endLine();

  private:
    using Clock = std::chrono::steady_clock;

    void draw(std::int64_t done, std::int64_t total, double seconds);

    const char* verb_;
    bool shown_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDrawn_;
    std::optional<std::int64_t> firstDone_;
    std::optional<StopSignals> stop_; // held back before the engine starts its threads
};

} // namespace shardix::cli
