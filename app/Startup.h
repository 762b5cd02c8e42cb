#pragma once

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

} // namespace shardix
