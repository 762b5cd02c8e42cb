// Manifests: read and written as sha256sum does, matched with the pieces given,
// verified, found beside the pieces, and never believed when cut short.
#include "engines/manifest/Manifest.h"
#include "engines/io/Messages.h"
#include "engines/manifest/ManifestMatch.h"
#include "engines/manifest/ManifestSearch.h"
#include "engines/manifest/Verifier.h"
#include "engines/names/PieceNumbers.h"
#include "engines/operations/Segmenter.h"
#include "errors/Error.h"
#include "tests/support/EngineFixture.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

TEST(Manifest, ReadsAndWritesWhatSha256sumDoes) {
    // The standard's test vector, and the empty input.
    EXPECT_EQ(sha256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    const std::string d(64, 'a');
    Manifest written;
    for (const char* name : {"plain", "with space", "new\nline", "back\\slash", "car\rriage"})
        written.entries.push_back({d, name, false, 7});
    written.entries.push_back({d, " lead*", true, 35});
    const std::string text = written.text();
    EXPECT_NE(text.find("\n" + d + "  with space\n"), std::string::npos);
    EXPECT_NE(text.find("\n\\" + d + "  new\\nline\n"), std::string::npos);
    EXPECT_NE(text.find("\n\\" + d + "  back\\\\slash\n"), std::string::npos);
    EXPECT_NE(text.find("\n\\" + d + "  car\\rriage\n"), std::string::npos);
    EXPECT_NE(text.find("# whole file: 35 bytes\n" + d + "   lead*\n"), std::string::npos);
    const Manifest read = Manifest::parse(text);
    ASSERT_TRUE(read.problems.empty()) << read.problems.front();
    ASSERT_EQ(read.entries.size(), written.entries.size());
    for (std::size_t i = 0; i < read.entries.size(); ++i) {
        EXPECT_EQ(read.entries[i].name, written.entries[i].name);
        EXPECT_EQ(read.entries[i].whole, written.entries[i].whole);
        EXPECT_EQ(read.entries[i].length, written.entries[i].length);
    }

    // Line ends of either kind, a binary mark, capitals, tagged lines, a file
    // without a note; lines that sha256sum -c would not read are named by number.
    const std::string upper(64, 'B');
    const Manifest other = Manifest::parse(
        "# segment: 5 bytes\r\n" + d + " *bin\r\n\n" + upper + "  x\n" + "SHA256 (t a g) = " + d +
        "\n" + d + "  \n" + d.substr(1) + "  short\n\\" + d + "  bad\\escape\n" + d + "\tx");
    ASSERT_EQ(other.entries.size(), 4u);
    EXPECT_EQ(other.entries[0].name, "bin");
    EXPECT_EQ(other.entries[0].length, 5);
    EXPECT_EQ(other.entries[1].digest, std::string(64, 'b'));
    EXPECT_EQ(other.entries[1].length, std::nullopt);
    EXPECT_EQ(other.entries[2].name, "t a g");
    EXPECT_EQ(other.entries[3].name, "x");
    EXPECT_EQ(other.problems, (Strings{"line 6: no file name",
                                       "line 7: not a SHA-256 checksum (63 digits instead of 64)",
                                       "line 8: a backslash that is not followed by \\, n or r"}));
}

// Inputs matched with a manifest's segments before anything is written.
TEST_F(Engine, ManifestMatchNamesTheSegmentThatIsWrong) {
    Manifest manifest;
    for (int k = 1; k <= 3; ++k) {
        const std::string bytes = std::string(10 + k, static_cast<char>('0' + k));
        writeFile(dir / ("p" + std::to_string(k)), bytes);
        manifest.entries.push_back({sha256(bytes), "p" + std::to_string(k), false, 10 + k});
    }
    writeFile(dir / "whole", "x");
    manifest.entries.push_back({sha256("x"), "whole", true, 1});
    writeFile(dir / "stray", "y");
    ASSERT_EQ(::symlink((dir / "p2").c_str(), (dir / "link").c_str()), 0);
    const std::string m = dir / "p.sha256";
    const auto matched = [&](const Strings& inputs) {
        const Result<Checksums> result = matchPieces(manifest, m, inputs);
        return !result.ok() ? result.error().message + result.error().file
                            : "parts " + std::to_string(result->parts.size()) +
                                  (result->whole ? " whole" : "");
    };
    const std::string p1 = dir / "p1", p2 = dir / "p2", p3 = dir / "p3";
    EXPECT_EQ(matched({p1, dir / "link", p3}), "parts 3 whole"); // any name of the file
    EXPECT_EQ(matched({p1, p3, p2}), "\"" + p3 +
                                         "\" is out of order: it is piece 3 of the 3 "
                                         "pieces listed in \"" +
                                         m + "\", and \"" + p2 + "\" is piece 2.");
    EXPECT_EQ(matched({p1, p2}), "\"" + p3 + "\", piece 3 of the 3 pieces listed in \"" + m +
                                     "\", is not among the files given.");
    std::filesystem::rename(p3, dir / "p3.kept");
    std::filesystem::create_hard_link(p2, p3);
    EXPECT_EQ(matched({p1, p2, p3}),
              "\"" + p2 + "\" and \"" + p3 + "\", pieces 2 and 3 of the 3 pieces listed in \"" + m +
                  "\", are one and the same file: one is a link to the other.");
    std::filesystem::rename(dir / "p3.kept", p3);
    EXPECT_EQ(matched({p1, p2, p2, p3}), "\"" + p2 + "\" is given more than once.");
    EXPECT_EQ(matched({p1, dir / "stray", p3}),
              "\"" + (dir / "stray") + "\" is not one of the pieces listed in \"" + m + "\".");
    EXPECT_EQ(matched({p1, p2, p3, dir / "whole"}), "\"" + (dir / "whole") +
                                                        "\" is the whole file in \"" + m +
                                                        "\", not one of its pieces.");
    EXPECT_EQ(matched({p1, p2, dir / "gone"}), msg::kNoSuchFile + (dir / "gone"));
    writeFile(p2, "2222");
    EXPECT_EQ(matched({p1, p2, p3}),
              "\"" + p2 + "\" is 4 bytes long, but piece 2 in \"" + m + "\" has 12 bytes.");
    std::filesystem::remove(p2);
    EXPECT_EQ(matched({p1, p3}),
              "\"" + p2 + "\", piece 2 of the 3 pieces listed in \"" + m + "\", is missing.");
    manifest.problems.push_back("line 9: no file name");
    EXPECT_NE(matched({p1, p3}).find("line 9: no file name"), std::string::npos);
}

TEST_F(Engine, VerifierNamesEachFileThatIsNotRight) {
    using Outcome = Verdict::Outcome;
    Manifest manifest;
    for (int k = 1; k <= 7; ++k) {
        const std::string bytes = randomBytes(1000 + k, k);
        writeFile(dir / ("p" + std::to_string(k)), bytes);
        manifest.entries.push_back({sha256(bytes), "p" + std::to_string(k), false, 1000 + k});
    }
    manifest.entries.push_back({sha256("w"), "whole", true, 1});
    manifest.entries.push_back({sha256("w"), "../p1", false, std::nullopt});
    manifest.entries.push_back({sha256("w"), dir / "p1", false, std::nullopt});
    std::filesystem::remove(dir / "p2");
    std::filesystem::resize_file(dir / "p3", 500);
    std::ofstream(dir / "p4", std::ios::app) << "more";
    std::filesystem::rename(dir / "p5", dir / "x"); // p5 and p6 swapped
    std::filesystem::rename(dir / "p6", dir / "p5");
    std::filesystem::rename(dir / "x", dir / "p6");
    std::string seven = readFile(dir / "p7");
    seven[3] ^= 1;
    writeFile(dir / "p7", seven);
    std::vector<Outcome> outcomes;
    for (const Verdict& verdict : verifyManifest(manifest, dir.folder(), ui))
        outcomes.push_back(verdict.outcome);
    EXPECT_EQ(outcomes, (std::vector<Outcome>{Outcome::Good, Outcome::Missing, Outcome::Shorter,
                                              Outcome::Longer, Outcome::Longer, Outcome::Shorter,
                                              Outcome::Different, Outcome::Missing,
                                              Outcome::Outside, Outcome::Outside}));
    // Without notes of their lengths, files of another length are different.
    for (ManifestEntry& entry : manifest.entries)
        entry.length.reset();
    writeFile(dir / "whole", "w");
    outcomes.clear();
    for (const Verdict& verdict : verifyManifest(manifest, dir.folder(), ui))
        outcomes.push_back(verdict.outcome);
    EXPECT_EQ(outcomes[2], Outcome::Different);
    EXPECT_EQ(outcomes[4], Outcome::Different);
    EXPECT_EQ(outcomes[7], Outcome::Good);
}

// Our manifests say how much they list: every text cut short is told
// incomplete (or unreadable), never taken for a shorter manifest. A write that
// fails leaves the old manifest and no new file.
TEST_F(Engine, AManifestIsWholeOrNotBelieved) {
    writeFile(dir / "src", randomBytes(5000, 3));
    SegmentOptions options;
    options.writeManifest = true;
    ASSERT_EQ(failure(segmentFile(dir / "src", dir / "p", 4, ui, options)), "");
    const std::string text = readFile(dir / "p.sha256");
    for (std::size_t cut = 1; cut < text.size(); ++cut) {
        const Manifest shorter = Manifest::parse(text.substr(0, cut));
        EXPECT_TRUE(!shorter.checkComplete("p.sha256").ok() || !shorter.problems.empty() ||
                    shorter.entries.empty())
            << text.substr(0, cut);
    }
    EXPECT_TRUE(Manifest::parse(text).checkComplete("p.sha256").ok());
    EXPECT_TRUE(Manifest::parse(text.substr(text.find("# segment"))).checkComplete("p").ok());

    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{100, 100}; // bytes: the manifest does not fit
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
        Manifest other = Manifest::parse(text);
        other.entries.pop_back();
        ::_exit(other.write(dir / "p.sha256").ok() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(readFile(dir / "p.sha256"), text);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.folder()), {}), 6);
}

// The manifest beside the pieces governs them however they are named, and a
// file it does not list among them is refused; the order and the place of
// numbered pieces and of the output are checked by what the names say.
TEST_F(Engine, AManifestBesideThePiecesGovernsThemAndOrderIsChecked) {
    writeFile(dir / "src", randomBytes(5000, 3));
    SegmentOptions options;
    options.writeManifest = true;
    ASSERT_EQ(failure(segmentFile(dir / "src", dir / "p", 3, ui, options)), "");
    std::filesystem::create_directory(dir / "sub");
    const Strings spelled{dir / "p1", "/" + std::filesystem::relative(dir / "p2", "/").string(),
                          dir / "sub/../p3"};
    EXPECT_EQ(findManifest(spelled).value(), dir / "p.sha256");
    std::filesystem::copy_file(dir / "p3", dir / "p3.bak");
    const Strings stray{dir / "p1", dir / "p2", dir / "p3.bak"};
    const Result<Checksums> strayExpected =
        expectedForJoin(findManifest(stray).value(), stray, dir / "out");
    ASSERT_FALSE(strayExpected.ok());
    EXPECT_EQ(strayExpected.error().message, "\"" + (dir / "p3.bak") +
                                                 "\" is not one of the pieces listed in \"" +
                                                 (dir / "p.sha256") + "\".");
    EXPECT_EQ(findManifest({dir / "src"}).value(), ""); // the whole file alone is not a piece
    writeFile(dir / "q.sha256", readFile(dir / "p.sha256") + "# another\n");
    EXPECT_EQ(findManifest(spelled).value(), dir / "p.sha256"); // the same checksums agree
    writeFile(dir / "q.sha256", readFile(dir / "p.sha256").substr(0, 400));
    EXPECT_FALSE(findManifest(spelled).ok());

    const Strings glob = named("p", {1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(failure(outOfNumberOrder(glob)),
              "\"p12\" is given before \"p2\": the pieces are not in number order.");
    EXPECT_EQ(failure(outOfNumberOrder(named("p", upTo(12)))), "");
    EXPECT_EQ(failure(outOfNumberOrder(named("v1", upTo(12)))), "");
    EXPECT_EQ(failure(outOfNumberOrder({"p1", "p2", "p2"})), "\"p2\" is given more than once.");
    EXPECT_EQ(pieceBaseOf("part1", {"part2", "part3", "part4", "out.mp4"}), "part");
    EXPECT_EQ(pieceBaseOf("v1", named("v1", upTo(12))), std::nullopt);
    EXPECT_EQ(pieceBaseOf("out", named("part", upTo(3))), std::nullopt);
}

} // namespace
