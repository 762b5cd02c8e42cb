#include "cli/Exit.h"

#include "cli/ConsoleProgress.h"

#include <csignal>
#include <cstdio>

namespace shardix::cli {

void tell(const std::string& text) {
    std::fprintf(stderr, "shardix-cli: %s\n", text.c_str());
}

int exitWith(const Error& error, int stopSignal) {
    tell(error.withFile());
    if (!error.stopped())
        return kFailure;
    return 128 + (stopSignal != 0 ? stopSignal : SIGINT);
}

int exitWith(const Result<>& result, ConsoleProgress& progress) {
    progress.endLine();
    return result.ok() ? kSuccess : exitWith(result.error(), progress.stoppedBy());
}

int exitWith(const UsageError& usage) {
    tell(usage.why);
    std::fputs("Try 'shardix-cli --help' for more information.\n", stderr);
    return kUsageError;
}

int print(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
        return exitWith(Error::of(ErrorKind::FileAccess, "cannot write to standard output"));
    return kSuccess;
}

} // namespace shardix::cli
