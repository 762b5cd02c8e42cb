#include "app/SettingsDatabase.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace shardix {

namespace {

[[noreturn]] void raise(std::int32_t number, const QString& description) {
    throw AppError(number, description.toStdString());
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

// One prepared statement, finalized when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, const QString& sql) : db_(db) {
        const QByteArray text = sql.toUtf8();
        rc_ = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int prepared() const { return rc_; }
    sqlite3_stmt* get() const { return stmt_; }
    int step() { return rc_ = sqlite3_step(stmt_); }
    QString message() const { return QString::fromUtf8(sqlite3_errmsg(db_)); }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    int rc_;
};

QString engineMessage(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// Names of the columns of `table`; empty when the table does not exist.
QStringList columnsOf(sqlite3* db, const QString& table) {
    Statement st(db, QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)));
    QStringList names;
    if (st.prepared() != SQLITE_OK)
        return names;
    while (st.step() == SQLITE_ROW)
        names.append(
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1))));
    return names;
}

// Whether `table` exists. A store that another program holds locked cannot
// tell, which is reported as such, not as a missing table.
bool tableExists(sqlite3* db, const QString& path, const QString& table) {
    Statement st(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                                    "name = ?1 COLLATE NOCASE"));
    const QByteArray name = table.toUtf8();
    sqlite3_bind_text(st.get(), 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    const int rc = st.prepared() == SQLITE_OK ? st.step() : st.prepared();
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        raise(
            DbErrNo::Locked,
            QStringLiteral("The settings database \"%1\" is in use by another program.").arg(path));
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(
            ErrNo::InvalidOperation,
            QStringLiteral("Cannot read the settings database \"%1\": %2").arg(path, st.message()));
    return rc == SQLITE_ROW;
}

// Applies the key and proves that it opens the file: with a wrong key, or on a
// file that is no database, the first read of the schema fails.
void applyKey(sqlite3* db, const QString& path, const QByteArray& key) {
    if (sqlite3_key(db, key.constData(), int(key.size())) != SQLITE_OK)
        raise(ErrNo::UnrecognizedDatabase,
              QStringLiteral("Cannot use the password of \"%1\": %2").arg(path, engineMessage(db)));
    Statement st(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (st.prepared() != SQLITE_OK || st.step() != SQLITE_ROW) {
        const int rc = sqlite3_errcode(db);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            raise(DbErrNo::Locked,
                  QStringLiteral("The settings database \"%1\" is in use by another program.")
                      .arg(path));
        raise(ErrNo::UnrecognizedDatabase,
              QStringLiteral("\"%1\" is not a settings database, or its password is wrong.")
                  .arg(path));
    }
}

} // namespace

std::optional<QString> connectValue(const QString& connect, const QString& key) {
    for (const QString& part : connect.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq > 0 && part.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1);
    }
    return std::nullopt;
}

// ---- Workspace and engine ----

Workspace::Workspace(QString name, QString user, QString password, WorkspaceType type)
    : name_(std::move(name)), user_(std::move(user)), password_(std::move(password)), type_(type) {}

std::unique_ptr<Database> Workspace::openDatabase(const QString& path, bool exclusive,
                                                  bool readOnly, const QString& connect) {
    const std::optional<QString> pwd = connectValue(connect, QStringLiteral("PWD"));
    if (!pwd || pwd->isEmpty())
        raise(DbErrNo::NoPassword,
              QStringLiteral("No password was given for the settings database \"%1\".").arg(path));

    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        raise(DbErrNo::FileNotFound, QStringLiteral("Could not find file \"%1\".").arg(path));
    // SQLite takes an empty file for a new database; a settings store is never empty.
    if (info.size() == 0)
        raise(ErrNo::UnrecognizedDatabase,
              QStringLiteral("\"%1\" is empty: it is not a settings database.").arg(path));

    sqlite3* db = nullptr;
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const QByteArray file = QFile::encodeName(path);
    if (sqlite3_open_v2(file.constData(), &db, flags, nullptr) != SQLITE_OK) {
        const QString message = engineMessage(db);
        sqlite3_close(db);
        raise(ErrNo::PathFileAccess, QStringLiteral("Cannot open \"%1\": %2.").arg(path, message));
    }
    try {
        applyKey(db, path, pwd->toUtf8());
        sqlite3_busy_timeout(db, 2000);
        if (exclusive) {
            sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr);
            // The lock is taken by the first write, so write nothing but take it now.
            if (sqlite3_exec(db, "BEGIN EXCLUSIVE; COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
                raise(DbErrNo::Locked,
                      QStringLiteral("The settings database \"%1\" is in use by another program.")
                          .arg(path));
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    return std::unique_ptr<Database>(new Database(db, path, readOnly));
}

std::shared_ptr<Workspace> DbEngine::createWorkspace(const QString& name, const QString& user,
                                                     const QString& password, WorkspaceType type) {
    return std::make_shared<Workspace>(name, user, password, type);
}

void DbEngine::appendWorkspace(std::shared_ptr<Workspace> workspace) {
    workspaces_.push_back(std::move(workspace));
}

DbEngine& dbEngine() {
    static DbEngine engine;
    return engine;
}

// ---- Database ----

Database::Database(sqlite3* db, QString path, bool readOnly)
    : db_(db), path_(std::move(path)), readOnly_(readOnly) {}

Database::~Database() {
    sqlite3_close(db_);
}

std::unique_ptr<Recordset> Database::openRecordset(const QString& table, RecordsetType) {
    if (!tableExists(db_, path_, table))
        raise(DbErrNo::TableNotFound,
              QStringLiteral("The settings database has no table \"%1\".").arg(table));
    std::vector<long long> rowids;
    Statement st(db_, QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid").arg(quoted(table)));
    if (st.prepared() != SQLITE_OK)
        raise(ErrNo::InvalidOperation,
              QStringLiteral("Cannot read the table \"%1\": %2").arg(table, st.message()));
    int rc;
    while ((rc = st.step()) == SQLITE_ROW)
        rowids.push_back(sqlite3_column_int64(st.get(), 0));
    if (rc != SQLITE_DONE)
        raise(rc == SQLITE_BUSY ? DbErrNo::Locked : ErrNo::InvalidOperation,
              QStringLiteral("Cannot read the table \"%1\": %2").arg(table, st.message()));
    return std::unique_ptr<Recordset>(
        new Recordset(db_, table, columnsOf(db_, table), std::move(rowids), readOnly_));
}

// ---- Recordset ----

Recordset::Recordset(sqlite3* db, QString table, QStringList fields, std::vector<long long> rowids,
                     bool readOnly)
    : db_(db), table_(std::move(table)), fields_(std::move(fields)), rowids_(std::move(rowids)),
      readOnly_(readOnly) {
    if (!rowids_.empty())
        current_ = rowids_.front();
}

void Recordset::requireOpen() const {
    if (!open_)
        raise(DbErrNo::ObjectClosed,
              QStringLiteral("The record set of table \"%1\" is closed.").arg(table_));
}

void Recordset::requireCurrent() const {
    requireOpen();
    if (!current_)
        raise(DbErrNo::NoCurrentRecord,
              QStringLiteral("No current record: the table \"%1\" holds no record.").arg(table_));
}

void Recordset::requireField(const QString& field) const {
    if (!fields_.contains(field, Qt::CaseInsensitive))
        raise(DbErrNo::ItemNotFound,
              QStringLiteral("The table \"%1\" has no field \"%2\".").arg(table_, field));
}

void Recordset::moveFirst() {
    requireOpen();
    editing_ = false;
    buffer_.clear();
    current_.reset();
    if (rowids_.empty())
        raise(DbErrNo::NoCurrentRecord,
              QStringLiteral("No current record: the table \"%1\" holds no record.").arg(table_));
    current_ = rowids_.front();
}

std::optional<bool> Recordset::readBool(const QString& field) const {
    requireCurrent();
    requireField(field);
    Statement st(
        db_,
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1").arg(quoted(field), quoted(table_)));
    sqlite3_bind_int64(st.get(), 1, *current_);
    const int rc = st.step();
    if (rc == SQLITE_DONE)
        raise(DbErrNo::RecordDeleted,
              QStringLiteral("The current record of table \"%1\" was deleted.").arg(table_));
    if (rc != SQLITE_ROW)
        raise(rc == SQLITE_BUSY ? DbErrNo::Locked : ErrNo::InvalidOperation,
              QStringLiteral("Cannot read the field \"%1\": %2").arg(field, st.message()));
    switch (sqlite3_column_type(st.get(), 0)) {
    case SQLITE_NULL:
        return std::nullopt;
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        return sqlite3_column_double(st.get(), 0) != 0.0;
    default:
        raise(ErrNo::TypeMismatch,
              QStringLiteral("The field \"%1\" does not hold a yes/no value.").arg(field));
    }
}

void Recordset::edit() {
    requireCurrent();
    if (readOnly_)
        raise(DbErrNo::ReadOnly,
              QStringLiteral("Cannot change the settings: the database is open read-only."));
    editing_ = true;
    buffer_.clear();
}

void Recordset::setBool(const QString& field, bool value) {
    requireCurrent();
    if (!editing_)
        raise(DbErrNo::UpdateWithoutEdit,
              QStringLiteral("The field \"%1\" was set without editing the record.").arg(field));
    requireField(field);
    buffer_.append({field, value});
}

void Recordset::update() {
    requireCurrent();
    if (!editing_)
        raise(DbErrNo::UpdateWithoutEdit,
              QStringLiteral("Update of table \"%1\" without editing a record.").arg(table_));
    editing_ = false;
    const auto changes = std::move(buffer_);
    buffer_.clear();
    for (const auto& [field, value] : changes) {
        Statement st(db_, QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE rowid = ?2")
                              .arg(quoted(table_), quoted(field)));
        sqlite3_bind_int(st.get(), 1, value ? 1 : 0);
        sqlite3_bind_int64(st.get(), 2, *current_);
        const int rc = st.step();
        if ((rc & 0xff) == SQLITE_READONLY)
            raise(DbErrNo::ReadOnly,
                  QStringLiteral("Cannot change the settings: the database file is read-only."));
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            raise(DbErrNo::Locked,
                  QStringLiteral("Cannot change the settings: the database is locked by another "
                                 "program."));
        if (rc != SQLITE_DONE)
            raise(DbErrNo::CannotWrite,
                  QStringLiteral("Cannot write the settings: %1").arg(st.message()));
        if (sqlite3_changes(db_) == 0)
            raise(DbErrNo::RecordDeleted,
                  QStringLiteral("The current record of table \"%1\" was deleted.").arg(table_));
    }
}

void Recordset::close() {
    requireOpen();
    open_ = false;
    editing_ = false;
    buffer_.clear();
}

// ---- A new store ----

void createSettingsStore(const QString& path, const QString& connect, bool showAgain) {
    const std::optional<QString> pwd = connectValue(connect, QStringLiteral("PWD"));
    if (!pwd || pwd->isEmpty())
        raise(DbErrNo::NoPassword, QStringLiteral("No password was given for \"%1\".").arg(path));

    const QString temp = path + QStringLiteral(".new");
    QFile::remove(temp);
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(temp);
    int rc =
        sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        const QByteArray key = pwd->toUtf8();
        rc = sqlite3_key(db, key.constData(), int(key.size()));
    }
    if (rc == SQLITE_OK) {
        const QByteArray sql = QStringLiteral("CREATE TABLE settings (showAgain BOOLEAN);"
                                              "INSERT INTO settings (showAgain) VALUES (%1);")
                                   .arg(showAgain ? 1 : 0)
                                   .toUtf8();
        rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    const QString message = engineMessage(db);
    if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK)
        rc = SQLITE_ERROR;
    if (rc != SQLITE_OK) {
        QFile::remove(temp);
        raise(DbErrNo::CannotWrite, QStringLiteral("Cannot create \"%1\": %2").arg(path, message));
    }
    QFile::remove(path);
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        raise(DbErrNo::CannotWrite, QStringLiteral("Cannot create \"%1\".").arg(path));
    }
}

} // namespace shardix
