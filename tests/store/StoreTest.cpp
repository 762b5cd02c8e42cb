#include "store/SettingsStore.h"
#include "store/StoreFailure.h"
#include "tests/support/TempStore.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// The store's failure that `result` holds: its kind is Store, its detail the
// failure, its message names the store; nothing when it succeeded.
template <typename T> std::optional<StoreFailure> failureOf(const Result<T>& result) {
    if (result.ok())
        return std::nullopt;
    EXPECT_EQ(result.error().kind, ErrorKind::Store) << result.error().message;
    return storeFailureOf(result.error());
}

// A store that cannot be written leaves nothing beside its place, and says
// which store; a failure of another library is none of the store's.
TEST(StoreFailures, ReachTheCallerAsValuesWithTheirNumberAndTheStoresName) {
    TempStore store;
    const QString missingFolder = store.folder() + QStringLiteral("/gone/shardix.mdb");
    const Result<> created = SettingsStore::create(missingFolder, true);
    EXPECT_EQ(failureOf(created), StoreFailure::StoreCannotWrite);
    EXPECT_NE(created.error().message.find(missingFolder.toStdString()), std::string::npos);
    EXPECT_EQ(created.error().detail, 3051);
    EXPECT_EQ(QDir(store.folder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("shardix.mdb")});

    const Result<SettingsStore> wrongKey = SettingsStore::open(store.path(), QStringLiteral("x"));
    EXPECT_EQ(failureOf(wrongKey), StoreFailure::UnrecognizedDatabase);
    EXPECT_NE(wrongKey.error().message.find(store.path().toStdString()), std::string::npos);

    SettingsStore readOnly = store.open(/*readOnly=*/true);
    EXPECT_EQ(failureOf(readOnly.setWriteChecksums(true)), StoreFailure::StoreReadOnly);
    EXPECT_EQ(readOnly.writeChecksums().value(), false); // the field was not added

    EXPECT_EQ(storeFailureOf(Error::of(ErrorKind::FileNotFound, "gone")), std::nullopt);
}

} // namespace
