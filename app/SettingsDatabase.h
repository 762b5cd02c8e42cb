#pragma once

#include "engines/AppError.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace shardix {

// Failure numbers of the settings database beyond those the main window's
// reporter explains (ErrNo::UnrecognizedDatabase and the others in AppError.h).
namespace DbErrNo {
constexpr std::int32_t NoCurrentRecord = 3021;
constexpr std::int32_t UpdateWithoutEdit = 3020;
constexpr std::int32_t FileNotFound = 3024;
constexpr std::int32_t ReadOnly = 3027;
constexpr std::int32_t NoPassword = 3031;
constexpr std::int32_t CannotWrite = 3051;
constexpr std::int32_t TableNotFound = 3078;
constexpr std::int32_t RecordDeleted = 3167;
constexpr std::int32_t Locked = 3218;
constexpr std::int32_t ItemNotFound = 3265;
constexpr std::int32_t ObjectClosed = 3420;
} // namespace DbErrNo

// The connect string of the settings store; its PWD value is the file's key.
inline const QString kStoreConnect = QStringLiteral(";UID=Admin;PWD=658lock-ofthefiles");

// The value of a key ("PWD", "UID", ...) in a connect string of the form
// ";KEY=value;KEY=value", keys compared without regard to case; nullopt when absent.
std::optional<QString> connectValue(const QString& connect, const QString& key);

enum class WorkspaceType { Jet };
enum class RecordsetType { Table };

class Recordset;

// An open settings database: an SQLCipher file opened with its key. Every
// failure raises AppError.
class Database {
  public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const QString& path() const { return path_; }
    bool isReadOnly() const { return readOnly_; }

    // The table `table` opened for direct access; the first record, if any, is
    // current. Raises TableNotFound when the database has no such table.
    std::unique_ptr<Recordset> openRecordset(const QString& table, RecordsetType type);

  private:
    friend class Workspace;
    Database(sqlite3* db, QString path, bool readOnly);

    sqlite3* db_;
    QString path_;
    bool readOnly_;
};

// Direct access to one table, one record at a time. Holds no statement open
// between calls, so several record sets on one table never lock each other out.
// A record set must not outlive the database that opened it.
class Recordset {
  public:
    ~Recordset() = default;

    // Makes the first record current; NoCurrentRecord when the table is empty.
    void moveFirst();
    // The value of a yes/no field of the current record: true, false or null.
    std::optional<bool> readBool(const QString& field) const;
    // Starts changing the current record.
    void edit();
    // Puts a yes/no value into the edit buffer.
    void setBool(const QString& field, bool value);
    // Writes the edit buffer to the file at once.
    void update();
    // Releases the record set; any later use raises ObjectClosed.
    void close();

  private:
    friend class Database;
    Recordset(sqlite3* db, QString table, QStringList fields, std::vector<long long> rowids,
              bool readOnly);

    void requireOpen() const;
    void requireCurrent() const;
    void requireField(const QString& field) const;

    sqlite3* db_;
    QString table_;
    QStringList fields_;
    std::vector<long long> rowids_;
    bool readOnly_;
    bool open_ = true;
    std::optional<long long> current_;
    bool editing_ = false;
    QList<QPair<QString, bool>> buffer_;
};

// A session of the database engine under a user name.
class Workspace {
  public:
    Workspace(QString name, QString user, QString password, WorkspaceType type);

    const QString& name() const { return name_; }
    const QString& user() const { return user_; }

    // Opens the database file at `path`. `exclusive` keeps other programs out
    // while it is open; `readOnly` refuses every update. The PWD value of
    // `connect` is the file's key: a connect string without one is refused
    // (NoPassword), a missing file gives FileNotFound, and a wrong key or a file
    // that is no settings database gives ErrNo::UnrecognizedDatabase.
    std::unique_ptr<Database> openDatabase(const QString& path, bool exclusive, bool readOnly,
                                           const QString& connect);

  private:
    QString name_;
    QString user_;
    QString password_;
    WorkspaceType type_;
};

// The engine and its collection of workspaces.
class DbEngine {
  public:
    std::shared_ptr<Workspace> createWorkspace(const QString& name, const QString& user,
                                               const QString& password, WorkspaceType type);
    void appendWorkspace(std::shared_ptr<Workspace> workspace);
    const std::vector<std::shared_ptr<Workspace>>& workspaces() const { return workspaces_; }

  private:
    std::vector<std::shared_ptr<Workspace>> workspaces_;
};

DbEngine& dbEngine();

// Writes a new settings store at `path`, keyed with the PWD value of `connect`:
// table "settings" with one record whose "showAgain" is `showAgain`. A file
// already at `path` is replaced only once the new store is complete.
void createSettingsStore(const QString& path, const QString& connect, bool showAgain);

namespace globals {
// The workspace and the settings database opened at start-up, kept for the run.
inline std::shared_ptr<Workspace> theWorkspace;
inline std::unique_ptr<Database> theDatabase;
} // namespace globals

} // namespace shardix
