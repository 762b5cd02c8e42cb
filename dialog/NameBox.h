#pragma once

#include <QLineEdit>

namespace shardix {

// A one-line box that selects its whole text when it gets the focus and runs
// enterPressed on Enter. Every other key reaches the box unchanged.
class NameBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit NameBox(QWidget* parent = nullptr) : QLineEdit(parent) {}

  signals:
    void gotFocus();
    void enterPressed();

  protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool focusedByClick_ = false;
};

} // namespace shardix
