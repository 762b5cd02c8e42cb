#pragma once

#include "store/SettingsStore.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

namespace shardix::testing {

// A settings store of its own in a temporary folder. Puts back the current
// folder when it goes.
class TempStore {
  public:
    explicit TempStore(bool showAgain = true, const QString& name = QStringLiteral("shardix.mdb"))
        : path_(dir_.filePath(name)) {
        if (const Result<> created = SettingsStore::create(path_, showAgain); !created.ok())
            ADD_FAILURE() << created.error().message;
    }
    ~TempStore() { QDir::setCurrent(savedCwd_); }

    QString folder() const { return dir_.path(); }
    const QString& path() const { return path_; }

    // Opens the store as the program does, or for reading only. A store that
    // cannot be opened ends the test with its message.
    SettingsStore open(bool readOnly = false) const {
        Result<SettingsStore> opened = SettingsStore::open(path_, kStoreKey, readOnly);
        if (!opened.ok())
            throw std::runtime_error(opened.error().message);
        return std::move(opened).value();
    }

    // Runs SQL on the file through a connection of its own, with the right key.
    // Returns the first column of the last statement's first row: -1 for null,
    // -2 for no row. A failing statement fails the test.
    int sql(const char* statements) const {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path_).constData(), &db);
        sqlite3_key(db, kStoreKey, int(sizeof kStoreKey - 1));
        int value = -2;
        sqlite3_stmt* st = nullptr;
        for (const char* rest = statements; *rest; sqlite3_finalize(st)) {
            const int rc =
                sqlite3_prepare_v2(db, rest, -1, &st, &rest) ? SQLITE_ERROR : sqlite3_step(st);
            if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                ADD_FAILURE() << statements << ": " << sqlite3_errmsg(db);
                rest = "";
            }
            value = rc != SQLITE_ROW                            ? -2
                    : sqlite3_column_type(st, 0) == SQLITE_NULL ? -1
                                                                : sqlite3_column_int(st, 0);
        }
        sqlite3_close(db);
        return value;
    }

    // "showAgain" of the first record as the file holds it now.
    int storedShowAgain() const { return sql("SELECT showAgain FROM settings ORDER BY rowid"); }

    // Replaces the file at `path` with `bytes`.
    static bool write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    }

  private:
    QTemporaryDir dir_;
    QString savedCwd_ = QDir::currentPath();
    QString path_;
};

} // namespace shardix::testing
