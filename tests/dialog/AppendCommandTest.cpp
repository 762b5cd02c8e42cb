// File > Append to File... through the menu, the notice and both dialog steps.
#include "tests/dialog/DialogDriver.h"

#include "notices/Form5.h"
#include "tests/support/TempStore.h"

#include <QAction>
#include <QPushButton>

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
        CommandTest::TearDown();
        store.reset();
    }

    std::unique_ptr<TempStore> store;
    NoticeCloser notice;
};

TEST_F(AppendCommand, CompletesTheFileFromPiecesElsewhereAndNamesItsFolder) {
    open(true);
    const QByteArray whole = pattern(1000);
    const QString target = write(QStringLiteral("a/movie"), whole.left(400));
    for (int k = 1; k <= 3; ++k)
        write(QStringLiteral("b/movie.%1").arg(k), whole.mid((k - 1) * 333, k < 3 ? 333 : -1));

    steps->then([&](Form3& f) {
        EXPECT_EQ(notice.showings, 1); // before the first step
        f.Dir1->setPath(root + QStringLiteral("/a"));
        EXPECT_EQ(f.Text1->text(), QStringLiteral("*.*"));
        click(f.File1, QStringLiteral("movie"));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then([&](Form3& f) {
        EXPECT_EQ(f.caption(), caption::kAppendFrom);
        EXPECT_TRUE(f.File2->isVisible());
        EXPECT_FALSE(f.File1->isVisible());
        EXPECT_EQ(f.Text1->focusPolicy(), Qt::ClickFocus);
        f.Dir1->setPath(root + QStringLiteral("/b"));
        select(f.File2, {QStringLiteral("movie.2"), QStringLiteral("movie.1"),
                         QStringLiteral("movie.3")});
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuAppendtoFile->trigger();

    EXPECT_EQ(read(target), whole);
    EXPECT_EQ(boxes.boxTexts().last(),
              QStringLiteral("The processed file should appear in this folder: ") + root +
                  QStringLiteral("/a.  You might have to refresh the folder (hit F5) to see the "
                                 "file."));
    EXPECT_EQ(QDir::currentPath(), QDir(root + QStringLiteral("/a")).canonicalPath());
    EXPECT_TRUE(d->File1->isVisibleTo(d));
    EXPECT_FALSE(d->File2->isVisibleTo(d));
    EXPECT_EQ(d->Text1->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(notice.showings, 1);
}

TEST_F(AppendCommand, MissingChoicesAreRefusedAndNoNoticeWhenTurnedOff) {
    open(false);
    write(QStringLiteral("a/movie"), "abc");
    const QString m3 = QStringLiteral("There is no file with the name you entered.");
    const QString m7 = QStringLiteral("Please select/enter a name of a file to append to.");
    const QString m8 = QStringLiteral("Please select file(s) to append from.");
    QList<QWidget*> focus;
    const auto ok = [&focus](Form3& f) {
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        focus.append(f.focusWidget());
    };

    steps->then([&](Form3& f) { f.Command2->click(); });
    window->menuAppendtoFile->trigger();
    EXPECT_EQ(steps->showings, 1); // cancelled: no second step

    steps->then([&](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/a"));
        f.Text1->clear();
        ok(f);
        f.Text1->setText(QStringLiteral("film"));
        ok(f);
        f.Text1->setText(QStringLiteral("movie"));
        QTest::keyClick(f.Text1, Qt::Key_Return);
    });
    steps->then([&](Form3& f) { ok(f); });
    window->menuAppendtoFile->trigger();

    EXPECT_EQ(notice.showings, 0);
    EXPECT_EQ(boxes.boxTexts(), (QStringList{m7, m3, m8}));
    EXPECT_EQ(focus, (QList<QWidget*>{d->Text1, d->Text1, d->File2}));
    EXPECT_EQ(read(root + QStringLiteral("/a/movie")), QByteArray("abc"));
}

} // namespace
} // namespace shardix::testing
