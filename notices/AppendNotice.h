#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTextEdit;

namespace shardix {

class SettingsStore;
class WindowServices;

// The notice shown before Append: what appending does, and a check box that
// turns the notice off for good in the settings store. Centred when made;
// Close only hides it.
class AppendNotice : public QDialog {
    Q_OBJECT

  public:
    AppendNotice(WindowServices& ui, SettingsStore& store, QWidget* parent = nullptr);

    // For the Append command, before its first step: reads the setting and, when
    // it is true, shows the notice modally. Returns false when the setting could
    // not be read; the failure has then been reported by the main window's
    // reporter and the command is to end.
    bool showIfWanted();

    // The notice's text: nine lines joined by CR LF, none after the last.
    static QString text();

    QTextEdit* textBox() const { return textBox_; }
    QCheckBox* showAgainBox() const { return showAgainBox_; }
    QPushButton* closeButton() const { return closeButton_; }

  protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void turnOff();

    WindowServices& ui_;
    SettingsStore& store_;
    QTextEdit* textBox_;
    QCheckBox* showAgainBox_;
    QPushButton* closeButton_;
};

} // namespace shardix
