// The operation dialog's lists: what they show and how they follow one another.
#include "tests/dialog/DialogDriver.h"

#include <QTreeWidgetItemIterator>

namespace shardix::testing {
namespace {

using ListsTest = DialogTest;

// The folder list moves the list in use, and resets the name where a file to
// append to is picked.
TEST_F(ListsTest, FileListsShowEveryFileInByteOrderAndFollowTheFolderList) {
    const QString long23 = u"abcdefghijklmnopqrstuvw"_s;
    const QString long22 = long23.chopped(1);
    for (const QString& name :
         {u"part2"_s, u"part10"_s, u"part1"_s, u".hidden"_s, u"Zeta"_s, long23, long22})
        write(u"s/"_s + name, "x");
    folder(u"s/folder"_s);
    Form3 d;
    d.setCaption(caption::kAssembleFiles);
    d.Dir1->setPath(at(u"s/"_s));
    EXPECT_EQ(d.Dir1->path(), at(u"s"_s));
    d.File1->setPath(at(u"s"_s));
    for (const FileList* list : {d.File1, d.File2}) {
        QStringList names;
        for (int i = 0; i < list->listCount(); ++i)
            names.append(list->list(i));
        EXPECT_EQ(names, (QStringList{u".hidden"_s, u"Zeta"_s, long22, long23, u"part1"_s,
                                      u"part10"_s, u"part2"_s}));
    }
    d.File1->hide();
    d.File2->show();
    StepScripts steps(d);
    steps.then([&](Form3& f) {
        click(f.File2, {long23}); // 23 characters: tool tip
        EXPECT_EQ(f.Text1->text(), long23);
        EXPECT_EQ(f.File2->toolTip(), long23);
        click(f.File2, {long22}, Qt::ControlModifier); // 22: none
        EXPECT_EQ(f.File2->toolTip(), QString());
        EXPECT_EQ(f.File2->selectedItems().size(), 2);
    });
    d.showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});

    d.setCaption(caption::kSegmentFile);
    d.Text1->setText(u"kept"_s);
    d.Dir1->setPath(u"/"_s);
    EXPECT_EQ(d.Dir1->path(), u"/"_s);
    EXPECT_EQ(d.File1->path(), u"/"_s);
    EXPECT_EQ(d.File2->path(), at(u"s"_s));
    EXPECT_EQ(d.Text1->text(), u"kept"_s);
    d.setCaption(caption::kAppendTo);
    d.Dir1->setPath(at(u"s"_s));
    EXPECT_EQ(d.File1->path(), at(u"s"_s));
    EXPECT_EQ(d.Text1->text(), u"*.*"_s);
}

// Each drive keeps the folder last made current on it; the folder list goes
// back there when it gets the focus or the drive is chosen.
TEST_F(ListsTest, DrivesRememberTheirCurrentFolders) {
    const QString usb = folder(u"usb/photos"_s).chopped(7);
    const QString work = folder(u"work/deeper"_s).chopped(7);
    folder(u"gone"_s);
    Form3 d(nullptr, DriveTable({usb}));
    d.setCaption(caption::kSegmentFile);
    EXPECT_EQ(d.Dir1->path(), at(u"app"_s)); // the start-up folder
    d.Drive1->setDrive(usb);                 // never made current on: its root
    EXPECT_EQ(d.Dir1->path(), usb);
    d.drives().makeCurrent(usb + u"/photos"_s);
    d.drives().makeCurrent(work);
    d.Dir1->setPath(u"/"_s);
    d.Dir1_GotFocus();
    EXPECT_EQ(d.Dir1->path(), usb + u"/photos"_s);
    d.Drive1->setDrive(d.drives().driveOf(root));
    EXPECT_EQ(d.Dir1->path(), work);

    StepScripts steps(d);
    steps.then([&](Form3& f) {
        f.Dir1->setPath(work + u"/deeper"_s);
        f.Drive1->setFocus();
        QTest::keyClick(f.Drive1, Qt::Key_Tab);
        EXPECT_EQ(f.focusWidget(), f.Dir1);
        EXPECT_EQ(f.Dir1->path(), work);
        // Enter moves into a subfolder and runs nothing else.
        QTest::keyClick(f.Dir1, Qt::Key_Down);
        QTest::keyClick(f.Dir1, Qt::Key_Return);
        QTest::qWait(0);
        EXPECT_EQ(f.Dir1->path(), work + u"/deeper"_s);
        EXPECT_TRUE(boxes.boxes.isEmpty());
    });
    d.showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});

    // A drive's folder that is gone: explained, and the lists stay.
    d.drives().makeCurrent(at(u"gone"_s));
    QDir(root).rmdir(u"gone"_s);
    d.Dir1_GotFocus();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].style, 64);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - Sorry..."_s);
    EXPECT_TRUE(boxes.boxes[0].text.contains(at(u"gone"_s)));
    EXPECT_EQ(d.File1->path(), work + u"/deeper"_s);
}

// Folders made while the dialog is up, by another program: a click into the
// folder list lands on the row under the pointer, and the next step shown lists
// them, the folder shown still marked.
TEST_F(ListsTest, AClickLandsOnTheRowUnderThePointerAndAStepShowsNewFolders) {
    folder(u"f/a"_s);
    folder(u"f/c"_s);
    Form3 d;
    d.setCaption(caption::kAssembleFiles);
    d.drives().makeCurrent(at(u"f"_s));
    d.Dir1->setPath(at(u"f"_s));
    const auto shown = [&] {
        QStringList names;
        for (QTreeWidgetItemIterator it(d.Dir1); *it; ++it)
            names.append((*it)->text(0));
        return names;
    };
    StepScripts steps(d);
    steps.then([&](Form3& f) {
        f.Text1->setFocus();
        folder(u"f/b"_s); // between two clicks
        const auto c = f.Dir1->findItems(u"c"_s, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(c.size(), 1);
        QTest::mouseClick(f.Dir1->viewport(), Qt::LeftButton, {},
                          f.Dir1->visualItemRect(c.first()).center());
        ASSERT_EQ(f.focusWidget(), f.Dir1);
        EXPECT_EQ(f.Dir1->currentItem()->text(0), u"c"_s);
    });
    d.showModal();
    folder(u"f/d"_s); // between two steps
    steps.then([&](Form3& f) {
        EXPECT_EQ(shown().mid(shown().indexOf(u"f"_s)), (QStringList{"f", "a", "b", "c", "d"}));
        EXPECT_EQ(f.Dir1->currentItem()->text(0), u"f"_s);
        EXPECT_EQ(f.File2->path(), at(u"f"_s));
    });
    d.showModal();
    EXPECT_EQ(steps.leftShown, (QList<bool>{true, true}));
}

TEST(NameBoxTest, AClickIntoABoxSelectsItsTextSoTypingReplacesIt) {
    QWidget window;
    auto* name = new NameBox(&window);
    auto* count = new NameBox(&window);
    name->setGeometry(0, 0, 145, 25);
    count->setGeometry(0, 40, 41, 25);
    count->setInputMask(QStringLiteral("999; "));
    name->setText(QStringLiteral("movie"));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // A click right of the text would leave the cursor past the count box's
    // three places, where nothing can be typed.
    for (NameBox* box : {count, name}) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 3, box->height() / 2));
        ASSERT_EQ(QApplication::focusWidget(), box);
        QTest::keyClicks(box, QStringLiteral("12"));
    }
    EXPECT_EQ(count->text(), QStringLiteral("12"));
    EXPECT_EQ(name->text(), QStringLiteral("12"));

    // A click into the box that already has the focus only places the cursor.
    QTest::mousePress(name, Qt::LeftButton, {}, QPoint(2, 12));
    QTest::mouseRelease(name, Qt::LeftButton, {}, QPoint(2, 12));
    EXPECT_FALSE(name->hasSelectedText());
}

} // namespace
} // namespace shardix::testing
