#include "notices/Form2.h"

#include "tests/support/ScriptedServices.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace shardix;
using shardix::testing::ScriptedServices;

namespace {

QColor textColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

void clickOn(QWidget* w) {
    const QPoint at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

} // namespace

TEST(AboutWindow, WhiteWindowWithALinkThatAsksForAMailAndIgnoresFailure) {
    ScriptedServices ui;
    Form2& about = form2();
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(Qt::white));
    for (QLabel* label : about.findChildren<QLabel*>())
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();

    MailLabel* link = about.Label4;
    EXPECT_EQ(textColour(link), QColor(0, 128, 128));
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(link, &enter);
    EXPECT_EQ(textColour(link), QColor(0, 0, 255));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_EQ(textColour(link), QColor(0, 128, 128));

    about.show();
    clickOn(link);
    ui.openUrlResult = false; // no mail program
    clickOn(link);
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
