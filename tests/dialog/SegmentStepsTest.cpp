// File > Segment File...: what its two steps take, refuse and start with.
#include "tests/dialog/DialogDriver.h"

namespace shardix::testing {
namespace {

const QString kPathInName =
    u"Do NOT include a file PATH in this box; enter/modify only a file NAME.  "
    "Select the path using the Directory List Box (to the left of this box)."_s;
const QString kNoSuchFile = u"There is no file with the name you entered."_s;
const QString kCountAboveOne = u"The number of file segments must be greater than one.  Please "
                               "enter a number greater than one."_s;

// At the first step, a refused name brings its message, the focus back in the
// name box.
TEST_F(SegmentCommand, TheFirstStepRefusesAnEmptyName) {
    segment([](OperationDialog&) {}, [this](OperationDialog& f) { okWith(f, QString()); });
    EXPECT_EQ(boxes.boxTexts(), QStringList{u"Please select/enter a file to segment."_s});
    EXPECT_EQ(focus, QList<QWidget*>{nameBox(*d)});
}

TEST_F(SegmentCommand, TheFirstStepRefusesANameWithNoFile) {
    segment([](OperationDialog&) {}, [this](OperationDialog& f) { okWith(f, u"film"_s); });
    EXPECT_EQ(boxes.boxTexts(), QStringList{kNoSuchFile});
    EXPECT_EQ(focus, QList<QWidget*>{nameBox(*d)});
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

// A count that is no number above one is refused at the count box.
TEST_F(SegmentCommand, ACountBelowTwoIsRefusedAtTheCountBox) {
    segment([this](OperationDialog& f) {
        for (const QString& count : {u""_s, u"0"_s, u"1"_s})
            okWith(f, u"part"_s, count);
    });
    EXPECT_EQ(boxes.boxTexts(), QStringList(3, kCountAboveOne));
    EXPECT_EQ(focus, (QList<QWidget*>(3, countBox(*d))));
    EXPECT_FALSE(QFile::exists(out + u"/part1"_s));
}

// A box that shows "1 3" (a digit taken out of the middle) is never read as 13.
TEST_F(SegmentCommand, ACountWithAGapIsNotReadAsOneNumber) {
    segment([this](OperationDialog& f) {
        nameBox(f)->setText(u"part"_s);
        countBox(f)->setText(u"123"_s);
        countBox(f)->setCursorPosition(2);
        QTest::keyClick(countBox(f), Qt::Key_Backspace);
        ok(f);
        focus.append(f.focusWidget());
    });
    EXPECT_EQ(boxes.boxTexts(), QStringList{kCountAboveOne});
    EXPECT_EQ(focus, QList<QWidget*>{countBox(*d)});
    EXPECT_FALSE(QFile::exists(out + u"/part1"_s));
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

} // namespace
} // namespace shardix::testing
