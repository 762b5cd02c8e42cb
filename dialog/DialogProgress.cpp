#include "dialog/DialogProgress.h"

#include "platform/WindowServices.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace shardix {

namespace {

// The bar's steps when it shows bytes: fine enough for a smooth bar.
constexpr int kByteSteps = 10000;
// The time left shows once a run has lasted this long, and is written anew at
// most this often, so that it neither jumps at the start nor flickers.
constexpr qint64 kTimeLeftAfterMs = 3000;
constexpr qint64 kTimeLeftEveryMs = 500;

const QString kPercent = QStringLiteral("%p%");

} // namespace

DialogProgress::DialogProgress(WindowServices& ui, QProgressBar* bar, QLabel* label,
                               QWidget* inItsPlace)
    : ui_(ui), bar_(bar), label_(label), inItsPlace_(inItsPlace) {
    bar_->setTextVisible(true);
    bar_->setFormat(kPercent);
    bar_->setAlignment(Qt::AlignCenter);
}

void DialogProgress::setBusy(bool busy) {
    ui_.setBusy(busy);
}

void DialogProgress::showFailure(const QString& message, MessageIcon icon) {
    ui_.setBusy(false);
    ui_.messageBox(message, icon, kAppTitle);
}

void DialogProgress::showMessage(const QString& message) {
    ui_.messageBox(message, MessageButtons::Ok, kAppTitle);
}

void DialogProgress::hideProgress() {
    label_->hide();
    bar_->hide();
}

void DialogProgress::startRun() {
    stopAsked_ = false;
    forgetWritten();
    byBytes_ = false;
    firstDone_.reset();
    textShownAt_ = -1;
    bar_->setFormat(kPercent);
    clock_.start();
}

void DialogProgress::pumpEvents() {
    ui_.pumpEvents();
}

void DialogProgress::setProgressMin(int value) {
    if (!byBytes_)
        bar_->setMinimum(value);
}

void DialogProgress::setProgressMax(int value) {
    if (!byBytes_)
        bar_->setMaximum(value);
}

void DialogProgress::setProgressValue(int value) {
    if (!byBytes_)
        bar_->setValue(value);
}

void DialogProgress::setProgressVisible(bool visible) {
    inItsPlace_->setVisible(!visible);
    bar_->setVisible(visible);
    label_->setVisible(visible);
}

void DialogProgress::setBytesDone(std::int64_t done, std::int64_t total) {
    if (!byBytes_) {
        byBytes_ = true;
        bar_->setRange(0, kByteSteps);
    }
    if (!clock_.isValid())
        clock_.start();
    if (!firstDone_)
        firstDone_ = done;
    const std::int64_t steps =
        total > 0 ? std::min<std::int64_t>(done, total) * kByteSteps / total : kByteSteps;
    bar_->setValue(static_cast<int>(steps));

    if (done >= total) {
        bar_->setFormat(kPercent);
        return;
    }
    const qint64 elapsed = clock_.elapsed();
    if (elapsed < kTimeLeftAfterMs ||
        (textShownAt_ >= 0 && elapsed - textShownAt_ < kTimeLeftEveryMs))
        return;
    const double rate = static_cast<double>(done - *firstDone_) / (elapsed / 1000.0);
    if (rate <= 0)
        return;
    textShownAt_ = elapsed;
    bar_->setFormat(kPercent + QStringLiteral(", about ") +
                    timeText(static_cast<double>(total - done) / rate) + QStringLiteral(" left"));
}

QString DialogProgress::timeText(double seconds) {
    const auto s = static_cast<long long>(seconds + 0.5);
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
}

} // namespace shardix
