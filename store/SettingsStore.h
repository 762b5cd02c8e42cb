#pragma once

#include "errors/Result.h"

#include <QString>

#include <optional>

struct sqlite3;

namespace shardix {

// The key of every settings store: the PWD of the connect string
// ";UID=Admin;PWD=658lock-ofthefiles" that the stores have always been opened with.
inline constexpr char kStoreKey[] = "658lock-ofthefiles";

// The settings store shardix.mdb: an SQLCipher file, encrypted with kStoreKey,
// whose table "settings" holds one record with the yes/no field "showAgain".
// Only the first record counts. Every failure is an Error of the kind Store,
// whose detail is a StoreFailure (store/StoreFailure.h), or FileAccess for a
// file the system cannot open.
class SettingsStore {
  public:
    // Opens the store at `path` with `key`. A missing file gives StoreNotFound,
    // an empty key NoKey, a wrong key or a file that is no store
    // UnrecognizedDatabase, a store that another program holds StoreInUse.
    // `readOnly` refuses every change.
    static Result<SettingsStore> open(const QString& path, const QString& key = kStoreKey,
                                      bool readOnly = false);
    // Writes a new store at `path` whose setting is `showAgain`. A file already
    // at `path` is replaced only once the new store is complete.
    static Result<> create(const QString& path, bool showAgain, const QString& key = kStoreKey);

    SettingsStore(SettingsStore&& other) noexcept;
    SettingsStore& operator=(SettingsStore&& other) noexcept;
    ~SettingsStore();

    const QString& path() const { return path_; }

    // Whether the notice before Append is shown: the setting of the first
    // record, read afresh; nothing when it is null. Fails with NoTable, NoRecord,
    // NoField, StoreInUse, or TypeMismatch for a value that is no yes/no.
    Result<std::optional<bool>> showAgain() const;
    // Writes the setting of the first record at once. Fails as showAgain() does,
    // and StoreReadOnly, StoreInUse or StoreCannotWrite when the change cannot be written.
    Result<> setShowAgain(bool value);

    // Whether Segment also writes a checksum file: the field "writeChecksums"
    // of the first record, false where the store has no such field yet (stores
    // written before it) or it holds no value. Fails as showAgain() does.
    Result<bool> writeChecksums() const;
    // Writes that setting, adding the field to a store that lacks it. Fails as
    // setShowAgain() does.
    Result<> setWriteChecksums(bool value);

  private:
    SettingsStore(sqlite3* db, QString path, bool readOnly);
    // What the public functions do, each failure raised as Failed.
    static SettingsStore openOrRaise(const QString& path, const QString& key, bool readOnly);
    static void createOrRaise(const QString& path, bool showAgain, const QString& key);
    std::optional<bool> readShowAgain() const;
    bool readWriteChecksums() const;
    void changeWriteChecksums(bool value);
    // Whether the table "settings" has the field `name`.
    bool hasField(const QString& name) const;
    // Writes `value` into the field `name` of the record `rowid`.
    void writeField(const char* name, long long rowid, bool value);
    // The rowid of the first record, its field checked.
    long long firstRecord() const;

    sqlite3* db_;
    QString path_;
    bool readOnly_;
};

} // namespace shardix
