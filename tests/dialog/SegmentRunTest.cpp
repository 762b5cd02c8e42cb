// File > Segment File...: its run, the questions before it, what stops it and
// what it leaves.
#include "tests/dialog/DialogDriver.h"

#include "engines/manifest/Manifest.h"
#include "tests/support/TempStore.h"

namespace shardix::testing {
namespace {

class SegmentRun : public SegmentCommand {
  protected:
    // Enter in the count box, with "part" and 3.
    void cutIntoThree() {
        segment([](OperationDialog& f) {
            QTest::keyClicks(nameBox(f), u"part"_s);
            countBox(f)->setText(u"3"_s);
            QTest::keyClick(countBox(f), Qt::Key_Return);
        });
    }
    // OK on "part" while the first piece is there, answered with the default:
    // whether the step was kept.
    bool answerTheDefaultToReplacing() {
        write(u"out/part1"_s, "old");
        bool kept = false;
        segment([&](OperationDialog& f) {
            okWith(f, u"part"_s);
            kept = f.isVisible() && f.caption() == kSegmentsCaption;
        });
        return kept;
    }
};

// Enter in the count box cuts the file into pieces of equal length, the last
// one taking the rest.
TEST_F(SegmentRun, TheFileIsCutIntoPiecesOfEqualLengthTheLastTakingTheRest) {
    cutIntoThree();
    EXPECT_EQ(read(out + u"/part1"_s), whole.mid(0, 333));
    EXPECT_EQ(read(out + u"/part2"_s), whole.mid(333, 333));
    EXPECT_EQ(read(out + u"/part3"_s), whole.mid(666));
}

// The completion message names the folder, in a plain box.
TEST_F(SegmentRun, TheCompletionMessageNamesTheOutputFolder) {
    cutIntoThree();
    EXPECT_EQ(boxes.boxTexts(),
              QStringList{completion(u"file sections"_s, out + u'/', u"files"_s)});
    EXPECT_EQ(boxes.boxes.last().style, MessageStyle());
    EXPECT_EQ(boxes.boxes.last().title, u"Shardix!"_s);
}

TEST_F(SegmentRun, TheOutputFolderIsMadeCurrent) {
    cutIntoThree();
    EXPECT_EQ(QDir::currentPath(), QDir(out).canonicalPath());
}

// After the run the pointer is idle and the dialog hidden, as the first steps
// want it: no progress bar, no count box.
TEST_F(SegmentRun, TheDialogIsPutBackAsTheFirstStepsWantIt) {
    cutIntoThree();
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible() || progressBar(*d)->isVisibleTo(d) || countBox(*d)->isVisibleTo(d));
}

// A first piece that is there: the question whether to replace it has No as
// its default.
TEST_F(SegmentRun, TheQuestionBeforeReplacingAPieceDefaultsToNo) {
    answerTheDefaultToReplacing();
    EXPECT_EQ(boxes.boxTexts(),
              QStringList{out + u"/part1 already exists.  Shall we overwrite it?"_s});
    EXPECT_EQ(boxes.boxes[0].style,
              MessageButtons::YesNo | MessageIcon::Question | MessageDefault::Second);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - It's your choice..."_s);
}

TEST_F(SegmentRun, NoToReplacingWritesNothingAndKeepsTheStep) {
    EXPECT_TRUE(answerTheDefaultToReplacing());
    EXPECT_EQ(read(out + u"/part1"_s), QByteArray("old"));
    EXPECT_FALSE(QFile::exists(out + u"/part2"_s));
}

// An empty base name gives pieces named by their numbers alone.
TEST_F(SegmentRun, AnEmptyBaseNameNamesThePiecesByTheirNumbersAlone) {
    segment([&](OperationDialog& f) { okWith(f, QString()); });
    EXPECT_EQ(boxes.boxTexts(),
              QStringList{completion(u"file sections"_s, out + u'/', u"files"_s)});
    EXPECT_EQ(read(out + u"/1"_s), whole.left(500));
    EXPECT_EQ(read(out + u"/2"_s), whole.mid(500));
}

TEST_F(SegmentRun, YesToReplacingReplacesTheFirstPiece) {
    write(u"out/1"_s, "old");
    boxes.answerNext(MessageAnswer::Yes);
    segment([&](OperationDialog& f) { okWith(f, QString()); });
    EXPECT_EQ(boxes.boxTexts(),
              (QStringList{out + u"/1 already exists.  Shall we overwrite it?"_s,
                           completion(u"file sections"_s, out + u'/', u"files"_s)}));
    EXPECT_EQ(read(out + u"/1"_s), whole.left(500));
    EXPECT_EQ(read(out + u"/2"_s), whole.mid(500));
}

// A run into three pieces, the third of which cannot be made: at the first
// pump of the run, OK, Enter, a double-click and Enter in the file list.
class FailingRun : public SegmentCommand {
  protected:
    void SetUp() override {
        SegmentCommand::SetUp();
        write(u"out/existing"_s, "e"); // to double-click
        // It leads into a folder that does not exist.
        ASSERT_TRUE(QFile::link(out + u"/none/part3"_s, out + u"/part3"_s));
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
    }
    QString current; // at the first pump
    bool shownDuringRun = false;
    bool progressShown = false;
};

// OK, Enter or a double-click while the engine runs neither start a second run
// nor end the command.
TEST_F(FailingRun, InputDuringARunStartsNoSecondRunNorEndsTheCommand) {
    EXPECT_EQ(boxes.busyChanges.count(true), 1); // one run
    EXPECT_TRUE(shownDuringRun);
    EXPECT_EQ(d->caption(), kSegmentsCaption); // not cancelled
}

TEST_F(FailingRun, TheEnginesProgressShowsOnTheDialogsBar) {
    EXPECT_TRUE(progressShown);
}

TEST_F(FailingRun, TheEngineRunsInTheProgramsFolder) {
    EXPECT_EQ(current, QDir(appFolder).canonicalPath());
}

// A failure shows only its message, naming the piece; the pieces made are kept.
TEST_F(FailingRun, AFailureShowsOnlyItsMessage) {
    ASSERT_EQ(boxes.boxes.size(), 1) << boxes.boxTexts().join(u'\n').toStdString();
    EXPECT_TRUE(boxes.boxes[0].text.contains(out + u"/part3"_s));
    EXPECT_EQ(read(out + u"/part2"_s), whole.mid(333, 333)); // kept
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible() || progressBar(*d)->isVisibleTo(d));
}

// A run into three pieces stopped, before the second, by Cancel or by Escape.
class StoppedRun : public SegmentCommand, public ::testing::WithParamInterface<const char*> {
  protected:
    void SetUp() override {
        SegmentCommand::SetUp();
        const std::function<void()> input =
            GetParam() == std::string("Cancel")
                ? std::function<void()>(
                      [this] { QTest::mouseClick(cancelButton(*d), Qt::LeftButton); })
                : [this] { QTest::keyClick(d->focusWidget(), Qt::Key_Escape); };
        // Pumps: before each piece.
        boxes.duringRun = [this, input](int pump) {
            if (pump == 2) {
                shownAtStop = progressBar(*d)->text();
                input();
            }
        };
        segment([&](OperationDialog& f) {
            okWith(f, u"part"_s, u"3"_s);
            stillThere = f.isVisible() && f.caption() == kSegmentsCaption &&
                         !progressBar(f)->isVisible() && f.focusWidget() == nameBox(f);
        });
    }
    QString shownAtStop;
    bool stillThere = false;
};

// The run stops at once, the piece it was in kept, no other begun.
TEST_P(StoppedRun, TheRunStopsAtOnce) {
    EXPECT_EQ(boxes.busyChanges.count(true), 1); // one run
    EXPECT_EQ(boxes.runPumps, 2);
    EXPECT_EQ(shownAtStop, u"33%"_s);
    EXPECT_EQ(read(out + u"/part1"_s), whole.left(333)); // kept
    EXPECT_FALSE(QFile::exists(out + u"/part2"_s));
    EXPECT_FALSE(boxes.isBusy());
}

// A warning names the piece left and its length.
TEST_P(StoppedRun, AMessageNamesThePieceLeftAndItsLength) {
    EXPECT_EQ(boxes.boxTexts(), QStringList{u"The run was stopped.  \""_s + out +
                                            u"/part1\" was left with 333 bytes."_s});
    EXPECT_EQ(boxes.boxes[0].style, MessageIcon::Warning);
}

// The step stays shown for another try, the focus in the name box.
TEST_P(StoppedRun, TheStepStaysShown) {
    EXPECT_TRUE(stillThere);
}

INSTANTIATE_TEST_SUITE_P(CancelOrEscape, StoppedRun, ::testing::Values("Cancel", "Escape"),
                         [](const auto& input) { return std::string(input.param); });

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

// The choice of a checksum file, in a settings store of its own.
class ChecksumChoice : public SegmentCommand {
  protected:
    void SetUp() override {
        SegmentCommand::SetUp();
        session.store = store.open();
    }
    // A cut into three with the checksum box clicked: whether it was shown
    // checked before.
    bool cutWithTheBoxClicked() {
        bool shownChecked = false;
        segment([&](OperationDialog& f) {
            EXPECT_TRUE(checksumBox(f)->isVisible());
            shownChecked = checksumBox(f)->isChecked();
            QTest::mouseClick(checksumBox(f), Qt::LeftButton);
            okWith(f, u"part"_s, u"3"_s);
        });
        return shownChecked;
    }
    TempStore store;
};

// Off at first, kept in the settings store from one run (and one start) to the
// next.
TEST_F(ChecksumChoice, IsOffAtFirstAndKeptFromOneRunToTheNext) {
    EXPECT_FALSE(cutWithTheBoxClicked());
    EXPECT_TRUE(store.open().writeChecksums().value());
    boxes.answerNext(MessageAnswer::Yes); // replace the pieces
    EXPECT_TRUE(cutWithTheBoxClicked());
    EXPECT_FALSE(store.open().writeChecksums().value());
    EXPECT_EQ(steps->unexpected(), 0);
}

// Checked, the cut writes the tool's manifest, which names the desktop program
// as its writer, and the completion message names it.
TEST_F(ChecksumChoice, CheckedWritesTheToolsManifest) {
    cutWithTheBoxClicked();
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
}

// Unchecked, the next cut writes none and removes the old one.
TEST_F(ChecksumChoice, UncheckedRemovesTheOldManifest) {
    cutWithTheBoxClicked();
    ASSERT_TRUE(QFileInfo::exists(out + u"/part.sha256"_s));
    boxes.answerNext(MessageAnswer::Yes); // replace the pieces
    cutWithTheBoxClicked();
    EXPECT_FALSE(QFileInfo::exists(out + u"/part.sha256"_s));
    EXPECT_EQ(steps->unexpected(), 0);
}

} // namespace
} // namespace shardix::testing
