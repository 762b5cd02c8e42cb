#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

// A number in decimal with its thousands set apart by commas ("600,000,000").
std::string groupedDigits(std::int64_t number);

// What a stopped run left, for the user: "The run was stopped." and then each
// file of `written` that is there, with its length now in grouped digits,
// files of one length in a row told together ("\"p1\" to \"p4\", 4 files of
// 600,000,000 bytes each"); then `completes`, a sentence on how to complete
// the output, when it is not empty. Empty when none of the files is there.
std::string stoppedAccount(const std::vector<std::string>& written, const std::string& completes);

} // namespace shardix
