#pragma once

#include "engines/io/RunProgress.h"
#include "platform/MessageStyle.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QProgressBar;
class QWidget;

namespace shardix {

class WindowServices;

// What the operation dialog makes of a run: the busy pointer while it lasts,
// the engine's progress on the dialog's bar (shown and hidden together with its
// "Working:" label, in place of the step's caption), and its failures and its
// end in message boxes (OK only, no icon, the title kAppTitle). The bar shows
// the percentage of the bytes done and, once a run has lasted a few seconds,
// the time left; until the engine tells bytes, it follows the engine's steps.
class DialogProgress : public RunProgress {
  public:
    DialogProgress(WindowServices& ui, QProgressBar* bar, QLabel* label, QWidget* inItsPlace);

    // The window services the run's boxes and its event pump go through.
    WindowServices& ui() { return ui_; }

    // The busy pointer, set for the whole of a run.
    void setBusy(bool busy);
    // A failure: the busy pointer back to normal, and its message in a box,
    // with `icon`.
    void showFailure(const QString& message, MessageIcon icon = MessageIcon::None);
    // A message in a box; the busy pointer is left as it is.
    void showMessage(const QString& message);
    // The bar and its label hidden.
    void hideProgress();

    // A run begins: no stop asked for, the bar by the engine's steps, the
    // clock of the time left started.
    void startRun();
    // Asks the run under way to stop (stopRequested).
    void requestStop() { stopAsked_ = true; }

    void pumpEvents() override;
    void setProgressMin(int value) override;
    void setProgressMax(int value) override;
    void setProgressValue(int value) override;
    void setProgressVisible(bool visible) override;
    void setBytesDone(std::int64_t done, std::int64_t total) override;
    bool stopRequested() override { return stopAsked_; }

    // The time left as the bar shows it: "35 s", "2 min 05 s", "1 h 10 min".
    static QString timeText(double seconds);

  private:
    WindowServices& ui_;
    QProgressBar* bar_;
    QLabel* label_;
    QWidget* inItsPlace_;
    bool stopAsked_ = false;
    bool byBytes_ = false;
    QElapsedTimer clock_;
    std::optional<std::int64_t> firstDone_; // bytes there before the run, as an appended target's
    qint64 textShownAt_ = -1;               // when the time left was last written, on clock_
};

} // namespace shardix
