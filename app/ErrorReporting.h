#pragma once

#include "engines/AppError.h"

#include <QString>

namespace shardix {

// Title of the main window's explanations.
inline const QString kSorryTitle = QStringLiteral("Shardix! - Sorry...");

// The main window's explanation of a failure number; for a number it does not
// know, the failure's own description.
QString explainError(std::int32_t number, const QString& description);

// The main window's reporter: shows the explanation with the information icon
// and the title "Shardix! - Sorry...", through the shared message-box state.
// Leaves the busy pointer alone.
void mainHandleError(const AppError& error);

// The operation dialog's reporter: the busy pointer back to normal, msgPrompt
// set to the description, and the description handed back untranslated. Shows
// nothing.
QString dialogReportError(const AppError& error);

} // namespace shardix
