#pragma once

#include <QLabel>

namespace shardix {

class WindowServices;

// A label that behaves as a link: teal at rest, blue under the pointer (both
// lightened on a dark background), and a click that asks the desktop for a new
// mail message to its text.
class MailLabel : public QLabel {
    Q_OBJECT

  public:
    MailLabel(WindowServices& ui, const QString& address, QWidget* parent = nullptr);

    static constexpr QRgb kRestColor = 0x008080;
    static constexpr QRgb kHoverColor = 0x0000ff;

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void setTextColor(QRgb color);

    WindowServices& ui_;
};

} // namespace shardix
