#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTextEdit;

namespace shardix {

// The notice shown before Append: what appending does, and a check box that
// turns the notice off for good. Created on first use, afterwards only hidden.
class Form5 : public QDialog {
    Q_OBJECT

public:
    explicit Form5(QWidget* parent = nullptr);

    QTextEdit* RichTextBox1;
    QCheckBox* Check1;
    QPushButton* Command1;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void Check1_Click();
    void Command1_Click();
};

// The notice's text: nine lines joined by CR LF, none after the last.
QString appendNoticeText();

// The notice window, created hidden (and centred) on first use.
Form5& form5();

// For the Append command, before its first step: reads the setting and, when it
// is true, puts the text into the notice and shows it modally. Returns false
// when the setting could not be read; the failure has then been reported by the
// main window's reporter and the command is to end.
bool showAppendNoticeIfWanted();

} // namespace shardix
