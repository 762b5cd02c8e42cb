#pragma once

#include "engines/checksums/ChecksumReader.h"
#include "engines/checksums/Checksums.h"
#include "engines/io/FileIo.h"
#include "errors/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shardix {

class RunProgress;

// The check of an output against the checksums of a list while it is written:
// the output is read again, beside the copy, as far as it is written (or its
// bytes are handed over as they are written), and each range of it (the bytes
// from one input) and all of it are compared with the checksums, each by its
// own algorithm; a range whose checksum is empty is not checked. Failures name
// the input whose bytes differ.
class OutputCheck {
  public:
    // `output` is the open output, `inputs` the names of the inputs whose
    // bytes fill the ranges of `lengths` in order, from the output's first byte
    // on; `total` is the length the output has at the end (at least the ranges'
    // sum). The first `written` bytes are there already: a range that lies
    // wholly among them came from the output, which a mismatch there names.
    // The output is read back through `readBack` (readBackOf()).
    OutputCheck(FileHandle readBack, const std::string& outputName,
                const std::vector<std::string>& inputs, const std::vector<std::int64_t>& lengths,
                std::int64_t total, std::int64_t written, const Checksums& expected);
    // The output `output`, named `outputName`, opened again for reading
    // through `path` (its name by default): refused when `path` is another
    // file by now. None when the output will stay empty (`total` 0).
    static Result<FileHandle> readBackOf(const FileHandle& output, const std::string& outputName,
                                         std::int64_t total, const std::string& path = {});
    // An output that cannot be read back (standard output, a pipe): its bytes
    // are handed over as they are written (feed()); messages name it by
    // `outputName` as it is ("standard output").
    OutputCheck(const std::string& outputName, const std::vector<std::string>& inputs,
                const std::vector<std::int64_t>& lengths, const Checksums& expected);

    // The first `written` bytes of the output are written.
    void advance(std::int64_t written);
    // The next `length` bytes written to an output that cannot be read back.
    Result<> feed(const char* bytes, std::int64_t length) { return reader_.feed(bytes, length); }
    // How many bytes of the output are checked.
    std::int64_t checked() const { return reader_.hashed(); }
    // The failure of the first range already read whose checksum differs.
    Result<> rangesSoFar() const;
    // Waits until everything is read, telling `progress` how far it is: the
    // checksums of what was read, or the failure to read the output (a
    // failure of the run, not a mismatch).
    Result<Checksums> readAll(RunProgress& progress);
    // Compares every range and the whole output, as readAll() found them,
    // with the checksums: the first that differs.
    Result<> compareAll(const Checksums& found) const;

    // The refusal, before anything is written, of checksums that are not one
    // for each of the `inputs`, and of an output that cannot be read back for
    // the check: one that exists and is not a regular file.
    static Result<> refused(const std::string& outputName, std::size_t inputs,
                            const Checksums& expected);
    // What the checks of `expected` compute.
    static ReaderHashes hashesOf(const Checksums& expected);

  private:
    Result<> compare(const std::vector<std::string>& digests) const;

    FileHandle readBack_;
    std::string outputName_;
    std::string shown_; // in messages: a file's name quoted, "standard output" as it is
    std::vector<std::string> inputs_;
    Checksums expected_;
    std::int64_t total_;
    std::vector<std::int64_t> rangeEnds_; // of the ranges, in the output
    std::int64_t firstNew_;               // the first byte not there before
    ChecksumReader reader_;
};

} // namespace shardix
