#include "engines/checksums/ChecksumReader.h"

#include "engines/checksums/Sha256.h"

#include <algorithm>
#include <chrono>

namespace shardix {

namespace {

// Pieces of 1 MiB keep the hashing at full speed and the hand-overs between the
// two threads few; four buffers let the reader run ahead of the other thread.
constexpr std::int64_t kPiece = 1 << 20;
constexpr std::int64_t kBuffers = 4;

} // namespace

ChecksumReader::ChecksumReader(const FileHandle& file, std::int64_t total,
                               std::vector<std::int64_t> rangeLengths, std::int64_t available,
                               Sink sink, bool hash)
    : file_(file), total_(total), lengths_(std::move(rangeLengths)), sink_(std::move(sink)),
      hash_(hash), available_(available) {
    const auto size = static_cast<std::size_t>(std::clamp<std::int64_t>(total, 1, kPiece));
    buffers_.assign(static_cast<std::size_t>(kBuffers), std::vector<char>(size));
    reader_ = std::thread([this] { readAndHashAll(); });
    ranges_ = std::thread([this] { hashRanges(); });
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

std::int64_t ChecksumReader::hashed() const {
    return std::min(wholeHashed_.load(), rangesHashed_.load());
}

std::vector<std::string> ChecksumReader::rangeDigests() const {
    std::lock_guard lock(mutex_);
    return rangeDigests_;
}

Checksums ChecksumReader::finish(const std::function<void()>& waiting) {
    std::unique_lock lock(mutex_);
    const auto over = [this] { return error_ || (wholeDone_ && rangesDone_); };
    while (!changed_.wait_for(lock, std::chrono::milliseconds(100), over)) {
        lock.unlock();
        waiting();
        lock.lock();
    }
    if (error_)
        std::rethrow_exception(error_);
    return Checksums{rangeDigests_, wholeDigest_, {}, {}};
}

void ChecksumReader::fail() {
    {
        std::lock_guard lock(mutex_);
        if (!error_)
            error_ = std::current_exception();
        stop_ = true;
    }
    changed_.notify_all();
}

void ChecksumReader::readAndHashAll() {
    try {
        Sha256 sum;
        for (std::int64_t piece = 0, at = 0; at < total_; ++piece) {
            const std::int64_t n = std::min(kPiece, total_ - at);
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return stop_ || (piece - piecesFreed_ < kBuffers && available_ >= at + n);
                });
                if (stop_)
                    return;
            }
            char* buffer = buffers_[static_cast<std::size_t>(piece % kBuffers)].data();
            readExactly(file_, at, buffer, n);
            {
                std::lock_guard lock(mutex_);
                piecesRead_ = piece + 1;
            }
            changed_.notify_all();
            if (hash_)
                sum.update(buffer, static_cast<std::size_t>(n));
            at += n;
            wholeHashed_ = at;
        }
        std::string digest = hash_ ? sum.hexDigest() : std::string();
        {
            std::lock_guard lock(mutex_);
            wholeDigest_ = std::move(digest);
            wholeDone_ = true;
        }
        changed_.notify_all();
    } catch (...) {
        fail();
    }
}

void ChecksumReader::hashRanges() {
    try {
        Sha256 sum;
        std::size_t range = 0;
        std::int64_t left = lengths_.empty() ? 0 : lengths_.front();
        // Ends the ranges that have no bytes left to take, the empty ones too.
        const auto endFullRanges = [&] {
            while (range < lengths_.size() && left == 0) {
                std::string digest = sum.hexDigest();
                std::lock_guard lock(mutex_);
                rangeDigests_.push_back(std::move(digest));
                if (++range < lengths_.size())
                    left = lengths_[range];
            }
        };
        endFullRanges();
        for (std::int64_t piece = 0, at = 0; at < total_; ++piece) {
            const std::int64_t n = std::min(kPiece, total_ - at);
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || piecesRead_ > piece; });
                if (stop_)
                    return;
            }
            const char* buffer = buffers_[static_cast<std::size_t>(piece % kBuffers)].data();
            if (sink_)
                sink_(buffer, static_cast<std::size_t>(n));
            for (std::int64_t done = 0; hash_ && done < n && range < lengths_.size();) {
                const std::int64_t take = std::min(left, n - done);
                sum.update(buffer + done, static_cast<std::size_t>(take));
                done += take;
                left -= take;
                endFullRanges();
            }
            at += n;
            rangesHashed_ = at;
            {
                std::lock_guard lock(mutex_);
                piecesFreed_ = piece + 1;
            }
            changed_.notify_all();
        }
        {
            std::lock_guard lock(mutex_);
            rangesDone_ = true;
        }
        changed_.notify_all();
    } catch (...) {
        fail();
    }
}

} // namespace shardix
