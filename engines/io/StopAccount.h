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

// What a new output that a run left shorter than the whole holds:
// "\"T\" holds its first N bytes of M", without a full stop, for a sentence
// on how to complete it to follow.
std::string shortOutputAccount(const std::string& path, std::int64_t length, std::int64_t total);

// `message` with what the new output `path` holds, when it is a file shorter
// than the `inputs` together, and then `completes`, unless the message tells
// them already (after a stop, stoppedAccount tells the length).
std::string withWhatIsLeft(std::string message, const std::string& path,
                           const std::vector<std::string>& inputs, const std::string& completes);

} // namespace shardix
