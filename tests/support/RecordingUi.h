#pragma once

#include "engines/EngineUi.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace shardix::testing {

// An engine front-end for tests: counts event pumps, records boxes and the progress
// calls in order ("min 1", "max 3", "value 2", "visible 1"), and answers boxes from
// a queue (default: Yes for a Yes/No box, else OK).
class RecordingUi : public EngineUi {
public:
    void pumpEvents() override {
        if (++pumps; onPump)
            onPump(pumps);
    }
    int messageBox(const std::string& text, int style, const std::string& title) override {
        messages.push_back(text);
        styles.push_back(style);
        titles.push_back(title.empty() ? kDefaultTitle : title);
        const int a =
            answers.empty() ? ((style & 7) == 4 ? MsgAnswer::Yes : MsgAnswer::Ok) : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return a;
    }
    void setBusy(bool b) override { busy = b; }
    void setProgressMin(int v) override { log.push_back("min " + std::to_string(v)); }
    void setProgressMax(int v) override { log.push_back("max " + std::to_string(max = v)); }
    void setProgressValue(int v) override {
        values.push_back(v);
        log.push_back("value " + std::to_string(v));
    }
    void setProgressVisible(bool v) override { log.push_back("visible " + std::to_string(v)); }

    std::vector<std::string> log, messages, titles;
    std::vector<int> styles, values;
    std::deque<int> answers;
    std::function<void(int)> onPump; // called with the running count of pumps
    bool busy = false;
    int max = 0, pumps = 0;
};

} // namespace shardix::testing
