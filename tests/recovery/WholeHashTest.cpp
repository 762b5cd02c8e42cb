#include "engines/checksums/Md5Streams.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "tests/recovery/RecoverySupport.h"

#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// The pieces read again from memory, for the MD5s taken side by side.
StreamRead readerOf(const std::vector<std::string>& streams) {
    return [&streams](std::size_t stream, std::uint64_t offset, std::uint8_t* into,
                      std::size_t length) -> Result<> {
        if (offset + length > streams[stream].size())
            return Error::of(ErrorKind::InputPastEnd, "read past the end");
        std::copy_n(streams[stream].data() + offset, length, into);
        return {};
    };
}

// The recovery files of `pieces` written by an encoder fed once, the pieces'
// MD5s read again through `reread` when it is set, the input blocks in one
// batch at a time when `inMemory`, else in two that overlap.
Result<Bytes> encode(const std::vector<std::string>& pieces, const StreamRead& reread,
                     bool inMemory = false, std::int64_t memory = kRecoveryMemory) {
    TempDir dir;
    std::vector<RecoveryPiece> given;
    std::vector<std::int64_t> lengths;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        writeFile(dir / pieceName(i), pieces[i]);
        given.push_back({pieceName(i), static_cast<std::int64_t>(pieces[i].size()),
                         pieces[i].substr(0, kRecoveryHeadBytes)});
        lengths.push_back(static_cast<std::int64_t>(pieces[i].size()));
    }
    RecoveryControl control;
    control.inputInMemory = inMemory;
    control.memory = memory;
    RecoveryEncoder encoder(dir / "set.par2", given, planRecovery(lengths, 10).value(), control);
    if (reread)
        encoder.rereadPiecesWith(reread);
    for (const std::string& piece : pieces) {
        if (Result<> fed = encoder.feed(piece.data(), piece.size()); !fed.ok())
            return fed.error();
    }
    if (Result<> finished = encoder.finish(); !finished.ok())
        return finished.error();
    return snapshot(dir.folder());
}

TEST(RecoveryEncoder, PiecesHashedAgainSideBySideGiveTheSameFiles) {
    if (!canHashLanes())
        GTEST_SKIP() << "this processor cannot compute MD5s side by side";
    // An empty piece among them: it is not one of the streams read again.
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i < 7; ++i)
        pieces.push_back(i == 3 ? std::string() : randomBytes(200000 + 4099 * i, 40 + i));
    const Result<Bytes> streamed = encode(pieces, nullptr);
    ASSERT_TRUE(succeeded(streamed));
    const Result<Bytes> reread = encode(pieces, readerOf(pieces));
    ASSERT_TRUE(succeeded(reread));
    EXPECT_EQ(*reread, *streamed);
}

TEST(RecoveryEncoder, OneBatchAtATimeGivesTheSameFilesAsTwoThatOverlap) {
    // Enough blocks for many batches, the last one short.
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i < 5; ++i)
        pieces.push_back(randomBytes(700000 + 8191 * i, 60 + i));
    const Result<Bytes> overlapping = encode(pieces, nullptr, false);
    ASSERT_TRUE(succeeded(overlapping));
    const Result<Bytes> oneAtATime = encode(pieces, nullptr, true);
    ASSERT_TRUE(succeeded(oneAtATime));
    EXPECT_EQ(*oneAtATime, *overlapping);
    // Several passes, the later ones reading the pieces back one batch at a time.
    const Result<Bytes> passes = encode(pieces, nullptr, true, 40000);
    ASSERT_TRUE(succeeded(passes));
    EXPECT_EQ(*passes, *overlapping);
}

TEST(RecoveryEncoder, APieceThatCannotBeReadAgainFailsTheRunAndLeavesNoFile) {
    if (!canHashLanes())
        GTEST_SKIP() << "this processor cannot compute MD5s side by side";
    const std::vector<std::string> pieces(6, randomBytes(300000, 12));
    const StreamRead failing = [](std::size_t piece, std::uint64_t offset, std::uint8_t*,
                                  std::size_t) -> Result<> {
        if (piece == 4 && offset > 0)
            return Error::of(ErrorKind::DeviceIo, "Cannot read piece 4.");
        return {};
    };
    EXPECT_TRUE(failedWith(encode(pieces, failing), ErrorKind::DeviceIo, "piece 4"));
}

} // namespace
