#include "engines/recovery/RecoveryEncoder.h"

#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfKernel.h"
#include "engines/recovery/Md5Lanes.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoveryIo.h"
#include "engines/recovery/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>

namespace shardix {

using namespace par2;

namespace {

// The input blocks of a batch take at most this much memory (twice: the one
// being filled and the one being computed).
constexpr std::size_t kBatchBytes = 32 << 20;
constexpr std::size_t kReadChunk = 4 << 20;
constexpr std::int64_t kProgressStep = 4 << 20;

const char* const kCreatorText = "Created by Shardix! " SHARDIX_VERSION;

struct PieceState {
    FileDescription description; // its hash is known at the end of the first pass
    std::uint32_t blocks = 0;
    std::uint32_t firstConstant = 0; // the constant index of its first block
    std::vector<BlockCheck> checks;
    Md5 whole;
    Md5 first16k;
};

bool stopRequested(const RecoveryControl& control) {
    return control.stop && control.stop->load(std::memory_order_relaxed);
}

RecoveryProblem stoppedProblem() {
    return RecoveryProblem{"Stopped: no recovery file was written.", {}, ECANCELED};
}

} // namespace

struct RecoveryEncoder::State {
    RecoveryControl control;
    RecoveryPlan plan;
    bool replace = false;
    Folder folder;
    std::string indexName;
    std::vector<PieceState> pieces;      // the nonempty ones, in stream order
    std::vector<std::uint32_t> tagPiece; // constant index -> piece
    std::vector<std::size_t> setOrder;   // pieces in the order of the main packet
    Md5Digest setId{};
    std::unique_ptr<GfKernel> kernel;
    std::unique_ptr<WorkerPool> pool;
    std::unique_ptr<BlockAccumulator> accumulator;
    TempFile index;
    std::vector<TempFile> volumes;
    std::uint32_t groupSize = 0; // recovery blocks per pass

    // Where the stream is.
    std::size_t current = 0;
    std::uint64_t offset = 0; // in the current piece
    std::uint32_t block = 0;  // in the current piece
    std::size_t fill = 0;     // bytes in the block being filled

    std::optional<RecoveryProblem> problem;
    std::vector<std::string> written;
    std::int64_t done = 0;
    std::int64_t reported = 0;
    std::int64_t total = 0;

    // A piece read back that differs from what was streamed (the first one).
    std::atomic<std::uint32_t> changedPiece{UINT32_MAX};
    std::mutex writeMutex;
    std::optional<RecoveryProblem> writeProblem;

    void start(const std::string& indexPath, std::vector<RecoveryPiece> given);
    void beginPass(std::uint32_t firstExponent, bool streaming);
    void add(std::uint32_t tag, std::size_t filled);
    void report(bool force = false);
    std::optional<RecoveryProblem> writeRecoveryPackets(std::uint32_t firstExponent);
    std::optional<RecoveryProblem> readBackPass(std::uint32_t firstExponent);
    std::optional<RecoveryProblem> writeAll();
    std::vector<WorkerPool::Stage> checksumTasks(std::vector<BlockAccumulator::Input> batch);
    std::vector<WorkerPool::Stage> compareTasks(std::vector<BlockAccumulator::Input> batch);
};

void RecoveryEncoder::State::start(const std::string& indexPath, std::vector<RecoveryPiece> given) {
    if (auto opened = Folder::open(indexPath, folder, indexName)) {
        problem = std::move(opened);
        return;
    }
    kernel = makeGfKernel(control.kernel);
    if (!kernel) {
        problem = RecoveryProblem{
            "This processor cannot run the kernel \"" + control.kernel + "\".", {}, 0};
        return;
    }

    // The pieces and their ids, which need their first bytes.
    std::vector<std::int64_t> lengths;
    for (RecoveryPiece& piece : given) {
        if (!isPlainName(piece.name)) {
            problem = RecoveryProblem{"\"" + piece.name +
                                          "\" is not a name of a file in the "
                                          "folder of the recovery files.",
                                      piece.name, 0};
            return;
        }
        const std::size_t headLength =
            static_cast<std::size_t>(std::min<std::int64_t>(piece.length, kRecoveryHeadBytes));
        if (piece.length < 0 || piece.head.size() != headLength) {
            problem = RecoveryProblem{"The first bytes of \"" + folder.display(piece.name) +
                                          "\" were not given.",
                                      piece.name, 0};
            return;
        }
        lengths.push_back(piece.length);
        if (piece.length == 0)
            continue;
        PieceState state;
        state.description.name = piece.name;
        state.description.length = static_cast<std::uint64_t>(piece.length);
        state.description.hash16k = md5Of(piece.head.data(), piece.head.size());
        state.description.id =
            fileId(state.description.hash16k, state.description.length, piece.name);
        state.blocks = static_cast<std::uint32_t>((state.description.length + plan.blockSize - 1) /
                                                  plan.blockSize);
        state.checks.resize(state.blocks);
        pieces.push_back(std::move(state));
    }
    std::uint64_t blocks = 0;
    for (const PieceState& piece : pieces)
        blocks += piece.blocks;
    std::uint64_t inVolumes = 0;
    for (const RecoveryVolume& volume : plan.volumes)
        inVolumes += volume.count;
    if (plan.blockSize == 0 || plan.blockSize % 4 != 0 || plan.blockSize > kMaxBlockSize ||
        blocks != plan.dataBlocks || blocks > kMaxBlocks || plan.recoveryBlocks == 0 ||
        plan.recoveryBlocks >= Gf16::kMaxExponent || inVolumes != plan.recoveryBlocks) {
        problem = RecoveryProblem{"The recovery plan was made for other pieces.", {}, 0};
        return;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (pieces[i].description.name == pieces[j].description.name ||
                pieces[i].description.id == pieces[j].description.id) {
                problem = RecoveryProblem{"\"" + folder.display(pieces[i].description.name) +
                                              "\" is given twice.",
                                          pieces[i].description.name, 0};
                return;
            }
        }
    }

    // The main packet lists the files by id, smallest first; the blocks get
    // their constants in that order.
    setOrder.resize(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        setOrder[i] = i;
    std::sort(setOrder.begin(), setOrder.end(), [&](std::size_t a, std::size_t b) {
        return pieces[a].description.id < pieces[b].description.id;
    });
    std::vector<Md5Digest> ids;
    tagPiece.resize(plan.dataBlocks);
    std::uint32_t constant = 0;
    for (std::size_t i : setOrder) {
        ids.push_back(pieces[i].description.id);
        pieces[i].firstConstant = constant;
        for (std::uint32_t b = 0; b < pieces[i].blocks; ++b)
            tagPiece[constant + b] = static_cast<std::uint32_t>(i);
        constant += pieces[i].blocks;
    }
    const std::string main = mainBody(plan.blockSize, ids);
    setId = md5Of(main.data(), main.size());

    // The files to write: refused when one is there already (unless
    // replacing) or is one of the pieces.
    std::vector<std::string> names{indexName};
    for (std::size_t v = 0; v < plan.volumes.size(); ++v)
        names.push_back(plan.volumeName(indexName, v));
    for (const std::string& name : names) {
        for (const RecoveryPiece& piece : given) {
            if (piece.name == name) {
                problem = RecoveryProblem{"\"" + folder.display(name) +
                                              "\" is one of the pieces; the recovery files need "
                                              "another name.",
                                          name, 0};
                return;
            }
        }
        struct stat info {};
        if (folder.status(name, info) == 0 && (!replace || S_ISDIR(info.st_mode))) {
            problem =
                RecoveryProblem{"\"" + folder.display(name) + "\" already exists.", name, EEXIST};
            return;
        }
    }
    if (auto created = TempFile::create(folder, indexName, index)) {
        problem = std::move(created);
        return;
    }
    volumes.resize(plan.volumes.size());
    for (std::size_t v = 0; v < plan.volumes.size(); ++v) {
        if (auto created = TempFile::create(folder, names[v + 1], volumes[v])) {
            problem = std::move(created);
            return;
        }
    }

    pool = std::make_unique<WorkerPool>(control.threads);
    groupSize = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
        static_cast<std::uint64_t>(std::max<std::int64_t>(control.memory, 0)) /
            paddedSize(plan.blockSize),
        1, plan.recoveryBlocks));
    accumulator = std::make_unique<BlockAccumulator>(
        *kernel, *pool, plan.blockSize,
        BlockAccumulator::batchBlocksFor(plan.blockSize, kBatchBytes));
    std::int64_t bytes = 0;
    for (const PieceState& piece : pieces)
        bytes += static_cast<std::int64_t>(piece.description.length);
    total = bytes * plan.passes(control.memory) +
            static_cast<std::int64_t>(plan.recoveryBlocks * plan.blockSize);
    beginPass(0, true);
}

void RecoveryEncoder::State::beginPass(std::uint32_t firstExponent, bool streaming) {
    const std::uint32_t outputs = std::min(groupSize, plan.recoveryBlocks - firstExponent);
    const Gf16* gf = &gf16();
    auto factor = [gf, firstExponent](std::uint32_t tag, std::size_t output) {
        return gf->inputFactor(tag, firstExponent + static_cast<std::uint32_t>(output));
    };
    if (streaming)
        accumulator->begin(outputs, factor, [this](auto batch) { return checksumTasks(batch); });
    else
        accumulator->begin(outputs, factor, [this](auto batch) { return compareTasks(batch); });
}

// The checksums of a batch's blocks: the CRC-32 of each block, then the MD5s
// of each group of up to kMd5Lanes blocks side by side where the processor
// can, else of each block alone. (The pieces' own MD5s are taken in feed(),
// on the caller's thread.)
std::vector<WorkerPool::Stage>
RecoveryEncoder::State::checksumTasks(std::vector<BlockAccumulator::Input> batch) {
    const bool lanes = canHashLanes() && batch.size() > 1;
    const std::size_t groups = lanes ? (batch.size() + kMd5Lanes - 1) / kMd5Lanes : batch.size();
    const std::size_t count = batch.size() + groups;
    auto task = [this, lanes, batch = std::move(batch)](std::size_t index, unsigned) {
        auto check = [&](std::size_t k) -> BlockCheck& {
            PieceState& piece = pieces[tagPiece[batch[k].tag]];
            return piece.checks[batch[k].tag - piece.firstConstant];
        };
        if (index < batch.size()) {
            check(index).crc = crc32Of(batch[index].bytes, plan.blockSize);
            return;
        }
        if (!lanes) {
            const std::size_t k = index - batch.size();
            check(k).md5 = md5Of(batch[k].bytes, plan.blockSize);
            return;
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
    };
    return {WorkerPool::Stage{count, std::move(task)}};
}

// The blocks read back for a later pass, compared by CRC-32 with what streamed by.
std::vector<WorkerPool::Stage>
RecoveryEncoder::State::compareTasks(std::vector<BlockAccumulator::Input> batch) {
    const std::size_t count = batch.size();
    auto task = [this, batch = std::move(batch)](std::size_t index, unsigned) {
        const BlockAccumulator::Input& input = batch[index];
        const PieceState& piece = pieces[tagPiece[input.tag]];
        if (crc32Of(input.bytes, plan.blockSize) !=
            piece.checks[input.tag - piece.firstConstant].crc) {
            std::uint32_t none = UINT32_MAX;
            changedPiece.compare_exchange_strong(none, tagPiece[input.tag]);
        }
    };
    return {WorkerPool::Stage{count, std::move(task)}};
}

void RecoveryEncoder::State::report(bool force) {
    if (control.progress && (force || done - reported >= kProgressStep)) {
        reported = done;
        control.progress(done, total);
    }
}

std::optional<RecoveryProblem>
RecoveryEncoder::State::writeRecoveryPackets(std::uint32_t firstExponent) {
    const std::uint64_t packetSize = kHeaderSize + 4 + plan.blockSize;
    pool->run(accumulator->outputs(), [&](std::size_t j, unsigned) {
        const std::uint32_t exponent = firstExponent + static_cast<std::uint32_t>(j);
        std::size_t v = 0;
        while (exponent >= plan.volumes[v].firstExponent + plan.volumes[v].count)
            ++v;
        const std::int64_t at =
            static_cast<std::int64_t>((exponent - plan.volumes[v].firstExponent) * packetSize);
        const std::uint8_t* data = accumulator->output(j);
        Md5 md5;
        const std::string prefix = recoveryHashPrefix(setId, exponent);
        md5.update(prefix.data(), prefix.size());
        md5.update(data, plan.blockSize);
        const std::string start =
            recoveryPacketStart(setId, exponent, plan.blockSize, md5.finish());
        auto failed = volumes[v].writeAt(at, start.data(), start.size());
        if (!failed)
            failed = volumes[v].writeAt(at + static_cast<std::int64_t>(start.size()), data,
                                        plan.blockSize);
        if (failed) {
            std::lock_guard lock(writeMutex);
            if (!writeProblem)
                writeProblem = std::move(failed);
        }
    });
    done += static_cast<std::int64_t>(accumulator->outputs() * plan.blockSize);
    report();
    return writeProblem;
}

std::optional<RecoveryProblem> RecoveryEncoder::State::readBackPass(std::uint32_t firstExponent) {
    beginPass(firstExponent, false);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const PieceState& piece = pieces[i];
        const std::string shown = folder.display(piece.description.name);
        Fd fd;
        if (const int error = folder.openForReading(piece.description.name, fd))
            return openProblem(error, shown);
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        for (std::uint32_t b = 0; b < piece.blocks; ++b) {
            if (stopRequested(control))
                return stoppedProblem();
            const std::uint64_t at = static_cast<std::uint64_t>(b) * plan.blockSize;
            const std::size_t wanted = static_cast<std::size_t>(
                std::min<std::uint64_t>(plan.blockSize, piece.description.length - at));
            const std::int64_t got =
                readAt(fd.get(), static_cast<std::int64_t>(at), accumulator->inputBuffer(), wanted);
            if (got < 0)
                return systemProblem(errno, "read", shown);
            if (got != static_cast<std::int64_t>(wanted))
                return RecoveryProblem{"\"" + shown +
                                           "\" became shorter while its recovery "
                                           "blocks were computed.",
                                       shown, 0};
            accumulator->add(piece.firstConstant + b, wanted);
            done += static_cast<std::int64_t>(wanted);
            report();
        }
    }
    accumulator->end();
    if (const std::uint32_t changed = changedPiece.load(); changed != UINT32_MAX) {
        const std::string shown = folder.display(pieces[changed].description.name);
        return RecoveryProblem{"\"" + shown +
                                   "\" changed while its recovery blocks were "
                                   "computed.",
                               shown, 0};
    }
    return writeRecoveryPackets(firstExponent);
}

std::optional<RecoveryProblem> RecoveryEncoder::State::writeAll() {
    std::string critical = makePacket(setId, PacketKind::Main, mainBody(plan.blockSize, [&] {
                                          std::vector<Md5Digest> ids;
                                          for (std::size_t i : setOrder)
                                              ids.push_back(pieces[i].description.id);
                                          return ids;
                                      }()));
    for (std::size_t i : setOrder) {
        critical += makePacket(setId, PacketKind::FileDescription,
                               fileDescriptionBody(pieces[i].description));
        critical += makePacket(setId, PacketKind::BlockChecksums,
                               blockChecksumsBody(pieces[i].description.id, pieces[i].checks));
    }
    critical += makePacket(setId, PacketKind::Creator, creatorBody(kCreatorText));
    if (auto failed = index.writeAt(0, critical.data(), critical.size()))
        return failed;
    const std::uint64_t packetSize = kHeaderSize + 4 + plan.blockSize;
    for (std::size_t v = 0; v < volumes.size(); ++v) {
        if (auto failed =
                volumes[v].writeAt(static_cast<std::int64_t>(plan.volumes[v].count * packetSize),
                                   critical.data(), critical.size()))
            return failed;
    }
    // The volumes first: an index is there only when its set is whole.
    for (TempFile& volume : volumes) {
        const std::string name = volume.finalName();
        if (auto failed = volume.commit(replace))
            return failed;
        written.push_back(name);
    }
    if (auto failed = index.commit(replace))
        return failed;
    written.insert(written.begin(), indexName);
    return std::nullopt;
}

RecoveryEncoder::RecoveryEncoder(const std::string& indexPath, std::vector<RecoveryPiece> pieces,
                                 const RecoveryPlan& plan, RecoveryControl control, bool replace)
    : state_(std::make_unique<State>()) {
    state_->control = std::move(control);
    state_->plan = plan;
    state_->replace = replace;
    try {
        state_->start(indexPath, std::move(pieces));
    } catch (const std::bad_alloc&) {
        state_->problem = RecoveryProblem{"Not enough memory for the recovery blocks.", {}, ENOMEM};
    }
}

RecoveryEncoder::~RecoveryEncoder() {
    // The accumulator waits for the pool's threads; the temporary files go
    // with the state.
    state_->accumulator.reset();
}

const std::optional<RecoveryProblem>& RecoveryEncoder::problem() const {
    return state_->problem;
}

const std::vector<std::string>& RecoveryEncoder::written() const {
    return state_->written;
}

bool RecoveryEncoder::feed(const void* bytes, std::size_t length) {
    State& s = *state_;
    if (s.problem)
        return false;
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    try {
        while (length > 0) {
            if (s.current == s.pieces.size()) {
                s.problem = RecoveryProblem{"More bytes were given than the pieces hold.", {}, 0};
                return false;
            }
            PieceState& piece = s.pieces[s.current];
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(
                {length, piece.description.length - s.offset, s.plan.blockSize - s.fill}));
            std::memcpy(s.accumulator->inputBuffer() + s.fill, at, take);
            piece.whole.update(at, take);
            if (s.offset < k16k)
                piece.first16k.update(at, std::min<std::uint64_t>(take, k16k - s.offset));
            s.fill += take;
            s.offset += take;
            at += take;
            length -= take;
            if (s.fill < s.plan.blockSize && s.offset < piece.description.length)
                continue;
            s.accumulator->add(piece.firstConstant + s.block, s.fill);
            s.done += static_cast<std::int64_t>(s.fill);
            ++s.block;
            s.fill = 0;
            if (s.offset == piece.description.length) {
                piece.description.hash = piece.whole.finish();
                ++s.current;
                s.offset = 0;
                s.block = 0;
            }
            if (stopRequested(s.control)) {
                s.problem = stoppedProblem();
                return false;
            }
            s.report();
        }
    } catch (const std::bad_alloc&) {
        s.problem = RecoveryProblem{"Not enough memory for the recovery blocks.", {}, ENOMEM};
        return false;
    }
    return true;
}

std::optional<RecoveryProblem> RecoveryEncoder::finish() {
    State& s = *state_;
    if (s.problem)
        return s.problem;
    auto fail = [&s](RecoveryProblem problem) {
        s.problem = std::move(problem);
        s.index.discard();
        for (TempFile& volume : s.volumes)
            volume.discard();
        return s.problem;
    };
    try {
        if (s.current < s.pieces.size()) {
            const std::string shown = s.folder.display(s.pieces[s.current].description.name);
            return fail(RecoveryProblem{
                "The bytes of \"" + shown + "\" ended " +
                    std::to_string(s.pieces[s.current].description.length - s.offset) +
                    " bytes early.",
                shown, 0});
        }
        s.accumulator->end();
        for (PieceState& piece : s.pieces) {
            // The id was made from the head given at the start.
            if (piece.description.hash16k != piece.first16k.finish()) {
                const std::string shown = s.folder.display(piece.description.name);
                return fail(RecoveryProblem{"The first bytes of \"" + shown +
                                                "\" given at the start differ from those streamed.",
                                            shown, 0});
            }
        }
        if (auto failed = s.writeRecoveryPackets(0))
            return fail(*failed);
        for (std::uint32_t first = s.groupSize; first < s.plan.recoveryBlocks;
             first += s.groupSize) {
            if (auto failed = s.readBackPass(first))
                return fail(*failed);
        }
        if (auto failed = s.writeAll())
            return fail(*failed);
    } catch (const std::bad_alloc&) {
        return fail(RecoveryProblem{"Not enough memory for the recovery blocks.", {}, ENOMEM});
    }
    s.report(true);
    return std::nullopt;
}

std::optional<RecoveryProblem> createRecovery(const std::string& indexPath,
                                              const std::vector<std::string>& piecePaths,
                                              const RecoveryPlan& plan,
                                              const RecoveryControl& control, bool replace) {
    Folder folder;
    std::string indexName;
    if (auto opened = Folder::open(indexPath, folder, indexName))
        return opened;
    struct stat folderInfo {};
    if (::fstat(folder.fd(), &folderInfo) != 0)
        return systemProblem(errno, "read", folder.path().empty() ? "." : folder.path());

    // The pieces, each a file of the index's folder: their lengths and first
    // bytes now, the rest when the encoder takes them (a piece open at a time).
    struct Identity {
        dev_t device;
        ino_t inode;
    };
    std::vector<RecoveryPiece> pieces;
    std::vector<Identity> identities;
    for (const std::string& path : piecePaths) {
        Folder pieceFolder;
        std::string name;
        if (auto opened = Folder::open(path, pieceFolder, name))
            return opened;
        struct stat info {};
        if (::fstat(pieceFolder.fd(), &info) != 0)
            return systemProblem(errno, "read", path);
        if (info.st_dev != folderInfo.st_dev || info.st_ino != folderInfo.st_ino)
            return RecoveryProblem{"\"" + path + "\" is not in the folder of \"" + indexPath +
                                       "\"; the recovery files must lie beside the pieces.",
                                   path, 0};
        Fd fd;
        if (const int error = folder.openForReading(name, fd))
            return openProblem(error, path);
        if (::fstat(fd.get(), &info) != 0)
            return systemProblem(errno, "read", path);
        RecoveryPiece piece{name, info.st_size, {}};
        piece.head.resize(
            static_cast<std::size_t>(std::min<std::int64_t>(info.st_size, kRecoveryHeadBytes)));
        if (readAt(fd.get(), 0, piece.head.data(), piece.head.size()) !=
            static_cast<std::int64_t>(piece.head.size()))
            return systemProblem(errno ? errno : EIO, "read", path);
        pieces.push_back(std::move(piece));
        identities.push_back(Identity{info.st_dev, info.st_ino});
    }

    RecoveryEncoder encoder(indexPath, pieces, plan, control, replace);
    std::vector<char> buffer(kReadChunk);
    for (std::size_t i = 0; i < pieces.size() && !encoder.problem(); ++i) {
        if (pieces[i].length == 0)
            continue;
        Fd fd;
        struct stat info {};
        if (const int error = folder.openForReading(pieces[i].name, fd))
            return openProblem(error, piecePaths[i]);
        if (::fstat(fd.get(), &info) != 0 || info.st_dev != identities[i].device ||
            info.st_ino != identities[i].inode)
            return RecoveryProblem{"\"" + piecePaths[i] + "\" was replaced while it was read.",
                                   piecePaths[i], 0};
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        for (std::int64_t at = 0; at < pieces[i].length;) {
            const std::size_t wanted =
                static_cast<std::size_t>(std::min<std::int64_t>(kReadChunk, pieces[i].length - at));
            const std::int64_t got = readAt(fd.get(), at, buffer.data(), wanted);
            if (got < 0)
                return systemProblem(errno, "read", piecePaths[i]);
            if (got != static_cast<std::int64_t>(wanted))
                return RecoveryProblem{"\"" + piecePaths[i] +
                                           "\" became shorter while it was read.",
                                       piecePaths[i], 0};
            if (!encoder.feed(buffer.data(), wanted))
                break;
            at += got;
        }
    }
    return encoder.finish();
}

} // namespace shardix
