// File > Assemble Files... through the menu and both dialog steps.
#include "tests/dialog/DialogDriver.h"

#include <QAction>

namespace shardix::testing {
namespace {

const QString kReorderQuestion = QStringLiteral(
    "If the order in which the segments were created was changed by the file system, they "
    "should be SORTED.  Should Shardix! RE-ORDER the selected files?");

class AssembleCommand : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        whole = pattern(12 * 100 + 7);
        for (int k = 1; k <= 12; ++k)
            write(QStringLiteral("parts/part%1").arg(k), whole.mid((k - 1) * 100, k < 12 ? 100 : -1));
        out = folder(QStringLiteral("out"));
    }

    // Step 1: all twelve parts picked (click, shift-click), then OK.
    void pickAllParts() {
        steps->then([this](Form3& f) {
            EXPECT_FALSE(f.File1->isVisible());
            EXPECT_TRUE(f.File2->isVisible());
            f.Dir1->setPath(root + QStringLiteral("/parts"));
            click(f.File2, QStringLiteral("part1"));
            click(f.File2, QStringLiteral("part9"), Qt::ShiftModifier);
            QTest::mouseClick(f.Command1, Qt::LeftButton);
        });
    }
    void nameTarget(const QString& name, bool expectShown = false) {
        steps->then([this, name, expectShown](Form3& f) {
            EXPECT_EQ(f.caption(), caption::kAssembleName);
            EXPECT_TRUE(f.File1->isVisible());
            EXPECT_EQ(f.focusWidget(), f.Text1);
            EXPECT_EQ(f.Text1->text(), QString());
            f.Dir1->setPath(out);
            QTest::keyClicks(f.Text1, name);
            QTest::mouseClick(f.Command1, Qt::LeftButton);
            EXPECT_EQ(f.isVisible(), expectShown);
        });
    }
    QByteArray inListOrder() const {
        QByteArray joined;
        for (int k : {1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9})
            joined += read(root + QStringLiteral("/parts/part%1").arg(k));
        return joined;
    }

    QByteArray whole;
    QString out;
};

TEST_F(AssembleCommand, ReorderYesGivesTheWholeBackNoKeepsListOrderAndReplacingIsAsked) {
    const QString target = out + QStringLiteral("/whole");
    const QString done = QStringLiteral("The assembled file should appear in this folder: ") + out +
                         QStringLiteral(".  You might have to refresh the folder (hit F5) to "
                                        "see the file.");
    boxes.answerNext(6); // re-order: Yes
    pickAllParts();
    nameTarget(QStringLiteral("whole"));
    window->menuPasteFile->trigger();
    EXPECT_EQ(read(target), whole);
    EXPECT_EQ(globals::fileCount, 12);
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].text, kReorderQuestion);
    EXPECT_EQ(boxes.boxes[0].style, 36);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Shardix! - It's your choice..."));
    EXPECT_EQ(boxes.boxes[1].text, done);
    EXPECT_FALSE(boxes.isBusy());

    // No to re-ordering; the target exists now: No keeps it and the step,
    // Yes replaces it with the parts in list order.
    boxes.boxes.clear();
    boxes.answerNext(7);
    boxes.answerNext(7);
    pickAllParts();
    nameTarget(QStringLiteral("whole"), true);
    window->menuPasteFile->trigger();
    EXPECT_EQ(read(target), whole);
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].text, target + QStringLiteral(" already exists.  Shall we overwrite it?"));
    EXPECT_EQ(boxes.boxes[1].style, 4 + 32 + 256);

    boxes.boxes.clear();
    boxes.answerNext(7);
    boxes.answerNext(6);
    pickAllParts();
    nameTarget(QStringLiteral("whole"));
    window->menuPasteFile->trigger();
    EXPECT_EQ(read(target), inListOrder());
    EXPECT_EQ(boxes.boxes.size(), 3);
    EXPECT_EQ(steps->unexpected, 0);
}

TEST_F(AssembleCommand, FewerThanTwoFilesOrNoNameAreRefusedWithTheFocusToMend) {
    const QString m5 = QStringLiteral("Please select fileS to assemble.");
    const QString m6 = QStringLiteral("Please enter/select a name for the assembled file.");
    QList<QWidget*> focus;
    steps->then([&](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/parts"));
        QTest::mouseClick(f.Command1, Qt::LeftButton); // nothing picked
        focus.append(f.focusWidget());
        click(f.File2, QStringLiteral("part3"));
        QTest::mouseClick(f.Command1, Qt::LeftButton); // one file
        focus.append(f.focusWidget());
    });
    window->menuPasteFile->trigger();
    EXPECT_EQ(steps->showings, 1); // cancelled at the first step: no second one
    EXPECT_EQ(globals::fileCount, 0);
    EXPECT_EQ(d->caption(), QString());

    steps->then([&](Form3& f) {
        click(f.File2, QStringLiteral("part3"));
        click(f.File2, QStringLiteral("part4"), Qt::ControlModifier);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then([&](Form3& f) {
        QTest::keyClick(f.Text1, Qt::Key_Return);
        focus.append(f.focusWidget());
    });
    window->menuPasteFile->trigger();
    EXPECT_EQ(boxes.boxTexts(), (QStringList{m5, m5, kReorderQuestion, m6}));
    EXPECT_EQ(focus, (QList<QWidget*>{d->File2, d->File2, d->Text1}));
    EXPECT_EQ(steps->leftShown, (QList<bool>{true, false, true}));
    EXPECT_TRUE(d->File1->isVisibleTo(d));
    EXPECT_FALSE(d->File2->isVisibleTo(d));
}

} // namespace
} // namespace shardix::testing
