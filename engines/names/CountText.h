#pragma once

#include <optional>
#include <string_view>

namespace shardix {

// The number that a count text holds: its decimal digits, with blanks before
// and after them ignored, so "3", "03" and " 3 " are 3. Nothing for any other
// text: a blank between two digits, a sign, a letter, no digit at all, or more
// than nine digits.
std::optional<int> parseCount(std::string_view text);

} // namespace shardix
