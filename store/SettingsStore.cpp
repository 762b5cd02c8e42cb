#include "store/SettingsStore.h"
#include "store/StoreFailure.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace shardix {

namespace {

const QString kTable = QStringLiteral("settings");
const QString kField = QStringLiteral("showAgain");
const QString kChecksumsField = QStringLiteral("writeChecksums");

// Failures are raised as Failed inside this file and returned as an Error by
// each public function (guarded()).
[[noreturn]] void raise(StoreFailure failure, const QString& description) {
    fail(storeError(failure, description.toStdString()));
}

QString messageOf(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

bool isBusy(int rc) {
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// `sql` prepared on `db`; a statement that cannot be prepared steps to its error.
Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    return Statement(st, &sqlite3_finalize);
}

int step(sqlite3* db, const Statement& st) {
    return st ? sqlite3_step(st.get()) : sqlite3_errcode(db);
}

[[noreturn]] void raiseNoRecord() {
    raise(StoreFailure::NoRecord,
          QStringLiteral("No current record: the table \"%1\" holds no record.").arg(kTable));
}

[[noreturn]] void raiseInUse(const QString& path) {
    raise(StoreFailure::StoreInUse,
          QStringLiteral("The settings database \"%1\" is in use by another program.").arg(path));
}

} // namespace

SettingsStore SettingsStore::openOrRaise(const QString& path, const QString& key, bool readOnly) {
    if (key.isEmpty())
        raise(StoreFailure::NoKey,
              QStringLiteral("No password was given for the settings database \"%1\".").arg(path));
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        raise(StoreFailure::StoreNotFound, QStringLiteral("Could not find file \"%1\".").arg(path));
    // SQLite takes an empty file for a new database; a settings store is never empty.
    if (info.size() == 0)
        raise(StoreFailure::UnrecognizedDatabase,
              QStringLiteral("\"%1\" is empty: it is not a settings database.").arg(path));

    sqlite3* db = nullptr;
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK) {
        const QString message = messageOf(db);
        sqlite3_close(db);
        fail(Error::of(ErrorKind::FileAccess,
                       QStringLiteral("Cannot open \"%1\": %2.").arg(path, message).toStdString()));
    }
    SettingsStore store(db, path, readOnly);
    // A wrong key, or a file that is no store, shows when the first page is read.
    const QByteArray bytes = key.toUtf8();
    if (sqlite3_key(db, bytes.constData(), int(bytes.size())) != SQLITE_OK)
        raise(StoreFailure::UnrecognizedDatabase,
              QStringLiteral("Cannot use the password of \"%1\": %2").arg(path, messageOf(db)));
    const int rc = step(db, prepare(db, "SELECT count(*) FROM sqlite_master"));
    if (isBusy(rc))
        raiseInUse(path);
    if (rc != SQLITE_ROW)
        raise(StoreFailure::UnrecognizedDatabase,
              QStringLiteral("\"%1\" is not a settings database, or its password is wrong.")
                  .arg(path));
    sqlite3_busy_timeout(db, 2000);
    return store;
}

void SettingsStore::createOrRaise(const QString& path, bool showAgain, const QString& key) {
    if (key.isEmpty())
        raise(StoreFailure::NoKey, QStringLiteral("No password was given for \"%1\".").arg(path));
    // A name of its own beside `path`, so that no other file is touched.
    QTemporaryFile reserved(QFileInfo(path).absolutePath() +
                            QStringLiteral("/.shardix-store-XXXXXX"));
    reserved.setAutoRemove(false);
    if (!reserved.open())
        raise(StoreFailure::StoreCannotWrite,
              QStringLiteral("Cannot create \"%1\": %2").arg(path, reserved.errorString()));
    const QString temp = reserved.fileName();
    reserved.close();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(temp).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        const QByteArray bytes = key.toUtf8();
        rc = sqlite3_key(db, bytes.constData(), int(bytes.size()));
    }
    if (rc == SQLITE_OK) {
        const QByteArray sql = QStringLiteral("CREATE TABLE settings (showAgain BOOLEAN);"
                                              "INSERT INTO settings (showAgain) VALUES (%1);")
                                   .arg(showAgain ? 1 : 0)
                                   .toUtf8();
        rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    const QString message = messageOf(db);
    if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK)
        rc = SQLITE_ERROR;
    if (rc != SQLITE_OK) {
        QFile::remove(temp);
        raise(StoreFailure::StoreCannotWrite,
              QStringLiteral("Cannot create \"%1\": %2").arg(path, message));
    }
    // Renamed over an old store in one step: there is always one whole store.
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) !=
        0) {
        const QString cause = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temp);
        raise(StoreFailure::StoreCannotWrite,
              QStringLiteral("Cannot create \"%1\": %2").arg(path, cause));
    }
}

Result<SettingsStore> SettingsStore::open(const QString& path, const QString& key, bool readOnly) {
    return guarded([&]() -> Result<SettingsStore> { return openOrRaise(path, key, readOnly); });
}

Result<> SettingsStore::create(const QString& path, bool showAgain, const QString& key) {
    return guarded([&]() -> Result<> {
        createOrRaise(path, showAgain, key);
        return {};
    });
}

Result<std::optional<bool>> SettingsStore::showAgain() const {
    return guarded([&]() -> Result<std::optional<bool>> { return readShowAgain(); });
}

Result<> SettingsStore::setShowAgain(bool value) {
    return guarded([&]() -> Result<> {
        writeField("showAgain", firstRecord(), value);
        return {};
    });
}

Result<bool> SettingsStore::writeChecksums() const {
    return guarded([&]() -> Result<bool> { return readWriteChecksums(); });
}

Result<> SettingsStore::setWriteChecksums(bool value) {
    return guarded([&]() -> Result<> {
        changeWriteChecksums(value);
        return {};
    });
}

SettingsStore::SettingsStore(sqlite3* db, QString path, bool readOnly)
    : db_(db), path_(std::move(path)), readOnly_(readOnly) {}

SettingsStore::SettingsStore(SettingsStore&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), path_(std::move(other.path_)),
      readOnly_(other.readOnly_) {}

SettingsStore& SettingsStore::operator=(SettingsStore&& other) noexcept {
    std::swap(db_, other.db_);
    std::swap(path_, other.path_);
    std::swap(readOnly_, other.readOnly_);
    return *this;
}

SettingsStore::~SettingsStore() {
    sqlite3_close(db_);
}

long long SettingsStore::firstRecord() const {
    // A store that another program holds locked cannot tell whether it has the
    // table, which is reported as such, not as a missing table.
    Statement table = prepare(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                                   "name = 'settings' COLLATE NOCASE");
    int rc = step(db_, table);
    if (isBusy(rc))
        raiseInUse(path_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(StoreFailure::Unreadable,
              QStringLiteral("Cannot read the settings database \"%1\": %2")
                  .arg(path_, messageOf(db_)));
    if (rc == SQLITE_DONE)
        raise(StoreFailure::NoTable,
              QStringLiteral("The settings database has no table \"%1\".").arg(kTable));

    Statement first = prepare(db_, "SELECT rowid FROM settings ORDER BY rowid LIMIT 1");
    rc = step(db_, first);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(isBusy(rc) ? StoreFailure::StoreInUse : StoreFailure::Unreadable,
              QStringLiteral("Cannot read the table \"%1\": %2").arg(kTable, messageOf(db_)));
    if (rc == SQLITE_DONE)
        raiseNoRecord();
    const long long rowid = sqlite3_column_int64(first.get(), 0);

    if (!hasField(kField))
        raise(StoreFailure::NoField,
              QStringLiteral("The table \"%1\" has no field \"%2\".").arg(kTable, kField));
    return rowid;
}

bool SettingsStore::hasField(const QString& name) const {
    // The columns as PRAGMA table_info lists them: the name is the second.
    Statement columns = prepare(db_, "PRAGMA table_info(settings)");
    while (step(db_, columns) == SQLITE_ROW) {
        if (name.compare(QString::fromUtf8(
                             reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 1))),
                         Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

std::optional<bool> SettingsStore::readShowAgain() const {
    const long long rowid = firstRecord();
    Statement read = prepare(db_, "SELECT showAgain FROM settings WHERE rowid = ?1");
    sqlite3_bind_int64(read.get(), 1, rowid);
    const int rc = step(db_, read);
    if (rc == SQLITE_DONE)
        raiseNoRecord();
    if (rc != SQLITE_ROW)
        raise(isBusy(rc) ? StoreFailure::StoreInUse : StoreFailure::Unreadable,
              QStringLiteral("Cannot read the field \"%1\": %2").arg(kField, messageOf(db_)));
    switch (sqlite3_column_type(read.get(), 0)) {
    case SQLITE_NULL:
        return std::nullopt;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return sqlite3_column_double(read.get(), 0) != 0.0;
    default:
        raise(StoreFailure::TypeMismatch,
              QStringLiteral("The field \"%1\" does not hold a yes/no value.").arg(kField));
    }
}

bool SettingsStore::readWriteChecksums() const {
    const long long rowid = firstRecord();
    if (!hasField(kChecksumsField))
        return false;
    Statement read = prepare(db_, "SELECT writeChecksums FROM settings WHERE rowid = ?1");
    sqlite3_bind_int64(read.get(), 1, rowid);
    const int rc = step(db_, read);
    if (rc != SQLITE_ROW)
        raise(isBusy(rc) ? StoreFailure::StoreInUse : StoreFailure::Unreadable,
              QStringLiteral("Cannot read the field \"%1\": %2")
                  .arg(kChecksumsField, messageOf(db_)));
    return sqlite3_column_type(read.get(), 0) != SQLITE_NULL &&
           sqlite3_column_double(read.get(), 0) != 0.0;
}

void SettingsStore::changeWriteChecksums(bool value) {
    const long long rowid = firstRecord();
    if (!readOnly_ && !hasField(kChecksumsField)) {
        const int rc = sqlite3_exec(db_, "ALTER TABLE settings ADD COLUMN writeChecksums BOOLEAN",
                                    nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK && !hasField(kChecksumsField))
            raise(isBusy(rc)                       ? StoreFailure::StoreInUse
                  : (rc & 0xff) == SQLITE_READONLY ? StoreFailure::StoreReadOnly
                                                   : StoreFailure::StoreCannotWrite,
                  QStringLiteral("Cannot change the settings: %1").arg(messageOf(db_)));
    }
    writeField("writeChecksums", rowid, value);
}

void SettingsStore::writeField(const char* name, long long rowid, bool value) {
    if (readOnly_)
        raise(StoreFailure::StoreReadOnly,
              QStringLiteral("Cannot change the settings: the database is open read-only."));
    const std::string sql = std::string("UPDATE settings SET ") + name + " = ?1 WHERE rowid = ?2";
    Statement write = prepare(db_, sql.c_str());
    sqlite3_bind_int(write.get(), 1, value ? 1 : 0);
    sqlite3_bind_int64(write.get(), 2, rowid);
    const int rc = step(db_, write);
    if ((rc & 0xff) == SQLITE_READONLY)
        raise(StoreFailure::StoreReadOnly,
              QStringLiteral("Cannot change the settings: the database file is read-only."));
    if (isBusy(rc))
        raise(StoreFailure::StoreInUse,
              QStringLiteral(
                  "Cannot change the settings: the database is locked by another program."));
    if (rc != SQLITE_DONE)
        raise(StoreFailure::StoreCannotWrite,
              QStringLiteral("Cannot write the settings: %1").arg(messageOf(db_)));
    if (sqlite3_changes(db_) == 0)
        raiseNoRecord();
}

} // namespace shardix
