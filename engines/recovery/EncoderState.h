#pragma once

// The inside of RecoveryEncoder, shared by its setting up (EncoderSetup.cpp)
// and its passes over the blocks (EncoderPasses.cpp). Its functions return
// their failures as Errors, which RecoveryEncoder keeps.

#include "engines/io/Folder.h"
#include "engines/io/TempFile.h"
#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/GfKernel.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/WorkerPool.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace shardix {

namespace par2 {

struct PieceState {
    std::size_t given = 0;       // its index among the pieces given
    FileDescription description; // its hash is known at the end of the first pass
    std::uint32_t blocks = 0;
    std::uint32_t firstConstant = 0; // the constant index of its first block
    std::vector<BlockCheck> checks;
    Md5 whole;
    Md5 first16k;
};

Error stoppedError();

} // namespace par2

struct RecoveryEncoder::State {
    RecoveryControl control;
    RecoveryPlan plan;
    bool replace = false;
    Folder folder;
    std::string indexName;
    std::vector<par2::PieceState> pieces; // the nonempty ones, in stream order
    std::vector<std::uint32_t> tagPiece;  // constant index -> piece
    std::vector<std::size_t> setOrder;    // pieces in the order of the main packet
    Md5Digest setId{};
    std::unique_ptr<par2::GfKernel> kernel;
    std::unique_ptr<par2::WorkerPool> pool;
    // A piece read back that differs from what was streamed (the first one).
    std::atomic<std::uint32_t> changedPiece{UINT32_MAX};
    // Its batches' tasks use what is above.
    std::unique_ptr<par2::BlockAccumulator> accumulator;
    TempFile index;
    std::vector<TempFile> volumes;
    std::uint32_t groupSize = 0; // recovery blocks per pass

    // Where the stream is.
    std::size_t current = 0;  // the piece
    std::uint64_t offset = 0; // in the current piece
    std::uint32_t block = 0;  // in the current piece
    std::size_t fill = 0;     // bytes in the block being filled
    // The checksums of an all-zero block, from the first one met on.
    std::optional<par2::BlockCheck> zeroBlock;

    // The pieces' MD5s taken by reading them again (rereadPiecesWith), on a
    // thread of their own; when it runs, the stream does not take them.
    std::thread wholeHasher;
    std::atomic<bool> stopWholeHasher{false};
    Result<std::vector<Md5Digest>> wholeHashes{std::vector<Md5Digest>{}};

    std::optional<Error> failure;
    std::vector<std::string> written;
    std::int64_t done = 0;
    std::int64_t reported = 0;
    std::int64_t total = 0;

    // Setting up.
    Result<> start(const std::string& indexPath, const std::vector<RecoveryPiece>& given);
    Result<> takePieces(const std::vector<RecoveryPiece>& given);
    Result<> checkGiven(const RecoveryPiece& piece) const;
    par2::PieceState pieceState(const RecoveryPiece& piece) const;
    Result<> checkPlan() const;
    Result<> refuseDuplicates() const;
    void orderSet();
    std::vector<Md5Digest> setIds() const;
    Result<> createFiles(const std::vector<RecoveryPiece>& given);
    Result<> checkOutputName(const std::string& name,
                             const std::vector<RecoveryPiece>& given) const;
    Result<> startWork();
    void hashWholePieces(StreamRead read);
    Result<> takeWholeHashes();

    // The stream, and the passes after it.
    Result<> stream(const std::uint8_t* bytes, std::size_t length);
    std::size_t takeBytes(const std::uint8_t* bytes, std::size_t length);
    Result<> completeBlock();
    bool allZero(const std::uint8_t* bytes, std::size_t length);
    Result<> complete();
    Result<> checkHeads();
    Result<> beginPass(std::uint32_t firstExponent, bool streaming);
    std::vector<par2::WorkerPool::Stage>
    checksumTasks(std::vector<par2::BlockAccumulator::Input> batch);
    std::vector<par2::WorkerPool::Stage>
    compareTasks(std::vector<par2::BlockAccumulator::Input> batch);
    void report(bool force = false);
    Result<> writeRecoveryPackets(std::uint32_t firstExponent);
    Result<> writeRecoveryPacket(std::uint32_t exponent, const std::uint8_t* data,
                                 const Md5Digest& packetHash);
    Result<> readBackPass(std::uint32_t firstExponent);
    Result<> readBackPiece(const par2::PieceState& piece);
    Result<> writeFiles();
    std::string criticalPackets() const;
};

} // namespace shardix
