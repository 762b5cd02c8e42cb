// The operation dialog's lists: what they show and how they follow one another.
#include "tests/dialog/DialogDriver.h"

#include "dialog/commands/AppendSteps.h"
#include "dialog/commands/AssembleSteps.h"
#include "dialog/commands/SegmentSteps.h"

#include <QTreeWidgetItemIterator>

namespace shardix::testing {
namespace {

using ListsTest = DialogTest;

// A folder of files whose names sort differently in byte order and in number
// order, hidden and long ones among them.
class FileListsTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        for (const QString& name :
             {u"part2"_s, u"part10"_s, u"part1"_s, u".hidden"_s, u"Zeta"_s, long23, long22, longer})
            write(u"s/"_s + name, "x");
        folder(u"s/folder"_s);
    }
    // Both lists on the folder, the one that picks several in use.
    void showBothLists() {
        both = std::make_unique<OperationDialog>(boxes, QString());
        both->prepare(pickPieces, AssembleSteps::kPickPieces);
        EXPECT_TRUE(folderList(*both)->setPath(at(u"s/"_s)).ok());
        EXPECT_EQ(folderList(*both)->path(), at(u"s"_s));
        EXPECT_TRUE(fileList(*both)->setPath(at(u"s"_s)).ok());
    }
    const QString long23 = u"abcdefghijklmnopqrstuvw"_s;
    const QString long22 = long23.chopped(1);
    const QString longer = QString(60, u'L') + u"part4"_s;
    AssembleSteps pickPieces;
    std::unique_ptr<OperationDialog> both;
};

// Both file lists show every file, hidden ones too, as file managers do (part2
// before part10).
TEST_F(FileListsTest, FileListsShowEveryFileInNumberOrder) {
    showBothLists();
    for (const FileList* list : {fileList(*both), multiFileList(*both)}) {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names.append(list->item(i)->text());
        EXPECT_EQ(names, (QStringList{u".hidden"_s, longer, u"Zeta"_s, long22, long23, u"part1"_s,
                                      u"part2"_s, u"part10"_s}));
    }
}

// A long name is shortened in its middle within the list and whole in its
// entry's tool tip.
TEST_F(FileListsTest, ALongNameIsShortenedInTheListAndWholeInItsToolTip) {
    showBothLists();
    for (const FileList* list : {fileList(*both), multiFileList(*both)}) {
        for (int i = 0; i < list->count(); ++i)
            EXPECT_EQ(list->item(i)->toolTip(), list->item(i)->text()); // the whole name
        EXPECT_EQ(list->textElideMode(), Qt::ElideMiddle);
        EXPECT_EQ(list->item(1)->text(), longer);
        const QRect entry = list->visualItemRect(list->item(1));
        EXPECT_TRUE(entry.isValid() && entry.right() < list->viewport()->width());
    }
}

// A name of more than 22 characters clicked in the list that picks several
// files becomes that list's tool tip; a shorter one clears it.
TEST_F(FileListsTest, AClickedLongNameBecomesTheListsToolTip) {
    AssembleSteps assemble;
    OperationDialog d(boxes, QString());
    d.prepare(assemble, AssembleSteps::kPickPieces);
    EXPECT_TRUE(folderList(d)->setPath(at(u"s"_s)).ok());
    StepScripts steps(d);
    steps.then([&](OperationDialog& f) {
        click(multiFileList(f), {long23});
        EXPECT_EQ(nameBox(f)->text(), long23);
        EXPECT_EQ(multiFileList(f)->toolTip(), long23);
        click(multiFileList(f), {long22}, Qt::ControlModifier);
        EXPECT_EQ(multiFileList(f)->toolTip(), QString());
        EXPECT_EQ(multiFileList(f)->selectedItems().size(), 2);
    });
    d.showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});
}

// The folder list moves the list in use only, and leaves the name box alone
// where no file to append to is looked for.
TEST_F(FileListsTest, TheFolderListMovesTheListInUseOnly) {
    AssembleSteps assemble;
    SegmentSteps segment;
    OperationDialog d(boxes, QString());
    d.prepare(assemble, AssembleSteps::kPickPieces);
    EXPECT_TRUE(folderList(d)->setPath(at(u"s"_s)).ok());
    d.prepare(segment, SegmentSteps::kPickSource);
    nameBox(d)->setText(u"kept"_s);
    EXPECT_TRUE(folderList(d)->setPath(u"/"_s).ok());
    EXPECT_EQ(folderList(d)->path(), u"/"_s);
    EXPECT_EQ(fileList(d)->path(), u"/"_s);
    EXPECT_EQ(multiFileList(d)->path(), at(u"s"_s));
    EXPECT_EQ(nameBox(d)->text(), u"kept"_s);
}

// Where a file to append to is picked, each folder entered puts "*.*" back in
// the name box.
TEST_F(FileListsTest, WhereAFileToAppendToIsPickedEachFolderResetsTheName) {
    AppendSteps append;
    OperationDialog d(boxes, QString());
    d.prepare(append, AppendSteps::kPickTarget);
    nameBox(d)->setText(u"kept"_s);
    EXPECT_TRUE(folderList(d)->setPath(at(u"s"_s)).ok());
    EXPECT_EQ(fileList(d)->path(), at(u"s"_s));
    EXPECT_EQ(nameBox(d)->text(), u"*.*"_s);
}

// The program's folder, current while an engine runs, never becomes a drive's
// current folder: with the output on another drive, the lists go back to the
// folder the user works in, not to the program's.
TEST_F(ListsTest, TheListsNeverGoBackToTheProgramsFolder) {
    const QString usb = folder(u"usb"_s);
    const QString work = folder(u"work"_s);
    write(u"work/movie"_s, "0123456789");
    SegmentSteps segment;
    OperationDialog d(boxes, appFolder, nullptr, DriveTable({usb}, work));
    StepScripts steps(d);
    QString during;
    boxes.duringRun = [&](int) { during = QDir::currentPath() + u'/'; };
    steps.then([&](OperationDialog& f) { okWith(f, u"movie"_s); });
    steps.then([&](OperationDialog& f) {
        driveList(f)->setDrive(usb);
        okWith(f, u"piece"_s, u"2"_s);
    });
    d.walk(segment);
    EXPECT_EQ(steps.leftShown, (QList<bool>{false, false}));
    EXPECT_EQ(during, QDir(appFolder).canonicalPath() + u'/'); // current while it ran
    EXPECT_EQ(QDir::currentPath(), QDir(usb).canonicalPath()); // then the output's folder
    d.prepare(segment, SegmentSteps::kPickSource);
    driveList(d)->setDrive(d.drives().driveOf(work));
    EXPECT_EQ(folderList(d)->path(), work);
}

// Enter on an entry of either file list acts as a double-click on it: the
// entry is picked and the step taken.
class EnterOnAnEntry : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        write(u"s/movie"_s, "0123456789");
        write(u"s/movie2"_s, "x");
        d = std::make_unique<OperationDialog>(boxes, QString());
    }
    // "movie" clicked, then Down (with Shift in the list that picks several)
    // and Enter: what the name box then holds.
    QString enterAfterDown(bool several) {
        if (several)
            d->prepare(assemble, AssembleSteps::kPickPieces);
        else
            d->prepare(segment, SegmentSteps::kPickSource);
        EXPECT_TRUE(folderList(*d)->setPath(at(u"s"_s)).ok());
        StepScripts steps(*d);
        QString picked;
        steps.then([&](OperationDialog& f) {
            FileList* list = several ? multiFileList(f) : fileList(f);
            click(list, {u"movie"_s});
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Down, several ? Qt::ShiftModifier : Qt::NoModifier);
            QTest::keyClick(list, Qt::Key_Return);
            picked = nameBox(f)->text();
        });
        EXPECT_EQ(d->showModal(), StepResult::Accepted);
        EXPECT_EQ(steps.leftShown, QList<bool>{false});
        return picked;
    }
    SegmentSteps segment;
    AssembleSteps assemble;
    std::unique_ptr<OperationDialog> d;
};

TEST_F(EnterOnAnEntry, InTheListThatPicksOneFileTakesTheStep) {
    EXPECT_EQ(enterAfterDown(false), u"movie2"_s);
}

TEST_F(EnterOnAnEntry, InTheListThatPicksSeveralTakesTheStepWithThemAll) {
    EXPECT_EQ(enterAfterDown(true), u"movie2"_s);
    EXPECT_EQ(d->selectedFiles(),
              (std::vector<std::string>{QFile::encodeName(at(u"s/movie"_s)).toStdString(),
                                        QFile::encodeName(at(u"s/movie2"_s)).toStdString()}));
}

// Two drives, "usb" and the one that holds the test's folder, with folders to
// make current on them.
class DrivesTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        usb = folder(u"usb/photos"_s).chopped(7);
        work = folder(u"work/deeper"_s).chopped(7);
        d = std::make_unique<OperationDialog>(boxes, QString(), nullptr, DriveTable({usb}));
        d->prepare(segment, SegmentSteps::kPickSource);
    }
    QString usb;
    QString work;
    SegmentSteps segment;
    std::unique_ptr<OperationDialog> d;
};

// Each drive keeps the folder last made current on it, its root until then;
// the folder list goes back there when the drive is chosen or the dialog asks.
TEST_F(DrivesTest, DrivesRememberTheirCurrentFolders) {
    EXPECT_EQ(folderList(*d)->path(), at(u"app"_s)); // the start-up folder
    driveList(*d)->setDrive(usb);
    EXPECT_EQ(folderList(*d)->path(), usb);
    EXPECT_TRUE(d->drives().makeCurrent(usb + u"/photos"_s).ok());
    EXPECT_TRUE(d->drives().makeCurrent(work).ok());
    EXPECT_TRUE(folderList(*d)->setPath(u"/"_s).ok());
    d->goToDriveFolder();
    EXPECT_EQ(folderList(*d)->path(), usb + u"/photos"_s);
    driveList(*d)->setDrive(d->drives().driveOf(root));
    EXPECT_EQ(folderList(*d)->path(), work);
}

// Focus from the keyboard takes the folder list back to the drive's current
// folder.
TEST_F(DrivesTest, KeyboardFocusTakesTheFolderListToTheDrivesFolder) {
    EXPECT_TRUE(d->drives().makeCurrent(work).ok());
    StepScripts steps(*d);
    steps.then([&](OperationDialog& f) {
        EXPECT_TRUE(folderList(f)->setPath(work + u"/deeper"_s).ok());
        driveList(f)->setFocus();
        QTest::keyClick(driveList(f), Qt::Key_Tab);
        EXPECT_EQ(f.focusWidget(), folderList(f));
        EXPECT_EQ(folderList(f)->path(), work);
    });
    d->showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});
}

// Enter in the folder list moves into a subfolder and runs nothing else.
TEST_F(DrivesTest, EnterInTheFolderListMovesIntoASubfolder) {
    EXPECT_TRUE(d->drives().makeCurrent(work).ok());
    StepScripts steps(*d);
    steps.then([&](OperationDialog& f) {
        folderList(f)->setFocus();
        EXPECT_EQ(folderList(f)->path(), work);
        QTest::keyClick(folderList(f), Qt::Key_Down);
        QTest::keyClick(folderList(f), Qt::Key_Return);
        QTest::qWait(0);
        EXPECT_EQ(folderList(f)->path(), work + u"/deeper"_s);
    });
    d->showModal();
    EXPECT_EQ(steps.leftShown, QList<bool>{true});
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

// A drive's folder that is gone, gone to after the lists were in work/deeper.
class GoneFolder : public DrivesTest {
  protected:
    void SetUp() override {
        DrivesTest::SetUp();
        folder(u"gone"_s);
        EXPECT_TRUE(d->drives().makeCurrent(work + u"/deeper"_s).ok());
        d->goToDriveFolder();
        EXPECT_TRUE(d->drives().makeCurrent(at(u"gone"_s)).ok());
        QDir(root).rmdir(u"gone"_s);
        d->goToDriveFolder();
    }
};

// A Sorry box names it.
TEST_F(GoneFolder, IsExplained) {
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].style, MessageIcon::Information);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - Sorry..."_s);
    EXPECT_TRUE(boxes.boxes[0].text.contains(at(u"gone"_s)));
}

TEST_F(GoneFolder, TheListsStayWhereTheyWere) {
    EXPECT_EQ(fileList(*d)->path(), work + u"/deeper"_s);
}

// Folders made while the dialog is up, by another program, in f/ beside a/ and
// c/: at the first showing, "b" is made between two clicks, the second of
// which is on "c" in the folder list.
class NewFolders : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        folder(u"f/a"_s);
        folder(u"f/c"_s);
        d = std::make_unique<OperationDialog>(boxes, QString());
        d->prepare(assemble, AssembleSteps::kPickPieces); // the list that picks several files
        EXPECT_TRUE(d->drives().makeCurrent(at(u"f"_s)).ok());
        EXPECT_TRUE(folderList(*d)->setPath(at(u"f"_s)).ok());
        steps = std::make_unique<StepScripts>(*d);
        steps->then([&](OperationDialog& f) {
            nameBox(f)->setFocus();
            folder(u"f/b"_s); // between two clicks
            const auto c = folderList(f)->findItems(u"c"_s, Qt::MatchExactly | Qt::MatchRecursive);
            ASSERT_EQ(c.size(), 1);
            QTest::mouseClick(folderList(f)->viewport(), Qt::LeftButton, {},
                              folderList(f)->visualItemRect(c.first()).center());
            clickedInto = f.focusWidget() == folderList(f);
            clickedOn = folderList(f)->currentItem()->text(0);
        });
        d->showModal();
    }
    QStringList shown() const {
        QStringList names;
        for (QTreeWidgetItemIterator it(folderList(*d)); *it; ++it)
            names.append((*it)->text(0));
        return names;
    }
    AssembleSteps assemble;
    std::unique_ptr<OperationDialog> d;
    std::unique_ptr<StepScripts> steps;
    bool clickedInto = false;
    QString clickedOn;
};

TEST_F(NewFolders, AClickLandsOnTheRowUnderThePointer) {
    EXPECT_TRUE(clickedInto);
    EXPECT_EQ(clickedOn, u"c"_s);
    EXPECT_EQ(steps->leftShown, QList<bool>{true});
}

// The next step shown lists them, the folder shown still marked.
TEST_F(NewFolders, TheNextStepShowsThem) {
    folder(u"f/d"_s); // between two steps
    steps->then([&](OperationDialog& f) {
        EXPECT_EQ(shown().mid(shown().indexOf(u"f"_s)), (QStringList{"f", "a", "b", "c", "d"}));
        EXPECT_EQ(folderList(f)->currentItem()->text(0), u"f"_s);
        EXPECT_EQ(multiFileList(f)->path(), at(u"f"_s));
    });
    d->showModal();
    EXPECT_EQ(steps->leftShown, (QList<bool>{true, true}));
}

// A name box and a count box of three places in a window that is shown.
class NameBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        name->setGeometry(0, 0, 145, 25);
        count->setGeometry(0, 40, 41, 25);
        count->setInputMask(QStringLiteral("999; "));
        name->setText(QStringLiteral("movie"));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // A click right of the text, which would leave the cursor past the count
    // box's three places, where nothing can be typed.
    static void clickRightOfTheText(NameBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 3, box->height() / 2));
        ASSERT_EQ(QApplication::focusWidget(), box);
    }
    QWidget window;
    NameBox* name = new NameBox(&window);
    NameBox* count = new NameBox(&window);
};

TEST_F(NameBoxTest, AClickIntoABoxSelectsItsTextSoTypingReplacesIt) {
    for (NameBox* box : {count, name}) {
        clickRightOfTheText(box);
        QTest::keyClicks(box, QStringLiteral("12"));
    }
    EXPECT_EQ(count->text(), QStringLiteral("12"));
    EXPECT_EQ(name->text(), QStringLiteral("12"));
}

TEST_F(NameBoxTest, AClickIntoTheBoxThatHasTheFocusOnlyPlacesTheCursor) {
    clickRightOfTheText(count);
    clickRightOfTheText(name);
    ASSERT_TRUE(name->hasSelectedText()); // the click that gave the focus selected it all
    QTest::mousePress(name, Qt::LeftButton, {}, QPoint(2, 12));
    QTest::mouseRelease(name, Qt::LeftButton, {}, QPoint(2, 12));
    EXPECT_FALSE(name->hasSelectedText());
}

} // namespace
} // namespace shardix::testing
