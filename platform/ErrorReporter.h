#pragma once

#include "errors/Result.h"

#include <QString>

namespace shardix {

class WindowServices;

// The number users know a kind of failure by, which the program's messages
// show: 53 for a file that does not exist, 3343 for a database it cannot read
// (the store's failures carry theirs as their detail).
int errorNumber(const Error& error);

// The main window's explanation of `error`, by its number; for a number it
// does not explain, the error's own message.
QString explainError(const Error& error);

// The main window's reporter: shows the explanation with the information icon
// and the title kSorryTitle. Leaves the busy pointer alone.
void reportError(WindowServices& ui, const Error& error);

// Reports the failure of `result` by the main window's reporter: true when
// there was one.
bool reported(WindowServices& ui, const Result<>& result);

// Runs `work`, which may raise Failed; a failure is reported by the main
// window's reporter. True when `work` ran to its end.
template <typename Work> bool reportingFailures(WindowServices& ui, Work&& work) {
    try {
        work();
        return true;
    } catch (const Failed& failed) {
        reportError(ui, failed.error());
        return false;
    }
}

} // namespace shardix
