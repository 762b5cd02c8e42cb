#pragma once

#include <string>

namespace shardix {

// What the check of one file that a manifest lists found.
struct Verdict {
    enum class Outcome {
        Good,       // its checksum matches
        Missing,    // there is no file of that name
        Shorter,    // shorter than the manifest's note says
        Longer,     // longer than the manifest's note says
        Different,  // its checksum differs
        Unreadable, // not a regular file, or it cannot be read
        Outside,    // its name leads out of the manifest's folder: not read
    };
    Outcome outcome = Outcome::Good;
    // What was found, for the user ("1000 bytes instead of 2000", the system's
    // cause, the listed file whose bytes a different file holds).
    std::string detail;
};

} // namespace shardix
