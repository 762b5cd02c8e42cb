#include "notices/Form2.h"

#include "app/AppIcon.h"
#include "app/Placement.h"
#include "app/WindowServices.h"
#include "notices/LoadOnce.h"
#include "notices/Twips.h"

#include <QMouseEvent>
#include <QPushButton>

namespace shardix {

MailLabel::MailLabel(const QString& address, QWidget* parent) : QLabel(address, parent) {
    setCursor(Qt::PointingHandCursor);
    setTextColor(kRestColor);
}

void MailLabel::setTextColor(QRgb color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(color));
    setPalette(p);
}

void MailLabel::enterEvent(QEnterEvent* event) {
    setTextColor(kHoverColor);
    QLabel::enterEvent(event);
}

void MailLabel::leaveEvent(QEvent* event) {
    setTextColor(kRestColor);
    QLabel::leaveEvent(event);
}

// A failure to hand the address on is ignored: the window simply stays up.
void MailLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    try {
        services().openUrl(QStringLiteral("mailto:") + text());
    } catch (...) {
    }
}

Form2::Form2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("About Shardix!"));
    setWindowIcon(appIcon());
    setFixedSize(twips(4476), twips(2244));

    // The background is the text colour of an active title bar, which is the
    // text colour on highlighted areas: white in the standard scheme.
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Active, QPalette::HighlightedText));
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

    Picture1 = new QLabel(this);
    place(Picture1, "Picture1", 240, 240, 495, 495, 0);
    Picture1->setPixmap(appIconPixmap(32, devicePixelRatioF()));
    Picture1->setAlignment(Qt::AlignCenter);

    Label1 = new QLabel(QStringLiteral("Shardix!"), this);
    place(Label1, "Label1", 1080, 240, 1935, 255, right);
    QFont big = Label1->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    big.setBold(true);
    Label1->setFont(big);

    Label3 = new QLabel(QStringLiteral("Version 2.3"), this);
    place(Label3, "Label3", 1080, 480, 1335, 255, right);

    Label2[1] = new QLabel(QStringLiteral("Copyright \u00a9 2026 the Shardix! authors."), this);
    place(Label2[1], "Label2_1", 480, 840, 3852, 252, right);

    Label2[0] = new QLabel(QStringLiteral("Contact/support: "), this);
    place(Label2[0], "Label2_0", 480, 1200, 1692, 252, 0);

    Label4 = new MailLabel(kSupportAddress, this);
    place(Label4, "Label4", 2040, 1200, 2172, 252, right);

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    place(Command1, "Command1", 1560, 1680, 1335, 375, 0);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);

    Form_Load();
}

void Form2::Form_Load() {
    centreOnScreen(*this);
}

void Form2::Command1_Click() {
    hide();
}

Form2& form2() {
    return loadOnce<Form2>();
}

void showAbout() {
    form2().exec();
}

} // namespace shardix
