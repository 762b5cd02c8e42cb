#include "app/MainWindow.h"
#include "app/Session.h"
#include "app/Startup.h"
#include "app/StoreSearch.h"
#include "dialog/DialogProgress.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/OperationDialog.h"
#include "dialog/commands/SegmentSteps.h"
#include "platform/ErrorReporter.h"
#include "platform/QtWindowServices.h"
#include "tests/support/ScriptedServices.h"
#include "tests/support/TempStore.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;
using namespace Qt::StringLiterals;

namespace {

// The main window's reporter explains known kinds in its own words in a Sorry box;
// the dialog's shows the description itself and turns the busy pointer off; file
// failures carry the numbers users know them by and name the file.
TEST(Reporters, MainExplainsDialogShowsTheDescriptionAndFileFailuresCarryNumbers) {
    ScriptedServices ui;
    const std::pair<ErrorKind, QString> cases[] = {
        {ErrorKind::FileNotFound, "The file does not exist."},
        {ErrorKind::Refused, "Shardix! performed an invalid operation."},
        {ErrorKind::UnrecognizedDatabase,
         "The database you selected has a format that is unrecognizable to Shardix!."},
        {ErrorKind::PermissionDenied, "Permission denied."},
        {ErrorKind::DeviceIo, "Something particular went wrong."}}; // not explained: its own
    QStringList expected;
    for (const auto& [kind, text] : cases) {
        reportError(ui, Error::of(kind, kind == ErrorKind::DeviceIo
                                            ? "Something particular went wrong."
                                            : "Cannot open \"/x\": it is gone."));
        expected.append("Ok|Information Shardix! - Sorry...: " + text);
    }
    const Error full = Error::fromErrno(ENOSPC, "write", "/mnt/usb/part7");
    EXPECT_EQ(full.message,
              "Cannot write \"/mnt/usb/part7\": the disk is full (No space left on device).");
    reportError(ui, full); // a full disk keeps its own description
    expected.append("Ok|Information Shardix! - Sorry...: " + QString::fromStdString(full.message));
    EXPECT_EQ(ui.shown(), expected);
    EXPECT_TRUE(ui.busyChanges.isEmpty()); // the busy pointer is not this reporter's business

    ui.setBusy(true);
    QProgressBar bar;
    QLabel label;
    QWidget inItsPlace;
    DialogProgress dialog(ui, &bar, &label, &inItsPlace);
    dialog.showFailure(QString::fromStdString(
        Error::of(ErrorKind::FileNotFound, "Cannot open \"/x\": gone.").message));
    EXPECT_FALSE(ui.isBusy());
    ASSERT_EQ(ui.boxes.size(), expected.size() + 1);
    EXPECT_EQ(ui.shown().back(),
              "Ok Shardix!: Cannot open \"/x\": gone."); // not translated, even for 53

    const std::tuple<int, const char*, int> numbers[] = {
        {ENOENT, "open", 53}, {ENOENT, "create", 76}, {EBUSY, "create", 55}, {EACCES, "create", 70},
        {EROFS, "write", 70}, {ENOTDIR, "open", 75},  {ENOSPC, "write", 61}};
    for (const auto& [error, action, number] : numbers)
        EXPECT_EQ(errorNumber(Error::fromErrno(error, action, "/a").kind), number)
            << action << error;
}

// Shows a real box with `style` and `title`, answers it with `key` once it is up, and
// tells "<answer>|<title>|<icon: 0 none, 1 information, 3 critical, 4 question>|<buttons>|
// <default button: first or second>".
QString showAndPress(MessageStyle style, const QString& title, Qt::Key key) {
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
    const char* const answers[] = {"Ok", "Cancel", "Yes", "No"};
    return answers[static_cast<int>(services.messageBox("text", style, title))] + u"|"_s + seen;
}

TEST(QtMessageBox, ButtonsIconsDefaultsAndAnswersFollowTheStyle) {
    EXPECT_TRUE(
        showAndPress(MessageButtons::Ok, {}, Qt::Key_Return).startsWith("Ok|Shardix!|0|1|"));
    EXPECT_TRUE(showAndPress(MessageButtons::OkCancel | MessageIcon::Information, "Shardix!",
                             Qt::Key_Escape)
                    .startsWith("Cancel|Shardix!|1|2|"));
    EXPECT_EQ(showAndPress(MessageButtons::YesNo | MessageIcon::Question | MessageDefault::Second,
                           "Shardix! - It's your choice...", Qt::Key_Return),
              "No|Shardix! - It's your choice...|4|2|second"); // Enter takes the default: No
    EXPECT_TRUE(showAndPress(MessageButtons::YesNo | MessageIcon::Question, {}, Qt::Key_Return)
                    .startsWith("Yes|"));
    EXPECT_TRUE(
        showAndPress(MessageIcon::Critical, {}, Qt::Key_Return).startsWith("Ok|Shardix!|3|1|"));
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

// The kind of the failure that `f` raises, or none.
template <typename F> std::optional<ErrorKind> failureOf(F&& f) {
    try {
        f();
    } catch (const Failed& e) {
        EXPECT_FALSE(e.error().message.empty());
        return e.error().kind;
    }
    return std::nullopt;
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
        SettingsStore settings = store.open();
        EXPECT_EQ(settings.showAgain(), std::optional<bool>(true));
        settings.setShowAgain(false);
        EXPECT_EQ(store.storedShowAgain(), 0) << "the change is written at once";
    }
    EXPECT_EQ(store.open().showAgain(), std::optional<bool>(false));

    store.sql("UPDATE settings SET showAgain = NULL; INSERT INTO settings VALUES (0);");
    SettingsStore settings = store.open();
    EXPECT_EQ(settings.showAgain(), std::nullopt);
    settings.setShowAgain(true);
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings WHERE showAgain = 1"), 1);
}

// The choice of a checksum file is kept beside showAgain; a store written
// before that choice existed reads it as off and takes it when it is first set.
TEST(SettingsStore, ChecksumChoiceDefaultsToOffAndIsAddedWhenFirstWritten) {
    TempStore store;
    EXPECT_FALSE(store.open().writeChecksums());
    store.open().setWriteChecksums(true);
    EXPECT_TRUE(store.open().writeChecksums());
    EXPECT_EQ(store.open().showAgain(), std::optional<bool>(true));
    store.open().setWriteChecksums(false);
    EXPECT_FALSE(store.open().writeChecksums());
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings"), 1);
}

TEST(SettingsStore, RefusesWrongKeysAndOtherFiles) {
    TempStore store;
    const QString other = store.folder() + u"/other.mdb"_s;
    EXPECT_EQ(failureOf([&] { SettingsStore::open(store.path(), u"658lock"_s); }),
              ErrorKind::UnrecognizedDatabase);
    EXPECT_EQ(failureOf([&] { SettingsStore::open(store.path(), QString()); }), ErrorKind::NoKey);
    for (const QByteArray& bytes :
         {QByteArray("This is a plain text file, not a database.\n"), QByteArray()}) {
        ASSERT_TRUE(TempStore::write(other, bytes));
        EXPECT_EQ(failureOf([&] { SettingsStore::open(other); }), ErrorKind::UnrecognizedDatabase)
            << bytes.size();
    }
    EXPECT_EQ(failureOf([&] { SettingsStore::open(store.folder() + u"/missing.mdb"_s); }),
              ErrorKind::StoreNotFound);
    EXPECT_EQ(failureOf([&] { SettingsStore::open(store.folder()); }), ErrorKind::StoreNotFound);
}

TEST(SettingsStore, MissingPartsReadOnlyAndInUseRaiseTheirOwnNumbers) {
    TempStore store;
    SettingsStore settings = store.open();
    using Kinds = std::pair<std::optional<ErrorKind>, std::optional<ErrorKind>>;
    const auto readAndWrite = [&] {
        return Kinds(failureOf([&] { settings.showAgain(); }),
                     failureOf([&] { settings.setShowAgain(false); }));
    };
    store.sql("ALTER TABLE settings RENAME TO options;");
    EXPECT_EQ(readAndWrite(), Kinds(ErrorKind::NoTable, ErrorKind::NoTable));
    store.sql("CREATE TABLE settings (showAgian BOOLEAN); INSERT INTO settings VALUES (1);");
    EXPECT_EQ(readAndWrite(), Kinds(ErrorKind::NoField, ErrorKind::NoField));
    store.sql("DROP TABLE settings; ALTER TABLE options RENAME TO settings;"
              "UPDATE settings SET showAgain = 'yes';");
    EXPECT_EQ(failureOf([&] { settings.showAgain(); }), ErrorKind::TypeMismatch);

    store.sql("DELETE FROM settings;");
    EXPECT_EQ(readAndWrite(), Kinds(ErrorKind::NoRecord, ErrorKind::NoRecord));

    SettingsStore readOnly = store.open(/*readOnly=*/true);
    store.sql("INSERT INTO settings VALUES (1);");
    EXPECT_EQ(failureOf([&] { readOnly.setShowAgain(false); }), ErrorKind::StoreReadOnly);
    EXPECT_EQ(store.storedShowAgain(), 1);

    // Another program holds the store: it is in use, not without its table, and
    // not unrecognizable when it is opened.
    sqlite3* other = nullptr;
    sqlite3_open(QFile::encodeName(store.path()).constData(), &other);
    sqlite3_key(other, kStoreKey, int(sizeof kStoreKey - 1));
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(readAndWrite(), Kinds(ErrorKind::StoreInUse, ErrorKind::StoreInUse));
    EXPECT_EQ(failureOf([&] { store.open(); }), ErrorKind::StoreInUse);
    sqlite3_close(other);
    EXPECT_EQ(settings.showAgain(), std::optional<bool>(true));
}

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
