#include "engines/recovery/EncoderState.h"

#include "engines/checksums/Md5Lanes.h"
#include "engines/io/PositionedIo.h"
#include "engines/recovery/Gf16.h"
#include "errors/Quoted.h"
#include "shardix/Version.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace shardix {

using namespace par2;

namespace {

constexpr std::int64_t kProgressStep = 4 << 20;

const char* const kCreatorText = "Created by Shardix! " SHARDIX_VERSION;

} // namespace

// ---- The stream

Result<> RecoveryEncoder::State::stream(const std::uint8_t* bytes, std::size_t length) {
    while (length > 0) {
        if (current == pieces.size())
            return Error::of(ErrorKind::Refused, "More bytes were given than the pieces hold.");
        const std::size_t taken = takeBytes(bytes, length);
        bytes += taken;
        length -= taken;
        if (fill == plan.blockSize || offset == pieces[current].description.length) {
            if (Result<> completed = completeBlock(); !completed.ok())
                return completed;
        }
    }
    return {};
}

// Takes what fits of the bytes into the block being filled (of a piece not
// yet complete); how many it took.
std::size_t RecoveryEncoder::State::takeBytes(const std::uint8_t* bytes, std::size_t length) {
    PieceState& piece = pieces[current];
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(
        {length, piece.description.length - offset, plan.blockSize - fill}));
    std::memcpy(accumulator->inputBuffer() + fill, bytes, take);
    if (!wholeHasher.joinable())
        piece.whole.update(bytes, take);
    if (offset < k16k)
        piece.first16k.update(bytes, std::min<std::uint64_t>(take, k16k - offset));
    fill += take;
    offset += take;
    return take;
}

// The block being filled is full, or its piece ends: it goes to the
// accumulator, and the stream moves on to the next block or piece.
Result<> RecoveryEncoder::State::completeBlock() {
    PieceState& piece = pieces[current];
    // An all-zero block (a hole of a sparse source, say) adds nothing to any
    // recovery block, and its checksums are those of every other one.
    if (allZero(accumulator->inputBuffer(), fill))
        piece.checks[block] = *zeroBlock;
    else if (Result<> added = accumulator->add(piece.firstConstant + block, fill); !added.ok())
        return added;
    done += static_cast<std::int64_t>(fill);
    ++block;
    fill = 0;
    if (offset == piece.description.length) {
        if (!wholeHasher.joinable())
            piece.description.hash = piece.whole.finish();
        ++current;
        offset = 0;
        block = 0;
    }
    if (control.stopRequested())
        return stoppedError();
    report();
    return {};
}

// Whether the `length` bytes at `bytes` are all zero; the first time they
// are, the checksums of a zero block are taken.
bool RecoveryEncoder::State::allZero(const std::uint8_t* bytes, std::size_t length) {
    if (length == 0 || bytes[0] != 0 || std::memcmp(bytes, bytes + 1, length - 1) != 0)
        return false;
    if (!zeroBlock) {
        const std::vector<std::uint8_t> zeros(plan.blockSize, 0);
        zeroBlock = BlockCheck{md5Of(zeros.data(), zeros.size()),
                               crc32Update(0, zeros.data(), zeros.size())};
    }
    return true;
}

// ---- After the stream

// Each step's failure is raised here and returned by the guarded() below.
Result<> RecoveryEncoder::State::complete() {
    if (current < pieces.size()) {
        const PieceState& piece = pieces[current];
        return Error::of(ErrorKind::InputPastEnd,
                         "The bytes of " + shardix::quoted(folder.display(piece.description.name)) +
                             " ended " + std::to_string(piece.description.length - offset) +
                             " bytes early.");
    }
    return guarded([&]() -> Result<> {
        valueOrRaise(accumulator->end());
        valueOrRaise(checkHeads());
        valueOrRaise(takeWholeHashes());
        valueOrRaise(writeRecoveryPackets(0));
        for (std::uint32_t first = groupSize; first < plan.recoveryBlocks; first += groupSize)
            valueOrRaise(readBackPass(first));
        valueOrRaise(writeFiles());
        report(true);
        return {};
    });
}

// Each piece's id was made from the head given at the start.
Result<> RecoveryEncoder::State::checkHeads() {
    for (PieceState& piece : pieces) {
        if (piece.description.hash16k != piece.first16k.finish())
            return Error::of(ErrorKind::Mismatch,
                             "The first bytes of " +
                                 shardix::quoted(folder.display(piece.description.name)) +
                                 " given at the start differ from those "
                                 "streamed.");
    }
    return {};
}

// ---- The passes over the blocks

Result<> RecoveryEncoder::State::beginPass(std::uint32_t firstExponent, bool streaming) {
    const std::uint32_t outputs = std::min(groupSize, plan.recoveryBlocks - firstExponent);
    const Gf16* gf = &gf16();
    auto factor = [gf, firstExponent](std::uint32_t tag, std::size_t output) {
        return gf->inputFactor(tag, firstExponent + static_cast<std::uint32_t>(output));
    };
    if (streaming)
        return accumulator->begin(outputs, factor,
                                  [this](auto batch) { return checksumTasks(batch); });
    return accumulator->begin(outputs, factor, [this](auto batch) { return compareTasks(batch); });
}

// The checksums of a batch's blocks: the CRC-32 of each block, then the MD5s
// of each group of up to kMd5Lanes blocks side by side where the processor
// can, else of each block alone. (The pieces' own MD5s are taken as the
// bytes stream by, on the caller's thread.)
std::vector<WorkerPool::Stage>
RecoveryEncoder::State::checksumTasks(std::vector<BlockAccumulator::Input> batch) {
    const bool lanes = canHashLanes() && batch.size() > 1;
    const std::size_t groups = lanes ? (batch.size() + kMd5Lanes - 1) / kMd5Lanes : batch.size();
    const std::size_t count = batch.size() + groups;
    auto task = [this, lanes, batch = std::move(batch)](std::size_t index, unsigned) -> Result<> {
        auto check = [&](std::size_t k) -> BlockCheck& {
            PieceState& piece = pieces[tagPiece[batch[k].tag]];
            return piece.checks[batch[k].tag - piece.firstConstant];
        };
        if (index < batch.size()) {
            check(index).crc = crc32Update(0, batch[index].bytes, plan.blockSize);
            return {};
        }
        if (!lanes) {
            const std::size_t k = index - batch.size();
            check(k).md5 = md5Of(batch[k].bytes, plan.blockSize);
            return {};
        }
        const std::size_t first = (index - batch.size()) * kMd5Lanes;
        const std::size_t size = std::min(kMd5Lanes, batch.size() - first);
        const std::uint8_t* messages[kMd5Lanes];
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane)
            messages[lane] = batch[first + (lane < size ? lane : 0)].bytes;
        Md5Digest digests[kMd5Lanes];
        md5OfLanes(messages, plan.blockSize, digests);
        for (std::size_t lane = 0; lane < size; ++lane)
            check(first + lane).md5 = digests[lane];
        return {};
    };
    return {WorkerPool::Stage{count, std::move(task)}};
}

// The blocks read back for a later pass, compared by CRC-32 with what streamed by.
std::vector<WorkerPool::Stage>
RecoveryEncoder::State::compareTasks(std::vector<BlockAccumulator::Input> batch) {
    const std::size_t count = batch.size();
    auto task = [this, batch = std::move(batch)](std::size_t index, unsigned) -> Result<> {
        const BlockAccumulator::Input& input = batch[index];
        const PieceState& piece = pieces[tagPiece[input.tag]];
        if (crc32Update(0, input.bytes, plan.blockSize) !=
            piece.checks[input.tag - piece.firstConstant].crc) {
            std::uint32_t none = UINT32_MAX;
            changedPiece.compare_exchange_strong(none, tagPiece[input.tag]);
        }
        return {};
    };
    return {WorkerPool::Stage{count, std::move(task)}};
}

void RecoveryEncoder::State::report(bool force) {
    if (control.progress && (force || done - reported >= kProgressStep)) {
        reported = done;
        control.progress(done, total);
    }
}

// The pass's recovery blocks into their volumes, on the pool's threads, in
// groups of kMd5Lanes whose packets' MD5s are computed side by side.
Result<> RecoveryEncoder::State::writeRecoveryPackets(std::uint32_t firstExponent) {
    const std::size_t outputs = accumulator->outputs();
    const std::size_t groups = (outputs + kMd5Lanes - 1) / kMd5Lanes;
    Result<> written = pool->run(groups, [&](std::size_t group, unsigned) -> Result<> {
        const std::size_t first = group * kMd5Lanes;
        const std::size_t count = std::min(kMd5Lanes, outputs - first);
        std::string prefixes[kMd5Lanes];
        const std::uint8_t* prefixBytes[kMd5Lanes];
        const std::uint8_t* data[kMd5Lanes];
        for (std::size_t lane = 0; lane < kMd5Lanes; ++lane) {
            // Lanes past the last output hash the last one again.
            const std::size_t j = first + std::min(lane, count - 1);
            prefixes[lane] =
                recoveryHashPrefix(setId, firstExponent + static_cast<std::uint32_t>(j));
            prefixBytes[lane] = reinterpret_cast<const std::uint8_t*>(prefixes[lane].data());
            data[lane] = accumulator->output(j);
        }
        Md5Digest hashes[kMd5Lanes];
        md5OfPrefixedLanes(prefixBytes, prefixes[0].size(), data, plan.blockSize, hashes);
        for (std::size_t lane = 0; lane < count; ++lane) {
            const auto exponent = firstExponent + static_cast<std::uint32_t>(first + lane);
            if (Result<> one = writeRecoveryPacket(exponent, data[lane], hashes[lane]); !one.ok())
                return one;
        }
        return {};
    });
    if (!written.ok())
        return written;
    done += static_cast<std::int64_t>(outputs * plan.blockSize);
    report();
    return {};
}

Result<> RecoveryEncoder::State::writeRecoveryPacket(std::uint32_t exponent,
                                                     const std::uint8_t* data,
                                                     const Md5Digest& packetHash) {
    const std::uint64_t packetSize = kHeaderSize + 4 + plan.blockSize;
    std::size_t v = 0;
    while (exponent >= plan.volumes[v].firstExponent + plan.volumes[v].count)
        ++v;
    const std::int64_t at =
        static_cast<std::int64_t>((exponent - plan.volumes[v].firstExponent) * packetSize);
    const std::string start = recoveryPacketStart(setId, exponent, plan.blockSize, packetHash);
    if (Result<> head = volumes[v].writeAt(at, start.data(), start.size()); !head.ok())
        return head;
    return volumes[v].writeAt(at + static_cast<std::int64_t>(start.size()), data, plan.blockSize);
}

// A later pass: the pieces read back from the folder, each block compared
// with what streamed by.
// Its steps' failures are raised here and returned by the guarded() below.
Result<> RecoveryEncoder::State::readBackPass(std::uint32_t firstExponent) {
    return guarded([&]() -> Result<> {
        valueOrRaise(beginPass(firstExponent, false));
        for (const PieceState& piece : pieces)
            valueOrRaise(readBackPiece(piece));
        valueOrRaise(accumulator->end());
        if (const std::uint32_t changed = changedPiece.load(); changed != UINT32_MAX)
            return Error::of(ErrorKind::Mismatch,
                             shardix::quoted(folder.display(pieces[changed].description.name)) +
                                 " changed while its recovery blocks were computed.");
        return writeRecoveryPackets(firstExponent);
    });
}

Result<> RecoveryEncoder::State::readBackPiece(const PieceState& piece) {
    const std::string shown = folder.display(piece.description.name);
    const Result<FileHandle> fd = folder.openForReading(piece.description.name);
    if (!fd.ok())
        return fd.error();
    ::posix_fadvise(fd->fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    for (std::uint32_t b = 0; b < piece.blocks; ++b) {
        if (control.stopRequested())
            return stoppedError();
        const std::uint64_t at = static_cast<std::uint64_t>(b) * plan.blockSize;
        const std::size_t wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(plan.blockSize, piece.description.length - at));
        const Result<std::size_t> got =
            readAt(*fd, static_cast<std::int64_t>(at), accumulator->inputBuffer(), wanted);
        if (!got.ok())
            return got.error();
        if (*got != wanted)
            return Error::of(ErrorKind::InputPastEnd,
                             shardix::quoted(shown) +
                                 " became shorter while its recovery blocks were computed.");
        // A block streamed as zeros and read back as zeros adds nothing; one
        // that changed goes on to the comparison, which tells.
        const BlockCheck& streamed = piece.checks[b];
        const bool unchangedZero = allZero(accumulator->inputBuffer(), wanted) &&
                                   streamed.crc == zeroBlock->crc && streamed.md5 == zeroBlock->md5;
        if (!unchangedZero) {
            if (Result<> added = accumulator->add(piece.firstConstant + b, wanted); !added.ok())
                return added;
        }
        done += static_cast<std::int64_t>(wanted);
        report();
    }
    return {};
}

// The index's packets, which every volume repeats after its recovery blocks.
std::string RecoveryEncoder::State::criticalPackets() const {
    std::string critical = makePacket(setId, PacketKind::Main, mainBody(plan.blockSize, setIds()));
    for (std::size_t i : setOrder) {
        critical += makePacket(setId, PacketKind::FileDescription,
                               fileDescriptionBody(pieces[i].description));
        critical += makePacket(setId, PacketKind::BlockChecksums,
                               blockChecksumsBody(pieces[i].description.id, pieces[i].checks));
    }
    critical += makePacket(setId, PacketKind::Creator, creatorBody(kCreatorText));
    return critical;
}

// Its steps' failures are raised here and returned by the guarded() below.
Result<> RecoveryEncoder::State::writeFiles() {
    return guarded([&]() -> Result<> {
        const std::string critical = criticalPackets();
        valueOrRaise(index.writeAt(0, critical.data(), critical.size()));
        const std::uint64_t packetSize = kHeaderSize + 4 + plan.blockSize;
        for (std::size_t v = 0; v < volumes.size(); ++v)
            valueOrRaise(
                volumes[v].writeAt(static_cast<std::int64_t>(plan.volumes[v].count * packetSize),
                                   critical.data(), critical.size()));
        // The volumes first: an index is there only when its set is whole.
        for (TempFile& volume : volumes) {
            const std::string name = volume.finalName();
            valueOrRaise(volume.commit(replace));
            written.push_back(name);
        }
        valueOrRaise(index.commit(replace));
        written.insert(written.begin(), indexName);
        return {};
    });
}

} // namespace shardix
