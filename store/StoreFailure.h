#pragma once

#include "errors/Error.h"

#include <optional>
#include <string>

namespace shardix {

// How the settings store failed: the detail of an Error of the kind Store. Each
// is the number users know that failure by, which the main window shows.
enum class StoreFailure {
    TypeMismatch = 13, // a value of another type than the field's
    NoRecord = 3021,
    StoreNotFound = 3024,
    StoreReadOnly = 3027,
    NoKey = 3031,
    StoreCannotWrite = 3051,
    NoTable = 3078,
    FieldTooSmall = 3163,
    StoreInUse = 3218,
    Unreadable = 3219, // the store answered with a failure of its own
    NoField = 3265,
    ZeroLengthField = 3315,
    UnrecognizedDatabase = 3343,
};

inline Error storeError(StoreFailure failure, std::string message) {
    Error error = Error::of(ErrorKind::Store, std::move(message));
    error.detail = static_cast<int>(failure);
    return error;
}

// The store's failure that `error` is; nothing where it is not the store's.
inline std::optional<StoreFailure> storeFailureOf(const Error& error) {
    if (error.kind != ErrorKind::Store)
        return std::nullopt;
    return static_cast<StoreFailure>(error.detail);
}

} // namespace shardix
