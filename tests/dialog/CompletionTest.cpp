// The main window's menus, where the completion message points (the root folder
// included), and Cancel.
#include "tests/dialog/DialogDriver.h"

#include <QMenu>
#include <QMenuBar>
#include <QUuid>

namespace shardix::testing {
namespace {

using CompletionTest = CommandTest;

TEST_F(CompletionTest, TheMenusOfferTheFileCommandsWithTheirAccessKeysAndNoCopyOrMove) {
    QStringList items;
    for (const QAction* menu : window->menuBar()->actions()) {
        items.append(menu->text());
        for (const QAction* item : menu->menu()->actions())
            items.append(item->isSeparator() ? u"-"_s : item->text());
    }
    EXPECT_EQ(items, (QStringList{"&File", "&Segment File...", "&Assemble Files...",
                                  "A&ppend to File...", "-", "E&xit", "&Help", "&About Shardix"}));
}

// The engines are stood in for here: nothing may be written into the root.
TEST_F(CompletionTest, AtTheRootTheFolderIsWrittenWithItsOneSlash) {
    const QString name = u"shardix-test-"_s + QUuid::createUuid().toString(QUuid::Id128);
    ASSERT_FALSE(QFile::exists(u"/"_s + name + u"1"_s) || QFile::exists(u"/"_s + name));
    QStringList targets;
    Form3::EngineCalls calls;
    calls.segment = [&](const std::string&, const std::string& base, const std::string& count,
                        EngineUi&) {
        targets.append(QString::fromStdString(base + " " + count));
        return true;
    };
    calls.assemble = [&](const std::vector<std::string>& list, const std::string& target,
                         EngineUi&) {
        targets.append(QString::fromStdString(target) + u" %1"_s.arg(list.size()));
        return true;
    };
    d->setEngineCalls(calls);
    write(u"src/movie"_s, "0123456789");
    write(u"src/movie2"_s, "x");
    const auto toRoot = [&](Form3& f) {
        f.Dir1->setPath(u"/"_s);
        f.Text1->setText(name);
        f.MaskEdBox1->setText(u"4"_s);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    };
    steps->then([&](Form3& f) {
        f.Dir1->setPath(at("src"));
        f.Text1->setText(u"movie"_s);
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then(toRoot);
    window->menuCutFile->trigger();
    steps->then([&](Form3& f) {
        f.Dir1->setPath(at("src"));
        select(f.File2, {u"movie"_s, u"movie2"_s});
        QTest::mouseClick(f.Command1, Qt::LeftButton);
    });
    steps->then(toRoot);
    window->menuPasteFile->trigger();

    EXPECT_EQ(targets, (QStringList{u"/"_s + name + u" 4"_s, u"/"_s + name + u" 2"_s}));
    const QString tail = u".  You might have to refresh the folder (hit F5) to see the "_s;
    const QStringList texts = boxes.boxTexts(); // the second is the re-order question
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0],
              u"The file sections should appear in this folder: /"_s + tail + u"files."_s);
    EXPECT_EQ(texts[2],
              u"The assembled file should appear in this folder: /"_s + tail + u"file."_s);
    EXPECT_EQ(QDir::currentPath(), u"/"_s);
    // Append names the folder of the file appended to, written the same way.
    EXPECT_EQ(folderOf(u"/movie"_s), u"/"_s);
    EXPECT_EQ(folderOf(at("a/movie")), at("a"));
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

} // namespace
} // namespace shardix::testing
