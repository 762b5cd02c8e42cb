#pragma once

#include <string>

namespace shardix {

// Message-box styles: buttons + icon + default button, added together.
namespace MsgStyle {
constexpr int Ok = 0;
constexpr int OkCancel = 1;
constexpr int YesNo = 4;
constexpr int Question = 32;
constexpr int Information = 64;
constexpr int DefaultButton2 = 256;
} // namespace MsgStyle

// The button the user pressed.
namespace MsgAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

// Title of every box that names none of its own (the windows spell it kAppTitle).
inline constexpr const char* kDefaultTitle = "Shardix!";

// What the file engines need from whoever drives them: the desktop dialog, the
// command-line tool, a benchmark or a test. Engines include no window toolkit.
class EngineUi {
public:
    virtual ~EngineUi() = default;

    // Lets pending window events run (repaint, progress). Handlers may run inside.
    virtual void pumpEvents() = 0;

    // A modal message box; returns the answer code (MsgAnswer). An empty title
    // means the application title.
    virtual int messageBox(const std::string& text, int style = MsgStyle::Ok,
                           const std::string& title = {}) = 0;

    // The busy pointer is a state, not a stack: busy or normal.
    virtual void setBusy(bool busy) = 0;

    // The progress bar with its "Working:" label. Engines set Min, Max and Value
    // in that order before they show it.
    virtual void setProgressMin(int value) = 0;
    virtual void setProgressMax(int value) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual void setProgressVisible(bool visible) = 0;
};

} // namespace shardix
