#pragma once

#include "engines/RunProgress.h"

#include <QString>

class QLabel;
class QProgressBar;
class QWidget;

namespace shardix {

class WindowServices;

// What the operation dialog makes of a run: the busy pointer while it lasts,
// the engine's progress on the dialog's bar (shown and hidden together with its
// "Working:" label, in place of the step's caption), and its failures and its
// end in message boxes (OK only, no icon, the title kAppTitle).
class DialogProgress : public RunProgress {
  public:
    DialogProgress(WindowServices& ui, QProgressBar* bar, QLabel* label, QWidget* inItsPlace)
        : ui_(ui), bar_(bar), label_(label), inItsPlace_(inItsPlace) {}

    // The busy pointer, set for the whole of a run.
    void setBusy(bool busy);
    // A failure: the busy pointer back to normal, and its message in a box.
    void showFailure(const QString& message);
    // A message in a box; the busy pointer is left as it is.
    void showMessage(const QString& message);
    // The bar and its label hidden.
    void hideProgress();

    void pumpEvents() override;
    void setProgressMin(int value) override;
    void setProgressMax(int value) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;

  private:
    WindowServices& ui_;
    QProgressBar* bar_;
    QLabel* label_;
    QWidget* inItsPlace_;
};

} // namespace shardix
