// File > Segment File... driven through the menu and both dialog steps.
#include "tests/dialog/DialogDriver.h"

#include "engines/Segmenter.h"

namespace shardix::testing {
namespace {

class SegmentCommand : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        whole = pattern(1000);
        source = write(u"src/movie"_s, whole);
        out = folder(u"out"_s);
    }
    // Step 1: the file clicked in its folder, then OK.
    void pickSource() {
        steps->then([this](Form3& f) {
            f.Dir1->setPath(at("src"));
            click(f.File1, u"movie"_s);
            EXPECT_EQ(f.Text1->text(), u"movie"_s);
            QTest::mouseClick(f.Command1, Qt::LeftButton);
        });
    }
    void typeBaseAndCount(const QString& base, const QString& count) {
        d->Dir1->setPath(out);
        QTest::keyClicks(d->Text1, base);
        d->MaskEdBox1->setText(count);
    }

    QByteArray whole;
    QString source;
    QString out;
};

TEST_F(SegmentCommand, CutsTheFileIntoNumberedPiecesAndNamesTheFolderWithItsSlash) {
    pickSource();
    steps->then([this](Form3& f) {
        EXPECT_EQ(f.caption(), caption::kSegmentBase);
        EXPECT_TRUE(f.MaskEdBox1->isVisible());
        EXPECT_EQ(f.focusWidget(), f.Text1);
        EXPECT_EQ(f.Text1->selectedText(), u"movie"_s); // typing replaces it
        typeBaseAndCount(u"part"_s, u"3"_s);
        QTest::keyClick(f.MaskEdBox1, Qt::Key_Return);
    });
    window->menuCutFile->trigger();

    EXPECT_EQ(read(out + u"/part1"_s), whole.mid(0, 333));
    EXPECT_EQ(read(out + u"/part2"_s), whole.mid(333, 333));
    EXPECT_EQ(read(out + u"/part3"_s), whole.mid(666));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, u"The file sections should appear in this folder: "_s + out +
                                       u"/.  You might have to refresh the folder (hit F5) to "
                                       "see the files."_s);
    EXPECT_EQ(boxes.boxes[0].style, 0);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix!"_s);
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(d->ProgressBar1->isVisibleTo(d));
    EXPECT_FALSE(d->MaskEdBox1->isVisibleTo(d));
    EXPECT_EQ(QDir::currentPath(), QDir(out).canonicalPath()); // the destination made current
}

TEST_F(SegmentCommand, EachCheckShowsItsMessageAndPutsTheFocusWhereTheUserMendsIt) {
    const QString m1 = u"Do NOT include a file PATH in this box; enter/modify only a file NAME.  "
                       "Select the path using the Directory List Box (to the left of this box)."_s;
    const QString m2 = u"Please select/enter a file to segment."_s;
    const QString m3 = u"There is no file with the name you entered."_s;
    const QString m4 = u"The number of file segments must be greater than one.  Please enter a "
                       "number greater than one."_s;
    QList<QWidget*> focus;
    const auto ok = [&focus](Form3& f, const QString& name) {
        f.Text1->setText(name);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        focus.append(f.focusWidget());
    };
    steps->then([&](Form3& f) {
        f.Dir1->setPath(at("src"));
        for (const QString& name : {u""_s, u"src\\movie"_s, u"../src/movie"_s, u"film"_s})
            ok(f, name);
        ok(f, u"movie"_s);
        EXPECT_FALSE(f.isVisible());
    });
    steps->then([&](Form3& f) {
        f.Dir1->setPath(out);
        for (const char* count : {"", "0", "1"}) {
            f.MaskEdBox1->setText(QLatin1String(count));
            ok(f, u"part"_s);
        }
        f.MaskEdBox1->setText(u"2"_s);
        QFile::remove(source); // gone since step 1
        ok(f, u"part"_s);
        ok(f, u"a/b"_s);
    });
    window->menuCutFile->trigger();

    EXPECT_EQ(boxes.boxTexts(), (QStringList{m2, m1, m1, m3, m4, m4, m4, m3, m1}));
    QWidget* t = d->Text1;
    QWidget* m = d->MaskEdBox1;
    EXPECT_EQ(focus, (QList<QWidget*>{t, t, t, t, d->Command1, m, m, m, t, t}));
    EXPECT_EQ(steps->leftShown, (QList<bool>{false, true}));
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList());
}

// An empty base name gives pieces named by their numbers alone; the question is
// about the first of them.
TEST_F(SegmentCommand, OverwriteQuestionNoWritesNothingAndKeepsTheStepYesReplaces) {
    write(u"out/1"_s, "old");
    const QString question = out + u"/1 already exists.  Shall we overwrite it?"_s;
    pickSource();
    steps->then([&](Form3& f) {
        typeBaseAndCount(QString(), u"2"_s);
        QTest::keyClick(f.Text1, Qt::Key_Backspace);   // the selected name erased
        QTest::mouseClick(f.Command1, Qt::LeftButton); // unscripted: No, the default
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.caption(), caption::kSegmentBase);
        EXPECT_EQ(read(out + u"/1"_s), QByteArray("old"));
        EXPECT_FALSE(QFile::exists(out + u"/2"_s));
        boxes.answerNext(6);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuCutFile->trigger();

    ASSERT_EQ(boxes.boxes.size(), 3);
    EXPECT_EQ(boxes.boxes[0].text, question);
    EXPECT_EQ(boxes.boxes[0].style, 4 + 32 + 256);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - It's your choice..."_s);
    EXPECT_EQ(boxes.boxes[0].answer, 7);
    EXPECT_EQ(boxes.boxes[1].text, question);
    EXPECT_TRUE(boxes.boxes[2].text.startsWith(u"The file sections"_s));
    EXPECT_EQ(read(out + u"/1"_s), whole.left(500));
    EXPECT_EQ(read(out + u"/2"_s), whole.mid(500));
}

TEST_F(SegmentCommand, AFailingRunShowsItsMessageOnceAndNoCompletion) {
    folder(u"out/part2"_s); // the second piece cannot be made
    pickSource();
    steps->then([this](Form3& f) {
        typeBaseAndCount(u"part"_s, u"3"_s);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuCutFile->trigger();
    ASSERT_EQ(boxes.boxes.size(), 1) << boxes.boxTexts().join(u'\n').toStdString();
    EXPECT_TRUE(boxes.boxes[0].text.contains(out + u"/part2"_s));
    EXPECT_EQ(read(out + u"/part1"_s), whole.left(333)); // kept
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(d->ProgressBar1->isVisibleTo(d));
}

// OK, Enter, a double-click, Cancel or the close control while the engine runs
// neither start a second run nor hide the dialog.
TEST_F(SegmentCommand, InputDuringARunIsIgnored) {
    int runs = 0;
    QString current;
    bool shownDuringRun = false;
    bool progressShown = false;
    Form3::EngineCalls calls;
    calls.segment = [&](const std::string& src, const std::string& base, const std::string& n,
                        EngineUi& ui) {
        ++runs;
        current = QDir::currentPath();
        QTest::mouseClick(d->Command1, Qt::LeftButton);
        QTest::keyClick(d->MaskEdBox1, Qt::Key_Return);
        QTest::mouseDClick(d->File1->viewport(), Qt::LeftButton, {},
                           d->File1->visualItemRect(d->File1->item(0)).center());
        QTest::mouseClick(d->Command2, Qt::LeftButton);
        d->close();
        shownDuringRun = d->isVisible();
        const bool done = segmentFile(src, base, n, ui);
        progressShown = d->ProgressBar1->isVisible() && d->Label2->isVisible() &&
                        d->ProgressBar1->maximum() == 2 && d->ProgressBar1->value() == 2;
        return done;
    };
    d->setEngineCalls(calls);
    write(u"out/existing"_s, "e");
    pickSource();
    steps->then([this](Form3& f) {
        typeBaseAndCount(u"part"_s, u"2"_s);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuCutFile->trigger();

    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(shownDuringRun);
    EXPECT_TRUE(progressShown); // the engine's progress on the dialog's bar
    EXPECT_EQ(current, QDir(globals::appFolder).canonicalPath()); // the program's folder
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(read(out + u"/part2"_s), whole.mid(500));
    EXPECT_EQ(d->caption(), caption::kSegmentBase); // not cancelled
}

} // namespace
} // namespace shardix::testing
