#pragma once

// The inside of verifyRecovery() and repairRecovery(): the set opened
// (SetLoader.cpp), each file checked (FileCheck.cpp), the damaged ones
// rebuilt (BlockRebuilder.cpp) and put in place (RecoveryRepair.cpp). Each
// function returns its failure as an Error.

#include "engines/io/FileIo.h"
#include "engines/io/Folder.h"
#include "engines/io/PositionedIo.h"
#include "engines/io/TempFile.h"
#include "engines/recovery/GfKernel.h"
#include "engines/recovery/ProgressMeter.h"
#include "engines/recovery/RecoveryRepair.h"
#include "engines/recovery/RecoverySet.h"
#include "engines/recovery/WorkerPool.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shardix::par2 {

// True when all of `length` bytes at `at` of `file` were read into `bytes`;
// false when reading fails or the file ends sooner (both mean damage).
inline bool readsWhole(const FileHandle& file, std::uint64_t at, void* bytes, std::size_t length) {
    const Result<std::size_t> got = readAt(file, static_cast<std::int64_t>(at), bytes, length);
    return got.ok() && *got == length;
}

// The bytes read at a time from the files of a set.
inline constexpr std::size_t kRepairReadChunk = 1 << 20;

// The set of an index, opened: its folder, the files it was read from and
// what they hold.
struct OpenedSet {
    Folder folder;
    std::string indexName;
    std::vector<std::string> sourceNames; // the index, then the volumes
    std::vector<FileHandle> sourceFds;
    RecoverySet set;

    std::string shownIndex() const { return folder.display(indexName); }
    // The bytes of block `block` of `file` that lie in the file.
    std::uint64_t blockLength(const SetFile& file, std::uint32_t block) const {
        return std::min<std::uint64_t>(set.blockSize,
                                       file.description.length - block * set.blockSize);
    }
};

// Opens the index "FOLDER/BASE.par2" (already in `opened.folder` and
// `opened.indexName`) and its volumes FOLDER/BASE.*.par2, scans them on the
// pool's threads and puts their set together. What cannot be used of the
// volumes goes to `notes`.
Result<> loadSet(OpenedSet& opened, WorkerPool& pool, ProgressMeter& progress,
                 const RecoveryControl& control, std::vector<std::string>& notes);

// Where an intact copy of a block lies away from its place: shifted in its
// own file, in another file of the set, or in a file named for the search
// (by its path, not in the set's folder).
struct BlockCopy {
    std::string file;
    bool inFolder = true;
    std::uint64_t offset = 0;
};

// What the verification found of one file.
struct FileCheck {
    RecoveryFileState state = RecoveryFileState::Ok;
    bool present = false;   // something has its name
    std::vector<char> good; // per block: intact, in place or elsewhere
    std::uint32_t goodCount = 0;
    std::map<std::uint32_t, BlockCopy> elsewhere; // the good blocks not in place
    std::string damage;                           // what is wrong with the file, in words
    std::string detail;                           // that, and the blocks intact
};

// FileCheck::detail from its damage and blocks (`blocks` in all).
void describeBlocks(FileCheck& check, std::size_t blocks);

// Searches the files of the set that are present but damaged, then
// `extraFiles` (paths), for the blocks that no check found in place: a
// CRC-32 rolling over the block size, confirmed by the MD5. What it finds
// goes into `checks`; files it cannot search are told in `notes`.
Result<> searchBlocks(const OpenedSet& opened, std::vector<FileCheck>& checks,
                      const std::vector<std::string>& extraFiles, ProgressMeter& progress,
                      const RecoveryControl& control, std::vector<std::string>& notes);
// Opens the file at `path`, named by the user, for reading without blocking
// on a pipe or a device; the failure is openError()'s (engines/io/Folder.h),
// also where it is no regular file.
Result<FileHandle> openNamedFile(const std::string& path);

// Checks `file` of the set in place, reading through `buffer`. When the run
// is asked to stop, what it found so far. `wholeMatches`: its whole MD5 was
// found to be the listed one already (every block is then intact).
FileCheck checkFile(const OpenedSet& opened, const SetFile& file, std::vector<char>& buffer,
                    ProgressMeter& progress, const RecoveryControl& control,
                    bool wholeMatches = false);
// Which files of the set, read whole, have the listed MD5 (by file; 0 for
// those missing, of another length or unreadable): the MD5s computed side by
// side in the lanes of the vector registers, on the pool's threads. Only
// where canHashLanes().
Result<std::vector<char>> wholeFilesInLanes(const OpenedSet& opened, WorkerPool& pool,
                                            ProgressMeter& progress,
                                            const RecoveryControl& control);

Error stoppedRepair();

// "1 block", "2 blocks": `count` of `thing`.
inline std::string counted(std::uint64_t count, const std::string& thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// A verification, and the repair that may follow it.
class RepairSession {
  public:
    explicit RepairSession(const RecoveryControl& control)
        : control_(control), progress_(control) {}

    Result<RecoveryReport> verify(const std::string& indexPath);
    // Rebuilds the files that verify() found missing or damaged.
    Result<> repair(RecoveryReport& report);

  private:
    Result<> open(const std::string& indexPath, RecoveryReport& report);
    Result<> checkFiles();
    void describe(RecoveryReport& report) const;
    std::vector<std::size_t> damagedFiles() const;
    Result<> refuseWhenTooFew(const RecoveryReport& report) const;
    Result<std::vector<TempFile>> createTemps(const std::vector<std::size_t>& damaged) const;
    Result<> rebuildChecked(std::vector<TempFile>& temps, const std::vector<std::size_t>& damaged,
                            RecoveryReport& report);
    // What the files rebuilt do not match, or nothing; its Error when the
    // rebuild fails.
    Result<std::optional<Error>> rebuildOnce(std::vector<TempFile>& temps,
                                             const std::vector<std::size_t>& damaged);
    bool leaveOutSource(std::size_t s, const std::vector<RecoveryBlockAt>& all,
                        std::uint32_t needed);
    Result<std::optional<Error>> checkRebuilt(const std::vector<TempFile>& temps,
                                              const std::vector<std::size_t>& damaged);
    std::optional<Error> rebuiltMismatch(const SetFile& file, const TempFile& temp);
    void putInPlace(std::vector<TempFile>& temps, const std::vector<std::size_t>& damaged,
                    RecoveryReport& report);
    Result<> putFileInPlace(std::size_t f, TempFile& temp, RecoveryFileReport& entry) const;
    std::string asideName(const std::string& name) const;

    const RecoveryControl& control_;
    ProgressMeter progress_;
    std::unique_ptr<GfKernel> kernel_;
    std::unique_ptr<WorkerPool> pool_;
    OpenedSet opened_;
    std::vector<FileCheck> checks_;
};

} // namespace shardix::par2
