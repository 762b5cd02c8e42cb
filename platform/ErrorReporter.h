#pragma once

#include "engines/AppError.h"

#include <QString>

namespace shardix {

class WindowServices;

// The main window's explanation of a failure number; for a number it does not
// know, the failure's own description.
QString explainError(std::int32_t number, const QString& description);

// The main window's reporter: shows the explanation with the information icon
// and the title kSorryTitle. Leaves the busy pointer alone.
void reportError(WindowServices& ui, const AppError& error);

} // namespace shardix
