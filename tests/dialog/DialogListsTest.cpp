// The operation dialog's lists and boxes: what they show and how they follow
// one another.
#include "tests/dialog/DialogDriver.h"

#include <QLabel>
#include <QProgressBar>

namespace shardix::testing {
namespace {

using ListsTest = DialogTest;

QStringList entries(const FileList* list) {
    QStringList names;
    for (int i = 0; i < list->listCount(); ++i)
        names.append(list->list(i));
    return names;
}

TEST_F(ListsTest, FileListsShowEveryFileHiddenOnesTooInByteOrderAndNoFolders) {
    for (const char* name : {"part2", "part10", "part1", "part11", ".hidden", "Zeta", "alpha"})
        write(QStringLiteral("s/") + QLatin1String(name), "x");
    QDir(root).mkpath(QStringLiteral("s/folder"));
    Form3 d;
    d.File1->setPath(root + QStringLiteral("/s"));
    d.File2->setPath(root + QStringLiteral("/s/"));
    const QStringList expected{".hidden", "Zeta", "alpha", "part1", "part10", "part11", "part2"};
    EXPECT_EQ(entries(d.File1), expected);
    EXPECT_EQ(entries(d.File2), expected);
    EXPECT_EQ(d.File2->path(), root + QStringLiteral("/s"));
}

TEST_F(ListsTest, FolderChangeMovesTheListInUseAndResetsTheNameOnlyWhereItShould) {
    write(QStringLiteral("a/one"), "1");
    write(QStringLiteral("b/two"), "2");
    Form3 d;
    d.Dir1->setPath(root + QStringLiteral("/a"));

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
    EXPECT_EQ(entries(d.File2), QStringList{QStringLiteral("two")});
    EXPECT_EQ(d.File1->path(), root + QStringLiteral("/a"));

    d.Dir1->setPath(QStringLiteral("/"));
    EXPECT_EQ(d.Dir1->path(), QStringLiteral("/"));
}

// Each drive keeps the folder last made current on it; the folder list goes
// back there when it gets the focus or the drive is chosen.
TEST_F(ListsTest, DrivesRememberTheirCurrentFolders) {
    const QString usb = root + QStringLiteral("/usb");
    QDir(root).mkpath(QStringLiteral("usb/photos"));
    QDir(root).mkpath(QStringLiteral("work/deeper"));
    Form3 d(nullptr, DriveTable({usb}));
    ASSERT_TRUE(d.drives().drives().contains(usb));
    d.setCaption(caption::kSegmentFile);
    EXPECT_EQ(d.Drive1->drive(), d.drives().driveOf(globals::appFolder));
    EXPECT_EQ(d.Dir1->path(), root + QStringLiteral("/app")); // the start-up folder

    // A drive never made current on shows its root.
    d.Drive1->setDrive(usb);
    EXPECT_EQ(d.Dir1->path(), usb);
    EXPECT_EQ(d.File1->path(), usb);

    d.drives().makeCurrent(usb + QStringLiteral("/photos"));
    d.drives().makeCurrent(root + QStringLiteral("/work"));
    EXPECT_EQ(QDir::currentPath(), QDir(root + QStringLiteral("/work")).canonicalPath());
    d.Dir1->setPath(QStringLiteral("/"));
    d.Dir1_GotFocus();
    EXPECT_EQ(d.Dir1->path(), usb + QStringLiteral("/photos"));

    d.Drive1->setDrive(d.drives().driveOf(root));
    EXPECT_EQ(d.Dir1->path(), root + QStringLiteral("/work"));

    // Tabbing from the drive list into the folder list after browsing.
    StepScripts steps(d);
    steps.then([&](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/work/deeper"));
        f.Drive1->setFocus();
        QTest::keyClick(f.Drive1, Qt::Key_Tab);
        EXPECT_EQ(f.focusWidget(), f.Dir1);
        EXPECT_EQ(f.Dir1->path(), root + QStringLiteral("/work"));
        EXPECT_EQ(f.File1->path(), root + QStringLiteral("/work"));
    });
    d.showModal();
    EXPECT_EQ(steps.showings, 1);
}

TEST_F(ListsTest, AFolderThatIsGoneIsReportedAndTheListsStay) {
    QDir(root).mkpath(QStringLiteral("gone"));
    Form3 d;
    d.setCaption(caption::kSegmentFile);
    d.drives().makeCurrent(root + QStringLiteral("/gone"));
    QDir::setCurrent(globals::appFolder);
    QDir(root).rmdir(QStringLiteral("gone"));

    d.Dir1_GotFocus();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].style, 64);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Shardix! - Sorry..."));
    EXPECT_TRUE(boxes.boxes[0].text.contains(root + QStringLiteral("/gone")));
    EXPECT_EQ(d.Dir1->path(), root + QStringLiteral("/app"));
    EXPECT_EQ(d.File1->path(), root + QStringLiteral("/app"));
}

TEST_F(ListsTest, ClicksCopyTheNameAndLongNamesBecomeTheToolTip) {
    write(QStringLiteral("s/abcdefghijklmnopqrstuvw"), "23");
    write(QStringLiteral("s/abcdefghijklmnopqrstuv"), "22");
    Form3 d;
    d.setCaption(caption::kAssembleFiles);
    d.Dir1->setPath(root + QStringLiteral("/s"));
    d.File1->hide();
    d.File2->show();
    StepScripts steps(d);
    steps.then([&](Form3& f) {
        click(f.File2, QStringLiteral("abcdefghijklmnopqrstuvw"));
        EXPECT_EQ(f.Text1->text(), QStringLiteral("abcdefghijklmnopqrstuvw"));
        EXPECT_EQ(f.File2->toolTip(), QStringLiteral("abcdefghijklmnopqrstuvw"));
        click(f.File2, QStringLiteral("abcdefghijklmnopqrstuv"), Qt::ControlModifier);
        EXPECT_EQ(f.Text1->text(), QStringLiteral("abcdefghijklmnopqrstuv"));
        EXPECT_EQ(f.File2->toolTip(), QString());
        EXPECT_EQ(f.File2->selectedItems().size(), 2);
    });
    d.showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});
}

TEST_F(ListsTest, FocusSelectsTheWholeTextAndTypingReplacesIt) {
    Form3 d;
    d.setCaption(caption::kAssembleName); // this step puts the focus on the name box
    d.Text1->setText(QStringLiteral("old name"));
    StepScripts steps(d);
    steps.then([&](Form3& f) {
        EXPECT_EQ(f.focusWidget(), f.Text1);
        EXPECT_EQ(f.Text1->selectedText(), QStringLiteral("old name"));
        QTest::keyClicks(f.Text1, QStringLiteral("new"));
        EXPECT_EQ(f.Text1->text(), QStringLiteral("new"));
        f.MaskEdBox1->show();
        f.MaskEdBox1->setText(QStringLiteral("12"));
        f.MaskEdBox1->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(f.MaskEdBox1->selectedText().trimmed(), QStringLiteral("12"));
        QTest::keyClicks(f.MaskEdBox1, QStringLiteral("7x34"));
        EXPECT_EQ(f.MaskEdBox1->text(), QStringLiteral("734")); // three digits at most
    });
    d.showModal();
}

} // namespace
} // namespace shardix::testing
