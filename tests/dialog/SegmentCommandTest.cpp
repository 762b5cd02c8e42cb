// File > Segment File... driven through the main window's menu and both
// dialog steps, as a user does it.
#include "tests/dialog/DialogDriver.h"

#include "engines/Segmenter.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace shardix::testing {
namespace {

const QString kSectionsTail =
    QStringLiteral(".  You might have to refresh the folder (hit F5) to see the files.");

class SegmentCommand : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        whole = pattern(1000);
        source = write(QStringLiteral("src/movie"), whole);
        out = folder(QStringLiteral("out"));
    }
    // Step 1: the file is picked in its folder and OK is clicked.
    void pickSource() {
        steps->then([this](Form3& f) {
            f.Dir1->setPath(root + QStringLiteral("/src"));
            click(f.File1, QStringLiteral("movie"));
            EXPECT_EQ(f.Text1->text(), QStringLiteral("movie"));
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
        EXPECT_TRUE(f.Label1->isVisible());
        EXPECT_TRUE(f.MaskEdBox1->isVisible());
        EXPECT_EQ(f.focusWidget(), f.Text1); // the name of step 1, selected
        EXPECT_EQ(f.Text1->selectedText(), QStringLiteral("movie"));
        typeBaseAndCount(QStringLiteral("part"), QStringLiteral("3"));
        QTest::keyClick(f.MaskEdBox1, Qt::Key_Return);
    });
    window->menuCutFile->trigger();

    EXPECT_EQ(steps->showings, 2);
    EXPECT_EQ(read(out + QStringLiteral("/part1")), whole.mid(0, 333));
    EXPECT_EQ(read(out + QStringLiteral("/part2")), whole.mid(333, 333));
    EXPECT_EQ(read(out + QStringLiteral("/part3")), whole.mid(666));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text,
              QStringLiteral("The file sections should appear in this folder: ") + out +
                  QStringLiteral("/") + kSectionsTail);
    EXPECT_EQ(boxes.boxes[0].style, 0);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Shardix!"));
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(d->ProgressBar1->isVisibleTo(d));
    EXPECT_FALSE(d->Label1->isVisibleTo(d));
    EXPECT_FALSE(d->MaskEdBox1->isVisibleTo(d));
    // The destination is now the drive's current folder.
    EXPECT_EQ(QDir::currentPath(), QDir(out).canonicalPath());
    EXPECT_EQ(d->drives().currentFolder(d->drives().driveOf(out)), out);
}

TEST_F(SegmentCommand, EachCheckShowsItsMessageAndPutsTheFocusWhereTheUserMendsIt) {
    const QString m1 = QStringLiteral(
        "Do NOT include a file PATH in this box; enter/modify only a file NAME.  Select the path "
        "using the Directory List Box (to the left of this box).");
    const QString m2 = QStringLiteral("Please select/enter a file to segment.");
    const QString m3 = QStringLiteral("There is no file with the name you entered.");
    const QString m4 = QStringLiteral("The number of file segments must be greater than one.  "
                                      "Please enter a number greater than one.");
    QList<QWidget*> focus;
    const auto ok = [&focus](Form3& f) {
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        focus.append(f.focusWidget());
    };
    steps->then([&](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/src"));
        f.Command1->setFocus();
        ok(f); // empty name
        f.Text1->setText(QStringLiteral("src\\movie"));
        f.Command1->setFocus();
        ok(f);
        f.Text1->setText(QStringLiteral("../src/movie"));
        ok(f);
        f.Text1->setText(QStringLiteral("film"));
        f.Command1->setFocus();
        ok(f);
        f.Text1->setText(QStringLiteral("movie"));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        EXPECT_FALSE(f.isVisible());
    });
    steps->then([&](Form3& f) {
        f.Dir1->setPath(out);
        for (const char* count : {"", "0", "1"}) {
            f.MaskEdBox1->setText(QLatin1String(count));
            f.Command1->setFocus();
            ok(f);
        }
        f.MaskEdBox1->setText(QStringLiteral("2"));
        QFile::remove(source); // gone since step 1
        f.MaskEdBox1->setFocus();
        ok(f);
        f.Text1->setText(QStringLiteral("a/b"));
        f.Command1->setFocus();
        ok(f);
    });
    window->menuCutFile->trigger();

    EXPECT_EQ(boxes.boxTexts(), (QStringList{m2, m1, m1, m3, m4, m4, m4, m3, m1}));
    for (const auto& box : boxes.boxes) {
        EXPECT_EQ(box.style, 0);
        EXPECT_EQ(box.title, QStringLiteral("Shardix!"));
    }
    const QList<QWidget*> expectedFocus{d->Text1,       d->Text1,       d->Text1,
                                        d->Text1,       d->MaskEdBox1, d->MaskEdBox1,
                                        d->MaskEdBox1, d->Text1,       d->Text1};
    EXPECT_EQ(focus, expectedFocus);
    EXPECT_EQ(steps->leftShown, (QList<bool>{false, true}));
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList());
}

// An empty base name gives pieces named by their numbers alone, and the
// question is about the first of them.
TEST_F(SegmentCommand, OverwriteQuestionNoWritesNothingAndKeepsTheStepYesReplaces) {
    write(QStringLiteral("out/1"), "old");
    const QString question =
        out + QStringLiteral("/1 already exists.  Shall we overwrite it?");
    pickSource();
    steps->then([&](Form3& f) {
        typeBaseAndCount(QString(), QStringLiteral("2"));
        QTest::keyClick(f.Text1, Qt::Key_Backspace); // the step-1 name, selected, erased
        ASSERT_EQ(f.Text1->text(), QString());
        QTest::mouseClick(f.Command1, Qt::LeftButton); // unscripted: No, the default
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.caption(), caption::kSegmentBase);
        EXPECT_EQ(read(out + QStringLiteral("/1")), QByteArray("old"));
        EXPECT_FALSE(QFile::exists(out + QStringLiteral("/2")));
        boxes.answerNext(6);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuCutFile->trigger();

    ASSERT_EQ(boxes.boxes.size(), 3);
    EXPECT_EQ(boxes.boxes[0].text, question);
    EXPECT_EQ(boxes.boxes[0].style, 4 + 32 + 256);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Shardix! - It's your choice..."));
    EXPECT_EQ(boxes.boxes[0].answer, 7);
    EXPECT_EQ(boxes.boxes[1].text, question);
    EXPECT_TRUE(boxes.boxes[2].text.startsWith(QStringLiteral("The file sections")));
    EXPECT_EQ(read(out + QStringLiteral("/1")), whole.left(500));
    EXPECT_EQ(read(out + QStringLiteral("/2")), whole.mid(500));
}

TEST_F(SegmentCommand, AFailingRunShowsItsMessageOnceAndNoCompletion) {
    QDir().mkpath(out + QStringLiteral("/part2")); // the second piece cannot be made
    pickSource();
    steps->then([this](Form3& f) {
        typeBaseAndCount(QStringLiteral("part"), QStringLiteral("3"));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuCutFile->trigger();

    ASSERT_EQ(boxes.boxes.size(), 1) << boxes.boxTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(boxes.boxes[0].text.contains(out + QStringLiteral("/part2")));
    EXPECT_EQ(read(out + QStringLiteral("/part1")), whole.left(333)); // kept
    EXPECT_FALSE(boxes.isBusy());
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(d->ProgressBar1->isVisibleTo(d));

    // More pieces than bytes: the reader's refusal, and again no completion.
    boxes.boxes.clear();
    write(QStringLiteral("src/tiny"), "abc");
    steps->then([this](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/src"));
        click(f.File1, QStringLiteral("tiny"));
        QTest::mouseDClick(f.File1->viewport(), Qt::LeftButton, {},
                           f.File1->visualItemRect(f.File1->currentItem()).center());
    });
    steps->then([this](Form3& f) {
        typeBaseAndCount(QStringLiteral("t"), QStringLiteral("5"));
        QTest::keyClick(f.Text1, Qt::Key_Enter);
    });
    window->menuCutFile->trigger();
    EXPECT_EQ(boxes.boxTexts(),
              QStringList{QStringLiteral("The parts cannot be greater than the whole, Spock!")});
    EXPECT_EQ(steps->showings, 4);
}

// OK, Enter, a double-click, Cancel or the close control while the engine runs
// neither start a second run nor hide the dialog.
TEST_F(SegmentCommand, InputDuringARunIsIgnored) {
    int runs = 0;
    QStringList folders;
    bool shownDuringRun = false;
    Form3::EngineCalls calls;
    calls.segment = [&](const std::string& src, const std::string& base, const std::string& n,
                        EngineUi& ui) {
        ++runs;
        folders.append(QDir::currentPath());
        QTest::mouseClick(d->Command1, Qt::LeftButton);
        QTest::keyClick(d->MaskEdBox1, Qt::Key_Return);
        QTest::mouseDClick(d->File1->viewport(), Qt::LeftButton, {},
                           d->File1->visualItemRect(d->File1->item(0)).center());
        QTest::mouseClick(d->Command2, Qt::LeftButton);
        d->close();
        shownDuringRun = d->isVisible();
        return segmentFile(src, base, n, ui);
    };
    d->setEngineCalls(calls);
    write(QStringLiteral("out/existing"), "e");
    pickSource();
    steps->then([this](Form3& f) {
        typeBaseAndCount(QStringLiteral("part"), QStringLiteral("2"));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuCutFile->trigger();

    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(shownDuringRun);
    EXPECT_EQ(folders, QStringList{QDir(globals::appFolder).canonicalPath()});
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(read(out + QStringLiteral("/part2")), whole.mid(500));
    EXPECT_EQ(d->caption(), caption::kSegmentBase); // not cancelled
}

} // namespace
} // namespace shardix::testing
