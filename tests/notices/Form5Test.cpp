#include "notices/Form5.h"

#include "app/ErrorReporting.h"
#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using namespace shardix;
using shardix::testing::ScriptedServices;
using shardix::testing::TempStore;

namespace {

// What the notice looked like while it was up, and how it was closed.
struct Showing {
    int times = 0;
    bool visible = false;
    bool closeHadFocus = false;
    QString text;
};

// Runs the Append command's read of the setting. While the notice is up,
// `whileShown` runs (it may click the check box); then Close is clicked.
bool runAppendRead(Showing& seen, const std::function<void(Form5&)>& whileShown = {}) {
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        Form5& notice = form5();
        if (!notice.isVisible())
            return;
        ++seen.times;
        seen.visible = true;
        seen.closeHadFocus = notice.focusWidget() == notice.Command1;
        seen.text = notice.RichTextBox1->toPlainText();
        if (whileShown)
            whileShown(notice);
        notice.Command1->click();
    });
    timer.start();
    const bool goOn = showAppendNoticeIfWanted();
    EXPECT_FALSE(form5().isVisible());
    return goOn;
}

} // namespace

TEST(AppendNotice, TextIsNineLinesJoinedByCrLf) {
    const QStringList lines = appendNoticeText().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 9);
    EXPECT_FALSE(appendNoticeText().endsWith(QStringLiteral("\n")));
    EXPECT_EQ(lines[4], QStringLiteral("bytes 11 to 20 from File Y to File X.  This modue is NOT"));
    EXPECT_EQ(lines[8], QStringLiteral("to File X from file Y."));
}

TEST(AppendNotice, ShownWhileTheSettingIsTrueWithTheFocusOnClose) {
    TempStore store(true);
    store.openAsProgram();
    ScriptedServices ui;
    Showing seen;
    EXPECT_TRUE(runAppendRead(seen));
    EXPECT_EQ(seen.times, 1);
    EXPECT_TRUE(seen.closeHadFocus);
    EXPECT_EQ(seen.text.split(QLatin1Char('\n')).size(), 9);
    EXPECT_EQ(form5().windowTitle(), QStringLiteral("Shardix! - Info"));
    EXPECT_EQ(form5().size(), QSize(313, 178));
    // Closed without touching the box: shown again next time.
    EXPECT_EQ(store.storedShowAgain(), 1);
    Showing again;
    EXPECT_TRUE(runAppendRead(again));
    EXPECT_EQ(again.times, 1);
    EXPECT_TRUE(ui.boxes.isEmpty());
}

TEST(AppendNotice, FalseOrNullSettingShowsNothing) {
    TempStore store(false);
    store.openAsProgram();
    ScriptedServices ui;
    Showing seen;
    EXPECT_TRUE(runAppendRead(seen));
    store.sql("UPDATE settings SET showAgain = NULL;");
    EXPECT_TRUE(runAppendRead(seen));
    EXPECT_EQ(seen.times, 0);
    EXPECT_TRUE(ui.boxes.isEmpty());
}

TEST(AppendNotice, UncheckingStoresFalseAtOnceAlsoWhenCheckedAgain) {
    TempStore store(true);
    store.openAsProgram();
    ScriptedServices ui;
    form5().Check1->setChecked(true);
    Showing seen;
    int storedAfterFirstClick = -2;
    EXPECT_TRUE(runAppendRead(seen, [&](Form5& notice) {
        notice.Check1->click();
        storedAfterFirstClick = store.storedShowAgain();
        notice.Check1->click();
    }));
    EXPECT_EQ(storedAfterFirstClick, 0);
    EXPECT_EQ(store.storedShowAgain(), 0);
    EXPECT_TRUE(form5().Check1->isChecked());
    Showing next;
    EXPECT_TRUE(runAppendRead(next));
    EXPECT_EQ(next.times, 0);
    EXPECT_TRUE(ui.boxes.isEmpty());
}

TEST(AppendNotice, FailureToStoreIsReportedAndTheNoticeStaysUp) {
    TempStore store(true);
    store.openAsProgram(/*readOnly=*/true);
    ScriptedServices ui;
    Showing seen;
    bool stillVisible = false;
    EXPECT_TRUE(runAppendRead(seen, [&](Form5& notice) {
        notice.Check1->click();
        stillVisible = notice.isVisible();
    }));
    EXPECT_TRUE(stillVisible);
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_EQ(ui.boxes[0].style, 64);
    EXPECT_EQ(ui.boxes[0].title, QStringLiteral("Shardix! - Sorry..."));
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("read-only")));
    EXPECT_EQ(store.storedShowAgain(), 1);

    // A table without a record: the click is reported the same way.
    store.openAsProgram();
    store.sql("DELETE FROM settings;");
    form5().Check1->click();
    ASSERT_EQ(ui.boxes.size(), 2);
    EXPECT_TRUE(ui.boxes[1].text.contains(QStringLiteral("No current record")));
}

TEST(AppendNotice, FailureToReadIsReportedAndEndsTheCommand) {
    TempStore store(true);
    store.openAsProgram();
    store.sql("CREATE TABLE s (other BOOLEAN); INSERT INTO s VALUES (1); DROP TABLE settings; "
              "ALTER TABLE s RENAME TO settings;");
    ScriptedServices ui;
    Showing seen;
    EXPECT_FALSE(runAppendRead(seen));
    EXPECT_EQ(seen.times, 0);
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_EQ(ui.boxes[0].title, QStringLiteral("Shardix! - Sorry..."));
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("showAgain")));
}
