#include "notices/Form5.h"

#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using namespace shardix;
using shardix::testing::ScriptedServices;
using shardix::testing::TempStore;

namespace {

struct AppendNotice : ::testing::Test {
    TempStore store{true};
    ScriptedServices ui;
    int shown = 0;           // showings of the notice
    bool closeHadFocus = false;
    QString text;

    // The Append command's read of the setting. While the notice is up,
    // `whileShown` runs (it may click the check box); then Close is clicked.
    bool appendRead(const std::function<void(Form5&)>& whileShown = {}) {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            Form5& notice = form5();
            if (!notice.isVisible())
                return;
            ++shown;
            closeHadFocus = notice.focusWidget() == notice.Command1;
            text = notice.RichTextBox1->toPlainText();
            if (whileShown)
                whileShown(notice);
            notice.Command1->click();
        });
        timer.start(0);
        const bool goOn = showAppendNoticeIfWanted();
        EXPECT_FALSE(form5().isVisible());
        return goOn;
    }
};

} // namespace

TEST_F(AppendNotice, ShownWhileTrueWithTheFocusOnCloseUntilUnchecked) {
    store.openAsProgram();
    form5().Check1->setChecked(true);
    EXPECT_TRUE(appendRead());
    EXPECT_TRUE(appendRead()) << "closing without unchecking shows it again";
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(closeHadFocus);
    EXPECT_EQ(text, appendNoticeText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(form5().size(), QSize(313, 178));

    int storedAfterFirstClick = -2;
    EXPECT_TRUE(appendRead([&](Form5& notice) {
        notice.Check1->click();
        storedAfterFirstClick = store.storedShowAgain();
        notice.Check1->click(); // checked again: still stores false
    }));
    EXPECT_EQ(storedAfterFirstClick, 0);
    EXPECT_EQ(store.storedShowAgain(), 0);
    EXPECT_TRUE(form5().Check1->isChecked());
    EXPECT_TRUE(appendRead());
    EXPECT_EQ(shown, 3);
    EXPECT_TRUE(ui.boxes.isEmpty());
}

TEST_F(AppendNotice, NullSettingShowsNothing) {
    store.openAsProgram();
    store.sql("UPDATE settings SET showAgain = NULL;");
    EXPECT_TRUE(appendRead());
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(ui.boxes.isEmpty());
}

TEST_F(AppendNotice, FailureToStoreIsReportedAndTheNoticeStaysUp) {
    store.openAsProgram(/*readOnly=*/true);
    bool stillVisible = false;
    EXPECT_TRUE(appendRead([&](Form5& notice) {
        notice.Check1->click();
        stillVisible = notice.isVisible();
    }));
    EXPECT_TRUE(stillVisible);
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_EQ(ui.boxes[0].style, 64);
    EXPECT_EQ(ui.boxes[0].title, QStringLiteral("Shardix! - Sorry..."));
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("read-only")));
    EXPECT_EQ(store.storedShowAgain(), 1);

    store.openAsProgram();
    store.sql("DELETE FROM settings;");
    form5().Check1->click();
    ASSERT_EQ(ui.boxes.size(), 2);
    EXPECT_TRUE(ui.boxes[1].text.contains(QStringLiteral("No current record")));
}

TEST_F(AppendNotice, FailureToReadIsReportedAndEndsTheCommand) {
    store.openAsProgram();
    store.sql("CREATE TABLE s (other BOOLEAN); INSERT INTO s VALUES (1); DROP TABLE settings; "
              "ALTER TABLE s RENAME TO settings;");
    EXPECT_FALSE(appendRead());
    EXPECT_EQ(shown, 0);
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_EQ(ui.boxes[0].title, QStringLiteral("Shardix! - Sorry..."));
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("showAgain")));
}
