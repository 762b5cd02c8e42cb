#include "engines/operations/JoinScript.h"
#include "engines/manifest/Manifest.h"
#include "tests/support/CannotRun.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/ToolRun.h"

#include <functional>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

// Names that a shell would split, expand or take for options.
const std::vector<std::string> kPieces = {
    "a b", "it's", "new\nline", "-n", "$(touch pwned)", "back\\slash", "`id`*"};
const std::string kOutput = "-joined 'it\n'.iso";

struct Scenario {
    const char* label;
    std::function<void(const std::string& folder)> spoil; // after the pieces are written
    int status;
    const char* message; // a part of what the script says on standard error
    bool joined;         // whether the output is there afterwards
};

class JoinScriptRun : public ::testing::TestWithParam<std::tuple<const char*, Scenario>> {};

TEST_P(JoinScriptRun, UnderEachShell) {
    const auto& [shell, scenario] = GetParam();
    TempDir top;
    const std::string folder = top / "-dir x\n";
    std::filesystem::create_directory(folder);
    JoinScript script;
    script.outputName = kOutput;
    script.manifestName = "set.sha256";
    std::string whole;
    Manifest manifest;
    for (std::size_t i = 0; i < kPieces.size(); ++i) {
        const std::string bytes = randomBytes(1000 + (i + 1 == kPieces.size() ? 0 : 500), i);
        writeFile(folder + "/" + kPieces[i], bytes);
        script.pieces.push_back({kPieces[i], static_cast<std::int64_t>(bytes.size())});
        manifest.entries.push_back({sha256(bytes), kPieces[i], false, std::int64_t(bytes.size())});
        whole += bytes;
    }
    manifest.entries.push_back({sha256(whole), kOutput, true, std::int64_t(whole.size())});
    ASSERT_TRUE(manifest.write(folder + "/set.sha256").ok());
    const std::string path = folder + "/" + kOutput + ".join.sh";
    ASSERT_TRUE((writeJoinScript(path, script, false)).ok());
    scenario.spoil(folder);

    const int status = runIn(top.folder(), std::string(shell) + " \"$(printf '%s' '" + folder +
                                               "/')\"*.join.sh 2> err");
    EXPECT_EQ(status, scenario.status);
    const std::string said = readFile(top / "err");
    EXPECT_NE(said.find(scenario.message), std::string::npos) << said;
    EXPECT_EQ(exists(folder + "/" + kOutput), scenario.joined);
    if (scenario.status == 0) {
        EXPECT_TRUE(readFile(folder + "/" + kOutput) == whole);
    }
    // Nothing ran that a name held, and no temporary file is left.
    EXPECT_FALSE(exists(folder + "/pwned"));
    EXPECT_FALSE(exists(top / "pwned"));
    for (const auto& item : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(item.path().string().find(".tmp"), std::string::npos) << item.path();
}

const Scenario kScenarios[] = {
    {"good", [](const std::string&) {}, 0, "", true},
    {"missing_piece", [](const std::string& f) { std::filesystem::remove(f + "/it's"); }, 1,
     "the piece \"it's\" is missing.", false},
    {"short_piece",
     [](const std::string& f) { std::filesystem::resize_file(f + "/new\nline", 1400); }, 1,
     "the piece \"new\nline\" is 1400 bytes instead of 1500", false},
    {"output_exists", [](const std::string& f) { writeFile(f + "/" + kOutput, "mine"); }, 1,
     "exists already and is not overwritten", true},
    {"damaged_bytes",
     [](const std::string& f) {
         std::string bytes = readFile(f + "/-n");
         bytes[700] ^= 1;
         writeFile(f + "/-n", bytes);
     },
     1, "does not match \"set.sha256\"", true},
    {"no_manifest", [](const std::string& f) { std::filesystem::remove(f + "/set.sha256"); }, 0, "",
     true},
};

INSTANTIATE_TEST_SUITE_P(Shells, JoinScriptRun,
                         ::testing::Combine(::testing::Values("dash", "bash"),
                                            ::testing::ValuesIn(kScenarios)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) + "_" +
                                    std::get<1>(info.param).label;
                         });

TEST(JoinScript, AnExistingFileIsReplacedOnlyWhenAsked) {
    TempDir dir;
    writeFile(dir / "p.join.sh", "mine");
    const JoinScript script{"p", {{"p1", 3}}, std::nullopt};
    EXPECT_FALSE(writeJoinScript(dir / "p.join.sh", script, false).ok());
    EXPECT_EQ(readFile(dir / "p.join.sh"), "mine");
    EXPECT_TRUE((writeJoinScript(dir / "p.join.sh", script, true)).ok());
    EXPECT_EQ(readFile(dir / "p.join.sh"), joinScriptText(script));
    EXPECT_FALSE(
        writeJoinScript(dir / "q.join.sh", {"q", {{"../p1", 3}}, std::nullopt}, true).ok());
}

// Run by a relative path with the caller's CDPATH leading to a folder of the
// same name elsewhere, it still joins the pieces beside it.
TEST(JoinScript, JoinsInItsOwnFolderWhateverCdpath) {
    TempDir top;
    std::filesystem::create_directories(top / "decoy/sub");
    std::filesystem::create_directory(top / "sub");
    writeFile(top / "sub/p1", "abc");
    ASSERT_TRUE(
        writeJoinScript(top / "sub/p.join.sh", {"p", {{"p1", 3}}, std::nullopt}, false).ok());
    EXPECT_EQ(runIn(top.folder(), "CDPATH=decoy dash sub/p.join.sh"), 0);
    EXPECT_EQ(readFile(top / "sub/p"), "abc");
}

// shellcheck, where it is installed, finds no fault in a script of awkward
// names. Left out: its notes that quotes and $( ) inside single quotes stay as
// they are, which is what the names need.
TEST(JoinScript, PassesShellcheck) {
    if (std::system("command -v shellcheck > /dev/null") != 0)
        SHARDIX_CANNOT_RUN("shellcheck is not installed");
    TempDir dir;
    JoinScript script{kOutput, {}, "s.sha256"};
    for (const auto& name : kPieces)
        script.pieces.push_back({name, 10});
    ASSERT_TRUE((writeJoinScript(dir / "s.join.sh", script, false)).ok());
    EXPECT_EQ(runIn(dir.folder(), "shellcheck -s sh -e SC2016,SC2089,SC2090 s.join.sh"), 0);
}

} // namespace
