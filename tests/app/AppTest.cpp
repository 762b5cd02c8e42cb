#include "app/MainWindow.h"
#include "app/Session.h"
#include "app/Startup.h"
#include "app/StoreSearch.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/OperationDialog.h"
#include "dialog/commands/SegmentSteps.h"
#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <QApplication>
#include <QPushButton>
#include <QScopeGuard>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;
using namespace Qt::StringLiterals;

namespace {

TEST(StoreProbe, FolderGetsOneSlashAndNameCountsInAnyCapitals) {
    TempStore capitals(true, u"SHARDIX.MDB"_s);
    for (const QString& folder : {capitals.folder(), capitals.folder() + "//"}) {
        const StoreProbe probe = probeFolder(folder);
        EXPECT_TRUE(probe.found);
        EXPECT_EQ(probe.folder, capitals.folder() + "/");
        EXPECT_EQ(probe.path, capitals.folder() + "/SHARDIX.MDB");
    }
    EXPECT_EQ(probeFolder(u"/"_s).path, u"/shardix.mdb"_s);

    QTemporaryDir dir; // a folder by the name, and files whose names only look like it
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"shardix.mdb"_s));
    QFile(dir.filePath(u".shardix.mdb"_s)).open(QIODevice::WriteOnly);
    QFile(dir.filePath(u"shardix.mdb.bak"_s)).open(QIODevice::WriteOnly);
    EXPECT_FALSE(probeFolder(dir.path()).found);
}

// A start-up begun in a folder without the store; the store lies elsewhere.
struct Search : ::testing::Test {
    TempStore store;
    QTemporaryDir elsewhere;
    ScriptedServices ui;
    Session session{ui, {}, std::nullopt};
    void SetUp() override { ASSERT_TRUE(QDir::setCurrent(elsewhere.path())); }
};

TEST_F(Search, StoreInTheStartFolderIsFoundWithoutAsking) {
    ASSERT_TRUE(QDir::setCurrent(store.folder()));
    const std::optional<StoreProbe> found = findStore(ui);
    ASSERT_TRUE(found);
    EXPECT_TRUE(ui.boxes.isEmpty());
    EXPECT_EQ(found->path, store.folder() + "/shardix.mdb");
}

TEST_F(Search, CancelGivesTheFatalMessageAndTheWindowIsNeverShown) {
    MainWindow window(session);
    ui.answerNext(MessageAnswer::Cancel);
    const StartupResult result = window.start();
    EXPECT_EQ(result, StartupResult::StoreNotFound);
    EXPECT_NE(exitStatus(result), 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(ui.openDialogs.isEmpty());
    EXPECT_EQ(ui.shown(),
              QStringList({u"OkCancel|Information Shardix!: Please find and open the database: "
                           "shardix.mdb"_s,
                           u"Ok Shardix!: This application cannot execute properly without the "
                           "database shardix.mdb.  Please install this database on your system, "
                           "and run the program again."_s}));
}

TEST_F(Search, AsksAgainUntilAFileInTheStoresFolderIsPickedThenOpensIt) {
    QTemporaryDir empty;
    for (const QString& picked :
         {QString(), empty.filePath(u"x"_s), store.folder() + u"/any file.txt"_s}) {
        ui.answerNext(MessageAnswer::Ok);
        ui.openFileNext(picked); // the first Open dialog is cancelled
    }
    ASSERT_EQ(startUp(session), StartupResult::Ready);
    EXPECT_EQ(ui.boxes.size(), 3);
    EXPECT_EQ(ui.openDialogs.size(), 3);
    EXPECT_EQ(session.folder, store.folder() + "/");
    EXPECT_EQ(QDir::currentPath(), store.folder());
    ASSERT_TRUE(session.store);
    EXPECT_EQ(session.store->path(), store.folder() + "/shardix.mdb");
    EXPECT_NO_THROW(session.store->setShowAgain(false)); // open for changes
    EXPECT_EQ(store.storedShowAgain(), 0);
}

TEST_F(Search, UnusableStoreIsReportedWithItsNumberAndEndsWithAFailureStatus) {
    ASSERT_TRUE(TempStore::write(store.path(),
                                 "not a database at all, just some text that is long enough"));
    ASSERT_TRUE(QDir::setCurrent(store.folder()));
    const StartupResult result = startUp(session);
    EXPECT_EQ(result, StartupResult::StoreUnusable);
    EXPECT_NE(exitStatus(result), 0);
    EXPECT_FALSE(session.store);
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_TRUE(ui.boxes[0].text.contains(u"3343"_s)) << ui.boxes[0].text.toStdString();
    EXPECT_TRUE(ui.boxes[0].text.contains(u"not a settings database"_s));
}

// Started as the launcher starts it: in the data folder that holds the store,
// told the folder the user works in. The store is found as ever, and the
// dialog's lists start where the user works, never in the store's folder.
TEST(WorkingFolder, TheListsStartWhereTheUserWorksNotInTheStoresFolder) {
    TempStore store; // the data folder
    QTemporaryDir home;
    const QString documents = home.path() + u"/Documents"_s;
    ASSERT_TRUE(QDir().mkpath(documents));
    const QByteArray savedHome = qgetenv("HOME");
    const auto putBack = qScopeGuard([&] { qputenv("HOME", savedHome); });
    qputenv("HOME", QFile::encodeName(home.path()));
    const std::pair<std::optional<QString>, QString> cases[] = {
        {documents, documents},                  // started there from a terminal
        {QString(), home.path()},                // from the menu
        {home.path() + u"/gone"_s, home.path()}, // a folder that is no more
        {u"Documents"_s, home.path()},           // not an absolute path
        {std::nullopt, store.folder()},          // not started by the launcher
    };
    for (const auto& [told, expected] : cases) {
        ASSERT_TRUE(QDir::setCurrent(store.folder()));
        ScriptedServices ui;
        Session session{ui, {}, std::nullopt, workingFolder(told)};
        MainWindow window(session);
        ASSERT_EQ(window.start(), StartupResult::Ready);
        EXPECT_TRUE(ui.boxes.isEmpty());
        EXPECT_EQ(session.folder, store.folder() + u'/');
        OperationDialog& dialog = window.operationDialog();
        SegmentSteps segment;
        dialog.prepare(segment, SegmentSteps::kPickSource);
        const std::string label = told.value_or(u"(not told)"_s).toStdString();
        EXPECT_EQ(dialog.findChild<FolderList*>(u"folderList"_s)->path(), expected) << label;
        EXPECT_EQ(dialog.findChild<FileList*>(u"fileList"_s)->path(), expected) << label;
    }
}

} // namespace
