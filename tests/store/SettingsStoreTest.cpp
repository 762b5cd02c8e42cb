// The settings store: encrypted, updated at once, and each way it can be wrong
// told by its own kind.
#include "store/SettingsStore.h"
#include "errors/Error.h"
#include "store/StoreFailure.h"
#include "tests/support/TempStore.h"

#include <QFile>
#include <QString>
#include <gtest/gtest.h>
#include <optional>

using namespace shardix;
using namespace shardix::testing;
using namespace Qt::StringLiterals;

namespace {

// The store's failure that `f` returns, or none.
template <typename F> std::optional<StoreFailure> failureOf(F&& f) {
    const auto result = f();
    if (result.ok())
        return std::nullopt;
    EXPECT_FALSE(result.error().message.empty());
    EXPECT_EQ(result.error().kind, ErrorKind::Store) << result.error().message;
    return storeFailureOf(result.error());
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
        EXPECT_EQ(settings.showAgain().value(), std::optional<bool>(true));
        EXPECT_TRUE(settings.setShowAgain(false).ok());
        EXPECT_EQ(store.storedShowAgain(), 0) << "the change is written at once";
    }
    EXPECT_EQ(store.open().showAgain().value(), std::optional<bool>(false));

    store.sql("UPDATE settings SET showAgain = NULL; INSERT INTO settings VALUES (0);");
    SettingsStore settings = store.open();
    EXPECT_EQ(settings.showAgain().value(), std::nullopt);
    EXPECT_TRUE(settings.setShowAgain(true).ok());
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings WHERE showAgain = 1"), 1);
}

// The choice of a checksum file is kept beside showAgain; a store written
// before that choice existed reads it as off and takes it when it is first set.
TEST(SettingsStore, ChecksumChoiceDefaultsToOffAndIsAddedWhenFirstWritten) {
    TempStore store;
    EXPECT_FALSE(store.open().writeChecksums().value());
    EXPECT_TRUE(store.open().setWriteChecksums(true).ok());
    EXPECT_TRUE(store.open().writeChecksums().value());
    EXPECT_EQ(store.open().showAgain().value(), std::optional<bool>(true));
    EXPECT_TRUE(store.open().setWriteChecksums(false).ok());
    EXPECT_FALSE(store.open().writeChecksums().value());
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings"), 1);
}

TEST(SettingsStore, RefusesWrongKeysAndOtherFiles) {
    TempStore store;
    const QString other = store.folder() + u"/other.mdb"_s;
    EXPECT_EQ(failureOf([&] { return SettingsStore::open(store.path(), u"658lock"_s); }),
              StoreFailure::UnrecognizedDatabase);
    EXPECT_EQ(failureOf([&] { return SettingsStore::open(store.path(), QString()); }),
              StoreFailure::NoKey);
    for (const QByteArray& bytes :
         {QByteArray("This is a plain text file, not a database.\n"), QByteArray()}) {
        ASSERT_TRUE(TempStore::write(other, bytes));
        EXPECT_EQ(failureOf([&] { return SettingsStore::open(other); }),
                  StoreFailure::UnrecognizedDatabase)
            << bytes.size();
    }
    EXPECT_EQ(failureOf([&] { return SettingsStore::open(store.folder() + u"/missing.mdb"_s); }),
              StoreFailure::StoreNotFound);
    EXPECT_EQ(failureOf([&] { return SettingsStore::open(store.folder()); }),
              StoreFailure::StoreNotFound);
}

TEST(SettingsStore, MissingPartsReadOnlyAndInUseRaiseTheirOwnNumbers) {
    TempStore store;
    SettingsStore settings = store.open();
    using Kinds = std::pair<std::optional<StoreFailure>, std::optional<StoreFailure>>;
    const auto readAndWrite = [&] {
        return Kinds(failureOf([&] { return settings.showAgain(); }),
                     failureOf([&] { return settings.setShowAgain(false); }));
    };
    store.sql("ALTER TABLE settings RENAME TO options;");
    EXPECT_EQ(readAndWrite(), Kinds(StoreFailure::NoTable, StoreFailure::NoTable));
    store.sql("CREATE TABLE settings (showAgian BOOLEAN); INSERT INTO settings VALUES (1);");
    EXPECT_EQ(readAndWrite(), Kinds(StoreFailure::NoField, StoreFailure::NoField));
    store.sql("DROP TABLE settings; ALTER TABLE options RENAME TO settings;"
              "UPDATE settings SET showAgain = 'yes';");
    EXPECT_EQ(failureOf([&] { return settings.showAgain(); }), StoreFailure::TypeMismatch);

    store.sql("DELETE FROM settings;");
    EXPECT_EQ(readAndWrite(), Kinds(StoreFailure::NoRecord, StoreFailure::NoRecord));

    SettingsStore readOnly = store.open(/*readOnly=*/true);
    store.sql("INSERT INTO settings VALUES (1);");
    EXPECT_EQ(failureOf([&] { return readOnly.setShowAgain(false); }), StoreFailure::StoreReadOnly);
    EXPECT_EQ(store.storedShowAgain(), 1);

    // Another program holds the store: it is in use, not without its table, and
    // not unrecognizable when it is opened.
    sqlite3* other = nullptr;
    sqlite3_open(QFile::encodeName(store.path()).constData(), &other);
    sqlite3_key(other, kStoreKey, int(sizeof kStoreKey - 1));
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(readAndWrite(), Kinds(StoreFailure::StoreInUse, StoreFailure::StoreInUse));
    EXPECT_EQ(failureOf([&] { return SettingsStore::open(store.path()); }),
              StoreFailure::StoreInUse);
    sqlite3_close(other);
    EXPECT_EQ(settings.showAgain().value(), std::optional<bool>(true));
}

} // namespace
