#pragma once

#include "engines/EngineUi.h"

class QLabel;
class QProgressBar;

namespace shardix {

// What the engines see of the operation dialog: boxes, the busy pointer and the
// event pump through the window services, progress on the dialog's bar, shown
// and hidden together with its "Working:" label.
class DialogEngineUi : public EngineUi {
public:
    // The bar and its label, once the dialog has made them.
    void attach(QProgressBar* bar, QLabel* label) {
        bar_ = bar;
        label_ = label;
    }

    void pumpEvents() override;
    int messageBox(const std::string& text, int style, const std::string& title) override;
    void setBusy(bool busy) override;
    void setProgressMin(int value) override;
    void setProgressMax(int value) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;

private:
    QProgressBar* bar_ = nullptr;
    QLabel* label_ = nullptr;
};

} // namespace shardix
