#include "engines/Messages.h"
#include "engines/Selection.h"
#include "tests/support/RecordingUi.h"

#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;

namespace {

std::vector<std::string> parts(std::initializer_list<int> numbers) {
    std::vector<std::string> names;
    for (int n : numbers)
        names.push_back("part" + std::to_string(n));
    return names;
}

// Names as a file list shows them: sorted character by character.
std::vector<std::string> listOrder(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> under(const std::string& dir, const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const auto& n : names)
        paths.push_back(dir + n);
    return paths;
}

TEST(Selection, AsksOnlyWhenTwoOrMoreAreSelected) {
    RecordingUi ui;
    Selection none = orderSelection("/s/", {}, ui);
    EXPECT_TRUE(none.fileList.empty());
    EXPECT_EQ(none.fileCount, 0);

    Selection one = orderSelection("/s/", {"only;one"}, ui);
    EXPECT_EQ(one.fileList, std::vector<std::string>{"/s/only;one"}); // ";" is no separator
    EXPECT_EQ(one.fileCount, 1);
    EXPECT_TRUE(ui.messages.empty());

    ui.answers = {MsgAnswer::No};
    Selection two = orderSelection("/s/", {"b", "a"}, ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], msg::kReorderQuestion);
    EXPECT_EQ(ui.styles[0], 36);
    EXPECT_EQ(ui.titles[0], "Shardix! - It's your choice...");
    EXPECT_EQ(two.sortAnswer, MsgAnswer::No);
}

TEST(Selection, NoKeepsTheListOrderAndYesPutsSegmentsInNumberOrder) {
    const auto shown = listOrder(parts({1, 2, 10}));
    ASSERT_EQ(shown, (std::vector<std::string>{"part1", "part10", "part2"}));

    RecordingUi no;
    no.answers = {MsgAnswer::No};
    EXPECT_EQ(orderSelection("/d/s/", shown, no).fileList,
              under("/d/s/", {"part1", "part10", "part2"}));

    RecordingUi yes;
    yes.answers = {MsgAnswer::Yes};
    EXPECT_EQ(orderSelection("/d/s/", shown, yes).fileList,
              under("/d/s/", {"part1", "part2", "part10"}));
}

TEST(Selection, YesOrdersEveryDigitCountAndLeavesNothingOut) {
    std::vector<std::string> all;
    for (int n = 1; n <= 120; ++n)
        all.push_back("seg" + std::to_string(n));
    std::vector<std::string> numbered = all;

    RecordingUi ui;
    ui.answers = {MsgAnswer::Yes};
    Selection s = orderSelection("/x/", listOrder(all), ui);
    EXPECT_EQ(s.fileList, under("/x/", numbered));
    EXPECT_EQ(s.fileCount, 120);

    // Segment 1 not selected: the first name in the list is part10, yet the
    // shorter names are kept and come first.
    RecordingUi again;
    again.answers = {MsgAnswer::Yes};
    Selection t = orderSelection("/x/", listOrder(parts({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})),
                                 again);
    EXPECT_EQ(t.fileList, under("/x/", parts({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})));
    EXPECT_EQ(static_cast<int>(t.fileList.size()), t.fileCount);

    // Names much longer or shorter than the first are kept too, by length.
    RecordingUi mixed;
    mixed.answers = {MsgAnswer::Yes};
    Selection m = orderSelection("/x/", {"bb", "a", "cccccc", "dd"}, mixed);
    EXPECT_EQ(m.fileList, under("/x/", {"a", "bb", "dd", "cccccc"}));
}

} // namespace
