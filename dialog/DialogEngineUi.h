#pragma once

#include "engines/RunProgress.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace shardix {

// What the engines see of the operation dialog: the event pump through the
// window services, progress on the dialog's bar, shown and hidden together with
// its "Working:" label.
class DialogEngineUi : public RunProgress {
  public:
    // The bar and its label, once the dialog has made them, and what the bar
    // takes the place of while it is shown.
    void attach(QProgressBar* bar, QLabel* label, QWidget* inItsPlace) {
        bar_ = bar;
        label_ = label;
        inItsPlace_ = inItsPlace;
    }

    void pumpEvents() override;
    void setProgressMin(int value) override;
    void setProgressMax(int value) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;

  private:
    QProgressBar* bar_ = nullptr;
    QLabel* label_ = nullptr;
    QWidget* inItsPlace_ = nullptr;
};

} // namespace shardix
