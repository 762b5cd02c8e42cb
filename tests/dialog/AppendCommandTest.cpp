// File > Append to File... through the menu, the notice and both dialog steps.
#include "tests/dialog/DialogDriver.h"

#include "notices/Form5.h"
#include "tests/support/TempStore.h"

namespace shardix::testing {
namespace {

// Closes the append notice each time it shows, and counts its showings.
class NoticeCloser : public QObject {
public:
    NoticeCloser() { form5().installEventFilter(this); }
    ~NoticeCloser() override { form5().removeEventFilter(this); }
    int showings = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            ++showings;
            QTimer::singleShot(0, &form5(), [] { form5().Command1->click(); });
        }
        return false;
    }
};

class AppendCommand : public CommandTest {
protected:
    void open(bool showAgain) {
        store = std::make_unique<TempStore>(showAgain);
        store->openAsProgram();
        QDir::setCurrent(globals::appFolder);
    }
    void TearDown() override {
        store.reset();
        CommandTest::TearDown();
    }

    std::unique_ptr<TempStore> store;
    NoticeCloser notice;
};

TEST_F(AppendCommand, CompletesTheFileFromPiecesElsewhereAndNamesItsFolder) {
    open(true);
    const QByteArray whole = pattern(1000);
    const QString target = write(u"a/movie"_s, whole.left(400));
    for (int k = 1; k <= 3; ++k)
        write(u"b/movie.%1"_s.arg(k), whole.mid((k - 1) * 333, k < 3 ? 333 : -1));

    steps->then([&](Form3& f) {
        EXPECT_EQ(notice.showings, 1); // before the first step
        f.Dir1->setPath(at("a"));
        EXPECT_EQ(f.Text1->text(), u"*.*"_s);
        click(f.File1, u"movie"_s);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then([&](Form3& f) {
        EXPECT_EQ(f.caption(), caption::kAppendFrom);
        EXPECT_TRUE(f.File2->isVisible());
        EXPECT_EQ(f.Text1->focusPolicy(), Qt::ClickFocus); // out of the tab order
        f.Dir1->setPath(at("b"));
        select(f.File2, {u"movie.2"_s, u"movie.1"_s, u"movie.3"_s});
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuAppendtoFile->trigger();

    EXPECT_EQ(read(target), whole);
    EXPECT_EQ(boxes.boxTexts().last(), u"The processed file should appear in this folder: "_s +
                                           at("a") +
                                           u".  You might have to refresh the folder (hit F5) "
                                           "to see the file."_s);
    EXPECT_EQ(QDir::currentPath(), QDir(at("a")).canonicalPath());
    EXPECT_TRUE(d->File1->isVisibleTo(d));
    EXPECT_FALSE(d->File2->isVisibleTo(d));
    EXPECT_EQ(d->Text1->focusPolicy(), Qt::StrongFocus);
}

TEST_F(AppendCommand, MissingChoicesAreRefusedAndNoNoticeWhenTurnedOff) {
    open(false);
    write(u"a/movie"_s, "abc");
    QList<QWidget*> focus;
    const auto ok = [&focus](Form3& f) {
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        focus.append(f.focusWidget());
    };
    steps->then([&](Form3& f) { f.Command2->click(); });
    window->menuAppendtoFile->trigger();
    EXPECT_EQ(steps->showings, 1); // cancelled: no second step

    steps->then([&](Form3& f) {
        f.Dir1->setPath(at("a"));
        f.Text1->clear();
        ok(f);
        f.Text1->setText(u"film"_s);
        ok(f);
        f.Text1->setText(u"movie"_s);
        QTest::keyClick(f.Text1, Qt::Key_Return);
    });
    steps->then([&](Form3& f) { ok(f); });
    window->menuAppendtoFile->trigger();

    EXPECT_EQ(notice.showings, 0);
    EXPECT_EQ(boxes.boxTexts(),
              (QStringList{u"Please select/enter a name of a file to append to."_s,
                           u"There is no file with the name you entered."_s,
                           u"Please select file(s) to append from."_s}));
    EXPECT_EQ(focus, (QList<QWidget*>{d->Text1, d->Text1, d->File2}));
    EXPECT_EQ(read(at("a/movie")), QByteArray("abc"));
}

} // namespace
} // namespace shardix::testing
