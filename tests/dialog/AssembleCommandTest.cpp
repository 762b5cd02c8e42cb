// File > Assemble Files... through the menu and both dialog steps.
#include "tests/dialog/DialogDriver.h"

namespace shardix::testing {
namespace {

const QString kReorder = u"If the order in which the segments were created was changed by the "
                         "file system, they should be SORTED.  Should Shardix! RE-ORDER the "
                         "selected files?"_s;

class AssembleCommand : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        whole = pattern(12 * 100 + 7);
        for (int k = 1; k <= 12; ++k)
            write(u"parts/part%1"_s.arg(k), whole.mid((k - 1) * 100, k < 12 ? 100 : -1));
        out = folder(u"out"_s);
    }
    // Step 1: all twelve parts (click, shift-click), then OK.
    void pickAllParts() {
        steps->then([this](Form3& f) {
            EXPECT_FALSE(f.File1->isVisible());
            f.Dir1->setPath(at("parts"));
            click(f.File2, u"part1"_s);
            click(f.File2, u"part9"_s, Qt::ShiftModifier); // the last in the list
            QTest::mouseClick(f.Command1, Qt::LeftButton);
        });
    }
    void nameTarget(bool expectShown = false) {
        steps->then([this, expectShown](Form3& f) {
            EXPECT_EQ(f.caption(), caption::kAssembleName);
            EXPECT_TRUE(f.File1->isVisible());
            EXPECT_EQ(f.focusWidget(), f.Text1);
            EXPECT_EQ(f.Text1->text(), QString());
            f.Dir1->setPath(out);
            QTest::keyClicks(f.Text1, u"whole"_s);
            QTest::mouseClick(f.Command1, Qt::LeftButton);
            EXPECT_EQ(f.isVisible(), expectShown);
        });
    }

    QByteArray whole;
    QString out;
};

TEST_F(AssembleCommand, ReorderYesGivesTheWholeBackNoKeepsListOrderAndReplacingIsAsked) {
    const QString target = out + u"/whole"_s;
    boxes.answerNext(6); // re-order
    pickAllParts();
    nameTarget();
    window->menuPasteFile->trigger();
    EXPECT_EQ(read(target), whole);
    EXPECT_EQ(globals::fileCount, 12);
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].text, kReorder);
    EXPECT_EQ(boxes.boxes[0].style, 36);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - It's your choice..."_s);
    EXPECT_EQ(boxes.boxes[1].text, u"The assembled file should appear in this folder: "_s + out +
                                       u".  You might have to refresh the folder (hit F5) to see "
                                       "the file."_s);

    // No to re-ordering; the target exists: No keeps it and the step.
    boxes.boxes.clear();
    for (int answer : {7, 7, 7, 6})
        boxes.answerNext(answer);
    pickAllParts();
    nameTarget(true);
    window->menuPasteFile->trigger();
    EXPECT_EQ(read(target), whole);
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].text, target + u" already exists.  Shall we overwrite it?"_s);
    EXPECT_EQ(boxes.boxes[1].style, 4 + 32 + 256);

    // Yes replaces it, with the parts in list order.
    pickAllParts();
    nameTarget();
    window->menuPasteFile->trigger();
    QByteArray listOrder;
    for (int k : {1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9})
        listOrder += read(at("parts/part%1").arg(k));
    EXPECT_EQ(read(target), listOrder);
    EXPECT_EQ(boxes.boxes.size(), 5);
    EXPECT_EQ(steps->unexpected, 0);
}

TEST_F(AssembleCommand, FewerThanTwoFilesOrNoNameAreRefusedWithTheFocusToMend) {
    const QString m5 = u"Please select fileS to assemble."_s;
    const QString m6 = u"Please enter/select a name for the assembled file."_s;
    QList<QWidget*> focus;
    steps->then([&](Form3& f) {
        f.Dir1->setPath(at("parts"));
        QTest::mouseClick(f.Command1, Qt::LeftButton); // nothing picked
        focus.append(f.focusWidget());
        click(f.File2, u"part3"_s);
        QTest::mouseClick(f.Command1, Qt::LeftButton); // one file
        focus.append(f.focusWidget());
    });
    window->menuPasteFile->trigger(); // then cancelled: no second step
    EXPECT_EQ(steps->showings, 1);

    steps->then([&](Form3& f) {
        select(f.File2, {u"part3"_s, u"part4"_s});
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then([&](Form3& f) {
        QTest::keyClick(f.Text1, Qt::Key_Return);
        focus.append(f.focusWidget());
    });
    window->menuPasteFile->trigger();
    EXPECT_EQ(boxes.boxTexts(), (QStringList{m5, m5, kReorder, m6}));
    EXPECT_EQ(focus, (QList<QWidget*>{d->File2, d->File2, d->Text1}));
    EXPECT_EQ(steps->leftShown, (QList<bool>{true, false, true}));
    EXPECT_FALSE(d->File2->isVisibleTo(d));
}

} // namespace
} // namespace shardix::testing
