#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/io/FileIo.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace shardix {

// Reads the first `total` bytes of a file once, from its first byte, on two
// threads of its own: one reads pieces into a few buffers and computes the
// SHA-256 of all of them, the other computes, from the same buffers, the SHA-256
// of consecutive ranges of the given lengths. It reads only as far as the file
// is said to be written (advance()), so that it can follow a copy into the file.
// `file` must stay open while the reader exists.
//
// A `sink`, when given, is handed every byte read, once and in order, on the
// ranges' thread, from the same buffers: so that another consumer of the file
// (recovery data) costs no read of its own. What it throws fails the reader.
// Without `hash`, no checksum is computed and the reader only feeds the sink.
class ChecksumReader {
  public:
    using Sink = std::function<void(const char* bytes, std::size_t length)>;

    ChecksumReader(const FileHandle& file, std::int64_t total,
                   std::vector<std::int64_t> rangeLengths, std::int64_t available, Sink sink = {},
                   bool hash = true);
    ~ChecksumReader();
    ChecksumReader(const ChecksumReader&) = delete;
    ChecksumReader& operator=(const ChecksumReader&) = delete;

    // The first `available` bytes of the file are written and may be read.
    void advance(std::int64_t available);
    // How many bytes both checksums have taken in.
    std::int64_t hashed() const;
    // The checksums of the ranges done so far, in order.
    std::vector<std::string> rangeDigests() const;
    // Waits until everything is read, calling `waiting` about ten times a
    // second meanwhile, and returns the ranges' checksums as parts and that of
    // all the bytes as whole. Raises the Failed of a read that failed.
    Checksums finish(const std::function<void()>& waiting);

  private:
    void readAndHashAll();
    void hashRanges();
    void fail();

    const FileHandle& file_;
    const std::int64_t total_;
    const std::vector<std::int64_t> lengths_;
    const Sink sink_;
    const bool hash_;
    std::vector<std::vector<char>> buffers_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t available_;       // bytes that may be read
    std::int64_t piecesRead_ = 0;  // pieces in the buffers or hashed
    std::int64_t piecesFreed_ = 0; // pieces the range thread is done with
    std::vector<std::string> rangeDigests_;
    std::string wholeDigest_;
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
