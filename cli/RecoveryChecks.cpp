#include "cli/RecoveryChecks.h"

#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace shardix::cli {

namespace {

// The first bytes of every packet of a recovery file.
constexpr char kPacketMagic[] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};

// Only a regular file is opened, and without waiting: a pipe or a device
// named "*.par2" is refused by the recovery engine, and any other by the
// manifest's reader.
bool beginsAsPacket(const std::string& path) {
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    char head[sizeof kPacketMagic] = {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const ssize_t got = regular ? ::read(fd, head, sizeof head) : -1;
    ::close(fd);
    return got == static_cast<ssize_t>(sizeof head) &&
           std::memcmp(head, kPacketMagic, sizeof head) == 0;
}

// The name of a file of the set as the user sees it: with the index's folder.
std::string inFolder(const std::string& indexPath, const std::string& name) {
    const auto slash = indexPath.rfind('/');
    return (slash == std::string::npos ? std::string() : indexPath.substr(0, slash + 1)) + name;
}

// What the check found of `file`, in words.
std::string found(const std::string& indexPath, const RecoveryFileReport& file) {
    const std::string why = file.detail.empty() ? std::string() : ": " + file.detail;
    if (file.rebuilt) {
        const std::string was =
            file.state == RecoveryFileState::Missing ? "it was missing" : "it was damaged" + why;
        return "rebuilt (" + was + ")" +
               (file.setAside.empty() ? std::string()
                                      : "; the damaged file is now " +
                                            shardix::quoted(inFolder(indexPath, file.setAside)));
    }
    if (!file.failure.empty())
        return "not rebuilt: " + file.failure;
    switch (file.state) {
    case RecoveryFileState::Ok:
        return "OK";
    case RecoveryFileState::Missing:
        return "missing" + why;
    case RecoveryFileState::Damaged:
        return "damaged" + why;
    }
    return {};
}

// "1 block", "2 blocks".
std::string counted(std::uint64_t count, const std::string& thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// Whether the set can rebuild what is not right, in a sentence.
std::string repairability(const RecoveryReport& report) {
    const std::string missing = std::to_string(report.missingBlocks) + " of the " +
                                counted(report.dataBlocks, "block") +
                                (report.missingBlocks == 1 ? " is" : " are") + " missing and " +
                                counted(report.recoveryBlocks, "recovery block") +
                                (report.recoveryBlocks == 1 ? " is" : " are") + " at hand";
    if (report.repairable())
        return "  " + missing + ": 'shardix-cli repair' can rebuild " +
               (report.missingBlocks == 1 ? "it." : "them.");
    if (!report.unsolvable.empty())
        return "  " + missing + ", but " + report.unsolvable +
               ": 'shardix-cli repair' cannot rebuild them.";
    const std::uint32_t lacking = report.missingBlocks - report.recoveryBlocks;
    return "  " + missing + ": " + std::to_string(lacking) + " more " +
           (lacking == 1 ? "is" : "are") + " needed to rebuild them.";
}

} // namespace

bool isRecoveryIndex(const std::string& path) {
    constexpr std::string_view kSuffix = kRecoveryIndexSuffix;
    const bool named = path.size() > kSuffix.size() &&
                       path.compare(path.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
    return named || beginsAsPacket(path);
}

RecoveryControl consoleControl(ConsoleProgress& progress, std::atomic<bool>& stop) {
    RecoveryControl control;
    control.stop = &stop;
    control.progress = [&progress, &stop](std::int64_t done, std::int64_t total) {
        progress.setBytesDone(done, total);
        if (progress.stopRequested())
            stop = true;
    };
    return control;
}

std::string reportLines(const std::string& indexPath, const RecoveryReport& report, bool quiet) {
    // The index lists its files in the order of their ids; they are shown in
    // number order (p2 before p10): by the length of their names, then by their bytes.
    std::vector<const RecoveryFileReport*> files;
    for (const RecoveryFileReport& file : report.files)
        files.push_back(&file);
    std::stable_sort(files.begin(), files.end(), [](const auto* a, const auto* b) {
        return std::make_pair(a->name.size(), a->name) < std::make_pair(b->name.size(), b->name);
    });
    std::string lines;
    for (const RecoveryFileReport* file : files) {
        if (!quiet || file->state != RecoveryFileState::Ok)
            lines +=
                shownName(inFolder(indexPath, file->name)) + ": " + found(indexPath, *file) + "\n";
    }
    return lines;
}

int filesNotRight(const RecoveryReport& report) {
    return static_cast<int>(
        std::count_if(report.files.begin(), report.files.end(), [](const RecoveryFileReport& f) {
            return f.state != RecoveryFileState::Ok && !f.rebuilt;
        }));
}

void tellNotes(const RecoveryReport& report) {
    for (const std::string& note : report.notes)
        tell(note);
}

int verifyRecoverySet(const std::string& indexPath, bool quiet,
                      const std::vector<std::string>& searchFiles) {
    ConsoleProgress progress("verify", quiet, false);
    std::atomic<bool> stop{false};
    RecoveryControl control = consoleControl(progress, stop);
    control.searchFiles = searchFiles;
    const Result<RecoveryReport> report = verifyRecovery(indexPath, control);
    progress.endLine();
    if (!report.ok())
        return exitWith(report.error());
    if (print(reportLines(indexPath, *report, quiet)) != kSuccess)
        return kFailure;
    tellNotes(*report);
    const int wrong = filesNotRight(*report);
    if (wrong == 0)
        return kSuccess;
    return exitWith(Error::of(
        ErrorKind::Mismatch,
        std::to_string(wrong) + " of the " + std::to_string(report->files.size()) +
            " listed files " + (wrong == 1 ? "is" : "are") + " not right." + repairability(*report),
        indexPath));
}

} // namespace shardix::cli
