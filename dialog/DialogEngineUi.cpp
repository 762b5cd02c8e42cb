#include "dialog/DialogEngineUi.h"

#include "app/WindowServices.h"

#include <QLabel>
#include <QProgressBar>

namespace shardix {

void DialogEngineUi::pumpEvents() {
    services().pumpEvents();
}

void DialogEngineUi::setProgressMin(int value) {
    bar_->setMinimum(value);
}

void DialogEngineUi::setProgressMax(int value) {
    bar_->setMaximum(value);
}

void DialogEngineUi::setProgressValue(int value) {
    bar_->setValue(value);
}

void DialogEngineUi::setProgressVisible(bool visible) {
    inItsPlace_->setVisible(!visible);
    bar_->setVisible(visible);
    label_->setVisible(visible);
}

} // namespace shardix
