#include "dialog/DialogProgress.h"

#include "platform/WindowServices.h"

#include <QLabel>
#include <QProgressBar>

namespace shardix {

void DialogProgress::setBusy(bool busy) {
    ui_.setBusy(busy);
}

void DialogProgress::showFailure(const QString& message) {
    ui_.setBusy(false);
    showMessage(message);
}

void DialogProgress::showMessage(const QString& message) {
    ui_.messageBox(message, MessageStyle::Ok, kAppTitle);
}

void DialogProgress::hideProgress() {
    label_->hide();
    bar_->hide();
}

void DialogProgress::pumpEvents() {
    ui_.pumpEvents();
}

void DialogProgress::setProgressMin(int value) {
    bar_->setMinimum(value);
}

void DialogProgress::setProgressMax(int value) {
    bar_->setMaximum(value);
}

void DialogProgress::setProgressValue(int value) {
    bar_->setValue(value);
}

void DialogProgress::setProgressVisible(bool visible) {
    inItsPlace_->setVisible(!visible);
    bar_->setVisible(visible);
    label_->setVisible(visible);
}

} // namespace shardix
