#include "app/ErrorReporting.h"
#include "app/Form1.h"
#include "app/QtWindowServices.h"
#include "app/Startup.h"
#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;
using namespace Qt::StringLiterals;

namespace {

// The main window's reporter explains known numbers in its own words in a Sorry box;
// the dialog's hands the description back and shows nothing; file failures carry
// their numbers and name the file.
TEST(Reporters, MainExplainsDialogHandsBackAndFileFailuresCarryNumbers) {
    ScriptedServices ui;
    const std::pair<int, QString> cases[] = {
        {53, "The file does not exist."},
        {3219, "Shardix! performed an invalid operation."},
        {3343, "The database you selected has a format that is unrecognizable to Shardix!."},
        {70, "Permission denied."},
        {4242, "Something particular went wrong."}}; // unknown: its own description
    QStringList expected;
    for (const auto& [number, text] : cases) {
        mainHandleError(AppError(number, number == 4242 ? "Something particular went wrong."
                                                        : "Cannot open \"/x\": it is gone."));
        expected.append("64 Shardix! - Sorry...: " + text);
        EXPECT_EQ(globals::msgPrompt, text);
        EXPECT_EQ(globals::msgStyle, 64);
        EXPECT_EQ(globals::msgAnswer, 1);
    }
    const AppError full = AppError::fromErrno(ENOSPC, "write", "/mnt/usb/part7");
    EXPECT_EQ(full.description(),
              "Cannot write \"/mnt/usb/part7\": the disk is full (No space left on device).");
    mainHandleError(full); // a full disk keeps its own description
    expected.append("64 Shardix! - Sorry...: " + QString::fromStdString(full.description()));
    EXPECT_EQ(ui.shown(), expected);
    EXPECT_TRUE(ui.busyChanges.isEmpty()); // the busy pointer is not this reporter's business

    ui.setBusy(true);
    const QString text = dialogReportError(AppError(53, "Cannot open \"/x\": gone."));
    EXPECT_EQ(text, "Cannot open \"/x\": gone."); // not translated, even for 53
    EXPECT_EQ(globals::msgPrompt, text);
    EXPECT_FALSE(ui.isBusy());
    EXPECT_EQ(ui.boxes.size(), expected.size());

    const std::tuple<int, const char*, int> numbers[] = {
        {ENOENT, "open", 53}, {ENOENT, "create", 76}, {EBUSY, "create", 55}, {EACCES, "create", 70},
        {EROFS, "write", 70}, {ENOTDIR, "open", 75},  {ENOSPC, "write", 61}};
    for (const auto& [error, action, number] : numbers)
        EXPECT_EQ(AppError::fromErrno(error, action, "/a").number(), number) << action << error;
}

// Shows a real box with `style` and `title`, answers it with `key` once it is up, and
// tells "<answer>|<title>|<icon: 0 none, 1 information, 4 question>|<buttons>|<default button:
// first or second>".
QString showAndPress(int style, const QString& title, Qt::Key key) {
    QString seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QAbstractButton* byDefault = box->defaultButton();
        const bool second = byDefault && (byDefault == box->button(QMessageBox::No) ||
                                          byDefault == box->button(QMessageBox::Cancel));
        seen = u"%1|%2|%3|"_s.arg(box->windowTitle()).arg(box->icon()).arg(box->buttons().size()) +
               (second ? "second" : "first") +
               (box->windowIcon().isNull() ? "|no window icon" : ""); // the program's, always
        QTest::keyClick(box, key);
    });
    QtWindowServices services;
    return QString::number(services.messageBox("text", style, title)) + "|" + seen;
}

TEST(QtMessageBox, ButtonsIconsDefaultsAndAnswersFollowTheStyle) {
    EXPECT_TRUE(showAndPress(0, {}, Qt::Key_Return).startsWith("1|Shardix!|0|1|"));
    EXPECT_TRUE(showAndPress(65, "Shardix!", Qt::Key_Escape).startsWith("2|Shardix!|1|2|"));
    EXPECT_EQ(showAndPress(36 + 256, "Shardix! - It's your choice...", Qt::Key_Return),
              "7|Shardix! - It's your choice...|4|2|second"); // Enter takes the default: No
    EXPECT_TRUE(showAndPress(36, {}, Qt::Key_Return).startsWith("6|"));
}

TEST(QtBusyPointer, IsAStateNotAStack) {
    QtWindowServices services;
    services.setBusy(true);
    services.setBusy(true);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    services.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    services.setBusy(false);
    EXPECT_FALSE(services.isBusy());
}

const QString kTable = u"settings"_s, kField = u"showAgain"_s;

std::unique_ptr<Database> open(const QString& path, const QString& connect = kStoreConnect,
                               bool readOnly = false) {
    return Workspace({}, {}, {}, WorkspaceType::Jet).openDatabase(path, false, readOnly, connect);
}

// The number of the AppError that `f` raises, or 0 when it raises none.
template <typename F> int failureOf(F&& f) {
    try {
        f();
    } catch (const AppError& e) {
        EXPECT_FALSE(e.description().empty());
        return e.number();
    }
    return 0;
}

// The first record's setting, after writing `value` to it when one is given.
std::optional<bool> first(Database& db, std::optional<bool> value = {}) {
    auto rs = db.openRecordset(kTable, RecordsetType::Table);
    rs->moveFirst();
    if (value) {
        rs->edit();
        rs->setBool(kField, *value);
        rs->update();
    }
    return rs->readBool(kField);
}

TEST(SettingsStore, EncryptedUpdatedAtOnceKeptAndOnlyTheFirstRecordCounts) {
    TempStore store;
    QFile file(store.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.startsWith("SQLite format 3"));
    EXPECT_FALSE(bytes.contains("showAgain"));
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings"), 1);
    {
        auto db = open(store.path());
        auto rs = db->openRecordset(kTable, RecordsetType::Table);
        rs->moveFirst();
        EXPECT_EQ(rs->readBool(kField), std::optional<bool>(true));
        rs->edit();
        rs->setBool(kField, false);
        EXPECT_EQ(store.storedShowAgain(), 1) << "nothing is written before the update";
        rs->update();
        EXPECT_EQ(store.storedShowAgain(), 0) << "the update is written at once";
    }
    EXPECT_EQ(first(*open(store.path())), std::optional<bool>(false));

    store.sql("UPDATE settings SET showAgain = NULL; INSERT INTO settings VALUES (0);");
    auto db = open(store.path());
    EXPECT_EQ(first(*db), std::nullopt);
    first(*db, true);
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings WHERE showAgain = 1"), 1);
}

TEST(SettingsStore, RefusesWrongPasswordsAndOtherFiles) {
    TempStore store;
    const QString other = store.folder() + u"/other.mdb"_s;
    EXPECT_EQ(failureOf([&] { open(store.path(), u";UID=Admin;PWD=658lock"_s); }),
              ErrNo::UnrecognizedDatabase);
    EXPECT_EQ(failureOf([&] { open(store.path(), u";UID=Admin"_s); }), DbErrNo::NoPassword);
    for (const QByteArray& bytes :
         {QByteArray("This is a plain text file, not a database.\n"), QByteArray()}) {
        ASSERT_TRUE(TempStore::write(other, bytes));
        EXPECT_EQ(failureOf([&] { open(other); }), ErrNo::UnrecognizedDatabase) << bytes.size();
    }
    EXPECT_EQ(failureOf([&] { open(store.folder() + u"/missing.mdb"_s); }), DbErrNo::FileNotFound);
    EXPECT_EQ(failureOf([&] { open(store.folder()); }), DbErrNo::FileNotFound);
}

TEST(SettingsStore, MissingPartsAndMisuseRaiseTheirOwnNumbers) {
    TempStore store;
    auto db = open(store.path());
    EXPECT_EQ(failureOf([&] { db->openRecordset(u"options"_s, RecordsetType::Table); }),
              DbErrNo::TableNotFound);
    auto rs = db->openRecordset(kTable, RecordsetType::Table);
    rs->moveFirst();
    EXPECT_EQ(failureOf([&] { rs->readBool(u"showAgian"_s); }), DbErrNo::ItemNotFound);
    EXPECT_EQ(failureOf([&] { rs->setBool(kField, false); }), DbErrNo::UpdateWithoutEdit);
    rs->edit();
    EXPECT_EQ(failureOf([&] { rs->setBool(u"other"_s, false); }), DbErrNo::ItemNotFound);
    rs->close();
    EXPECT_EQ(failureOf([&] { rs->moveFirst(); }), DbErrNo::ObjectClosed);

    store.sql("DELETE FROM settings;");
    auto empty = db->openRecordset(kTable, RecordsetType::Table);
    EXPECT_EQ(failureOf([&] { empty->moveFirst(); }), DbErrNo::NoCurrentRecord);
    EXPECT_EQ(failureOf([&] { empty->edit(); }), DbErrNo::NoCurrentRecord);

    auto readOnly = open(store.path(), kStoreConnect, true);
    store.sql("INSERT INTO settings VALUES (1);");
    EXPECT_EQ(failureOf([&] { first(*readOnly, false); }), DbErrNo::ReadOnly);
    EXPECT_EQ(store.storedShowAgain(), 1);

    // Another program holds the store: it is in use, not without its table.
    sqlite3* other = nullptr;
    sqlite3_open(QFile::encodeName(store.path()).constData(), &other);
    const QByteArray key = connectValue(kStoreConnect, u"PWD"_s)->toUtf8();
    sqlite3_key(other, key.constData(), int(key.size()));
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(failureOf([&] { db->openRecordset(kTable, RecordsetType::Table); }), DbErrNo::Locked);
    sqlite3_close(other);
}

TEST(StoreProbe, FolderGetsOneSlashAndNameCountsInAnyCapitals) {
    TempStore capitals(true, u"SHARDIX.MDB"_s);
    for (const QString& folder : {capitals.folder(), capitals.folder() + "//"}) {
        EXPECT_EQ(probeFolder(folder), kStoreName);
        EXPECT_EQ(globals::appFolder, capitals.folder() + "/");
        EXPECT_EQ(globals::dbPath, capitals.folder() + "/SHARDIX.MDB");
    }
    probeFolder(u"/"_s);
    EXPECT_EQ(globals::dbPath, u"/shardix.mdb"_s);

    QTemporaryDir dir; // a folder by the name, and files whose names only look like it
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"shardix.mdb"_s));
    QFile(dir.filePath(u".shardix.mdb"_s)).open(QIODevice::WriteOnly);
    QFile(dir.filePath(u"shardix.mdb.bak"_s)).open(QIODevice::WriteOnly);
    EXPECT_EQ(probeFolder(dir.path()), QString());
}

// A start-up begun in a folder without the store; the store lies elsewhere.
struct Search : ::testing::Test {
    TempStore store;
    QTemporaryDir elsewhere;
    ScriptedServices ui;
    void SetUp() override { ASSERT_TRUE(QDir::setCurrent(elsewhere.path())); }
};

TEST_F(Search, StoreInTheStartFolderIsFoundWithoutAsking) {
    ASSERT_TRUE(QDir::setCurrent(store.folder()));
    EXPECT_TRUE(checkDbase());
    EXPECT_TRUE(ui.boxes.isEmpty());
    EXPECT_EQ(globals::dbPath, store.folder() + "/shardix.mdb");
}

TEST_F(Search, CancelGivesTheFatalMessageAndTheWindowIsNeverShown) {
    Form1 window;
    ui.answerNext(MsgAnswer::Cancel);
    const StartupResult result = window.loadHandler();
    EXPECT_EQ(result, StartupResult::StoreNotFound);
    EXPECT_NE(exitStatus(result), 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(ui.openDialogs.isEmpty());
    EXPECT_EQ(ui.shown(),
              QStringList({u"65 Shardix!: Please find and open the database: shardix.mdb"_s,
                           u"0 Shardix!: This application cannot execute properly without the "
                           "database shardix.mdb.  Please install this database on your system, "
                           "and run the program again."_s}));
}

TEST_F(Search, AsksAgainUntilAFileInTheStoresFolderIsPickedThenOpensIt) {
    QTemporaryDir empty;
    for (const QString& picked :
         {QString(), empty.filePath(u"x"_s), store.folder() + u"/any file.txt"_s}) {
        ui.answerNext(MsgAnswer::Ok);
        ui.openFileNext(picked); // the first Open dialog is cancelled
    }
    ASSERT_EQ(startUp(), StartupResult::Ready);
    EXPECT_EQ(ui.boxes.size(), 3);
    EXPECT_EQ(ui.openDialogs.size(), 3);
    EXPECT_EQ(globals::appFolder, store.folder() + "/");
    EXPECT_EQ(QDir::currentPath(), store.folder());
    ASSERT_TRUE(globals::theDatabase);
    EXPECT_EQ(globals::theDatabase->path(), store.folder() + "/shardix.mdb");
    EXPECT_FALSE(globals::theDatabase->isReadOnly());
    ASSERT_TRUE(globals::theWorkspace);
    EXPECT_EQ(globals::theWorkspace->name(), u"lgnWrkSpace"_s);
    EXPECT_EQ(dbEngine().workspaces().back(), globals::theWorkspace);
}

TEST_F(Search, UnusableStoreIsReportedWithItsNumberAndEndsWithAFailureStatus) {
    ASSERT_TRUE(TempStore::write(store.path(),
                                 "not a database at all, just some text that is long enough"));
    ASSERT_TRUE(QDir::setCurrent(store.folder()));
    const StartupResult result = startUp();
    EXPECT_EQ(result, StartupResult::StoreUnusable);
    EXPECT_NE(exitStatus(result), 0);
    EXPECT_FALSE(globals::theDatabase);
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_TRUE(ui.boxes[0].text.contains(u"3343"_s)) << ui.boxes[0].text.toStdString();
    EXPECT_TRUE(ui.boxes[0].text.contains(u"not a settings database"_s));
}

} // namespace
