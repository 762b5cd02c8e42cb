#include "engines/operations/OutputCheck.h"

#include "engines/io/Copy.h"
#include "engines/io/RunProgress.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <numeric>
#include <sys/stat.h>
#include <utility>

namespace shardix {

namespace {

// "standard output" at the start of a sentence.
std::string capitalised(std::string text) {
    if (!text.empty() && text.front() >= 'a' && text.front() <= 'z')
        text.front() = static_cast<char>(text.front() - 'a' + 'A');
    return text;
}

std::vector<std::int64_t> endsOf(const std::vector<std::int64_t>& lengths) {
    std::vector<std::int64_t> ends;
    std::int64_t end = 0;
    for (const std::int64_t length : lengths)
        ends.push_back(end += length);
    return ends;
}

} // namespace

Result<FileHandle> OutputCheck::readBackOf(const FileHandle& output, const std::string& outputName,
                                           std::int64_t total, const std::string& path) {
    if (total == 0)
        return FileHandle(); // nothing to read, and the output may not even exist
    const std::string& through = path.empty() ? outputName : path;
    Result<FileHandle> file = openInput(through);
    if (file.ok() && output.isOpen() && !sameFile(output, through))
        return Error::of(ErrorKind::FileAccess,
                         shardix::quoted(outputName) +
                             " was replaced by another file while it was written.");
    return file;
}

OutputCheck::OutputCheck(FileHandle readBack, const std::string& outputName,
                         const std::vector<std::string>& inputs,
                         const std::vector<std::int64_t>& lengths, std::int64_t total,
                         std::int64_t written, const Checksums& expected)
    : readBack_(std::move(readBack)), outputName_(outputName), shown_(shardix::quoted(outputName)),
      inputs_(inputs), expected_(expected), total_(total), rangeEnds_(endsOf(lengths)),
      firstNew_(written), reader_(readBack_, total, lengths, written, hashesOf(expected)) {}

OutputCheck::OutputCheck(const std::string& outputName, const std::vector<std::string>& inputs,
                         const std::vector<std::int64_t>& lengths, const Checksums& expected)
    : outputName_(outputName), shown_(outputName), inputs_(inputs), expected_(expected),
      total_(std::accumulate(lengths.begin(), lengths.end(), std::int64_t{0})),
      rangeEnds_(endsOf(lengths)), firstNew_(0), reader_(total_, lengths, hashesOf(expected)) {}

ReaderHashes OutputCheck::hashesOf(const Checksums& expected) {
    ReaderHashes hashes;
    for (std::size_t k = 0; k < expected.parts.size(); ++k) {
        if (expected.parts[k].empty())
            hashes.ranges.emplace_back();
        else
            hashes.ranges.emplace_back(expected.partAlgorithm(k));
    }
    if (expected.whole)
        hashes.whole = expected.wholeAlgorithm;
    return hashes;
}

void OutputCheck::advance(std::int64_t written) {
    reader_.advance(written);
}

Result<> OutputCheck::rangesSoFar() const {
    return compare(reader_.rangeDigests());
}

Result<Checksums> OutputCheck::readAll(RunProgress& progress) {
    Result<Checksums> read = reader_.finish([&]() -> Result<> {
        progress.setBytesDone(reader_.hashed(), total_);
        return stopIfAsked(progress, outputName_);
    });
    if (read.ok())
        progress.setBytesDone(total_, total_);
    return read;
}

Result<> OutputCheck::compareAll(const Checksums& found) const {
    if (Result<> failure = compare(found.parts); !failure.ok())
        return failure;
    if (expected_.whole && found.whole != expected_.whole)
        return Error::of(ErrorKind::Refused, capitalised(shown_) +
                                                 " does not match the checksum of the whole "
                                                 "file in " +
                                                 shardix::quoted(expected_.source) +
                                                 ": it is not the original file.");
    return {};
}

Result<> OutputCheck::compare(const std::vector<std::string>& digests) const {
    for (std::size_t k = 0; k < digests.size() && k < expected_.parts.size(); ++k) {
        if (expected_.parts[k].empty() || digests[k] == expected_.parts[k])
            continue;
        // Bytes that belong in another place mean swapped or renamed pieces.
        std::string whose;
        for (std::size_t j = 0; j < expected_.parts.size() && j < inputs_.size(); ++j)
            if (j != k && digests[k] == expected_.parts[j] &&
                expected_.partAlgorithm(j) == expected_.partAlgorithm(k)) {
                whose = ": they are the bytes listed for " + shardix::quoted(inputs_[j]);
                break;
            }
        // Bytes that were in the output before the run came from the output.
        if (k < rangeEnds_.size() && rangeEnds_[k] <= firstNew_)
            return Error::of(
                ErrorKind::Refused,
                "The bytes of " + shardix::quoted(outputName_) + " where " +
                    shardix::quoted(inputs_[k]) + " belongs do not match the checksum of " +
                    shardix::quoted(inputs_[k]) + " in " + shardix::quoted(expected_.source) +
                    whose + "; " + shown_ + " does not match the original file.");
        return Error::of(ErrorKind::Refused, "The bytes of " + shardix::quoted(inputs_[k]) +
                                                 " do not match its checksum in " +
                                                 shardix::quoted(expected_.source) + whose + "; " +
                                                 shown_ + " does not match the original file.");
    }
    return {};
}

Result<> OutputCheck::refused(const std::string& outputName, std::size_t inputs,
                              const Checksums& expected) {
    if (expected.parts.size() != inputs)
        return Error::of(ErrorKind::Refused, shardix::quoted(expected.source) + " lists " +
                                                 std::to_string(expected.parts.size()) +
                                                 " pieces, not " + std::to_string(inputs) + ".");
    struct stat st {};
    if (::stat(outputName.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return Error::refusedName(shardix::quoted(outputName) +
                              " is not a regular file: what is written into it cannot be "
                              "read back and checked against " +
                              shardix::quoted(expected.source) + ".");
}

} // namespace shardix
