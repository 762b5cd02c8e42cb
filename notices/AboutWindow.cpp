#include "notices/AboutWindow.h"

#include "notices/MailLabel.h"
#include "platform/AppIcon.h"
#include "platform/Contrast.h"
#include "platform/MessageStyle.h"
#include "platform/Placement.h"
#include "platform/Twips.h"
#include "shardix/Version.h"

#include <QPushButton>
#include <QShortcut>

namespace shardix {

namespace {

// The window and its controls, in twips; a label may grow to the right up to
// kTextRightMargin from the window's edge when its text needs more room.
constexpr QSize kWindowSize = twipsSize(4476, 2244);
constexpr int kTextRightMargin = twips(120);
constexpr QRect kLogoPlace = twipsRect(240, 240, 495, 495);
constexpr QRect kProductNamePlace = twipsRect(1080, 240, 1935, 255);
constexpr QRect kVersionPlace = twipsRect(1080, 480, 1335, 255);
constexpr QRect kRightsNoticePlace = twipsRect(480, 840, 3852, 252);
constexpr QRect kContactLabelPlace = twipsRect(480, 1200, 1692, 252);
constexpr QRect kMailLinkPlace = twipsRect(2040, 1200, 2172, 252);
constexpr QRect kOkButtonPlace = twipsRect(1560, 1680, 1335, 375);

// Names `w` and places it at `place`, widened up to `maxRight` pixels.
void place(QWidget* w, const char* name, const QRect& place, int maxRight) {
    w->setObjectName(QString::fromLatin1(name));
    placeWidening(w, place, maxRight);
}

} // namespace

AboutWindow::AboutWindow(WindowServices& ui, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutWindow"));
    setWindowTitle(QStringLiteral("About Shardix!"));
    setWindowIcon(appIcon());
    setFixedSize(kWindowSize);
    offerNoMaximize(*this);
    useHighlightColours();
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    buildControls(ui);
    centreOnScreen(*this);
}

void AboutWindow::useHighlightColours() {
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
}

void AboutWindow::buildControls(WindowServices& ui) {
    const int right = width() - kTextRightMargin;

    auto* logo = new QLabel(this);
    place(logo, "logo", kLogoPlace, 0);
    logo->setPixmap(appIconPixmap(32, devicePixelRatioF()));
    logo->setAlignment(Qt::AlignCenter);

    auto* name = new QLabel(kAppTitle, this);
    place(name, "productName", kProductNamePlace, right);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    name->setFont(big);

    place(new QLabel(QStringLiteral("Version " SHARDIX_VERSION), this), "version", kVersionPlace,
          right);
    place(new QLabel(QStringLiteral("Copyright \u00a9 2026 the Shardix! authors."), this),
          "rightsNotice", kRightsNoticePlace, right);
    place(new QLabel(QStringLiteral("Contact/support: "), this), "contactLabel", kContactLabelPlace,
          0);

    mailLink_ = new MailLabel(ui, kSupportAddress, this);
    place(mailLink_, "mailLink", kMailLinkPlace, right);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    place(okButton_, "okButton", kOkButtonPlace, 0);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QWidget::hide);
    // "OK" has no letter marked; Alt+O presses it, as in the other windows.
    connect(new QShortcut(QKeySequence(Qt::ALT | Qt::Key_O), this), &QShortcut::activated,
            okButton_, &QAbstractButton::animateClick);
}

} // namespace shardix
