#include "notices/AboutWindow.h"
#include "notices/AppendNotice.h"
#include "notices/MailLabel.h"
#include "platform/AppIcon.h"
#include "platform/Contrast.h"
#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QEnterEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// The notice and the About window carry the program's icon, as the main window does.
TEST(Notices, CarryTheProgramsIcon) {
    ScriptedServices ui;
    TempStore store;
    SettingsStore settings = store.open();
    AboutWindow about(ui);
    AppendNotice notice(ui, settings);
    const QImage icon = appIconPixmap(32, 1).toImage();
    for (QWidget* window : std::initializer_list<QWidget*>{&about, &notice})
        EXPECT_EQ(window->windowIcon().pixmap(32).toImage(), icon)
            << window->objectName().toStdString();
}

TEST(AboutWindow, WhiteWindowWithALinkThatAsksForAMailAndIgnoresFailure) {
    ScriptedServices ui;
    AboutWindow about(ui);
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(Qt::white));
    for (QLabel* label : about.findChildren<QLabel*>())
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();

    MailLabel* link = about.mailLink();
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

    // OK only hides the window, which keeps its place for the next showing.
    const QPoint placed = about.pos();
    about.okButton()->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.pos(), placed);
}

// A dark scheme as the Fusion style is often given one; `highlightedText` is
// white in some such schemes, black in others.
QPalette darkPalette(const QColor& highlightedText) {
    QPalette p;
    const QColor window(53, 53, 53), base(35, 35, 35);
    for (const auto& [role, colour] : {std::pair{QPalette::Window, window},
                                       {QPalette::WindowText, QColor(Qt::white)},
                                       {QPalette::Base, base},
                                       {QPalette::AlternateBase, window},
                                       {QPalette::Text, QColor(Qt::white)},
                                       {QPalette::Button, window},
                                       {QPalette::ButtonText, QColor(Qt::white)},
                                       {QPalette::Highlight, QColor(42, 130, 218)},
                                       {QPalette::HighlightedText, highlightedText},
                                       {QPalette::Link, QColor(42, 130, 218)}})
        p.setColor(role, colour);
    return p;
}

// Every text of the About window, the link at rest and under the pointer too,
// stands out from the window's background in a light and in dark schemes.
TEST(AboutWindow, EveryTextReadsWellInLightAndDarkSchemes) {
    const QPalette saved = QApplication::palette();
    const auto putBack = qScopeGuard([&] { QApplication::setPalette(saved); });
    const std::pair<const char*, QPalette> schemes[] = {
        {"light", saved}, // the standard scheme
        {"dark, white on highlight", darkPalette(Qt::white)},
        {"dark, black on highlight", darkPalette(Qt::black)}};
    for (const auto& [scheme, palette] : schemes) {
        QApplication::setPalette(palette);
        ScriptedServices ui;
        AboutWindow about(ui);
        about.show();
        const QColor background = about.palette().color(QPalette::Window);
        const auto contrast = [&](const QWidget* w) {
            return contrastRatio(w->palette().color(w->foregroundRole()), background);
        };
        int texts = 0;
        for (const QLabel* label : about.findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue; // the icon
            ++texts;
            EXPECT_GE(contrast(label), kReadableContrast)
                << scheme << ": " << label->objectName().toStdString();
        }
        EXPECT_EQ(texts, 5) << scheme;
        QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
        QApplication::sendEvent(about.mailLink(), &enter);
        EXPECT_GE(contrast(about.mailLink()), kReadableContrast) << scheme << ": link, hovered";
        const QRgb hovered = about.mailLink()->palette().color(QPalette::WindowText).rgb();
        EXPECT_GT(qBlue(hovered), qRed(hovered)) << scheme << ": the hovered link is blue";
    }
}

struct AppendNoticeTest : ::testing::Test {
    TempStore store;
    ScriptedServices ui;
    SettingsStore settings = store.open();
    AppendNotice notice{ui, settings};
    int shown = 0; // showings of the notice
    bool closeHadFocus = false;
    QString text;

    // The Append command's read of the setting. While the notice is up,
    // `whileShown` runs (it may click the check box); then Close is clicked.
    bool appendRead(const std::function<void(AppendNotice&)>& whileShown = {}) {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!notice.isVisible())
                return;
            ++shown;
            closeHadFocus = notice.focusWidget() == notice.closeButton();
            text = notice.textBox()->toPlainText();
            if (whileShown)
                whileShown(notice);
            notice.closeButton()->click();
        });
        timer.start(0);
        const bool goOn = notice.showIfWanted();
        EXPECT_FALSE(notice.isVisible());
        return goOn;
    }
};

TEST_F(AppendNoticeTest, ShownWhileTrueWithTheFocusOnCloseUntilUnchecked) {
    EXPECT_TRUE(appendRead());
    EXPECT_TRUE(appendRead()) << "closing without unchecking shows it again";
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(closeHadFocus);
    EXPECT_EQ(text, AppendNotice::text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(notice.size(), QSize(313, 178));

    int storedAfterFirstClick = -2;
    EXPECT_TRUE(appendRead([&](AppendNotice& shownNotice) {
        shownNotice.showAgainBox()->click();
        storedAfterFirstClick = store.storedShowAgain();
        shownNotice.showAgainBox()->click(); // checked again: still stores false
    }));
    EXPECT_EQ(storedAfterFirstClick, 0);
    EXPECT_EQ(store.storedShowAgain(), 0);
    EXPECT_TRUE(notice.showAgainBox()->isChecked());
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

TEST_F(AppendNoticeTest, FailuresToStoreKeepTheNoticeUpAndAFailureToReadStopsAppending) {
    settings = store.open(/*readOnly=*/true);
    bool stillVisible = false;
    EXPECT_TRUE(appendRead([&](AppendNotice& shownNotice) {
        shownNotice.showAgainBox()->click();
        stillVisible = shownNotice.isVisible();
    }));
    EXPECT_TRUE(stillVisible);
    EXPECT_EQ(store.storedShowAgain(), 1);
    settings = store.open();
    store.sql("DELETE FROM settings;");
    notice.showAgainBox()->click();
    // A store that lacks the setting: the read fails and ends the command.
    store.sql("CREATE TABLE s (other BOOLEAN); INSERT INTO s VALUES (1); DROP TABLE settings; "
              "ALTER TABLE s RENAME TO settings;");
    EXPECT_FALSE(appendRead());
    EXPECT_EQ(shown, 1); // only while the store took no change
    ASSERT_EQ(ui.boxes.size(), 3);
    for (const QString& box : ui.shown())
        EXPECT_TRUE(box.startsWith(QStringLiteral("Ok|Information Shardix! - Sorry...: ")))
            << box.toStdString();
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("read-only")));
    EXPECT_TRUE(ui.boxes[1].text.contains(QStringLiteral("No current record")));
    EXPECT_TRUE(ui.boxes[2].text.contains(QStringLiteral("showAgain")));
}

} // namespace
