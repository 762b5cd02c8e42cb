#include "engines/checksums/ChecksumReader.h"

#include "engines/checksums/LaneRanges.h"
#include "engines/io/Holes.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace shardix {

namespace {

// Pieces of 512 KiB keep the hashing at full speed and the hand-overs between
// the two threads few; two buffers let the reader fill one while the other
// thread takes the other. (More, or larger, hold more memory and gained
// nothing measurable.) Bytes only handed on to a sink, hashed by nobody, go in
// pieces of 256 KiB: the sink copies them at once, and half the memory reads
// as fast.
constexpr std::int64_t kPiece = 512 << 10;
constexpr std::int64_t kSinkPiece = 256 << 10;
constexpr std::int64_t kBuffers = 2;

std::int64_t pieceFor(const ReaderHashes& hashes, bool sink) {
    const bool hashed =
        hashes.whole || std::any_of(hashes.ranges.begin(), hashes.ranges.end(),
                                    [](const auto& range) { return range.has_value(); });
    return sink && !hashed ? kSinkPiece : kPiece;
}

// Puts the `n` bytes of `file` from `at` into `buffer`: zeros, without a read,
// where they all lie in a hole. Failures are raised, on the reading thread, and
// come back as a value from finish().
void readOrZeros(const FileHandle& file, std::int64_t at, char* buffer, std::int64_t n) {
    if (valueOrRaise(nextData(file, at, at + n)))
        valueOrRaise(readExactly(file, at, buffer, n));
    else
        std::memset(buffer, 0, static_cast<std::size_t>(n));
}

// The hasher of `algorithm`, none for none; raised on the thread that asks, as
// readOrZeros above.
std::unique_ptr<Hasher> hasherFor(const std::optional<HashAlgorithm>& algorithm) {
    return algorithm ? valueOrRaise(Hasher::make(*algorithm)) : nullptr;
}

} // namespace

ReaderHashes ReaderHashes::sha256(std::size_t ranges) {
    return {std::vector<std::optional<HashAlgorithm>>(ranges, HashAlgorithm::Sha256),
            HashAlgorithm::Sha256};
}

ReaderHashes ReaderHashes::none(std::size_t ranges) {
    return {std::vector<std::optional<HashAlgorithm>>(ranges), std::nullopt};
}

ChecksumReader::ChecksumReader(const FileHandle& file, std::int64_t total,
                               std::vector<std::int64_t> rangeLengths, std::int64_t available)
    : ChecksumReader(file, total, rangeLengths, available,
                     ReaderHashes::sha256(rangeLengths.size())) {}

ChecksumReader::ChecksumReader(const FileHandle& file, std::int64_t total,
                               std::vector<std::int64_t> rangeLengths, std::int64_t available,
                               ReaderHashes hashes, Sink sink)
    : file_(&file), total_(total), lengths_(std::move(rangeLengths)), hashes_(std::move(hashes)),
      sink_(std::move(sink)), lanes_(!sink_ && LaneRanges::suits(hashes_.ranges)),
      piece_(pieceFor(hashes_, static_cast<bool>(sink_))), available_(available) {
    start();
}

ChecksumReader::ChecksumReader(std::int64_t total, std::vector<std::int64_t> rangeLengths,
                               ReaderHashes hashes)
    : file_(nullptr), total_(total), lengths_(std::move(rangeLengths)), hashes_(std::move(hashes)),
      lanes_(false), piece_(kPiece), available_(0) {
    start();
}

void ChecksumReader::start() {
    finished_.resize(lengths_.size());
    if (!hashes_.whole)
        wholeHashed_ = total_;
    // The ranges read in lanes take no buffers of the whole's thread.
    if (!lanes_ || hashes_.whole) {
        const auto size = static_cast<std::size_t>(std::clamp<std::int64_t>(total_, 1, piece_));
        buffers_.assign(static_cast<std::size_t>(kBuffers), std::vector<char>(size));
    }
    reader_ = std::thread([this] { readAndHashAll(); });
    ranges_ = std::thread([this] { lanes_ ? hashRangesInLanes() : hashRanges(); });
}

ChecksumReader::~ChecksumReader() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
    ranges_.join();
}

void ChecksumReader::advance(std::int64_t available) {
    {
        std::lock_guard lock(mutex_);
        available_ = std::max(available_, available);
    }
    changed_.notify_all();
}

Result<> ChecksumReader::feed(const char* bytes, std::int64_t length) {
    return guarded([&]() -> Result<> {
        feedOrRaise(bytes, length);
        return {};
    });
}

Result<Checksums> ChecksumReader::finish(const Waiting& waiting) {
    return guarded([&]() -> Result<Checksums> { return finishOrRaise(waiting); });
}

void ChecksumReader::feedOrRaise(const char* bytes, std::int64_t length) {
    while (length > 0 && fed_ < total_) {
        const std::int64_t piece = fed_ / piece_;
        const std::int64_t into = fed_ % piece_;
        const std::int64_t n = std::min({length, piece_ - into, total_ - fed_});
        {
            // The buffer is free once both threads are done with what it held.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stop_ || piece - std::min(piecesFreed_, piecesWhole_) < kBuffers;
            });
            if (error_)
                std::rethrow_exception(error_);
            if (stop_)
                return;
        }
        std::memcpy(buffers_[static_cast<std::size_t>(piece % kBuffers)].data() + into, bytes,
                    static_cast<std::size_t>(n));
        bytes += n;
        length -= n;
        {
            std::lock_guard lock(mutex_);
            fed_ += n;
            if (fed_ % piece_ == 0 || fed_ == total_)
                piecesRead_ = piece + 1;
        }
        changed_.notify_all();
    }
}

std::int64_t ChecksumReader::hashed() const {
    return std::min(wholeHashed_.load(), rangesHashed_.load());
}

std::vector<std::string> ChecksumReader::rangeDigests() const {
    std::lock_guard lock(mutex_);
    return rangeDigests_;
}

Checksums ChecksumReader::finishOrRaise(const Waiting& waiting) {
    std::unique_lock lock(mutex_);
    const auto over = [this] { return error_ || (wholeDone_ && rangesDone_); };
    while (!changed_.wait_for(lock, std::chrono::milliseconds(100), over)) {
        lock.unlock();
        valueOrRaise(waiting());
        lock.lock();
    }
    if (error_)
        std::rethrow_exception(error_);
    Checksums found{rangeDigests_, wholeDigest_, {}, {}, {}, {}};
    found.wholeAlgorithm = hashes_.whole.value_or(HashAlgorithm::Sha256);
    return found;
}

void ChecksumReader::stopOnFailure() {
    {
        std::lock_guard lock(mutex_);
        if (!error_)
            error_ = std::current_exception();
        stop_ = true;
    }
    changed_.notify_all();
}

void ChecksumReader::rangeDone(std::size_t range, std::string digest) {
    std::lock_guard lock(mutex_);
    finished_[range] = std::move(digest);
    while (rangeDigests_.size() < finished_.size() && finished_[rangeDigests_.size()])
        rangeDigests_.push_back(*finished_[rangeDigests_.size()]);
}

// Waits until piece `piece` (`n` bytes from `at`) may go into `buffer`, and
// puts it there: read from the file, or handed over by feed().
void ChecksumReader::takePiece(std::int64_t piece, std::int64_t at, std::int64_t n, char* buffer) {
    std::unique_lock lock(mutex_);
    if (!file_) {
        changed_.wait(lock, [&] { return stop_ || piecesRead_ > piece; });
        return;
    }
    changed_.wait(lock, [&] {
        return stop_ || ((lanes_ || piece - piecesFreed_ < kBuffers) && available_ >= at + n);
    });
    if (stop_)
        return;
    lock.unlock();
    readOrZeros(*file_, at, buffer, n);
    lock.lock();
    piecesRead_ = piece + 1;
    lock.unlock();
    changed_.notify_all();
}

bool ChecksumReader::awaitRead(std::int64_t piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stop_ || piecesRead_ > piece; });
    return !stop_;
}

void ChecksumReader::release(std::int64_t piece) {
    {
        std::lock_guard lock(mutex_);
        piecesFreed_ = piece + 1;
    }
    changed_.notify_all();
}

void ChecksumReader::readAndHashAll() {
    try {
        const std::unique_ptr<Hasher> sum = hasherFor(hashes_.whole);
        // Ranges read in lanes need no pieces from this thread.
        for (std::int64_t piece = 0, at = 0; at < total_ && (sum || !lanes_); ++piece) {
            const std::int64_t n = std::min(piece_, total_ - at);
            char* buffer = buffers_[static_cast<std::size_t>(piece % kBuffers)].data();
            takePiece(piece, at, n, buffer);
            if (std::lock_guard lock(mutex_); stop_)
                return;
            if (sum)
                sum->update(buffer, static_cast<std::size_t>(n));
            at += n;
            if (sum)
                wholeHashed_ = at;
            {
                std::lock_guard lock(mutex_);
                piecesWhole_ = piece + 1;
            }
            changed_.notify_all();
        }
        std::optional<std::string> digest;
        if (sum)
            digest = sum->digest();
        {
            std::lock_guard lock(mutex_);
            wholeDigest_ = std::move(digest);
            wholeDone_ = true;
        }
        changed_.notify_all();
    } catch (...) {
        stopOnFailure();
    }
}

void ChecksumReader::hashRanges() {
    try {
        const auto algorithmOf = [this](std::size_t range) {
            return range < hashes_.ranges.size() ? hashes_.ranges[range] : std::nullopt;
        };
        std::size_t range = 0;
        std::int64_t left = lengths_.empty() ? 0 : lengths_.front();
        std::unique_ptr<Hasher> sum = hasherFor(algorithmOf(0));
        // Ends the ranges that have no bytes left to take, the empty ones too.
        const auto endFullRanges = [&] {
            while (range < lengths_.size() && left == 0) {
                rangeDone(range, sum ? sum->digest() : std::string());
                if (++range < lengths_.size()) {
                    left = lengths_[range];
                    sum = hasherFor(algorithmOf(range));
                }
            }
        };
        endFullRanges();
        for (std::int64_t piece = 0, at = 0; at < total_; ++piece) {
            const std::int64_t n = std::min(piece_, total_ - at);
            if (!awaitRead(piece))
                return;
            const char* buffer = buffers_[static_cast<std::size_t>(piece % kBuffers)].data();
            if (sink_)
                valueOrRaise(sink_(buffer, static_cast<std::size_t>(n)));
            for (std::int64_t done = 0; done < n && range < lengths_.size();) {
                const std::int64_t take = std::min(left, n - done);
                if (sum)
                    sum->update(buffer + done, static_cast<std::size_t>(take));
                done += take;
                left -= take;
                endFullRanges();
            }
            at += n;
            rangesHashed_ = at;
            release(piece);
        }
        {
            std::lock_guard lock(mutex_);
            rangesDone_ = true;
        }
        changed_.notify_all();
    } catch (...) {
        stopOnFailure();
    }
}

void ChecksumReader::hashRangesInLanes() {
    try {
        std::vector<bool> hashed;
        for (std::size_t range = 0; range < lengths_.size(); ++range)
            hashed.push_back(range < hashes_.ranges.size() && hashes_.ranges[range]);
        LaneRanges lanes(*file_, lengths_, std::move(hashed));
        const auto waitFor = [this](std::int64_t needed) -> std::optional<std::int64_t> {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || available_ >= needed; });
            if (stop_)
                return std::nullopt;
            return available_;
        };
        valueOrRaise(lanes.run(
            waitFor,
            [this](std::size_t range, std::string digest) { rangeDone(range, std::move(digest)); },
            rangesHashed_));
        {
            std::lock_guard lock(mutex_);
            rangesDone_ = true;
        }
        changed_.notify_all();
    } catch (...) {
        stopOnFailure();
    }
}

} // namespace shardix
