#include "errors/Quoted.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace shardix {
namespace {

TEST(Quoted, PrintableNamesStandAsTheyAre) {
    EXPECT_EQ(shardix::quoted("piece 1"), "\"piece 1\"");
    EXPECT_EQ(shardix::quoted("été.bin"), "\"été.bin\"");
    EXPECT_EQ(shownName("/home/u/Videos"), "/home/u/Videos");
    EXPECT_EQ(shardix::quoted(""), "\"\"");
}

TEST(Quoted, ControlsAndForeignBytesAreEscaped) {
    EXPECT_EQ(shardix::quoted("a\nb"), "'a'$'\\n''b'");
    EXPECT_EQ(shardix::quoted("\x1b[31mred"), "$'\\033''[31mred'");
    EXPECT_EQ(shardix::quoted("it's\t"), "'it'\\''s'$'\\t'");
    EXPECT_EQ(shownName("x\xff"), "'x'$'\\377'");
    // C1 controls (U+009B is a terminal's CSI) and truncated or overlong forms.
    EXPECT_EQ(shardix::quoted("\xc2\x9b"), "$'\\302\\233'");
    EXPECT_EQ(shardix::quoted("\xc3"), "$'\\303'");
    EXPECT_EQ(shardix::quoted("\xc0\xaf"), "$'\\300\\257'");
    EXPECT_EQ(shardix::quoted("\x7f"), "$'\\177'");
}

// Whatever the name, the escaped form holds no control character and no byte
// that is not printable UTF-8, and the shell reads it back as the same name.
TEST(Quoted, RandomNamesReadBackThroughTheShell) {
    std::mt19937 random(7);
    // Printable, control and non-UTF-8 bytes; no NUL, which no name holds.
    const std::string alphabet = "ab'\" $\\\n\t\x1b\x7f\xff\xc3\xa9\xc2\x9b";
    testing::TempDir dir;
    for (int round = 0; round < 100; ++round) {
        std::string name;
        const int length = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < length; ++i) {
            name += alphabet[random() % alphabet.size()];
        }
        const std::string shown = shardix::quoted(name);
        for (const char c : shown) {
            const auto byte = static_cast<unsigned char>(c);
            ASSERT_TRUE(byte >= 0x20 && byte != 0x7f) << shown;
        }
        if (printableName(name)) {
            continue;
        }
        const std::string script = dir / "read.sh";
        const std::string out = dir / "out";
        std::ofstream(script) << "printf '%s' " << shown << " > '" << out << "'\n";
        ASSERT_EQ(std::system(("bash '" + script + "'").c_str()), 0) << shown;
        std::ifstream in(out, std::ios::binary);
        const std::string back((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        EXPECT_EQ(back, name) << shown;
    }
}

} // namespace
} // namespace shardix
