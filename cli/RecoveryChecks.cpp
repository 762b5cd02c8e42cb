#include "cli/RecoveryChecks.h"

#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "engines/manifest/Manifest.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace shardix::cli {

namespace {

// The first bytes of every packet of a recovery file.
constexpr char kPacketMagic[] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};

bool beginsAsPacket(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[sizeof kPacketMagic] = {};
    const ssize_t got = ::read(fd, head, sizeof head);
    ::close(fd);
    return got == static_cast<ssize_t>(sizeof head) &&
           std::memcmp(head, kPacketMagic, sizeof head) == 0;
}

// What the check found of `file`, in words.
std::string found(const RecoveryFileReport& file) {
    const std::string why = file.detail.empty() ? std::string() : ": " + file.detail;
    if (file.rebuilt) {
        const std::string was =
            file.state == RecoveryFileState::Missing ? "it was missing" : "it was damaged" + why;
        return "rebuilt (" + was + ")" +
               (file.setAside.empty()
                    ? std::string()
                    : "; the damaged file is now " + shardix::quoted(file.setAside));
    }
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

// Whether the set can rebuild what is not right, in a sentence.
std::string repairability(const RecoveryReport& report) {
    const std::string missing =
        std::to_string(report.missingBlocks) + " of the " + std::to_string(report.dataBlocks) +
        " blocks " + (report.missingBlocks == 1 ? "is" : "are") + " missing and " +
        std::to_string(report.recoveryBlocks) + " recovery blocks are at hand";
    if (report.repairable())
        return "  " + missing + ": 'shardix-cli repair' can rebuild them.";
    return "  " + missing + ": " + std::to_string(report.missingBlocks - report.recoveryBlocks) +
           " more are needed to rebuild them.";
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

std::string reportLines(const RecoveryReport& report, bool quiet) {
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
            lines += Manifest::shownName(file->name) + ": " + found(*file) + "\n";
    }
    return lines;
}

int filesNotRight(const RecoveryReport& report) {
    return static_cast<int>(
        std::count_if(report.files.begin(), report.files.end(), [](const RecoveryFileReport& f) {
            return f.state != RecoveryFileState::Ok && !f.rebuilt;
        }));
}

void tellNotes(const std::string& indexPath, const RecoveryReport& report) {
    for (const std::string& note : report.notes)
        tell(shardix::quoted(indexPath) + ": " + note);
}

int verifyRecoverySet(const std::string& indexPath, bool quiet) {
    ConsoleProgress progress("verify", quiet, false);
    std::atomic<bool> stop{false};
    const Result<RecoveryReport> report = verifyRecovery(indexPath, consoleControl(progress, stop));
    progress.endLine();
    if (!report.ok())
        return exitWith(report.error());
    if (print(reportLines(*report, quiet)) != kSuccess)
        return kFailure;
    tellNotes(indexPath, *report);
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
