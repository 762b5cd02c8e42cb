// The platform's services: the reporters of failures, the message boxes and
// the busy pointer.
#include "dialog/DialogProgress.h"
#include "platform/ErrorReporter.h"
#include "platform/QtWindowServices.h"
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
    const std::pair<ErrorKind, QString> cases[] = {
        {ErrorKind::FileNotFound, "The file does not exist."},
        {ErrorKind::Refused, "Shardix! performed an invalid operation."},
        {ErrorKind::UnrecognizedDatabase,
         "The database you selected has a format that is unrecognizable to Shardix!."},
        {ErrorKind::PermissionDenied, "Permission denied."},
        {ErrorKind::DeviceIo, "Something particular went wrong."}}; // not explained: its own
    QStringList expected;
    for (const auto& [kind, text] : cases) {
        reportError(ui, Error::of(kind, kind == ErrorKind::DeviceIo
                                            ? "Something particular went wrong."
                                            : "Cannot open \"/x\": it is gone."));
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

    const std::tuple<int, const char*, int> numbers[] = {
        {ENOENT, "open", 53}, {ENOENT, "create", 76}, {EBUSY, "create", 55}, {EACCES, "create", 70},
        {EROFS, "write", 70}, {ENOTDIR, "open", 75},  {ENOSPC, "write", 61}};
    for (const auto& [error, action, number] : numbers)
        EXPECT_EQ(errorNumber(Error::fromErrno(error, action, "/a").kind), number)
            << action << error;
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

} // namespace
