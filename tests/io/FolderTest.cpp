// A folder held open, the files written beside their names in it, and reads
// and writes at an offset.
#include "engines/io/Folder.h"
#include "engines/io/PositionedIo.h"
#include "engines/io/TempFile.h"
#include "errors/Quoted.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace shardix {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

FileInFolder opened(const std::string& path) {
    Result<FileInFolder> found = Folder::open(path);
    EXPECT_TRUE(found.ok()) << found.error().message;
    return std::move(found).value();
}

// Only a regular file is opened: a pipe without a writer neither blocks nor
// opens, and a link, also one on the way to a folder outside, is not
// followed. Each is told as what it is.
TEST(Folder, OpensOnlyRegularFilesWithinItsTree) {
    TempDir dir, outside;
    std::ofstream(dir / "file") << "bytes";
    std::ofstream(outside / "secret") << "secret";
    fs::create_directory(dir / "sub");
    fs::create_symlink(outside / "secret", dir / "link");
    fs::create_directory_symlink(outside.folder(), dir / "sub/out");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const FileInFolder in = opened(dir / "file");
    const Folder& folder = in.folder;

    Result<FileHandle> file = folder.openForReading(in.name);
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file->path(), dir / "file");
    const struct {
        const char* name;
        Unreadable why;
        const char* cause;
    } refused[] = {{"pipe", Unreadable::NotRegular, "it is not a regular file"},
                   {"link", Unreadable::Link, "it is a symbolic link"},
                   {"sub/out/secret", Unreadable::Link, "it is a symbolic link"},
                   {"sub", Unreadable::Folder, nullptr}};
    for (const auto& c : refused) {
        const Result<FileHandle> got = folder.openForReading(c.name);
        ASSERT_FALSE(got.ok()) << c.name;
        EXPECT_EQ(unreadableOf(got.error()), c.why) << c.name;
        if (c.cause) {
            EXPECT_EQ(got.error().message,
                      "Cannot read " + quoted(dir / c.name) + ": " + c.cause + ".");
        }
    }
    EXPECT_TRUE(folder.openForReading("link", true).ok());
    const Result<FileHandle> missing = folder.openForReading("none");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind, ErrorKind::FileNotFound);
    EXPECT_FALSE(Folder::open(dir / "..").ok());
}

// The temporary name fits the folder's limit with the longest final name and
// is not cut inside a character; nothing of it stays when it is dropped or
// cannot take its final name, and what had that name is left as it was.
TEST(TempFile, FitsTheNameLimitAndLeavesNothingBehindOnFailure) {
    TempDir dir;
    // 255 bytes, the cut to 244 falling inside the "\xC3\xA9".
    const std::string longest = std::string(243, 'a') + "\xC3\xA9" + std::string(10, 'b');
    const FileInFolder in = opened(dir / "x");
    {
        Result<TempFile> made = TempFile::create(in.folder, "deep/er/" + longest);
        ASSERT_TRUE(made.ok()) << made.error().message;
        const std::string leaf = fs::path(made->tempName()).filename().string();
        EXPECT_EQ(leaf.size(), 243u + 11u);
        EXPECT_EQ(leaf.rfind(std::string(243, 'a') + ".tmp-", 0), 0u) << leaf;
        EXPECT_TRUE(fs::exists(dir / made->tempName()));
    }
    EXPECT_TRUE(fs::is_empty(dir / "deep/er"));

    std::ofstream(dir / "taken") << "old";
    Result<TempFile> made = TempFile::create(in.folder, "taken");
    ASSERT_TRUE(made.ok());
    TempFile file = std::move(made).value();
    const std::string temp = file.tempName();
    ASSERT_TRUE(file.writeAt(2, "new", 3).ok());
    const Result<> refused = file.commit(false);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message.rfind("Cannot write " + quoted(dir / "taken") + ": ", 0), 0u);
    EXPECT_EQ(contents(dir / "taken"), "old");
    EXPECT_FALSE(fs::exists(dir / temp));

    Result<TempFile> again = TempFile::create(in.folder, "taken");
    ASSERT_TRUE(again.ok());
    TempFile replacing = std::move(again).value();
    ASSERT_TRUE(replacing.writeAt(0, "new", 3).ok());
    ASSERT_TRUE(replacing.commit(true).ok());
    EXPECT_EQ(contents(dir / "taken"), "new");
}

// A file that keeps its failures reports none at the call and the first one
// afterwards; one that does not, reports it at once, naming the temporary file.
TEST(TempFile, KeepsItsFirstFailureOnlyWhenAskedTo) {
    TempDir dir;
    const FileInFolder in = opened(dir / "x");
    Result<TempFile> made = TempFile::create(in.folder, "out");
    ASSERT_TRUE(made.ok());
    TempFile file = std::move(made).value();
    const Result<> tooLong = file.resize(std::uint64_t{1} << 62);
    ASSERT_FALSE(tooLong.ok());
    EXPECT_NE(tooLong.error().message.find(quoted(dir / file.tempName())), std::string::npos);
    file.keepFailures();
    EXPECT_TRUE(file.resize(std::uint64_t{1} << 62).ok());
    ASSERT_TRUE(file.failure().has_value());
    EXPECT_EQ(file.failure()->message, tooLong.error().message);
    EXPECT_TRUE(file.writeAt(0, "x", 1).ok());
}

// Cut names keep whole characters and end with the ending, within the limit.
TEST(Names, AreCutAtWholeCharactersToFitTheLimit) {
    std::mt19937 random(7);
    const std::string pieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    for (int round = 0; round < 500; ++round) {
        std::string name;
        for (std::size_t n = random() % 90; n > 0; --n)
            name += pieces[random() % 4];
        const std::size_t limit = 12 + random() % 120;
        const std::string cut = nameWithEnding(name, ".tmp-abcdef", limit);
        ASSERT_LE(cut.size(), limit);
        ASSERT_EQ(cut.substr(cut.size() - 11), ".tmp-abcdef");
        const std::string kept = cut.substr(0, cut.size() - 11);
        ASSERT_EQ(name.rfind(kept, 0), 0u);
        if (name.size() + 11 <= limit) {
            ASSERT_EQ(kept, name);
            continue;
        }
        // Cut before a character's first byte, losing at most that character.
        ASSERT_NE(static_cast<unsigned char>(name[kept.size()]) & 0xC0, 0x80) << name;
        ASSERT_GE(kept.size() + 3, limit - 11) << name;
    }
    EXPECT_TRUE(isTreePath("a/b"));
    for (const char* bad : {"", "/a", "a//b", "a/../b", "./a", "a/"})
        EXPECT_FALSE(isTreePath(bad)) << bad;
}

// A read stops short only at the end; failures name the file's path.
TEST(PositionedIo, ReadsToTheEndAndNamesTheFileOnFailure) {
    TempDir dir;
    std::ofstream(dir / "f") << "0123456789";
    const FileHandle file(::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC), "shown/f");
    char buffer[16] = {};
    const Result<std::size_t> tail = readAt(file, 6, buffer, sizeof buffer);
    ASSERT_TRUE(tail.ok());
    EXPECT_EQ(std::string(buffer, *tail), "6789");
    const Result<> written = writeAt(file, 0, "x", 1);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().message.rfind("Cannot write \"shown/f\": ", 0), 0u);
    const Error told = retold(written.error(), "rename aside", "g");
    EXPECT_EQ(told.message, "Cannot rename aside \"g\": " + written.error().cause + ".");
    EXPECT_EQ(told.kind, written.error().kind);
}

} // namespace
} // namespace shardix
