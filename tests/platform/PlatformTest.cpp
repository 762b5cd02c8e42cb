// The platform's services: the reporters of failures, the message boxes, the
// busy pointer and the tool tips.
#include "dialog/DialogProgress.h"
#include "platform/ErrorReporter.h"
#include "platform/QtWindowServices.h"
#include "platform/ReadableToolTips.h"
#include "store/StoreFailure.h"
#include "tests/support/ScriptedServices.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;
using namespace Qt::StringLiterals;

namespace {

// The main window's reporter explains known kinds in its own words in a Sorry box;
// the dialog's shows the description itself and turns the busy pointer off; file
// failures carry the numbers users know them by and name the file.
TEST(Reporters, MainExplainsDialogShowsTheDescriptionAndFileFailuresCarryNumbers) {
    ScriptedServices ui;
    const std::string gone = "Cannot open \"/x\": it is gone.";
    const std::pair<Error, QString> cases[] = {
        {Error::of(ErrorKind::FileNotFound, gone), "The file does not exist."},
        {Error::of(ErrorKind::Refused, gone), "Shardix! performed an invalid operation."},
        {storeError(StoreFailure::UnrecognizedDatabase, gone),
         "The database you selected has a format that is unrecognizable to Shardix!."},
        {Error::of(ErrorKind::PermissionDenied, gone), "Permission denied."},
        {Error::of(ErrorKind::DeviceIo, "Something particular went wrong."),
         "Something particular went wrong."}}; // not explained: its own
    QStringList expected;
    for (const auto& [error, text] : cases) {
        reportError(ui, error);
        expected.append("Ok|Information Shardix! - Sorry...: " + text);
    }
    const Error full = Error::fromErrno(ENOSPC, "write", "/mnt/usb/part7");
    EXPECT_EQ(full.message,
              "Cannot write \"/mnt/usb/part7\": the disk is full (No space left on device).");
    reportError(ui, full); // a full disk keeps its own description
    expected.append("Ok|Information Shardix! - Sorry...: " + QString::fromStdString(full.message));
    EXPECT_EQ(ui.shown(), expected);
    EXPECT_TRUE(ui.busyChanges.isEmpty()); // the busy pointer is not this reporter's business

    ui.setBusy(true);
    QProgressBar bar;
    QLabel label;
    QWidget inItsPlace;
    DialogProgress dialog(ui, &bar, &label, &inItsPlace);
    dialog.showFailure(QString::fromStdString(
        Error::of(ErrorKind::FileNotFound, "Cannot open \"/x\": gone.").message));
    EXPECT_FALSE(ui.isBusy());
    ASSERT_EQ(ui.boxes.size(), expected.size() + 1);
    EXPECT_EQ(ui.shown().back(),
              "Ok Shardix!: Cannot open \"/x\": gone."); // not translated, even for 53

    const std::tuple<int, Missing, int> numbers[] = {
        {ENOENT, Missing::File, 53}, {ENOENT, Missing::Folder, 76}, {EBUSY, Missing::Folder, 55},
        {EACCES, Missing::File, 70}, {EROFS, Missing::File, 70},    {ENOTDIR, Missing::File, 75},
        {ENOSPC, Missing::File, 61}};
    for (const auto& [error, missing, number] : numbers)
        EXPECT_EQ(errorNumber(Error::fromErrno(error, "open", "/a", missing)), number) << error;
    EXPECT_EQ(errorNumber(storeError(StoreFailure::StoreInUse, "in use")), 3218);
    EXPECT_EQ(errorNumber(Error::refusedName("a folder")), 75);
}

// Shows a real box with `style` and `title`, answers it with `key` once it is up, and
// tells "<answer>|<title>|<icon: 0 none, 1 information, 3 critical, 4 question>|<buttons>|
// <default button: first or second>".
QString showAndPress(MessageStyle style, const QString& title, Qt::Key key) {
    QString seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QAbstractButton* byDefault = box->defaultButton();
        const bool second = byDefault && (byDefault == box->button(QMessageBox::No) ||
                                          byDefault == box->button(QMessageBox::Cancel));
        seen = u"%1|%2|%3|"_s.arg(box->windowTitle()).arg(box->icon()).arg(box->buttons().size()) +
               (second ? "second" : "first") +
               (box->windowIcon().isNull() ? "|no window icon" : ""); // the program's, always
        QTest::keyClick(box, key);
    });
    QtWindowServices services;
    const char* const answers[] = {"Ok", "Cancel", "Yes", "No"};
    return answers[static_cast<int>(services.messageBox("text", style, title))] + u"|"_s + seen;
}

TEST(QtMessageBox, ButtonsIconsDefaultsAndAnswersFollowTheStyle) {
    EXPECT_TRUE(
        showAndPress(MessageButtons::Ok, {}, Qt::Key_Return).startsWith("Ok|Shardix!|0|1|"));
    EXPECT_TRUE(showAndPress(MessageButtons::OkCancel | MessageIcon::Information, "Shardix!",
                             Qt::Key_Escape)
                    .startsWith("Cancel|Shardix!|1|2|"));
    EXPECT_EQ(showAndPress(MessageButtons::YesNo | MessageIcon::Question | MessageDefault::Second,
                           "Shardix! - It's your choice...", Qt::Key_Return),
              "No|Shardix! - It's your choice...|4|2|second"); // Enter takes the default: No
    EXPECT_TRUE(showAndPress(MessageButtons::YesNo | MessageIcon::Question, {}, Qt::Key_Return)
                    .startsWith("Yes|"));
    EXPECT_TRUE(
        showAndPress(MessageIcon::Critical, {}, Qt::Key_Return).startsWith("Ok|Shardix!|3|1|"));
}

TEST(QtBusyPointer, IsAStateNotAStack) {
    QtWindowServices services;
    services.setBusy(true);
    services.setBusy(true);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    services.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    services.setBusy(false);
    EXPECT_FALSE(services.isBusy());
}

// A long tool tip of plain text is shown in a paragraph, which wraps; short
// ones and rich ones as they are.
TEST(ReadableToolTipsTest, LongPlainTipsWrap) {
    const QString tip = QString(80, u'a') + u" & b"_s;
    EXPECT_EQ(ReadableToolTips::wrapped(tip), u"<p>"_s + tip.toHtmlEscaped() + u"</p>"_s);
    EXPECT_EQ(ReadableToolTips::wrapped(u"short"_s), u"short"_s);
}

} // namespace
