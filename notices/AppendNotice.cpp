#include "notices/AppendNotice.h"

#include "platform/AppIcon.h"
#include "platform/ErrorReporter.h"
#include "platform/Placement.h"
#include "platform/Twips.h"
#include "store/SettingsStore.h"

#include <QCheckBox>
#include <QEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>

#include <algorithm>

namespace shardix {

namespace {

// The window and its controls, in twips. The check box may grow to the right,
// up to a little before the Close button, when its text needs more room.
constexpr QSize kWindowSize = twipsSize(4692, 2676);
constexpr QRect kTextBoxPlace = twipsRect(120, 120, 4455, 1935);
constexpr QRect kShowAgainPlace = twipsRect(120, 2280, 2295, 255);
constexpr QRect kCloseButtonPlace = twipsRect(3240, 2160, 1335, 375);
constexpr int kShowAgainRightEnd = kCloseButtonPlace.left() - twips(60);

// A narrower and, if need be, smaller `base` in which every line of the notice
// fits `width` pixels, so that its lines are not broken.
QFont fittingFont(QFont base, int width) {
    base.setStretch(QFont::SemiCondensed);
    const QStringList lines = AppendNotice::text().split(QStringLiteral("\r\n"));
    for (qreal size = base.pointSizeF(); size >= 6.5; size -= 0.5) {
        base.setPointSizeF(size);
        const QFontMetrics metrics(base);
        const bool fits = std::all_of(lines.begin(), lines.end(), [&](const QString& line) {
            return metrics.horizontalAdvance(line) <= width;
        });
        if (fits)
            break;
    }
    return base;
}

} // namespace

QString AppendNotice::text() {
    return QStringList{
        QStringLiteral("This module allows you to append (add) from File Y to File X"),
        QStringLiteral("whatever of File Y that is not currently in File X."),
        QStringLiteral("For example, if File X has 10 bytes of data, and File Y"),
        QStringLiteral("contains 20 bytes of data, this module allows you to append"),
        QStringLiteral("bytes 11 to 20 from File Y to File X.  This modue is NOT"),
        QStringLiteral("intended to simply join two files together (use the"),
        QStringLiteral("Assemble Files... module to do that).  Therefore, if File X"),
        QStringLiteral("has 10 bytes, and File Y has 10 bytes, NOTHING IS ADDED"),
        QStringLiteral("to File X from file Y."),
    }
        .join(QStringLiteral("\r\n"));
}

AppendNotice::AppendNotice(WindowServices& ui, SettingsStore& store, QWidget* parent)
    : QDialog(parent), ui_(ui), store_(store) {
    setObjectName(QStringLiteral("appendNotice"));
    setWindowTitle(QStringLiteral("Shardix! - Info"));
    setWindowIcon(appIcon());
    setFixedSize(kWindowSize);
    offerNoMaximize(*this);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    textBox_ = new QTextEdit(this);
    textBox_->setObjectName(QStringLiteral("textBox"));
    textBox_->setGeometry(kTextBoxPlace);
    textBox_->setReadOnly(true);
    textBox_->setAcceptRichText(false);
    const int textWidth = textBox_->width() - 2 * textBox_->frameWidth() -
                          2 * int(textBox_->document()->documentMargin()) - 2;
    textBox_->setFont(fittingFont(textBox_->font(), textWidth));

    showAgainBox_ = new QCheckBox(QStringLiteral("Show this message again."), this);
    showAgainBox_->setObjectName(QStringLiteral("showAgainBox"));
    placeWidening(showAgainBox_, kShowAgainPlace, kShowAgainRightEnd);
    showAgainBox_->setChecked(true);

    closeButton_ = new QPushButton(QStringLiteral("&Close"), this);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setGeometry(kCloseButtonPlace);
    closeButton_->setDefault(true);

    // The check box's text has no letter marked; Alt+S (of "Show") is its key.
    connect(new QShortcut(QKeySequence(Qt::ALT | Qt::Key_S), this), &QShortcut::activated,
            showAgainBox_, &QAbstractButton::animateClick);
    connect(showAgainBox_, &QCheckBox::clicked, this, &AppendNotice::turnOff);
    connect(closeButton_, &QPushButton::clicked, this, &QWidget::hide);
    centreOnScreen(*this);
}

void AppendNotice::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    closeButton_->setFocus();
}

bool AppendNotice::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        closeButton_->setFocus();
    return QDialog::event(event);
}

// Every click stores false, whatever state the box has just taken; a failure
// is reported and the notice stays up.
void AppendNotice::turnOff() {
    if (const Result<> set = store_.setShowAgain(false); !set.ok())
        reportError(ui_, set.error());
}

bool AppendNotice::showIfWanted() {
    const Result<std::optional<bool>> wanted = store_.showAgain();
    if (!wanted.ok()) {
        reportError(ui_, wanted.error());
        return false;
    }
    if (wanted->value_or(false)) {
        textBox_->setPlainText(text());
        exec();
    }
    return true;
}

} // namespace shardix
