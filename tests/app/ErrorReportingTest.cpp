#include "app/ErrorReporting.h"
#include "app/Globals.h"
#include "tests/support/ScriptedServices.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

TEST(MainReporter, ExplainsKnownNumbersInItsOwnWords) {
    ScriptedServices ui;
    mainHandleError(AppError(53, "Cannot open \"/x\": No such file or directory."));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "The file does not exist.");
    EXPECT_EQ(ui.boxes[0].style, 64);
    EXPECT_EQ(ui.boxes[0].title, "Shardix! - Sorry...");
    EXPECT_EQ(globals::msgAnswer, 1);
    EXPECT_EQ(globals::msgStyle, 64);
    EXPECT_EQ(globals::msgPrompt, "The file does not exist.");

    mainHandleError(AppError(3219, "whatever"));
    mainHandleError(AppError(3343, "not a database"));
    mainHandleError(AppError(70, "denied"));
    mainHandleError(AppError(4242, "Something particular went wrong."));
    EXPECT_EQ(ui.boxes[1].text, "Shardix! performed an invalid operation.");
    EXPECT_EQ(ui.boxes[2].text,
              "The database you selected has a format that is unrecognizable to Shardix!.");
    EXPECT_EQ(ui.boxes[3].text, "Permission denied.");
    EXPECT_EQ(ui.boxes[4].text, "Something particular went wrong.");
    EXPECT_EQ(ui.boxes[4].title, "Shardix! - Sorry...");
    EXPECT_EQ(ui.boxes[4].style, 64);
    EXPECT_TRUE(ui.busyChanges.isEmpty()); // the busy pointer is not this reporter's business
}

TEST(DialogReporter, HandsTheDescriptionBackAndShowsNothing) {
    ScriptedServices ui;
    ui.setBusy(true);
    const QString text = dialogReportError(AppError(53, "Cannot open \"/x\": gone."));
    EXPECT_EQ(text, "Cannot open \"/x\": gone."); // not translated, even for 53
    EXPECT_EQ(globals::msgPrompt, text);
    EXPECT_FALSE(ui.isBusy());
    EXPECT_TRUE(ui.boxes.isEmpty());
}

TEST(FileFailures, CarryTheirNumbersAndNameTheFile) {
    EXPECT_EQ(AppError::fromErrno(ENOENT, "open", "/a").number(), 53);
    EXPECT_EQ(AppError::fromErrno(ENOENT, "create", "/a").number(), 76);
    EXPECT_EQ(AppError::fromErrno(EBUSY, "create", "/a").number(), 55);
    EXPECT_EQ(AppError::fromErrno(EACCES, "create", "/a").number(), 70);
    EXPECT_EQ(AppError::fromErrno(EROFS, "write", "/a").number(), 70);
    EXPECT_EQ(AppError::fromErrno(ENOTDIR, "open", "/a").number(), 75);
    const AppError full = AppError::fromErrno(ENOSPC, "write", "/mnt/usb/part7");
    EXPECT_EQ(full.number(), 61);
    EXPECT_EQ(full.description(),
              "Cannot write \"/mnt/usb/part7\": the disk is full (No space left on device).");
    // Through the main window, a full disk keeps its own description.
    ScriptedServices ui;
    mainHandleError(full);
    EXPECT_EQ(ui.boxes[0].text, QString::fromStdString(full.description()));
}

} // namespace
