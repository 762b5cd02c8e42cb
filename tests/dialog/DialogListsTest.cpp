// The operation dialog's lists: what they show and how they follow one another.
#include "tests/dialog/DialogDriver.h"

namespace shardix::testing {
namespace {

using ListsTest = DialogTest;

TEST_F(ListsTest, FileListsShowEveryFileInByteOrderAndClicksCopyTheName) {
    for (const char* name : {"part2", "part10", "part1", ".hidden", "Zeta",
                             "abcdefghijklmnopqrstuvw", "abcdefghijklmnopqrstuv"})
        write(QStringLiteral("s/") + QLatin1String(name), "x");
    QDir(root).mkpath(QStringLiteral("s/folder"));
    Form3 d;
    d.setCaption(caption::kAssembleFiles);
    d.Dir1->setPath(root + QStringLiteral("/s/"));
    d.File1->setPath(root + QStringLiteral("/s"));
    const QStringList expected{
        ".hidden", "Zeta", "abcdefghijklmnopqrstuv", "abcdefghijklmnopqrstuvw", "part1",
        "part10",  "part2"};
    for (const FileList* list : {d.File1, d.File2}) {
        QStringList names;
        for (int i = 0; i < list->listCount(); ++i)
            names.append(list->list(i));
        EXPECT_EQ(names, expected);
    }
    d.File1->hide();
    d.File2->show();
    StepScripts steps(d);
    steps.then([&](Form3& f) {
        click(f.File2, QStringLiteral("abcdefghijklmnopqrstuvw")); // 23 characters: tool tip
        EXPECT_EQ(f.Text1->text(), QStringLiteral("abcdefghijklmnopqrstuvw"));
        EXPECT_EQ(f.File2->toolTip(), QStringLiteral("abcdefghijklmnopqrstuvw"));
        click(f.File2, QStringLiteral("abcdefghijklmnopqrstuv"), Qt::ControlModifier); // 22: none
        EXPECT_EQ(f.File2->toolTip(), QString());
        EXPECT_EQ(f.File2->selectedItems().size(), 2);
    });
    d.showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});
}

TEST_F(ListsTest, FolderChangeMovesTheListInUseAndResetsTheNameOnlyWhereItShould) {
    write(QStringLiteral("a/one"), "1");
    write(QStringLiteral("b/two"), "2");
    Form3 d;
    d.setCaption(caption::kSegmentFile);
    d.Text1->setText(QStringLiteral("kept"));
    d.Dir1->setPath(root + QStringLiteral("/b"));
    EXPECT_EQ(d.File1->path(), root + QStringLiteral("/b"));
    EXPECT_EQ(d.Text1->text(), QStringLiteral("kept"));

    d.setCaption(caption::kAppendTo);
    d.Dir1->setPath(root + QStringLiteral("/a/"));
    EXPECT_EQ(d.Dir1->path(), root + QStringLiteral("/a"));
    EXPECT_EQ(d.File1->path(), root + QStringLiteral("/a"));
    EXPECT_EQ(d.Text1->text(), QStringLiteral("*.*"));

    d.setCaption(caption::kAssembleFiles);
    d.Dir1->setPath(root + QStringLiteral("/b"));
    EXPECT_EQ(d.File2->path(), root + QStringLiteral("/b"));
    EXPECT_EQ(d.File1->path(), root + QStringLiteral("/a"));
    d.Dir1->setPath(QStringLiteral("/"));
    EXPECT_EQ(d.Dir1->path(), QStringLiteral("/"));
}

// Each drive keeps the folder last made current on it; the folder list goes
// back there when it gets the focus or the drive is chosen.
TEST_F(ListsTest, DrivesRememberTheirCurrentFolders) {
    const QString usb = folder(QStringLiteral("usb"));
    folder(QStringLiteral("usb/photos"));
    folder(QStringLiteral("work/deeper"));
    folder(QStringLiteral("gone"));
    Form3 d(nullptr, DriveTable({usb}));
    d.setCaption(caption::kSegmentFile);
    EXPECT_EQ(d.Dir1->path(), root + QStringLiteral("/app")); // the start-up folder

    d.Drive1->setDrive(usb); // never made current on: its root
    EXPECT_EQ(d.Dir1->path(), usb);
    EXPECT_EQ(d.File1->path(), usb);
    d.drives().makeCurrent(usb + QStringLiteral("/photos"));
    d.drives().makeCurrent(root + QStringLiteral("/work"));
    d.Dir1->setPath(QStringLiteral("/"));
    d.Dir1_GotFocus();
    EXPECT_EQ(d.Dir1->path(), usb + QStringLiteral("/photos"));
    d.Drive1->setDrive(d.drives().driveOf(root));
    EXPECT_EQ(d.Dir1->path(), root + QStringLiteral("/work"));

    StepScripts steps(d);
    steps.then([&](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/work/deeper"));
        f.Drive1->setFocus();
        QTest::keyClick(f.Drive1, Qt::Key_Tab);
        EXPECT_EQ(f.focusWidget(), f.Dir1);
        EXPECT_EQ(f.Dir1->path(), root + QStringLiteral("/work"));
        EXPECT_EQ(f.File1->path(), root + QStringLiteral("/work"));
        // Enter moves into a subfolder and runs nothing else.
        QTest::keyClick(f.Dir1, Qt::Key_Down);
        QTest::keyClick(f.Dir1, Qt::Key_Return);
        QTest::qWait(0);
        EXPECT_EQ(f.Dir1->path(), root + QStringLiteral("/work/deeper"));
        EXPECT_TRUE(boxes.boxes.isEmpty());
    });
    d.showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});

    // A drive's folder that is gone: explained, and the lists stay.
    d.drives().makeCurrent(root + QStringLiteral("/gone"));
    QDir(root).rmdir(QStringLiteral("gone"));
    d.Dir1_GotFocus();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].style, 64);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Shardix! - Sorry..."));
    EXPECT_TRUE(boxes.boxes[0].text.contains(root + QStringLiteral("/gone")));
    EXPECT_EQ(d.Dir1->path(), at(u"work/deeper"_s));
    EXPECT_EQ(d.File1->path(), at(u"work/deeper"_s));
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
