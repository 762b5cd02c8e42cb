#pragma once

#include "errors/Result.h"

#include <string>

namespace shardix::cli {

class ConsoleProgress;

// The exit statuses of shardix-cli. A run that a signal stopped ends with
// 128 + the signal's number, as the shell reports a process the signal ended.
enum ExitStatus : int {
    kSuccess = 0,
    kFailure = 1, // a failure or a refusal
    kUsageError = 2,
};

// A command line that cannot be read as the usage says: why.
struct UsageError {
    std::string why;
    // The command whose usage it breaks, when it is known: its own help is
    // then the one to read.
    std::string command = {};
};

// Tells `text` on standard error, after the tool's name.
void tell(const std::string& text);

// The one place where what went wrong becomes what the user is told and the
// exit status: the message (naming the file) on standard error, then 1, or
// 128 + `stopSignal` (SIGINT when that is 0) for a run the user stopped.
int exitWith(const Error& error, int stopSignal = 0);

// The exit status of an engine's run, after the progress line is cleared: 0 on
// success, else as for its Error, stopped by the signal the run received.
int exitWith(const Result<>& result, ConsoleProgress& progress);

// Tells the usage error and where to read how the tool is used; returns 2.
int exitWith(const UsageError& usage);

// Writes `text` to standard output; a failure to write it is a failure.
int print(const std::string& text);

// The sentence that says how the short output of a join is completed.
extern const char* const kAppendCompletes;

} // namespace shardix::cli
