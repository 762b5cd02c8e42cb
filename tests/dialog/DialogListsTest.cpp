// The operation dialog's lists: what they show and how they follow one another.
#include "tests/dialog/DialogDriver.h"

#include "dialog/commands/AppendSteps.h"
#include "dialog/commands/AssembleSteps.h"
#include "dialog/commands/SegmentSteps.h"

#include "engines/names/PieceNumbers.h"
#include "platform/ReadableToolTips.h"

#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <random>

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
    const QString long23 = u"abcdefghijklmnopqrstuvw"_s;
    const QString long22 = long23.chopped(1);
    const QString longer = QString(60, u'L') + u"part4"_s;
};

// Both file lists show every file, hidden ones too, as file managers do (part2
// before part10), a long name shortened in its middle within the list and
// whole in its entry's tool tip.
TEST_F(FileListsTest, FileListsShowEveryFileInNumberOrder) {
    AssembleSteps assemble;
    OperationDialog d(boxes, QString());
    d.prepare(assemble, AssembleSteps::kPickPieces); // the list that picks several files in use
    EXPECT_TRUE(folderList(d)->setPath(at(u"s/"_s)).ok());
    EXPECT_EQ(folderList(d)->path(), at(u"s"_s));
    EXPECT_TRUE(fileList(d)->setPath(at(u"s"_s)).ok());
    for (const FileList* list : {fileList(d), multiFileList(d)}) {
        QStringList names;
        for (int i = 0; i < list->count(); ++i) {
            names.append(list->item(i)->text());
            EXPECT_EQ(list->item(i)->toolTip(), names.back()); // the whole name, however long
        }
        EXPECT_EQ(list->textElideMode(), Qt::ElideMiddle);
        const QRect entry = list->visualItemRect(list->item(1));
        EXPECT_TRUE(entry.isValid() && entry.right() < list->viewport()->width());
        EXPECT_EQ(names, (QStringList{u".hidden"_s, longer, u"Zeta"_s, long22, long23, u"part1"_s,
                                      u"part2"_s, u"part10"_s}));
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
TEST_F(ListsTest, EnterOnAnEntryTakesTheStepAsADoubleClickDoes) {
    write(u"s/movie"_s, "0123456789");
    write(u"s/movie2"_s, "x");
    SegmentSteps segment;
    AssembleSteps assemble;
    OperationDialog d(boxes, QString());
    QStringList picked;
    for (const bool several : {false, true}) {
        if (several)
            d.prepare(assemble, AssembleSteps::kPickPieces);
        else
            d.prepare(segment, SegmentSteps::kPickSource);
        EXPECT_TRUE(folderList(d)->setPath(at(u"s"_s)).ok());
        StepScripts steps(d);
        steps.then([&](OperationDialog& f) {
            FileList* list = several ? multiFileList(f) : fileList(f);
            click(list, {u"movie"_s});
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Down, several ? Qt::ShiftModifier : Qt::NoModifier);
            QTest::keyClick(list, Qt::Key_Return);
            picked.append(nameBox(f)->text());
        });
        EXPECT_EQ(d.showModal(), StepResult::Accepted);
        EXPECT_EQ(steps.leftShown, QList<bool>{false});
    }
    EXPECT_EQ(picked, (QStringList{u"movie2"_s, u"movie2"_s}));
    EXPECT_EQ(d.selectedFiles(),
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

// A drive's folder that is gone: explained, and the lists stay.
TEST_F(DrivesTest, ADrivesFolderThatIsGoneIsExplainedAndTheListsStay) {
    folder(u"gone"_s);
    EXPECT_TRUE(d->drives().makeCurrent(work + u"/deeper"_s).ok());
    d->goToDriveFolder();
    EXPECT_TRUE(d->drives().makeCurrent(at(u"gone"_s)).ok());
    QDir(root).rmdir(u"gone"_s);
    d->goToDriveFolder();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].style, MessageIcon::Information);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - Sorry..."_s);
    EXPECT_TRUE(boxes.boxes[0].text.contains(at(u"gone"_s)));
    EXPECT_EQ(fileList(*d)->path(), work + u"/deeper"_s);
}

// Folders made while the dialog is up, by another program: a click into the
// folder list lands on the row under the pointer, and the next step shown lists
// them, the folder shown still marked.
TEST_F(ListsTest, AClickLandsOnTheRowUnderThePointerAndAStepShowsNewFolders) {
    folder(u"f/a"_s);
    folder(u"f/c"_s);
    AssembleSteps assemble;
    OperationDialog d(boxes, QString());
    d.prepare(assemble, AssembleSteps::kPickPieces); // the list that picks several files in use
    EXPECT_TRUE(d.drives().makeCurrent(at(u"f"_s)).ok());
    EXPECT_TRUE(folderList(d)->setPath(at(u"f"_s)).ok());
    const auto shown = [&] {
        QStringList names;
        for (QTreeWidgetItemIterator it(folderList(d)); *it; ++it)
            names.append((*it)->text(0));
        return names;
    };
    StepScripts steps(d);
    steps.then([&](OperationDialog& f) {
        nameBox(f)->setFocus();
        folder(u"f/b"_s); // between two clicks
        const auto c = folderList(f)->findItems(u"c"_s, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(c.size(), 1);
        QTest::mouseClick(folderList(f)->viewport(), Qt::LeftButton, {},
                          folderList(f)->visualItemRect(c.first()).center());
        ASSERT_EQ(f.focusWidget(), folderList(f));
        EXPECT_EQ(folderList(f)->currentItem()->text(0), u"c"_s);
    });
    d.showModal();
    folder(u"f/d"_s); // between two steps
    steps.then([&](OperationDialog& f) {
        EXPECT_EQ(shown().mid(shown().indexOf(u"f"_s)), (QStringList{"f", "a", "b", "c", "d"}));
        EXPECT_EQ(folderList(f)->currentItem()->text(0), u"f"_s);
        EXPECT_EQ(multiFileList(f)->path(), at(u"f"_s));
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

// The lists' order, from any order the folder gives: the pieces of every base
// name in number order, padded or not, whatever else lies beside them; and
// that is the order the tool takes without being told (--sort, --as-given).
TEST(NaturalOrder, PiecesOfEveryBaseNameComeInNumberOrderFromAnyListing) {
    std::mt19937 random(20261209);
    const QStringList bases{u"h."_s, u"v1"_s, u"disk.img."_s, u"x"_s, u"p_"_s};
    for (int round = 0; round < 200; ++round) {
        QStringList names{u"readme"_s, u"h.sha256"_s, u"v"_s};
        std::vector<QStringList> sets;
        for (const QString& base : bases) {
            const int count = std::uniform_int_distribution(2, 130)(random);
            const int width = std::uniform_int_distribution(0, 1)(random) ? 3 : 0;
            QStringList set;
            for (int k = 1; k <= count; ++k)
                set.append(base + u"%1"_s.arg(k, width, 10, QLatin1Char('0')));
            names += set;
            sets.push_back(set);
        }
        std::shuffle(names.begin(), names.end(), random);
        QStringList shown = names;
        sortNaturally(shown);
        std::shuffle(names.begin(), names.end(), random);
        QStringList again = names;
        sortNaturally(again);
        ASSERT_EQ(shown, again) << "the order depends on the listing";
        for (const QStringList& set : sets) {
            std::vector<std::string> inListOrder;
            for (const QString& name : shown) {
                if (set.contains(name))
                    inListOrder.push_back("/s/" + name.toStdString());
            }
            ASSERT_EQ(inListOrder.size(), static_cast<std::size_t>(set.size()));
            for (std::size_t k = 0; k < inListOrder.size(); ++k)
                ASSERT_EQ(inListOrder[k], "/s/" + set[static_cast<qsizetype>(k)].toStdString());
            EXPECT_TRUE(outOfNumberOrder(inListOrder).ok()) << inListOrder.front();
        }
    }
    QStringList alike{u"p1"_s, u"p01"_s, u"p001"_s, u"P1"_s};
    sortNaturally(alike);
    EXPECT_EQ(alike, (QStringList{u"P1"_s, u"p001"_s, u"p01"_s, u"p1"_s}));
}

// A long tool tip of plain text is shown in a paragraph, which wraps; short
// ones and rich ones as they are.
TEST(ReadableToolTipsTest, LongPlainTipsWrap) {
    const QString tip = QString(80, u'a') + u" & b"_s;
    EXPECT_EQ(ReadableToolTips::wrapped(tip), u"<p>"_s + tip.toHtmlEscaped() + u"</p>"_s);
    EXPECT_EQ(ReadableToolTips::wrapped(u"short"_s), u"short"_s);
}

} // namespace
} // namespace shardix::testing
