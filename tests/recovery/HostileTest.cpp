#include "engines/recovery/Checksum.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "engines/recovery/RecoverySet.h"
#include "tests/recovery/RecoverySupport.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

// ---- Hostile indexes: refused before any file is read or written.

// A small set described by hand, then serialized with right hashes unless a
// case breaks them on purpose.
struct HandMadeSet {
    std::uint64_t blockSize = 4096;
    std::vector<par2::FileDescription> files;
    std::vector<std::vector<par2::BlockCheck>> checks;
    std::vector<Md5Digest> mainIds; // empty: the files' ids

    void add(const std::string& name, const std::string& bytes) {
        par2::FileDescription file;
        file.name = name;
        file.length = bytes.size();
        file.hash = md5Of(bytes.data(), bytes.size());
        file.hash16k = md5Of(bytes.data(), std::min<std::size_t>(bytes.size(), par2::k16k));
        file.id = par2::fileId(file.hash16k, file.length, name);
        std::vector<par2::BlockCheck> blocks;
        for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
            std::string block = bytes.substr(at, blockSize);
            block.resize(blockSize, '\0');
            blocks.push_back(
                {md5Of(block.data(), block.size()), crc32Update(0, block.data(), block.size())});
        }
        files.push_back(file);
        checks.push_back(blocks);
    }
    std::string index(Md5Digest* setIdOut = nullptr) const {
        std::vector<Md5Digest> ids = mainIds;
        if (ids.empty())
            for (const auto& file : files)
                ids.push_back(file.id);
        const std::string main = par2::mainBody(blockSize, ids);
        const Md5Digest setId = md5Of(main.data(), main.size());
        if (setIdOut)
            *setIdOut = setId;
        std::string bytes = par2::makePacket(setId, par2::PacketKind::Main, main);
        for (std::size_t f = 0; f < files.size(); ++f) {
            bytes += par2::makePacket(setId, par2::PacketKind::FileDescription,
                                      par2::fileDescriptionBody(files[f]));
            bytes += par2::makePacket(setId, par2::PacketKind::BlockChecksums,
                                      par2::blockChecksumsBody(files[f].id, checks[f]));
        }
        return bytes;
    }
};

struct Hostile {
    std::string name;
    std::function<std::string(HandMadeSet&)> make; // changes the set, returns the index's bytes
    std::string refusal;
    friend void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }
};

class HostileIndexes : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileIndexes, AreRefusedAndNothingIsTouched) {
    TempDir dir;
    fs::create_directory(dir / "set");
    const std::string folder = dir / "set";
    HandMadeSet set;
    for (const char* name : {"alpha.bin", "beta.bin"}) {
        writeFile(folder + "/" + name, randomBytes(10000, name[0]));
        set.add(name, readFile(folder + "/" + name));
    }
    fs::remove(folder + "/beta.bin"); // a repair would rebuild it, if it went so far
    writeFile(folder + "/set.par2", GetParam().make(set));
    writeFile(dir / "alpha.bin", "outside the folder");
    const Bytes inside = snapshot(folder), outside = snapshot(dir.folder());

    // Refused before any file is checked: a repair tells no verification.
    bool verified = false;
    RecoveryControl control;
    control.verified = [&verified](const RecoveryReport&) { verified = true; };
    for (bool repair : {false, true}) {
        const Result<RecoveryReport> report = repair
                                                  ? repairRecovery(folder + "/set.par2", control)
                                                  : verifyRecovery(folder + "/set.par2", control);
        EXPECT_TRUE(failedWith(report, ErrorKind::Refused, GetParam().refusal));
        // Told whole: no byte of a name cuts the message short.
        if (!report.ok()) {
            EXPECT_EQ(report.error().message.find('\0'), std::string::npos);
        }
        EXPECT_FALSE(verified);
        EXPECT_EQ(snapshot(folder), inside);
        EXPECT_EQ(snapshot(dir.folder()), outside);
    }
    // The bytes alone, as the fuzzer gives them, meet the same refusal.
    EXPECT_TRUE(
        failedWith(par2::assembleSetFromBytes(readFile(folder + "/set.par2"), {}, "set.par2"),
                   ErrorKind::Refused, GetParam().refusal));
}

std::uint64_t setU64(std::string& bytes, std::size_t at, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileIndexes,
    ::testing::Values(Hostile{"CutShort", [](HandMadeSet& s) { return s.index().substr(0, 100); },
                              "cut short"},
                      Hostile{"WrongPacketLength",
                              [](HandMadeSet& s) {
                                  std::string bytes = s.index();
                                  setU64(bytes, 8, 1u << 30); // the main packet's
                                  return bytes;
                              },
                              "main packet"},
                      Hostile{"WrongHash",
                              [](HandMadeSet& s) {
                                  std::string bytes = s.index();
                                  bytes[64] ^= 1; // the main packet's block size
                                  return bytes;
                              },
                              "main packet"},
                      Hostile{"AbsurdBlockSize",
                              [](HandMadeSet& s) {
                                  s.blockSize = 1ull << 40;
                                  return s.index();
                              },
                              "larger than"},
                      Hostile{"ZeroBlockSize",
                              [](HandMadeSet& s) {
                                  s.blockSize = 0;
                                  return s.index();
                              },
                              "positive multiple of 4"},
                      Hostile{"AbsurdFileLength",
                              [](HandMadeSet& s) {
                                  s.files[0].length = 1ull << 62;
                                  return s.index();
                              },
                              "impossible length"},
                      Hostile{"AbsurdBlockCount",
                              [](HandMadeSet& s) {
                                  s.blockSize = 4;
                                  s.files[0].length = s.files[1].length = 80000;
                                  return s.index();
                              },
                              "more than 32768 blocks"},
                      Hostile{"AbsurdFileCount",
                              [](HandMadeSet& s) {
                                  std::string bytes = s.index();
                                  const std::string main = bytes.substr(64, 12 + 32);
                                  std::string changed = main;
                                  changed[8] = static_cast<char>(0xFF); // 255 files in room for 2
                                  Md5Digest id{};
                                  std::memcpy(id.data(), bytes.data() + 32, 16);
                                  return par2::makePacket(id, par2::PacketKind::Main, changed) +
                                         bytes.substr(64 + main.size());
                              },
                              "lists 255 files in room for 2"},
                      Hostile{"NameWithAnEmptyPart",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "sub//beta.bin";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"NameUpOneFolderInside",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "sub/../../beta.bin";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"NameUpOneFolder",
                              [](HandMadeSet& s) {
                                  s.files[0].name = "../alpha.bin";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"NameWithNul",
                              [](HandMadeSet& s) {
                                  s.files[1].name = std::string("beta\0.bin", 9);
                                  return s.index();
                              },
                              "which is not a plain name of a file in its folder"},
                      Hostile{"DotDot",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "..";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"AbsoluteName",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "/tmp/beta.bin";
                                  return s.index();
                              },
                              "not a plain name"},
                      Hostile{"SameIdListedTwice",
                              [](HandMadeSet& s) {
                                  s.mainIds = {s.files[0].id, s.files[0].id};
                                  return s.index();
                              },
                              "twice"},
                      Hostile{"SameNameListedTwice",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "alpha.bin";
                                  return s.index();
                              },
                              "lists \"alpha.bin\" twice"},
                      Hostile{"ItsOwnIndexListed",
                              [](HandMadeSet& s) {
                                  s.files[1].name = "set.par2";
                                  return s.index();
                              },
                              "its own recovery file"},
                      Hostile{"ChecksumsOfAnotherLength",
                              [](HandMadeSet& s) {
                                  s.checks[1].pop_back();
                                  return s.index();
                              },
                              "do not fit its length"},
                      Hostile{"PacketsOfTwoSets",
                              [](HandMadeSet& s) {
                                  const std::string first = s.index();
                                  s.blockSize = 2048;
                                  return first + s.index();
                              },
                              "2 different recovery sets"},
                      Hostile{"NotPar2", [](HandMadeSet&) { return std::string(5000, 'x'); },
                              "no intact PAR 2.0 packet"}),
    [](const auto& info) { return info.param.name; });

TEST(HostileFolders, ALinkInPlaceOfAPieceIsNotFollowed) {
    TempDir dir;
    fs::create_directory(dir / "set");
    const std::string folder = dir / "set", piece = folder + "/piece.00";
    const std::string bytes = randomBytes(50000, 4);
    writeFile(piece, bytes);
    const RecoveryPlan plan = planRecovery({50000}, 100).value();
    ASSERT_TRUE(succeeded(createRecovery(folder + "/set.par2", {piece}, plan)));
    // The piece moved out of the folder, a link to it in its place.
    fs::rename(piece, dir / "outside");
    fs::create_symlink(dir / "outside", piece);

    const Result<RecoveryReport> verified = verifyRecovery(folder + "/set.par2");
    ASSERT_TRUE(succeeded(verified));
    ASSERT_EQ(verified->files.size(), 1u);
    EXPECT_EQ(verified->files[0].state, RecoveryFileState::Damaged);
    EXPECT_EQ(verified->files[0].detail, "a symbolic link, not followed");

    ASSERT_TRUE(succeeded(repairRecovery(folder + "/set.par2")));
    EXPECT_FALSE(fs::is_symlink(piece));
    EXPECT_EQ(readFile(piece), bytes);
    EXPECT_TRUE(fs::is_symlink(piece + ".1"));
    EXPECT_EQ(readFile(dir / "outside"), bytes);
}

TEST(HostileFolders, AVolumeOfAnotherSetIsLeftOut) {
    // Two sets of the same piece names and block size; the other set's first
    // volume (exponent 0 too) lies beside this set's files, and is read first.
    TempDir mine, theirs;
    std::vector<std::string> myPaths, theirPaths;
    for (std::size_t i = 0; i < 4; ++i) {
        myPaths.push_back(mine / pieceName(i));
        theirPaths.push_back(theirs / pieceName(i));
        writeFile(myPaths.back(), randomBytes(50000, static_cast<unsigned>(i)));
        writeFile(theirPaths.back(), randomBytes(50000, static_cast<unsigned>(i + 100)));
    }
    const RecoveryPlan plan = planRecovery({50000, 50000, 50000, 50000}, 30).value();
    ASSERT_TRUE(succeeded(createRecovery(mine / "set.par2", myPaths, plan)));
    ASSERT_TRUE(succeeded(createRecovery(theirs / "set.par2", theirPaths, plan)));
    fs::copy_file(theirs / plan.volumeName("set.par2", 0), mine / "set.a.par2");
    const std::string lost = readFile(myPaths[2]);
    fs::remove(myPaths[2]);

    const Result<RecoveryReport> report = repairRecovery(mine / "set.par2");
    ASSERT_TRUE(succeeded(report));
    EXPECT_EQ(readFile(myPaths[2]), lost);
    EXPECT_NE(std::find_if(report->notes.begin(), report->notes.end(),
                           [](const std::string& note) {
                               return note.find("set.a.par2\" belongs to another recovery "
                                                "set, left out.") != std::string::npos;
                           }),
              report->notes.end());
}

} // namespace
