#include "app/AppIcon.h"
#include "notices/Form2.h"
#include "notices/Form5.h"
#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QEnterEvent>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// The notice and the About window carry the program's icon, as the main window does.
TEST(Notices, CarryTheProgramsIcon) {
    const QImage icon = appIconPixmap(32, 1).toImage();
    for (QWidget* window : std::initializer_list<QWidget*>{&form2(), &form5()})
        EXPECT_EQ(window->windowIcon().pixmap(32).toImage(), icon)
            << window->objectName().toStdString();
}

TEST(AboutWindow, WhiteWindowWithALinkThatAsksForAMailAndIgnoresFailure) {
    ScriptedServices ui;
    Form2& about = form2();
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(Qt::white));
    for (QLabel* label : about.findChildren<QLabel*>())
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();

    MailLabel* link = about.Label4;
    const auto colour = [&] { return link->palette().color(QPalette::WindowText); };
    EXPECT_EQ(colour(), QColor(0, 128, 128));
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(link, &enter);
    EXPECT_EQ(colour(), QColor(0, 0, 255));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_EQ(colour(), QColor(0, 128, 128));

    about.show();
    QTest::mouseClick(link, Qt::LeftButton);
    ui.openUrlResult = false; // no mail program
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(ui.urls, QStringList(2, QStringLiteral("mailto:") + kSupportAddress));
    EXPECT_TRUE(ui.boxes.isEmpty());
    EXPECT_TRUE(about.isVisible());

    // OK hides the window; it is kept, in its place, for the next showing.
    const QPoint placed = about.pos();
    about.Command1->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(&form2(), &about);
    EXPECT_EQ(about.pos(), placed);
}

struct AppendNotice : ::testing::Test {
    TempStore store;
    ScriptedServices ui;
    int shown = 0; // showings of the notice
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

    store.sql("UPDATE settings SET showAgain = 1;"); // read afresh each time
    EXPECT_TRUE(appendRead());
    store.sql("UPDATE settings SET showAgain = NULL;"); // null: not shown
    EXPECT_TRUE(appendRead());
    EXPECT_EQ(shown, 4);
    EXPECT_TRUE(ui.boxes.isEmpty());
}

TEST_F(AppendNotice, FailuresToStoreKeepTheNoticeUpAndAFailureToReadStopsAppending) {
    store.openAsProgram(/*readOnly=*/true);
    bool stillVisible = false;
    EXPECT_TRUE(appendRead([&](Form5& notice) {
        notice.Check1->click();
        stillVisible = notice.isVisible();
    }));
    EXPECT_TRUE(stillVisible);
    EXPECT_EQ(store.storedShowAgain(), 1);
    store.openAsProgram();
    store.sql("DELETE FROM settings;");
    form5().Check1->click();
    // A store that lacks the setting: the read fails and ends the command.
    store.sql("CREATE TABLE s (other BOOLEAN); INSERT INTO s VALUES (1); DROP TABLE settings; "
              "ALTER TABLE s RENAME TO settings;");
    EXPECT_FALSE(appendRead());
    EXPECT_EQ(shown, 1); // only while the store took no change
    ASSERT_EQ(ui.boxes.size(), 3);
    for (const QString& box : ui.shown())
        EXPECT_TRUE(box.startsWith(QStringLiteral("64 Shardix! - Sorry...: ")))
            << box.toStdString();
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("read-only")));
    EXPECT_TRUE(ui.boxes[1].text.contains(QStringLiteral("No current record")));
    EXPECT_TRUE(ui.boxes[2].text.contains(QStringLiteral("showAgain")));
}

} // namespace
