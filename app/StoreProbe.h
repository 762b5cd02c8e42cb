#pragma once

#include <QString>

namespace shardix {

// A folder looked into for the settings store.
struct StoreProbe {
    QString folder; // with exactly one trailing "/"
    QString path;   // the store found, or the folder followed by the store's name
    bool found = false;
};

} // namespace shardix
