#pragma once

#include "app/Globals.h"
#include "app/SettingsDatabase.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace shardix::testing {

// A settings store of its own in a temporary folder. Puts back the current
// folder and closes the program's settings database when it goes.
class TempStore {
public:
    explicit TempStore(bool showAgain = true, const QString& name = QStringLiteral("shardix.mdb"))
        : savedCwd_(QDir::currentPath()), path_(dir_.filePath(name)) {
        createSettingsStore(path_, kStoreConnect, showAgain);
    }
    ~TempStore() {
        globals::theDatabase.reset();
        QDir::setCurrent(savedCwd_);
    }

    QString folder() const { return dir_.path(); }
    const QString& path() const { return path_; }

    // Opens the store as the program does at start-up (or read-only).
    void openAsProgram(bool readOnly = false) {
        globals::theDatabase = Workspace(QStringLiteral("test"), QStringLiteral("admin"), QString(),
                                         WorkspaceType::Jet)
                                   .openDatabase(path_, false, readOnly, kStoreConnect);
    }

    // Runs SQL on the file through a connection of its own, with the right key.
    void sql(const char* statements) const {
        sqlite3* db = nullptr;
        const QByteArray file = QFile::encodeName(path_);
        ASSERT_EQ(sqlite3_open(file.constData(), &db), SQLITE_OK);
        const QByteArray key = connectValue(kStoreConnect, QStringLiteral("PWD"))->toUtf8();
        sqlite3_key(db, key.constData(), int(key.size()));
        char* error = nullptr;
        const int rc = sqlite3_exec(db, statements, nullptr, nullptr, &error);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << (error ? error : "");
    }

    // "showAgain" of the first record as stored in the file now, read through a
    // connection of its own: 1, 0 or -1 for null.
    int storedShowAgain() const {
        sqlite3* db = nullptr;
        const QByteArray file = QFile::encodeName(path_);
        sqlite3_open(file.constData(), &db);
        const QByteArray key = connectValue(kStoreConnect, QStringLiteral("PWD"))->toUtf8();
        sqlite3_key(db, key.constData(), int(key.size()));
        sqlite3_stmt* st = nullptr;
        int value = -2;
        if (sqlite3_prepare_v2(db, "SELECT showAgain FROM settings ORDER BY rowid LIMIT 1", -1, &st,
                               nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW)
            value = sqlite3_column_type(st, 0) == SQLITE_NULL ? -1 : sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
        return value;
    }

private:
    QTemporaryDir dir_;
    QString savedCwd_;
    QString path_;
};

} // namespace shardix::testing
