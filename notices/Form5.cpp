#include "notices/Form5.h"

#include "app/AppIcon.h"
#include "app/ErrorReporting.h"
#include "app/Placement.h"
#include "app/SettingsDatabase.h"
#include "notices/LoadOnce.h"
#include "notices/Twips.h"

#include <QCheckBox>
#include <QEvent>
#include <QPushButton>
#include <QTextEdit>

namespace shardix {

namespace {

const QString kTable = QStringLiteral("settings");
const QString kField = QStringLiteral("showAgain");

// The table "settings" of the open settings database, its first record current.
std::unique_ptr<Recordset> openSettings() {
    if (!globals::theDatabase)
        throw AppError(DbErrNo::ObjectClosed, "The settings database is not open.");
    auto record = globals::theDatabase->openRecordset(kTable, RecordsetType::Table);
    record->moveFirst();
    return record;
}

// A narrower and, if need be, smaller `base` in which every line of the notice
// fits `width` pixels, so that its lines are not broken.
QFont fittingFont(QFont base, int width) {
    base.setStretch(QFont::SemiCondensed);
    const QStringList lines = appendNoticeText().split(QStringLiteral("\r\n"));
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

QString appendNoticeText() {
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

Form5::Form5(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Shardix! - Info"));
    setWindowIcon(appIcon());
    setFixedSize(twips(4692), twips(2676));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    RichTextBox1 = new QTextEdit(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setGeometry(twips(120), twips(120), twips(4455), twips(1935));
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setAcceptRichText(false);
    const int textWidth = RichTextBox1->width() - 2 * RichTextBox1->frameWidth() -
                          2 * int(RichTextBox1->document()->documentMargin()) - 2;
    RichTextBox1->setFont(fittingFont(RichTextBox1->font(), textWidth));

    Check1 = new QCheckBox(QStringLiteral("Show this message again."), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    placeTwips(Check1, 120, 2280, 2295, 255, twips(3240) - twips(60));
    Check1->setChecked(true);

    Command1 = new QPushButton(QStringLiteral("&Close"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(3240), twips(2160), twips(1335), twips(375));
    Command1->setDefault(true);

    connect(Check1, &QCheckBox::clicked, this, &Form5::Check1_Click);
    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    Form_Load();
}

void Form5::Form_Load() {
    centreOnScreen(*this);
}

void Form5::Form_Activate() {
    Command1->setFocus();
}

void Form5::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Activate();
}

bool Form5::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QDialog::event(event);
}

// Every click stores false, whatever state the box has just taken; a failure
// is reported and the notice stays up.
void Form5::Check1_Click() {
    try {
        auto record = openSettings();
        record->edit();
        record->setBool(kField, false);
        record->update();
        record->close();
    } catch (const AppError& e) {
        mainHandleError(e);
    }
}

void Form5::Command1_Click() {
    hide();
}

Form5& form5() {
    return loadOnce<Form5>();
}

bool showAppendNoticeIfWanted() {
    try {
        auto record = openSettings();
        if (record->readBool(kField).value_or(false)) {
            Form5& notice = form5();
            notice.RichTextBox1->setPlainText(appendNoticeText());
            notice.exec();
        }
        record->close();
    } catch (const AppError& e) {
        mainHandleError(e);
        return false;
    }
    return true;
}

} // namespace shardix
