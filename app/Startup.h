#pragma once

#include <QString>

#include <optional>

namespace shardix {

struct Session;

enum class StartupResult {
    Ready,         // the store is open in the session
    StoreNotFound, // the user gave up the search
    StoreUnusable, // the store was found but could not be opened (reported)
};

// Everything start-up does after the window is centred: the search for the
// settings store, its folder made current and kept in `session`, and the store
// opened there. A store that cannot be opened is reported with its failure
// number and description.
StartupResult startUp(Session& session);

// The exit status of a program whose start-up ended with `result`.
int exitStatus(StartupResult result);

// The environment variable in which the launcher tells the folder the user
// works in: the folder it was started in from a terminal; empty when it was
// started from the applications menu.
inline constexpr char kWorkingFolderVariable[] = "SHARDIX_WORKING_FOLDER";

// The folder the user works in, from what the launcher told (nothing when the
// variable is not set): the folder told, when it is an absolute path to a folder
// that can be entered, otherwise the home folder. Empty when nothing was told:
// the lists then start in the folder the program starts in.
QString workingFolder(const std::optional<QString>& told);

} // namespace shardix
