#include "app/QtWindowServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace shardix;

namespace {

struct Seen {
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
};

// Shows a real box, looks at it once it is up, and answers it with `key`.
int showAndPress(QtWindowServices& services, int style, const QString& title, Qt::Key key,
                 Seen& seen) {
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seen.buttons.append(box->buttonRole(b) == QMessageBox::YesRole ||
                                        box->buttonRole(b) == QMessageBox::AcceptRole
                                    ? "accept"
                                    : "reject");
        if (box->defaultButton())
            seen.defaultButton = box->defaultButton() == box->button(QMessageBox::No) ||
                                         box->defaultButton() == box->button(QMessageBox::Cancel)
                                     ? "second"
                                     : "first";
        QTest::keyClick(box, key);
    });
    return services.messageBox("text", style, title);
}

TEST(QtMessageBox, ButtonsIconsDefaultsAndAnswersFollowTheStyle) {
    QtWindowServices services;
    Seen plain;
    EXPECT_EQ(showAndPress(services, 0, {}, Qt::Key_Return, plain), 1);
    EXPECT_EQ(plain.title, "Shardix!");
    EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
    EXPECT_EQ(plain.buttons.size(), 1);

    Seen search;
    EXPECT_EQ(showAndPress(services, 65, "Shardix!", Qt::Key_Escape, search), 2);
    EXPECT_EQ(search.icon, QMessageBox::Information);
    EXPECT_EQ(search.buttons.size(), 2);

    Seen question;
    EXPECT_EQ(showAndPress(services, 4 + 32 + 256, "Shardix! - It's your choice...",
                           Qt::Key_Return, question),
              7); // Enter takes the default: No
    EXPECT_EQ(question.title, "Shardix! - It's your choice...");
    EXPECT_EQ(question.icon, QMessageBox::Question);
    EXPECT_EQ(question.defaultButton, "second");

    Seen yes;
    EXPECT_EQ(showAndPress(services, 36, {}, Qt::Key_Return, yes), 6);
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
