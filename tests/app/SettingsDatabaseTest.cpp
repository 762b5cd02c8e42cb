#include "app/SettingsDatabase.h"
#include "tests/support/TempStore.h"

#include <gtest/gtest.h>

using namespace shardix;
using shardix::testing::TempStore;

namespace {

const QString kTable = QStringLiteral("settings");
const QString kField = QStringLiteral("showAgain");

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

std::optional<bool> readFirst(Database& db) {
    auto rs = db.openRecordset(kTable, RecordsetType::Table);
    rs->moveFirst();
    return rs->readBool(kField);
}

void writeFirst(Database& db, bool value) {
    auto rs = db.openRecordset(kTable, RecordsetType::Table);
    rs->moveFirst();
    rs->edit();
    rs->setBool(kField, value);
    rs->update();
    rs->close();
}

} // namespace

TEST(SettingsStore, NewStoreIsEncryptedAndOpensWithItsPassword) {
    TempStore store;
    QFile file(store.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.startsWith("SQLite format 3"));
    EXPECT_FALSE(bytes.contains("showAgain"));
    EXPECT_EQ(readFirst(*open(store.path())), std::optional<bool>(true));
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings"), 1);
}

TEST(SettingsStore, RefusesWrongPasswordsAndOtherFiles) {
    TempStore store;
    const QString other = store.folder() + QStringLiteral("/other.mdb");
    const auto writeOther = [&](const QByteArray& bytes) {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    EXPECT_EQ(failureOf([&] { open(store.path(), QStringLiteral(";UID=Admin;PWD=658lock")); }),
              ErrNo::UnrecognizedDatabase);
    EXPECT_EQ(failureOf([&] { open(store.path(), QStringLiteral(";UID=Admin")); }),
              DbErrNo::NoPassword);
    writeOther("This is a plain text file, not a database.\n");
    EXPECT_EQ(failureOf([&] { open(other); }), ErrNo::UnrecognizedDatabase);
    writeOther(QByteArray());
    EXPECT_EQ(failureOf([&] { open(other); }), ErrNo::UnrecognizedDatabase);
    EXPECT_EQ(failureOf([&] { open(store.folder() + QStringLiteral("/missing.mdb")); }),
              DbErrNo::FileNotFound);
    EXPECT_EQ(failureOf([&] { open(store.folder()); }), DbErrNo::FileNotFound);
}

TEST(SettingsStore, UpdateIsInTheFileAtOnceAndSurvivesReopening) {
    TempStore store;
    {
        auto db = open(store.path());
        auto rs = db->openRecordset(kTable, RecordsetType::Table);
        rs->moveFirst();
        rs->edit();
        rs->setBool(kField, false);
        EXPECT_EQ(store.storedShowAgain(), 1) << "nothing is written before the update";
        rs->update();
        EXPECT_EQ(store.storedShowAgain(), 0) << "the update is written at once";
    }
    EXPECT_EQ(readFirst(*open(store.path())), std::optional<bool>(false));
}

TEST(SettingsStore, NullReadsAsNoValueAndOnlyTheFirstRecordCounts) {
    TempStore store;
    store.sql("UPDATE settings SET showAgain = NULL; INSERT INTO settings VALUES (0);");
    auto db = open(store.path());
    EXPECT_EQ(readFirst(*db), std::nullopt);
    writeFirst(*db, true);
    EXPECT_EQ(store.sql("SELECT count(*) FROM settings WHERE showAgain = 1"), 1);
}

TEST(SettingsStore, MissingPartsAndMisuseRaiseTheirOwnNumbers) {
    TempStore store;
    auto db = open(store.path());
    EXPECT_EQ(failureOf([&] { db->openRecordset(QStringLiteral("options"), RecordsetType::Table); }),
              DbErrNo::TableNotFound);

    auto rs = db->openRecordset(kTable, RecordsetType::Table);
    rs->moveFirst();
    EXPECT_EQ(failureOf([&] { rs->readBool(QStringLiteral("showAgian")); }), DbErrNo::ItemNotFound);
    EXPECT_EQ(failureOf([&] { rs->setBool(kField, false); }), DbErrNo::UpdateWithoutEdit);
    rs->edit();
    EXPECT_EQ(failureOf([&] { rs->setBool(QStringLiteral("other"), false); }), DbErrNo::ItemNotFound);
    rs->close();
    EXPECT_EQ(failureOf([&] { rs->moveFirst(); }), DbErrNo::ObjectClosed);

    store.sql("DELETE FROM settings;");
    auto empty = db->openRecordset(kTable, RecordsetType::Table);
    EXPECT_EQ(failureOf([&] { empty->moveFirst(); }), DbErrNo::NoCurrentRecord);
    EXPECT_EQ(failureOf([&] { empty->edit(); }), DbErrNo::NoCurrentRecord);

    auto readOnly = open(store.path(), kStoreConnect, true);
    store.sql("INSERT INTO settings VALUES (1);");
    EXPECT_EQ(failureOf([&] { writeFirst(*readOnly, false); }), DbErrNo::ReadOnly);
    EXPECT_EQ(store.storedShowAgain(), 1);
}
