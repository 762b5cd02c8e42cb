// Where the completion message points, the root folder included, and the steps
// that end without a run.
#include "tests/dialog/DialogDriver.h"

#include "dialog/DriveTable.h"

#include <QAction>
#include <QUuid>

namespace shardix::testing {
namespace {

using CompletionTest = CommandTest;

// The engines are stood in for here: nothing may be written into the root.
TEST_F(CompletionTest, AtTheRootTheFolderIsWrittenWithItsOneSlash) {
    const QString name = QStringLiteral("shardix-test-") + QUuid::createUuid().toString(QUuid::Id128);
    ASSERT_FALSE(QFile::exists(QStringLiteral("/") + name + QStringLiteral("1")));
    ASSERT_FALSE(QFile::exists(QStringLiteral("/") + name));
    QStringList targets;
    Form3::EngineCalls calls;
    calls.segment = [&](const std::string&, const std::string& base, const std::string& count,
                        EngineUi&) {
        targets.append(QString::fromStdString(base + "|" + count));
        return true;
    };
    calls.assemble = [&](const std::vector<std::string>& list, const std::string& target,
                         EngineUi&) {
        targets.append(QString::fromStdString(target) + QStringLiteral("|%1").arg(list.size()));
        return true;
    };
    d->setEngineCalls(calls);
    write(QStringLiteral("src/movie"), "0123456789");
    write(QStringLiteral("src/movie2"), "x");

    steps->then([&](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/src"));
        f.Text1->setText(QStringLiteral("movie"));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then([&](Form3& f) {
        f.Dir1->setPath(QStringLiteral("/"));
        f.Text1->setText(name);
        f.MaskEdBox1->setText(QStringLiteral("4"));
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuCutFile->trigger();

    steps->then([&](Form3& f) {
        f.Dir1->setPath(root + QStringLiteral("/src"));
        select(f.File2, {QStringLiteral("movie"), QStringLiteral("movie2")});
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then([&](Form3& f) {
        f.Dir1->setPath(QStringLiteral("/"));
        f.Text1->setText(name);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    window->menuPasteFile->trigger();

    EXPECT_EQ(targets, (QStringList{QStringLiteral("/") + name + QStringLiteral("|4"),
                                    QStringLiteral("/") + name + QStringLiteral("|2")}));
    const QStringList texts = boxes.boxTexts();
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], QStringLiteral("The file sections should appear in this folder: /.  You "
                                       "might have to refresh the folder (hit F5) to see the "
                                       "files."));
    EXPECT_EQ(texts[2], QStringLiteral("The assembled file should appear in this folder: /.  You "
                                       "might have to refresh the folder (hit F5) to see the "
                                       "file."));
    EXPECT_EQ(QDir::currentPath(), QStringLiteral("/"));
    // Append names the folder of the file appended to, written the same way.
    EXPECT_EQ(folderOf(QStringLiteral("/movie")), QStringLiteral("/"));
    EXPECT_EQ(folderOf(root + QStringLiteral("/a/movie")), root + QStringLiteral("/a"));
}

TEST_F(CompletionTest, CancelOrTheCloseControlAtAFirstStepEndsTheCommand) {
    for (QAction* command : {window->menuCutFile, window->menuPasteFile}) {
        for (bool closeControl : {false, true}) {
            globals::fileCount = 5;
            steps->then([closeControl](Form3& f) {
                if (closeControl)
                    f.close();
                else
                    QTest::mouseClick(f.Command2, Qt::LeftButton);
            });
            const int before = steps->showings;
            command->trigger();
            EXPECT_EQ(steps->showings, before + 1);
            EXPECT_EQ(d->caption(), QString());
            EXPECT_EQ(globals::fileCount, 0);
        }
    }
    EXPECT_EQ(steps->unexpected, 0);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

// Steps the dialog has no run for only check the name and hide.
TEST_F(CompletionTest, APathInTheNameIsRefusedAtEveryStep) {
    for (const QString& c : {caption::kSegmentFile, caption::kSegmentBase, caption::kAssembleFiles,
                             caption::kAssembleName, caption::kAppendTo, caption::kAppendFrom,
                             caption::kCopyTo}) {
        d->setCaption(c);
        steps->then([](Form3& f) {
            f.Text1->setText(QStringLiteral("sub\\name"));
            f.Command1->click();
        });
        d->showModal();
    }
    EXPECT_EQ(boxes.boxes.size(), 7);
    for (const auto& box : boxes.boxes)
        EXPECT_TRUE(box.text.startsWith(QStringLiteral("Do NOT include a file PATH")));
    EXPECT_EQ(steps->leftShown, QList<bool>(7, true));

    d->setCaption(caption::kCopyTo);
    steps->then([](Form3& f) {
        f.Text1->setText(QStringLiteral("name"));
        f.Command1->click();
    });
    d->showModal();
    EXPECT_EQ(steps->leftShown.last(), false);
}

} // namespace
} // namespace shardix::testing
