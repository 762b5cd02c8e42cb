#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/checksums/Hasher.h"
#include "engines/io/FileIo.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace shardix {

// What a ChecksumReader computes: the checksum of each range by its algorithm
// (none: the range is passed over, its checksum empty) and that of all the
// bytes (none: not computed).
struct ReaderHashes {
    std::vector<std::optional<HashAlgorithm>> ranges;
    std::optional<HashAlgorithm> whole;

    // SHA-256 of `ranges` ranges and of the whole.
    static ReaderHashes sha256(std::size_t ranges);
    // No checksum of `ranges` ranges, nor of the whole.
    static ReaderHashes none(std::size_t ranges);
};

// Reads the first `total` bytes of a file once, from its first byte, on two
// threads of its own: one reads pieces into a few buffers and computes the
// checksum of all of them, the other computes, from the same buffers, the
// checksums of consecutive ranges of the given lengths. It reads only as far as
// the file is said to be written (advance()), so that it can follow a copy into
// the file. A piece that lies wholly in a hole of the file is not read: its
// zeros are hashed as they are. Where every range is checked by MD5, the second thread reads the
// ranges on its own and hashes up to sixteen side by side (LaneRanges). Bytes
// that cannot be read back (written to a pipe) are handed over instead, as they
// are written (feed()). `file` must stay open while the reader exists.
//
// A `sink`, when given, is handed every byte read, once and in order, on the
// ranges' thread, from the same buffers: so that another consumer of the file
// (recovery data) costs no read of its own; the ranges are then not read in
// lanes. A failure it returns fails the reader. With no hash at all
// (ReaderHashes::none), the reader only feeds the sink.
class ChecksumReader {
  public:
    using Sink = std::function<Result<>(const char* bytes, std::size_t length)>;
    // Called while finish() waits; a failure it returns ends the wait with it.
    using Waiting = std::function<Result<>()>;

    // SHA-256 of each range and of the whole.
    ChecksumReader(const FileHandle& file, std::int64_t total,
                   std::vector<std::int64_t> rangeLengths, std::int64_t available);
    ChecksumReader(const FileHandle& file, std::int64_t total,
                   std::vector<std::int64_t> rangeLengths, std::int64_t available,
                   ReaderHashes hashes, Sink sink = {});
    // Reads nothing: the bytes come through feed().
    ChecksumReader(std::int64_t total, std::vector<std::int64_t> rangeLengths, ReaderHashes hashes);
    ~ChecksumReader();
    ChecksumReader(const ChecksumReader&) = delete;
    ChecksumReader& operator=(const ChecksumReader&) = delete;

    // The first `available` bytes of the file are written and may be read.
    void advance(std::int64_t available);
    // Hands over the next `length` bytes (a reader made without a file),
    // waiting while the buffers are full. Fails as a checksum thread that
    // failed did.
    Result<> feed(const char* bytes, std::int64_t length);
    // How many bytes both checksums have taken in.
    std::int64_t hashed() const;
    // The checksums of the ranges done so far, in order.
    std::vector<std::string> rangeDigests() const;
    // Waits until everything is read, calling `waiting` about ten times a
    // second meanwhile, and returns the ranges' checksums as parts and that of
    // all the bytes as whole. Fails as a read that failed did, or as `waiting`
    // failed.
    Result<Checksums> finish(const Waiting& waiting);

  private:
    void feedOrRaise(const char* bytes, std::int64_t length);
    Checksums finishOrRaise(const Waiting& waiting);
    void start();
    void readAndHashAll();
    void takePiece(std::int64_t piece, std::int64_t at, std::int64_t n, char* buffer);
    void hashRanges();
    // Waits until piece `piece` is in its buffer; false when the run stops first.
    bool awaitRead(std::int64_t piece);
    // Gives the buffer of piece `piece` back to the reading thread.
    void release(std::int64_t piece);
    void hashRangesInLanes();
    void rangeDone(std::size_t range, std::string digest);
    void stopOnFailure();

    const FileHandle* file_; // none: the bytes are fed
    const std::int64_t total_;
    const std::vector<std::int64_t> lengths_;
    const ReaderHashes hashes_;
    const Sink sink_;
    const bool lanes_;         // the ranges are read and hashed by LaneRanges
    const std::int64_t piece_; // the bytes each buffer holds
    std::vector<std::vector<char>> buffers_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t available_;                           // bytes that may be read
    std::int64_t fed_ = 0;                             // bytes handed over by feed()
    std::int64_t piecesRead_ = 0;                      // pieces in the buffers or hashed
    std::int64_t piecesWhole_ = 0;                     // pieces the whole's checksum has taken in
    std::int64_t piecesFreed_ = 0;                     // pieces the range thread is done with
    std::vector<std::optional<std::string>> finished_; // of each range, as it ends
    std::vector<std::string> rangeDigests_;            // the first ranges finished, in order
    std::optional<std::string> wholeDigest_;
    bool wholeDone_ = false;
    bool rangesDone_ = false;
    bool stop_ = false;
    std::exception_ptr error_;
    std::atomic<std::int64_t> wholeHashed_{0};
    std::atomic<std::int64_t> rangesHashed_{0};

    std::thread reader_;
    std::thread ranges_;
};

} // namespace shardix
