#pragma once

#include "engines/EngineUi.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace shardix::testing {

// An engine front-end for tests: records what the engine did, in order, as short
// texts ("pump", "min 1", "max 3", "value 2", "visible 1", "busy 0",
// "box 0 <title>: <text>"), and answers boxes from a queue (default: OK or Yes).
class RecordingUi : public EngineUi {
public:
    void pumpEvents() override {
        log.push_back("pump");
        if (onPump)
            onPump(++pumps);
        else
            ++pumps;
    }
    int messageBox(const std::string& text, int style, const std::string& title) override {
        messages.push_back(text);
        styles.push_back(style);
        titles.push_back(title.empty() ? std::string(kDefaultTitle) : title);
        log.push_back("box " + std::to_string(style) + " " + titles.back() + ": " + text);
        if (answers.empty())
            return (style & 0x7) == 4 ? MsgAnswer::Yes : MsgAnswer::Ok;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    void setBusy(bool b) override {
        busy = b;
        log.push_back(std::string("busy ") + (b ? "1" : "0"));
    }
    void setProgressMin(int v) override {
        min = v;
        log.push_back("min " + std::to_string(v));
    }
    void setProgressMax(int v) override {
        max = v;
        log.push_back("max " + std::to_string(v));
    }
    void setProgressValue(int v) override {
        value = v;
        values.push_back(v);
        log.push_back("value " + std::to_string(v));
    }
    void setProgressVisible(bool v) override {
        visible = v;
        log.push_back(std::string("visible ") + (v ? "1" : "0"));
    }

    int count(const std::string& entry) const {
        int n = 0;
        for (const auto& e : log)
            n += e == entry;
        return n;
    }

    std::vector<std::string> log;
    std::vector<std::string> messages;
    std::vector<int> styles;
    std::vector<std::string> titles;
    std::vector<int> values;
    std::deque<int> answers;
    std::function<void(int)> onPump; // called with the running count of pumps
    bool busy = false;
    bool visible = false;
    int min = 0, max = 0, value = 0, pumps = 0;
};

} // namespace shardix::testing
