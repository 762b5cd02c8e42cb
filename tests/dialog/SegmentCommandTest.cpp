// File > Segment File... driven through the menu and both dialog steps.
#include "tests/dialog/DialogDriver.h"

#include "engines/manifest/Manifest.h"
#include "engines/operations/Segmenter.h"
#include "tests/support/TempStore.h"

namespace shardix::testing {
namespace {

const QString kSegmentsCaption = u"Select DIR and/or enter BASE name for each segment"_s;

class SegmentCommand : public CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        source = write(u"src/movie"_s, whole);
        out = folder(u"out"_s);
    }
    // Step 1: `first` in the file's folder, then the file clicked and OK. Step 2,
    // the focus on the selected name: in `out`, the name erased, then `last`.
    void segment(std::function<void(OperationDialog&)> last,
                 std::function<void(OperationDialog&)> first = {}) {
        steps->then([this, first](OperationDialog& f) {
            EXPECT_TRUE(folderList(f)->setPath(at(u"src"_s)).ok());
            if (first)
                first(f);
            click(fileList(f), {u"movie"_s});
            EXPECT_EQ(nameBox(f)->text(), u"movie"_s);
            ok(f);
        });
        steps->then([this, last](OperationDialog& f) {
            EXPECT_TRUE(countBox(f)->isVisible());
            EXPECT_EQ(f.focusWidget(), nameBox(f));
            EXPECT_EQ(nameBox(f)->selectedText(), u"movie"_s);
            EXPECT_TRUE(folderList(f)->setPath(out).ok());
            QTest::keyClick(nameBox(f), Qt::Key_Backspace);
            last(f);
        });
        command("segmentFileCommand");
    }

    const QByteArray whole = pattern(1000);
    QString source;
    QString out;
};

const QString kPathInName =
    u"Do NOT include a file PATH in this box; enter/modify only a file NAME.  "
    "Select the path using the Directory List Box (to the left of this box)."_s;
const QString kNoSuchFile = u"There is no file with the name you entered."_s;
const QString kCountAboveOne = u"The number of file segments must be greater than one.  Please "
                               "enter a number greater than one."_s;

// At the first step, an empty name box and a name with no file are refused,
// each with its message, the focus back in the name box.
TEST_F(SegmentCommand, TheFirstStepRefusesAnEmptyNameAndANameWithNoFile) {
    segment([](OperationDialog&) {},
            [this](OperationDialog& f) {
                okWith(f, QString());
                okWith(f, u"film"_s);
            });
    EXPECT_EQ(boxes.boxTexts(),
              (QStringList{u"Please select/enter a file to segment."_s, kNoSuchFile}));
    EXPECT_EQ(focus, (QList<QWidget*>{nameBox(*d), nameBox(*d)}));
}

// A name with a path in it, either slash, is refused at both steps.
TEST_F(SegmentCommand, ANameWithAPathIsRefusedAtTheNameBox) {
    segment([this](OperationDialog& f) { okWith(f, u"a/b"_s, u"3"_s); },
            [this](OperationDialog& f) {
                okWith(f, u"src\\movie"_s);
                okWith(f, u"../src/movie"_s);
            });
    EXPECT_EQ(boxes.boxTexts(), (QStringList{kPathInName, kPathInName, kPathInName}));
    EXPECT_EQ(focus, (QList<QWidget*>(3, nameBox(*d))));
    EXPECT_FALSE(QFile::exists(out + u"/b1"_s));
}

// A count that is no number above one is refused at the count box; a box that
// shows "1 3" (a digit taken out of the middle) is never read as 13.
TEST_F(SegmentCommand, ACountBelowTwoOrNotOneNumberIsRefusedAtTheCountBox) {
    segment([this](OperationDialog& f) {
        for (const QString& count : {u""_s, u"0"_s, u"1"_s})
            okWith(f, u"part"_s, count);
        countBox(f)->setText(u"123"_s);
        countBox(f)->setCursorPosition(2);
        QTest::keyClick(countBox(f), Qt::Key_Backspace);
        ok(f);
        focus.append(f.focusWidget());
    });
    EXPECT_EQ(boxes.boxTexts(), QStringList(4, kCountAboveOne));
    EXPECT_EQ(focus, (QList<QWidget*>(4, countBox(*d))));
    EXPECT_FALSE(QFile::exists(out + u"/part1"_s));
}

// Enter in the count box cuts the file into pieces of equal length, the last
// one taking the rest; the completion message names the folder, which becomes
// the current folder, and the dialog is put back as the first steps want it.
TEST_F(SegmentCommand, TheFileIsCutIntoPiecesAndTheOutputFolderMadeCurrent) {
    segment([](OperationDialog& f) {
        QTest::keyClicks(nameBox(f), u"part"_s);
        countBox(f)->setText(u"3"_s);
        QTest::keyClick(countBox(f), Qt::Key_Return);
    });
    EXPECT_EQ(boxes.boxTexts(),
              QStringList{completion(u"file sections"_s, out + u'/', u"files"_s)});
    EXPECT_EQ(read(out + u"/part1"_s), whole.mid(0, 333));
    EXPECT_EQ(read(out + u"/part2"_s), whole.mid(333, 333));
    EXPECT_EQ(read(out + u"/part3"_s), whole.mid(666));
    EXPECT_EQ(boxes.boxes.last().style, MessageStyle());
    EXPECT_EQ(boxes.boxes.last().title, u"Shardix!"_s);
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible() || progressBar(*d)->isVisibleTo(d) || countBox(*d)->isVisibleTo(d));
    EXPECT_EQ(QDir::currentPath(), QDir(out).canonicalPath());
}

// The source removed since the first step is refused at the second.
TEST_F(SegmentCommand, ASourceGoneSinceTheFirstStepIsRefused) {
    segment([&](OperationDialog& f) {
        QFile::remove(source);
        okWith(f, u"part"_s);
    });
    EXPECT_EQ(boxes.boxTexts(), QStringList{kNoSuchFile});
    EXPECT_EQ(focus, QList<QWidget*>{nameBox(*d)});
    EXPECT_FALSE(QFile::exists(out + u"/part1"_s));
}

// A first piece that is there: No (the default) to replacing it writes nothing
// and keeps the step.
TEST_F(SegmentCommand, NoToReplacingWritesNothingAndKeepsTheStep) {
    write(u"out/part1"_s, "old");
    bool kept = false;
    segment([&](OperationDialog& f) {
        okWith(f, u"part"_s);
        kept = f.isVisible() && f.caption() == kSegmentsCaption;
    });
    EXPECT_TRUE(kept);
    EXPECT_EQ(boxes.boxTexts(),
              QStringList{out + u"/part1 already exists.  Shall we overwrite it?"_s});
    EXPECT_EQ(boxes.boxes[0].style,
              MessageButtons::YesNo | MessageIcon::Question | MessageDefault::Second);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - It's your choice..."_s);
    EXPECT_EQ(read(out + u"/part1"_s), QByteArray("old"));
    EXPECT_FALSE(QFile::exists(out + u"/part2"_s));
}

// An empty base name gives pieces named by their numbers alone; Yes replaces
// the first one that was there.
TEST_F(SegmentCommand, AnEmptyBaseNameNamesThePiecesByTheirNumbersAlone) {
    write(u"out/1"_s, "old");
    boxes.answerNext(MessageAnswer::Yes);
    segment([&](OperationDialog& f) { okWith(f, QString()); });
    EXPECT_EQ(boxes.boxTexts(),
              (QStringList{out + u"/1 already exists.  Shall we overwrite it?"_s,
                           completion(u"file sections"_s, out + u'/', u"files"_s)}));
    EXPECT_EQ(read(out + u"/1"_s), whole.left(500));
    EXPECT_EQ(read(out + u"/2"_s), whole.mid(500));
}

// The third piece cannot be made. OK, Enter or a double-click while the engine
// runs neither start a second run nor end the command.
TEST_F(SegmentCommand, InputDuringARunIsIgnoredAndAFailureShowsOnlyItsMessage) {
    write(u"out/existing"_s, "e"); // to double-click
    // Segment 3 cannot be created: it leads into a folder that does not exist.
    ASSERT_TRUE(QFile::link(out + u"/none/part3"_s, out + u"/part3"_s));
    QString current;
    bool shownDuringRun = false;
    bool progressShown = false;
    boxes.duringRun = [&](int pump) {
        if (pump == 1) {
            current = QDir::currentPath();
            ok(*d);
            QTest::keyClick(countBox(*d), Qt::Key_Return);
            QTest::mouseDClick(fileList(*d)->viewport(), Qt::LeftButton, {},
                               fileList(*d)->visualItemRect(fileList(*d)->item(0)).center());
            QTest::keyClick(fileList(*d), Qt::Key_Return);
            shownDuringRun = d->isVisible();
        }
        // Before the third piece, which cannot be made.
        progressShown = progressBar(*d)->isVisible() && workingLabel(*d)->isVisible() &&
                        progressBar(*d)->text() == u"66%"_s; // 666 of the 1000 bytes
    };
    segment([this](OperationDialog& f) { okWith(f, u"part"_s, u"3"_s); });

    EXPECT_EQ(boxes.busyChanges.count(true), 1); // one run
    EXPECT_TRUE(shownDuringRun);
    EXPECT_TRUE(progressShown); // the engine's progress on the dialog's bar
    EXPECT_EQ(current, QDir(appFolder).canonicalPath()); // the program's folder
    ASSERT_EQ(boxes.boxes.size(), 1) << boxes.boxTexts().join(u'\n').toStdString();
    EXPECT_TRUE(boxes.boxes[0].text.contains(out + u"/part3"_s));
    EXPECT_EQ(read(out + u"/part2"_s), whole.mid(333, 333)); // kept
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible() || progressBar(*d)->isVisibleTo(d));
    EXPECT_EQ(d->caption(), kSegmentsCaption); // not cancelled
}

// OK clicked with the mouse: a refused entry has its whole text selected once
// the box's message is gone, ready to be typed over, also when the window gets
// the activation back only after the focus was put on the box.
TEST_F(SegmentCommand, ARefusedEntryIsSelectedWhenTheWindowComesBackFromTheMessage) {
    boxes.whileShown = [] {
        QWidget box; // takes the activation, and leaves none behind
        box.show();
        box.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
    };
    QStringList selected;
    const auto comeBack = [&](OperationDialog& f, QWidget* box) {
        f.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
        EXPECT_EQ(f.focusWidget(), box);
        selected.append(static_cast<QLineEdit*>(box)->selectedText());
    };
    segment(
        [&](OperationDialog& f) {
            countBox(f)->setText(u"1"_s);
            ok(f);
            comeBack(f, countBox(f));
        },
        [&](OperationDialog& f) {
            nameBox(f)->setText(u"film"_s);
            ok(f);
            comeBack(f, nameBox(f));
        });
    EXPECT_EQ(selected, (QStringList{u"film"_s, u"1  "_s}));
}

// Cancel or Escape while the engine runs stop it at once: a message names the
// piece left and its length, and the step stays shown for another try.
TEST_F(SegmentCommand, CancelOrEscapeStopsTheRunAndTheStepStaysShown) {
    const std::pair<const char*, std::function<void()>> inputs[] = {
        {"Cancel", [this] { QTest::mouseClick(cancelButton(*d), Qt::LeftButton); }},
        {"Escape", [this] { QTest::keyClick(d->focusWidget(), Qt::Key_Escape); }}};
    for (const auto& [name, input] : inputs) {
        boxes.boxes.clear();
        boxes.busyChanges.clear();
        boxes.runPumps = 0;
        QFile::remove(out + u"/part1"_s);
        QString shownAtStop;
        // Pumps: before each piece.
        boxes.duringRun = [&](int pump) {
            if (pump == 2) {
                shownAtStop = progressBar(*d)->text();
                input();
            }
        };
        bool stillThere = false;
        segment([&](OperationDialog& f) {
            okWith(f, u"part"_s, u"3"_s);
            stillThere = f.isVisible() && f.caption() == kSegmentsCaption &&
                         !progressBar(f)->isVisible() && f.focusWidget() == nameBox(f);
        });
        EXPECT_EQ(boxes.busyChanges.count(true), 1) << name; // one run
        EXPECT_EQ(boxes.runPumps, 2) << name;
        EXPECT_EQ(shownAtStop, u"33%"_s) << name;
        EXPECT_TRUE(stillThere) << name;
        EXPECT_EQ(boxes.boxTexts(), QStringList{u"The run was stopped.  \""_s + out +
                                                u"/part1\" was left with 333 bytes."_s})
            << name;
        EXPECT_EQ(read(out + u"/part1"_s), whole.left(333)) << name; // kept
        EXPECT_FALSE(QFile::exists(out + u"/part2"_s)) << name;
        EXPECT_FALSE(boxes.isBusy()) << name;
        EXPECT_EQ(boxes.boxes[0].style, MessageIcon::Warning) << name;
    }
}

// Stopped in its second piece, a cut tells every file it left, the finished
// piece too, each with its length.
TEST_F(SegmentCommand, AStoppedCutTellsEveryPieceItLeft) {
    // Pieces longer than the engine's copy chunk, which it pumps after.
    write(u"src/movie"_s, pattern(10'000'000));
    const QString part1 = out + u"/part1"_s, part2 = out + u"/part2"_s;
    boxes.duringRun = [&](int) {
        if (QFileInfo(part2).size() > 0)
            d->reject();
    };
    segment([&](OperationDialog& f) { okWith(f, u"part"_s, u"2"_s); });
    ASSERT_EQ(QFileInfo(part1).size(), 5'000'000);
    ASSERT_TRUE(QFileInfo(part2).size() > 0 && QFileInfo(part2).size() < 5'000'000);
    EXPECT_EQ(boxes.boxTexts(),
              QStringList{u"The run was stopped.  It left 2 files: \""_s + part1 +
                          u"\" with 5,000,000 bytes; and \""_s + part2 + u"\" with "_s +
                          QLocale(QLocale::English).toString(QFileInfo(part2).size()) +
                          u" bytes."_s});
}

// The second step starts in the folder where the file was picked, not where
// the last run's output went.
TEST_F(SegmentCommand, TheSecondStepStartsWhereTheFileWasPicked) {
    segment([&](OperationDialog& f) { okWith(f, u"part"_s, u"2"_s); });
    QString secondStepIn;
    steps->then([this](OperationDialog& f) {
        EXPECT_TRUE(folderList(f)->setPath(at(u"src"_s)).ok());
        click(fileList(f), {u"movie"_s});
        ok(f);
    });
    steps->then([&](OperationDialog& f) { secondStepIn = folderList(f)->path(); });
    command("segmentFileCommand");
    EXPECT_EQ(secondStepIn, at(u"src"_s));
}

// A file the program is started with is chosen at the first step of Segment,
// in its folder, as though the user had clicked it.
TEST_F(SegmentCommand, AFileGivenAtStartIsChosenAtTheFirstStep) {
    write(u"src/another"_s, "x");
    QString name, shownIn;
    QStringList picked;
    steps->then([&](OperationDialog& f) {
        name = nameBox(f)->text();
        shownIn = folderList(f)->path();
        for (const QListWidgetItem* item : fileList(f)->selectedItems())
            picked.append(item->text());
        ok(f);
    });
    steps->then(okIn(out, u"part"_s, u"2"_s));
    window->segmentFile(source);
    EXPECT_EQ(name, u"movie"_s);
    EXPECT_EQ(shownIn, at(u"src"_s));
    EXPECT_EQ(picked, QStringList{u"movie"_s});
    EXPECT_EQ(read(out + u"/part1"_s), whole.left(500));
    EXPECT_EQ(steps->unexpected(), 0);
}

// The choice of a checksum file is off at first, kept in the settings store
// from one run (and one start) to the next, and gives the manifest the tool
// writes.
TEST_F(SegmentCommand, TheChecksumChoiceIsKeptAndWritesTheToolsManifest) {
    TempStore store;
    session.store = store.open();
    bool shownOff = false;
    segment([&](OperationDialog& f) {
        shownOff = checksumBox(f)->isVisible() && !checksumBox(f)->isChecked();
        QTest::mouseClick(checksumBox(f), Qt::LeftButton);
        okWith(f, u"part"_s, u"3"_s);
    });
    EXPECT_TRUE(shownOff);
    EXPECT_TRUE(store.open().writeChecksums().value());
    // The completion message names the checksum file; the file names the
    // desktop program as its writer.
    EXPECT_EQ(boxes.boxTexts().last(), completion(u"file sections"_s, out + u'/', u"files"_s) +
                                           u"  The checksums of the pieces were written to \""_s +
                                           out + u"/part.sha256\"."_s);
    EXPECT_TRUE(read(out + u"/part.sha256"_s)
                    .startsWith("# SHA-256 checksums written by Shardix! (shardix): "));
    const Manifest written = Manifest::read((out + u"/part.sha256"_s).toStdString()).value();
    EXPECT_TRUE(written.checkComplete("part.sha256").ok());
    ASSERT_EQ(written.entries.size(), 4u);
    EXPECT_EQ(written.entries[3].name, "movie");
    EXPECT_TRUE(written.entries[3].whole);

    // Shown checked again; unchecked, the next cut writes none and removes the old one.
    bool shownOn = false;
    boxes.answerNext(MessageAnswer::Yes); // replace the segments
    segment([&](OperationDialog& f) {
        shownOn = checksumBox(f)->isChecked();
        QTest::mouseClick(checksumBox(f), Qt::LeftButton);
        okWith(f, u"part"_s, u"3"_s);
    });
    EXPECT_TRUE(shownOn);
    EXPECT_FALSE(store.open().writeChecksums().value());
    EXPECT_FALSE(QFileInfo::exists(out + u"/part.sha256"_s));
    EXPECT_EQ(steps->unexpected(), 0);
}

} // namespace
} // namespace shardix::testing
