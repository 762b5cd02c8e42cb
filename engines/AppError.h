#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace shardix {

class EngineUi;

// Failure numbers. The file and settings layers raise failures with these
// numbers; the main window's reporter explains several of them in its own words.
namespace ErrNo {
constexpr std::int32_t TypeMismatch = 13;
constexpr std::int32_t FileNotFound = 53;
constexpr std::int32_t FileAlreadyOpen = 55;
constexpr std::int32_t DeviceIo = 57;
constexpr std::int32_t DiskFull = 61;
constexpr std::int32_t InputPastEnd = 62;
constexpr std::int32_t TooManyFiles = 67;
constexpr std::int32_t PermissionDenied = 70;
constexpr std::int32_t PathFileAccess = 75;
constexpr std::int32_t PathNotFound = 76;
constexpr std::int32_t FieldTooSmall = 3163;
constexpr std::int32_t InvalidOperation = 3219;
constexpr std::int32_t ZeroLengthField = 3315;
constexpr std::int32_t UnrecognizedDatabase = 3343;
} // namespace ErrNo

// A failure being handled: its number and a description that names what failed.
class AppError : public std::runtime_error {
public:
    AppError(std::int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    std::int32_t number() const { return number_; }
    std::string description() const { return what(); }

    // A failure of a system call on a file: `action` says what was being done
    // ("open", "create", "read", "write", ...), `path` names the file.
    static AppError fromErrno(int err, const std::string& action, const std::string& path);

private:
    std::int32_t number_;
};

// The operation dialog's reporter: the busy pointer goes back to normal and the
// failure's own description is handed back, untranslated, for the caller to show.
std::string dialogHandleError(EngineUi& ui, const AppError& error);

} // namespace shardix
