#pragma once

#include <QDialog>

class QPushButton;

namespace shardix {

class MailLabel;
class WindowServices;

// The support address of the About window, shown as a mail link.
inline const QString kSupportAddress = QStringLiteral("support@shardix.example");

// The About window: name, version, rights notice and support address. Centred
// when made; OK only hides it, so that it keeps its place for the next showing.
class AboutWindow : public QDialog {
    Q_OBJECT

  public:
    explicit AboutWindow(WindowServices& ui, QWidget* parent = nullptr);

    MailLabel* mailLink() const { return mailLink_; }
    QPushButton* okButton() const { return okButton_; }

  private:
    void useHighlightColours();
    void buildControls(WindowServices& ui);

    MailLabel* mailLink_;
    QPushButton* okButton_;
};

} // namespace shardix
