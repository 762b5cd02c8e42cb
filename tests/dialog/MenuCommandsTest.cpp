// The main window's menus: Append to File... with its notice and both dialog
// steps, Cancel or the close control at the first step of every command, output
// in the root folder, the About window.
#include "tests/dialog/DialogDriver.h"

#include "notices/AboutWindow.h"
#include "notices/AppendNotice.h"
#include "tests/support/TempStore.h"

#include <QCryptographicHash>
#include <QMenu>
#include <QMenuBar>
#include <QUuid>
#include <sys/stat.h>

namespace shardix::testing {
namespace {

// Closes the append notice each time it shows, and counts its showings.
class NoticeCloser : public QObject {
  public:
    NoticeCloser() { qApp->installEventFilter(this); }
    ~NoticeCloser() override { qApp->removeEventFilter(this); }
    int showings = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* notice = qobject_cast<AppendNotice*>(watched);
        if (notice && event->type() == QEvent::Show) {
            ++showings;
            QTimer::singleShot(0, notice, [notice] { notice->closeButton()->click(); });
        }
        return false;
    }
};

class MenuCommand : public CommandTest {
  protected:
    void open(bool showAgain) {
        store = std::make_unique<TempStore>(showAgain);
        session.store = store->open();
        QDir::setCurrent(appFolder);
    }
    void TearDown() override {
        store.reset();
        CommandTest::TearDown();
    }

    std::unique_ptr<TempStore> store;
    NoticeCloser notice;
};

TEST_F(MenuCommand, TheMenusOfferTheFileCommandsWithTheirAccessKeysAndNoCopyOrMove) {
    QStringList items;
    for (const QAction* menu : window->menuBar()->actions()) {
        items.append(menu->text());
        for (const QAction* item : menu->menu()->actions())
            items.append(item->isSeparator() ? u"-"_s : item->text());
    }
    EXPECT_EQ(items, (QStringList{"&File", "&Segment File...", "&Assemble Files...",
                                  "A&ppend to File...", "-", "E&xit", "&Help", "&About Shardix"}));
}

// The operation dialog cannot grow: the window system is asked for no maximize
// control (Qt writes the flags into the Motif hints), only its title and its
// close control, which Cancel answers.
TEST_F(MenuCommand, TheDialogThatCannotGrowAsksForNoMaximizeControl) {
    EXPECT_EQ(d->minimumSize(), d->maximumSize());
    const Qt::WindowFlags flags = d->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(
        flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testAnyFlags(Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
}

// Append to File...: a file of 400 bytes in a/, the pieces that hold all 1000
// in b/, the notice shown before the first step.
class AppendCommand : public MenuCommand {
  protected:
    void SetUp() override {
        MenuCommand::SetUp();
        open(true);
        target = write(u"a/movie"_s, whole.left(400));
        for (int k = 1; k <= 3; ++k)
            write(u"b/movie.%1"_s.arg(k), whole.mid((k - 1) * 333, k < 3 ? 333 : -1));
    }
    // Step 1: `first`, then "movie" in a/ and Enter. Step 2: `second`, then the
    // three pieces picked out of order in b/ and OK.
    void append(
        std::function<void(OperationDialog&)> first = [](OperationDialog&) {},
        std::function<void(OperationDialog&)> second = [](OperationDialog&) {}) {
        steps->then([this, first](OperationDialog& f) {
            EXPECT_TRUE(folderList(f)->setPath(at(u"a"_s)).ok());
            first(f);
            nameBox(f)->setText(u"movie"_s);
            QTest::keyClick(nameBox(f), Qt::Key_Return);
        });
        steps->then([this, second](OperationDialog& f) {
            EXPECT_TRUE(folderList(f)->setPath(at(u"b"_s)).ok());
            second(f);
            click(multiFileList(f), {u"movie.2"_s, u"movie.1"_s, u"movie.3"_s},
                  Qt::ControlModifier);
            ok(f);
        });
        command("appendToFileCommand");
    }

    // OK at step 1 with `name` entered, before append() goes on: the first
    // message shown (okWith notes where the focus went).
    QString firstRefusalOf(const QString& name) {
        append([&](OperationDialog& f) { okWith(f, name); });
        return boxes.boxTexts().value(0);
    }

    const QByteArray whole = pattern(1000);
    QString target;
};

// The append notice shows before the first step.
TEST_F(AppendCommand, TheNoticeShowsBeforeTheFirstStep) {
    int shownBefore = -1;
    append([&](OperationDialog&) { shownBefore = notice.showings; });
    EXPECT_EQ(shownBefore, 1);
}

// The first step takes a file only: each refusal brings the focus back to the
// name box with its message.
TEST_F(AppendCommand, TheFirstStepRefusesAnEmptyName) {
    EXPECT_EQ(firstRefusalOf(QString()), u"Please select/enter a name of a file to append to."_s);
    EXPECT_EQ(focus, QList<QWidget*>{nameBox(*d)});
}

TEST_F(AppendCommand, TheFirstStepRefusesANameWithNoFile) {
    EXPECT_EQ(firstRefusalOf(u"film"_s), u"There is no file with the name you entered."_s);
    EXPECT_EQ(focus, QList<QWidget*>{nameBox(*d)});
}

// A pipe is refused at once, never waited on.
TEST_F(AppendCommand, TheFirstStepRefusesAPipeWithoutWaitingOnIt) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(at(u"a/pipe"_s)).constData(), 0600), 0);
    EXPECT_EQ(firstRefusalOf(u"pipe"_s),
              u"Cannot write \""_s + at(u"a/pipe"_s) + u"\": it is a pipe (FIFO), not a file."_s);
    EXPECT_EQ(focus, QList<QWidget*>{nameBox(*d)});
}

// The second step picks several files, the name box out of the tab order.
TEST_F(AppendCommand, TheSecondStepPicksSeveralFilesWithTheNameBoxOutOfTheTabOrder) {
    bool several = false;
    Qt::FocusPolicy nameFocus = Qt::StrongFocus;
    append([](OperationDialog&) {},
           [&](OperationDialog& f) {
               several = multiFileList(f)->isVisible();
               nameFocus = nameBox(f)->focusPolicy();
           });
    EXPECT_TRUE(several);
    EXPECT_EQ(nameFocus, Qt::ClickFocus);
}

// OK with no file picked is refused, the focus back in the list.
TEST_F(AppendCommand, TheSecondStepRefusesNoFilePicked) {
    append([](OperationDialog&) {}, [&](OperationDialog& f) { okWith(f, QString()); });
    EXPECT_EQ(boxes.boxTexts().first(), u"Please select file(s) to append from."_s);
    EXPECT_EQ(focus, QList<QWidget*>{multiFileList(*d)});
}

// The file is completed from pieces in another folder, joined in number order
// whatever the order they were picked in; the completion message names the
// file's folder.
TEST_F(AppendCommand, TheFileIsCompletedFromPiecesElsewhere) {
    append();
    EXPECT_EQ(read(target), whole);
    EXPECT_EQ(boxes.boxTexts(),
              (QStringList{kReorder, completion(u"processed file"_s, at(u"a"_s), u"file"_s)}));
}

TEST_F(AppendCommand, TheFilesFolderIsMadeCurrent) {
    append();
    EXPECT_EQ(QDir::currentPath(), QDir(at(u"a"_s)).canonicalPath());
}

// After the run the controls are as the first steps want them: the list that
// picks one file, the name box in the tab order.
TEST_F(AppendCommand, TheControlsArePutBackForTheFirstSteps) {
    append();
    EXPECT_TRUE(fileList(*d)->isVisibleTo(d) && !multiFileList(*d)->isVisibleTo(d));
    EXPECT_EQ(nameBox(*d)->focusPolicy(), Qt::StrongFocus);
}

// Appending to a file that lacks nothing: the completion message says so
// after its text.
TEST_F(AppendCommand, AnAppendThatAddsNothingSaysTheFileWasComplete) {
    append();
    boxes.boxes.clear();
    append();
    EXPECT_EQ(read(target), whole);
    EXPECT_EQ(boxes.boxTexts().last(), completion(u"processed file"_s, at(u"a"_s), u"file"_s) +
                                           u"  \""_s + target +
                                           u"\" was already complete: nothing was appended."_s);
}

// A refusal before anything is appended keeps the step that picks the files,
// with the files picked.
TEST_F(MenuCommand, ARefusalKeepsTheFilesPickedToAppendFrom) {
    open(false);
    const QByteArray whole = pattern(999);
    const QString target = write(u"a/movie"_s, whole.left(100));
    QByteArray manifest;
    for (int k = 1; k <= 3; ++k) {
        const QByteArray piece = whole.mid((k - 1) * 333, 333);
        write(u"b/movie.%1"_s.arg(k), piece);
        manifest += QCryptographicHash::hash(piece, QCryptographicHash::Sha256).toHex() +
                    "  movie." + QByteArray::number(k) + "\n";
    }
    write(u"b/movie.sha256"_s, manifest);
    bool kept = false;
    steps->then(okIn(at(u"a"_s), u"movie"_s));
    steps->then([&](OperationDialog& f) {
        EXPECT_TRUE(folderList(f)->setPath(at(u"b"_s)).ok());
        click(multiFileList(f), {u"movie.1"_s, u"movie.3"_s}, Qt::ControlModifier);
        ok(f);
        QStringList picked;
        for (const QListWidgetItem* item : multiFileList(f)->selectedItems())
            picked.append(item->text());
        kept = f.isVisible() && f.caption() == u"Select DIR and/or file(s) to append FROM"_s &&
               picked == QStringList{u"movie.1"_s, u"movie.3"_s} &&
               f.focusWidget() == multiFileList(f);
    });
    command("appendToFileCommand");
    EXPECT_TRUE(kept);
    EXPECT_EQ(read(target), whole.left(100));
    ASSERT_EQ(boxes.boxes.size(), 2); // the question of the order, the refusal
    EXPECT_TRUE(boxes.boxes[1].text.contains(u"is not among the files given"_s))
        << boxes.boxes[1].text.toStdString();
}

// The About window is made once and kept: shown again, it is where the user left it.
TEST_F(MenuCommand, TheAboutWindowIsKeptWhereTheUserLeftIt) {
    QList<QWidget*> shown;
    QList<QPoint> places;
    for (int showing = 0; showing < 2; ++showing) {
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* about = qobject_cast<AboutWindow*>(modal);
            if (about) {
                shown.append(about);
                places.append(about->pos());
                about->move(about->pos() + QPoint(40, 30));
                about->okButton()->click();
            } else if (modal) {
                modal->hide();
            }
        });
        command("aboutCommand");
    }
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_EQ(places[1], places[0] + QPoint(40, 30));
}

// Every command, with the notice turned off, ended at its first step by
// `input`: the caption each left.
class EndAtFirstStep : public MenuCommand {
  protected:
    QStringList endEachCommand(const std::function<void(OperationDialog&)>& input) {
        open(false);
        QStringList captions;
        for (const char* name :
             {"segmentFileCommand", "assembleFilesCommand", "appendToFileCommand"}) {
            steps->then(input);
            command(name);
            captions.append(d->caption());
        }
        return captions;
    }
    // Nothing after the first steps: no second step, no box, no notice.
    void expectNothingMore() {
        EXPECT_EQ(steps->leftShown, QList<bool>(3, false));
        EXPECT_EQ(steps->unexpected(), 0);
        EXPECT_TRUE(boxes.boxes.isEmpty());
        EXPECT_EQ(notice.showings, 0);
    }
};

TEST_F(EndAtFirstStep, CancelEndsEachCommandAtItsFirstStep) {
    EXPECT_EQ(endEachCommand(
                  [](OperationDialog& f) { QTest::mouseClick(cancelButton(f), Qt::LeftButton); }),
              QStringList(3, QString()));
    expectNothingMore();
}

TEST_F(EndAtFirstStep, TheCloseControlEndsEachCommandAtItsFirstStep) {
    EXPECT_EQ(endEachCommand([](OperationDialog& f) { f.close(); }), QStringList(3, QString()));
    expectNothingMore();
}

// At the root, the output is named with the root's one slash. The run is
// stopped before its first piece: nothing may be written into the root.
class AtTheRoot : public MenuCommand {
  protected:
    void SetUp() override {
        MenuCommand::SetUp();
        ASSERT_FALSE(QFile::exists(name + u'1') || QFile::exists(name));
        boxes.duringRun = [&](int) { d->reject(); };
        write(u"src/movie"_s, "0123456789");
        steps->then(okIn(at(u"src"_s), u"movie"_s));
        steps->then(okIn(u"/"_s, name.mid(1), u"4"_s));
        command("segmentFileCommand");
    }
    const QString name = u"/shardix-test-"_s + QUuid::createUuid().toString(QUuid::Id128);
};

TEST_F(AtTheRoot, ARunStoppedBeforeItsFirstPieceWritesNothing) {
    EXPECT_FALSE(QFile::exists(name + u'1'));
    EXPECT_EQ(boxes.boxTexts(), QStringList{u"The run was stopped before anything was written."_s});
}

TEST_F(AtTheRoot, TheRootIsMadeCurrentAfterTheRun) {
    EXPECT_EQ(QDir::currentPath(), u"/"_s);
}

// Append names the folder of the file appended to, written the same way.
TEST_F(MenuCommand, TheFolderOfAFileAppendedToIsWrittenWithTheRootsOneSlash) {
    EXPECT_EQ(folderOf(u"/movie"_s), u"/"_s);
    EXPECT_EQ(folderOf(at(u"a/movie"_s)), at(u"a"_s));
}

} // namespace
} // namespace shardix::testing
