#pragma once

#include "platform/WindowServices.h"

#include <QIcon>

namespace shardix {

// The window services of the desktop, built on Qt Widgets.
class QtWindowServices : public WindowServices {
  public:
    MessageAnswer messageBox(const QString& text, MessageStyle style = {},
                             const QString& title = {}) override;
    void setBusy(bool busy) override;
    bool isBusy() const override { return busy_; }
    void pumpEvents() override;
    QString getOpenFileName(const QString& title, const QString& folder) override;
    bool openUrl(const QString& url) override;

  private:
    bool busy_ = false;
    QIcon icon_; // the program's icon for the boxes, drawn once
};

} // namespace shardix
