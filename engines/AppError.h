#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace shardix {

// Failure numbers. The file and settings layers raise failures with these
// numbers; the main window's reporter explains several of them in its own words.
namespace ErrNo {
constexpr std::int32_t TypeMismatch = 13;
constexpr std::int32_t UserInterrupt = 18; // a run stopped when asked to
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

// A failure being handled: its number and a description for the user. Most
// descriptions name the file involved; the fixed texts that do not (a file that
// does not exist) carry it in file().
class AppError : public std::runtime_error {
  public:
    AppError(std::int32_t number, const std::string& description, std::string file = {},
             std::string cause = {})
        : std::runtime_error(description), number_(number), file_(std::move(file)),
          cause_(std::move(cause)) {}

    std::int32_t number() const { return number_; }
    std::string description() const { return what(); }
    const std::string& file() const { return file_; }
    // What went wrong, without the file ("the disk is full (...)"); the whole
    // description where none was set apart.
    std::string cause() const { return cause_.empty() ? description() : cause_; }

    // A failure of a system call on a file: `action` says what was being done
    // ("open", "create", "read", "write", ...), `path` names the file.
    static AppError fromErrno(int err, const std::string& action, const std::string& path);

  private:
    std::int32_t number_;
    std::string file_;
    std::string cause_;
};

} // namespace shardix
