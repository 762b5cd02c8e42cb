#include "cli/Exit.h"

#include "cli/ConsoleProgress.h"
#include "engines/io/StopAccount.h"

#include <csignal>
#include <cstdio>

namespace shardix::cli {

const char* const kAppendCompletes = "\"shardix-cli append\" with the same pieces completes it.";

void tell(const std::string& text) {
    std::fprintf(stderr, "shardix-cli: %s\n", text.c_str());
}

int exitWith(const Error& error, int stopSignal) {
    tell(error.withFile());
    if (!error.stopped())
        return kFailure;
    return 128 + (stopSignal != 0 ? stopSignal : SIGINT);
}

namespace {

// What a stopped run left, every file it wrote with its length; a join's
// output can be completed by appending the same files to it.
Error toldAfterStop(const Error& stopped, const ConsoleProgress& progress) {
    const std::string verb = progress.verb();
    const bool joins = verb == "assemble" || verb == "append" || verb == "join";
    const std::string account = stoppedAccount(progress.written(), joins ? kAppendCompletes : "");
    if (account.empty())
        return stopped;
    return Error::of(ErrorKind::Stopped, account);
}

} // namespace

int exitWith(const Result<>& result, ConsoleProgress& progress) {
    progress.endLine();
    if (result.ok())
        return kSuccess;
    const Error& error = result.error();
    return exitWith(error.stopped() ? toldAfterStop(error, progress) : error, progress.stoppedBy());
}

int exitWith(const UsageError& usage) {
    tell(usage.why);
    const std::string help = usage.command.empty() ? "--help" : "help " + usage.command;
    std::fprintf(stderr, "Try 'shardix-cli %s' for more information.\n", help.c_str());
    return kUsageError;
}

int print(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
        return exitWith(Error::of(ErrorKind::FileAccess, "cannot write to standard output"));
    return kSuccess;
}

} // namespace shardix::cli
