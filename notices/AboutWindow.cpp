#include "notices/AboutWindow.h"

#include "notices/MailLabel.h"
#include "platform/AppIcon.h"
#include "platform/Contrast.h"
#include "platform/MessageStyle.h"
#include "platform/Placement.h"
#include "platform/Twips.h"

#include <QPushButton>

namespace shardix {

AboutWindow::AboutWindow(WindowServices& ui, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutWindow"));
    setWindowTitle(QStringLiteral("About Shardix!"));
    setWindowIcon(appIcon());
    setFixedSize(twips(4476), twips(2244));

    // The background is the text colour of an active title bar, which is the
    // text colour on highlighted areas: white in the standard scheme, and in
    // many dark ones too. The texts take the colour of the scheme's that
    // stands out most from it: its text colour, or its background colour in a
    // dark scheme whose text is as light as this background.
    QPalette p = palette();
    const QColor background = p.color(QPalette::Active, QPalette::HighlightedText);
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::WindowText,
               mostContrasting(background, {p.color(QPalette::WindowText), p.color(QPalette::Text),
                                            p.color(QPalette::Window), p.color(QPalette::Base)}));
    setPalette(p);
    setAutoFillBackground(true);

    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    // Labels may grow to the right up to `maxRight` pixels when their text needs it.
    const auto place = [](QWidget* w, const char* name, int l, int t, int wd, int h, int maxRight) {
        w->setObjectName(QString::fromLatin1(name));
        placeTwips(w, l, t, wd, h, maxRight);
    };
    const int right = width() - twips(120);

    auto* logo = new QLabel(this);
    place(logo, "logo", 240, 240, 495, 495, 0);
    logo->setPixmap(appIconPixmap(32, devicePixelRatioF()));
    logo->setAlignment(Qt::AlignCenter);

    auto* name = new QLabel(kAppTitle, this);
    place(name, "productName", 1080, 240, 1935, 255, right);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    name->setFont(big);

    auto* version = new QLabel(QStringLiteral("Version 2.3"), this);
    place(version, "version", 1080, 480, 1335, 255, right);

    auto* rights = new QLabel(QStringLiteral("Copyright \u00a9 2026 the Shardix! authors."), this);
    place(rights, "rightsNotice", 480, 840, 3852, 252, right);

    auto* contact = new QLabel(QStringLiteral("Contact/support: "), this);
    place(contact, "contactLabel", 480, 1200, 1692, 252, 0);

    mailLink_ = new MailLabel(ui, kSupportAddress, this);
    place(mailLink_, "mailLink", 2040, 1200, 2172, 252, right);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    place(okButton_, "okButton", 1560, 1680, 1335, 375, 0);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QWidget::hide);

    centreOnScreen(*this);
}

} // namespace shardix
