#pragma once

#include <QDialog>
#include <QLabel>

class QPushButton;

namespace shardix {

// The support address of the About window, shown as a mail link.
inline const QString kSupportAddress = QStringLiteral("support@shardix.example");

// A label that behaves as a link: teal at rest, blue under the pointer, and a
// click that asks the desktop for a new mail message to its text.
class MailLabel : public QLabel {
    Q_OBJECT

public:
    explicit MailLabel(const QString& address, QWidget* parent = nullptr);

    static constexpr QRgb kRestColor = 0x008080;
    static constexpr QRgb kHoverColor = 0x0000ff;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setTextColor(QRgb color);
};

// The About window: name, version, rights notice and support address. Created
// on first use, afterwards only hidden.
class Form2 : public QDialog {
    Q_OBJECT

public:
    explicit Form2(QWidget* parent = nullptr);

    QLabel* Picture1;
    QLabel* Label1;
    QLabel* Label3;
    QLabel* Label2[2];
    MailLabel* Label4;
    QPushButton* Command1;

private:
    void Form_Load();
    void Command1_Click();
};

// The About window, created hidden (and centred) on first use.
Form2& form2();

// The About command: shows the About window modally.
void showAbout();

} // namespace shardix
