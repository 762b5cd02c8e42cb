#pragma once

#include "store/SettingsStore.h"

#include <QString>

#include <optional>

namespace shardix {

class WindowServices;

// What the whole program shares, owned by main and handed down: the window
// services, the folder of the settings store (ending with exactly one "/"), the
// store, open from a successful start-up on, and the folder the user works in,
// where the dialog's lists start (empty: the folder the program started in).
struct Session {
    WindowServices& ui;
    QString folder;
    std::optional<SettingsStore> store;
    QString workingFolder = {};
};

} // namespace shardix
