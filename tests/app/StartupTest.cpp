#include "app/Form1.h"
#include "app/Globals.h"
#include "app/Startup.h"
#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

using namespace shardix;
using shardix::testing::ScriptedServices;
using shardix::testing::TempStore;

namespace {

constexpr int kOk = 1;
constexpr int kCancel = 2;

// A start-up begun in a folder without the store; the store lies elsewhere.
struct Search : ::testing::Test {
    TempStore store;
    QTemporaryDir elsewhere;
    ScriptedServices ui;

    void SetUp() override { ASSERT_TRUE(QDir::setCurrent(elsewhere.path())); }
};

} // namespace

TEST(StoreProbe, FolderGetsOneSlashAndNameCountsInAnyCapitals) {
    TempStore capitals(true, QStringLiteral("SHARDIX.MDB"));
    for (const QString& folder : {capitals.folder(), capitals.folder() + "//"}) {
        EXPECT_EQ(probeFolder(folder), kStoreName);
        EXPECT_EQ(globals::appFolder, capitals.folder() + "/");
        EXPECT_EQ(globals::dbPath, capitals.folder() + "/SHARDIX.MDB");
    }
    probeFolder(QStringLiteral("/"));
    EXPECT_EQ(globals::dbPath, QStringLiteral("/shardix.mdb"));

    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("shardix.mdb")));
    QFile(dir.filePath(QStringLiteral(".shardix.mdb"))).open(QIODevice::WriteOnly);
    QFile(dir.filePath(QStringLiteral("shardix.mdb.bak"))).open(QIODevice::WriteOnly);
    EXPECT_EQ(probeFolder(dir.path()), QString());
}

TEST_F(Search, StoreInTheStartFolderIsFoundWithoutAsking) {
    ASSERT_TRUE(QDir::setCurrent(store.folder()));
    EXPECT_TRUE(checkDbase());
    EXPECT_TRUE(ui.boxes.isEmpty());
    EXPECT_EQ(globals::dbPath, store.folder() + "/shardix.mdb");
}

TEST_F(Search, CancelGivesTheFatalMessageAndTheWindowIsNeverShown) {
    Form1 window;
    ui.answerNext(kCancel);
    const StartupResult result = window.loadHandler();
    EXPECT_EQ(result, StartupResult::StoreNotFound);
    EXPECT_NE(exitStatus(result), 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(ui.openDialogs.isEmpty());
    ASSERT_EQ(ui.boxes.size(), 2);
    EXPECT_EQ(ui.boxes[0].text, QStringLiteral("Please find and open the database: shardix.mdb"));
    EXPECT_EQ(ui.boxes[0].style, 65);
    EXPECT_EQ(ui.boxes[0].title, QStringLiteral("Shardix!"));
    EXPECT_EQ(ui.boxes[1].text,
              QStringLiteral("This application cannot execute properly without the database "
                             "shardix.mdb.  Please install this database on your system, and "
                             "run the program again."));
    EXPECT_EQ(ui.boxes[1].style, 0);
    EXPECT_EQ(ui.boxes[1].title, QStringLiteral("Shardix!"));
}

TEST_F(Search, AsksAgainUntilAFileInTheStoresFolderIsPickedThenOpensIt) {
    QTemporaryDir empty;
    ui.answerNext(kOk);
    ui.openFileNext(QString()); // Open dialog cancelled
    ui.answerNext(kOk);
    ui.openFileNext(empty.filePath(QStringLiteral("x")));
    ui.answerNext(kOk);
    ui.openFileNext(store.folder() + QStringLiteral("/any file.txt"));
    ASSERT_EQ(startUp(), StartupResult::Ready);
    EXPECT_EQ(ui.boxes.size(), 3);
    EXPECT_EQ(ui.openDialogs.size(), 3);
    EXPECT_EQ(globals::appFolder, store.folder() + "/");
    EXPECT_EQ(QDir::currentPath(), store.folder());
    ASSERT_TRUE(globals::theDatabase);
    EXPECT_EQ(globals::theDatabase->path(), store.folder() + "/shardix.mdb");
    EXPECT_FALSE(globals::theDatabase->isReadOnly());
    ASSERT_TRUE(globals::theWorkspace);
    EXPECT_EQ(globals::theWorkspace->name(), QStringLiteral("lgnWrkSpace"));
    EXPECT_EQ(dbEngine().workspaces().back(), globals::theWorkspace);
}

TEST_F(Search, UnusableStoreIsReportedWithItsNumberAndEndsWithAFailureStatus) {
    QFile file(store.path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("not a database at all, just some text that is long enough");
    file.close();
    ASSERT_TRUE(QDir::setCurrent(store.folder()));

    const StartupResult result = startUp();
    EXPECT_EQ(result, StartupResult::StoreUnusable);
    EXPECT_NE(exitStatus(result), 0);
    EXPECT_FALSE(globals::theDatabase);
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("3343"))) << ui.boxes[0].text.toStdString();
    EXPECT_TRUE(ui.boxes[0].text.contains(QStringLiteral("not a settings database")));
}
