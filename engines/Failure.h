#pragma once

#include "engines/AppError.h"

#include <cstdint>
#include <optional>
#include <string>

namespace shardix {

// Why an engine run stopped, for its caller to show. `message` is the text the
// user sees; where it is one of the fixed texts that name no file, `file` names
// the file it is about, for a caller that can add it.
struct Failure {
    std::int32_t number = 0;
    std::string message;
    std::string file;
    // The output's name cannot be used (it is one of the inputs, a pipe, ...).
    // Nothing was written: the user may choose another name.
    bool nameRefused = false;

    static Failure of(std::int32_t number, std::string message, std::string file = {}) {
        return Failure{number, std::move(message), std::move(file), false};
    }
    static Failure refusedName(std::string message) {
        return Failure{ErrNo::PathFileAccess, std::move(message), {}, true};
    }
    static Failure from(const AppError& error) {
        return of(error.number(), error.description(), error.file());
    }

    // The run stopped because it was asked to; what it wrote so far stays.
    bool stopped() const { return number == ErrNo::UserInterrupt; }
};

// What an engine run ends with: nothing when it did everything it was asked.
using RunResult = std::optional<Failure>;

} // namespace shardix
