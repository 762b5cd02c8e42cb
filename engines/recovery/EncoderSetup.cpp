#include "engines/recovery/EncoderState.h"

#include "engines/recovery/Gf16.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <numeric>
#include <sys/stat.h>

namespace shardix {

using namespace par2;

namespace {

Error refusal(std::string message) {
    return Error::of(ErrorKind::Refused, std::move(message));
}

} // namespace

namespace par2 {

Error stoppedError() {
    return Error::of(ErrorKind::Stopped, "Stopped: no recovery file was written.");
}

} // namespace par2

// Each step's failure is raised here and returned by the guarded() below.
Result<> RecoveryEncoder::State::start(const std::string& indexPath,
                                       const std::vector<RecoveryPiece>& given) {
    return guarded([&]() -> Result<> {
        FileInFolder opened = valueOrRaise(Folder::open(indexPath));
        folder = std::move(opened.folder);
        indexName = std::move(opened.name);
        kernel = makeGfKernel(control.kernel);
        if (!kernel)
            return refusal("This processor cannot run the kernel " +
                           shardix::quoted(control.kernel) + ".");
        valueOrRaise(takePieces(given));
        valueOrRaise(checkPlan());
        valueOrRaise(refuseDuplicates());
        orderSet();
        valueOrRaise(createFiles(given));
        return startWork();
    });
}

// The pieces and their ids, which need their first bytes.
Result<> RecoveryEncoder::State::takePieces(const std::vector<RecoveryPiece>& given) {
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (Result<> fits = checkGiven(given[i]); !fits.ok())
            return fits;
        if (given[i].length > 0) {
            pieces.push_back(pieceState(given[i]));
            pieces.back().given = i;
        }
    }
    return {};
}

Result<> RecoveryEncoder::State::checkGiven(const RecoveryPiece& piece) const {
    if (!isPlainName(piece.name))
        return refusal(shardix::quoted(piece.name) +
                       " is not a name of a file in the folder of the recovery files.");
    const std::size_t headLength =
        static_cast<std::size_t>(std::min<std::int64_t>(piece.length, kRecoveryHeadBytes));
    if (piece.length < 0 || piece.head.size() != headLength)
        return refusal("The first bytes of " + shardix::quoted(folder.display(piece.name)) +
                       " were not given.");
    return {};
}

PieceState RecoveryEncoder::State::pieceState(const RecoveryPiece& piece) const {
    PieceState state;
    FileDescription& description = state.description;
    description.name = piece.name;
    description.length = static_cast<std::uint64_t>(piece.length);
    description.hash16k = md5Of(piece.head.data(), piece.head.size());
    description.id = fileId(description.hash16k, description.length, piece.name);
    // A plan without a block size is refused by checkPlan().
    if (plan.blockSize != 0)
        state.blocks =
            static_cast<std::uint32_t>((description.length + plan.blockSize - 1) / plan.blockSize);
    state.checks.resize(state.blocks);
    return state;
}

Result<> RecoveryEncoder::State::checkPlan() const {
    std::uint64_t blocks = 0;
    for (const PieceState& piece : pieces)
        blocks += piece.blocks;
    std::uint64_t inVolumes = 0;
    for (const RecoveryVolume& volume : plan.volumes)
        inVolumes += volume.count;
    const bool blockSizeFits =
        plan.blockSize != 0 && plan.blockSize % 4 == 0 && plan.blockSize <= kMaxBlockSize;
    const bool blocksFit = blocks == plan.dataBlocks && blocks <= kMaxBlocks;
    const bool recoveryFits = plan.recoveryBlocks != 0 &&
                              plan.recoveryBlocks < Gf16::kMaxExponent &&
                              inVolumes == plan.recoveryBlocks;
    if (!blockSizeFits || !blocksFit || !recoveryFits)
        return refusal("The recovery plan was made for other pieces.");
    return {};
}

Result<> RecoveryEncoder::State::refuseDuplicates() const {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const FileDescription& piece = pieces[i].description;
        for (std::size_t j = 0; j < i; ++j) {
            const FileDescription& earlier = pieces[j].description;
            if (piece.name == earlier.name || piece.id == earlier.id)
                return refusal(shardix::quoted(folder.display(piece.name)) + " is given twice.");
        }
    }
    return {};
}

// The main packet lists the files by id, smallest first; the blocks get
// their constants in that order.
void RecoveryEncoder::State::orderSet() {
    setOrder.resize(pieces.size());
    std::iota(setOrder.begin(), setOrder.end(), std::size_t{0});
    std::sort(setOrder.begin(), setOrder.end(), [&](std::size_t a, std::size_t b) {
        return pieces[a].description.id < pieces[b].description.id;
    });
    tagPiece.resize(plan.dataBlocks);
    std::uint32_t constant = 0;
    for (std::size_t i : setOrder) {
        pieces[i].firstConstant = constant;
        for (std::uint32_t b = 0; b < pieces[i].blocks; ++b)
            tagPiece[constant + b] = static_cast<std::uint32_t>(i);
        constant += pieces[i].blocks;
    }
    const std::string main = mainBody(plan.blockSize, setIds());
    setId = md5Of(main.data(), main.size());
}

std::vector<Md5Digest> RecoveryEncoder::State::setIds() const {
    std::vector<Md5Digest> ids;
    for (std::size_t i : setOrder)
        ids.push_back(pieces[i].description.id);
    return ids;
}

// The files to write, under temporary names.
Result<> RecoveryEncoder::State::createFiles(const std::vector<RecoveryPiece>& given) {
    std::vector<std::string> names{indexName};
    for (std::size_t v = 0; v < plan.volumes.size(); ++v)
        names.push_back(plan.volumeName(indexName, v));
    for (const std::string& name : names) {
        if (Result<> free = checkOutputName(name, given); !free.ok())
            return free;
    }
    for (std::size_t n = 0; n < names.size(); ++n) {
        Result<TempFile> made = TempFile::create(folder, names[n]);
        if (!made.ok())
            return made.error();
        if (n == 0)
            index = std::move(made).value();
        else
            volumes.push_back(std::move(made).value());
    }
    return {};
}

// A name to write is refused when it is one of the pieces or is there
// already (unless replacing a file).
Result<> RecoveryEncoder::State::checkOutputName(const std::string& name,
                                                 const std::vector<RecoveryPiece>& given) const {
    for (const RecoveryPiece& piece : given) {
        if (piece.name == name)
            return Error::refusedName(shardix::quoted(folder.display(name)) +
                                      " is one of the pieces; the recovery files need "
                                      "another name.");
    }
    const Result<struct stat> info = folder.status(name);
    if (info.ok() && (!replace || S_ISDIR(info->st_mode)))
        return Error::refusedName(shardix::quoted(folder.display(name)) + " already exists.");
    return {};
}

Result<> RecoveryEncoder::State::startWork() {
    pool = std::make_unique<WorkerPool>(control.threads);
    const EncodingShape shape = plan.encodingShape(control.memory, control.inputInMemory);
    groupSize = shape.perPass;
    accumulator = std::make_unique<BlockAccumulator>(*kernel, *pool, plan.blockSize,
                                                     shape.batchBlocks, shape.overlap);
    std::int64_t bytes = 0;
    for (const PieceState& piece : pieces)
        bytes += static_cast<std::int64_t>(piece.description.length);
    total = bytes * shape.passes + static_cast<std::int64_t>(plan.recoveryBlocks * plan.blockSize);
    return beginPass(0, true);
}

void RecoveryEncoder::State::hashWholePieces(StreamRead read) {
    std::vector<std::uint64_t> lengths;
    std::vector<std::size_t> given;
    for (const PieceState& piece : pieces) {
        lengths.push_back(piece.description.length);
        given.push_back(piece.given);
    }
    wholeHasher = std::thread([this, lengths = std::move(lengths), given = std::move(given),
                               read = std::move(read)] {
        wholeHashes = md5OfStreams(
            lengths,
            [&](std::size_t stream, std::uint64_t offset, std::uint8_t* into, std::size_t length) {
                return read(given[stream], offset, into, length);
            },
            [this] {
                return stopWholeHasher.load(std::memory_order_relaxed) || control.stopRequested();
            });
    });
}

// Waits for the pieces' MD5s taken by reading them again.
Result<> RecoveryEncoder::State::takeWholeHashes() {
    if (!wholeHasher.joinable())
        return {};
    wholeHasher.join();
    if (!wholeHashes.ok())
        return wholeHashes.error().stopped() ? stoppedError() : wholeHashes.error();
    for (std::size_t i = 0; i < pieces.size(); ++i)
        pieces[i].description.hash = (*wholeHashes)[i];
    return {};
}

} // namespace shardix
