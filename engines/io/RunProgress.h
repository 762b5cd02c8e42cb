#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

// What an engine run tells whoever drives it (the desktop dialog, the
// command-line tool, a test): how far it has got, and when pending window
// events may run. Engines include no window toolkit and show nothing.
class RunProgress {
  public:
    virtual ~RunProgress() = default;

    // Lets pending window events run (repaint, progress). Handlers may run inside.
    virtual void pumpEvents() = 0;

    // The progress display. Engines set Min, Max and Value in that order before
    // they show it.
    virtual void setProgressMin(int value) = 0;
    virtual void setProgressMax(int value) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setProgressVisible(bool visible) = 0;

    // How many of the bytes the run copies or checks are done, out of `total`,
    // for a display that shows amounts and a rate; `total` is below 0 when it
    // is not known (a stream, read until it ends). Told as the work advances;
    // displays that show only the values above need not follow it.
    virtual void setBytesDone(std::int64_t done, std::int64_t total) {
        (void)done;
        (void)total;
    }

    // Whether the one who drives the run asked it to stop (Cancel in the dialog,
    // an interrupt in the tool). Engines ask between the pieces they copy and
    // while they wait for their checksums, and then end with a failure that
    // names the output and what it holds (stopIfAsked in Copy.h). Once asked,
    // it stays asked until the run has ended.
    virtual bool stopRequested() { return false; }

    // An output file the run begins to write, one it creates or one it extends
    // in place (not one written beside its place, which a stop removes): told
    // by the engines before its first byte, so that a stopped run can say all
    // it left (stoppedAccount in StopAccount.h).
    // A progress that forwards to another forwards this too.
    virtual void writing(const std::string& path) { written_.push_back(path); }
    const std::vector<std::string>& written() const { return written_; }
    void forgetWritten() { written_.clear(); }

  private:
    std::vector<std::string> written_;
};

} // namespace shardix
