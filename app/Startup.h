#pragma once

#include <QString>

namespace shardix {

// The file name of the settings store, as the search compares it (lower case).
inline const QString kStoreName = QStringLiteral("shardix.mdb");

inline const QString kFindStorePrompt =
    QStringLiteral("Please find and open the database: shardix.mdb");
inline const QString kNoStoreMessage = QStringLiteral(
    "This application cannot execute properly without the database shardix.mdb.  Please install "
    "this database on your system, and run the program again.");

// Looks in `folder` for the store. Sets appFolder to `folder` with exactly one
// trailing "/" and dbPath to appFolder followed by the name found (or by
// "shardix.mdb" when none). Returns the lower-cased name of a regular file
// there whose name is "shardix.mdb" in any case (hidden files and folders do
// not count), or an empty text.
QString probeFolder(const QString& folder);

// The search for the store: the current folder first, then, as long as the
// user answers OK, the folder of a file picked in the Open dialog. Returns true
// with appFolder and dbPath naming the store and its folder current; false when
// the user gave up, after the message that the program cannot run without it.
bool checkDbase();

enum class StartupResult {
    Ready,         // the store is open in globals::theDatabase
    StoreNotFound, // the user gave up the search
    StoreUnusable, // the store was found but could not be opened (reported)
};

// Everything start-up does after the window is centred: the search, the store's
// folder made current, the workspace created and the store opened with its
// password. A store that cannot be opened is reported with its failure number
// and description.
StartupResult startUp();

// The exit status of a program whose start-up ended with `result`.
int exitStatus(StartupResult result);

} // namespace shardix
