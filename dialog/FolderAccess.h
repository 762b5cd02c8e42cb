#pragma once

#include "errors/Error.h"

#include <QString>

namespace shardix {

// Whether the lists can move into `folder`: a folder that can be read and entered.
bool canEnter(const QString& folder);

// The failure of a move into `folder`, which canEnter refused: gone, no
// folder, or not to be opened.
Error cannotEnter(const QString& folder);

} // namespace shardix
