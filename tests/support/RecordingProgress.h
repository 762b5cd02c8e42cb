#pragma once

#include "engines/io/RunProgress.h"

#include <functional>
#include <string>
#include <vector>

namespace shardix::testing {

// An engine run's observer for tests: counts event pumps and records the
// progress calls in order ("min 1", "max 3", "value 2", "visible 1").
class RecordingProgress : public RunProgress {
  public:
    void pumpEvents() override {
        if (++pumps; onPump)
            onPump(pumps);
    }
    void setProgressMin(int v) override { log.push_back("min " + std::to_string(v)); }
    void setProgressMax(int v) override { log.push_back("max " + std::to_string(max = v)); }
    void setProgressValue(int v) override {
        values.push_back(v);
        log.push_back("value " + std::to_string(v));
    }
    void setProgressVisible(bool v) override { log.push_back("visible " + std::to_string(v)); }
    bool stopRequested() override { return stop; }

    std::vector<std::string> log;
    std::vector<int> values;
    std::function<void(int)> onPump; // called with the running count of pumps
    int max = 0, pumps = 0;
    bool stop = false; // asks the run to stop
};

} // namespace shardix::testing
