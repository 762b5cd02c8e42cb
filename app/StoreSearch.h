#pragma once

#include "app/StoreProbe.h"

#include <QString>

#include <optional>

namespace shardix {

class WindowServices;

// The file name of the settings store, as the search compares it (lower case).
inline const QString kStoreName = QStringLiteral("shardix.mdb");

// Looks in `folder` for a regular file whose name is kStoreName in any
// capitals (the exact name wins when both exist; hidden files and folders do
// not count).
StoreProbe probeFolder(const QString& folder);

// The search for the store: the current folder first, then, as long as the
// user answers OK, the folder of a file picked in the Open dialog. Returns the
// store's folder and path; nothing when the user gave up, after the message that
// the program cannot run without it.
std::optional<StoreProbe> findStore(WindowServices& ui);

} // namespace shardix
