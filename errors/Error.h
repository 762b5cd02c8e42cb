#pragma once

#include <exception>
#include <string>

namespace shardix {

// What kind of failure an Error is: what the program can tell of its cause.
// The main window explains several kinds in its own words (and shows the
// numbers users know them by); everywhere else the Error's message is shown.
enum class ErrorKind {
    // Files and the system.
    FileNotFound, // a file to read is not there
    PathNotFound, // the folder of a file to write, or a folder to enter, is not there
    PermissionDenied,
    FileBusy, // in use, and cannot be changed now
    DeviceIo, // the device failed to read or write
    DiskFull,
    InputPastEnd, // a file ended before the length it was measured at
    TooManyFiles, // the process can open no more files
    FileAccess,   // any other failure to use a file
    // Runs.
    Refused,  // what was asked cannot be done as asked; nothing was changed
    Mismatch, // bytes that do not match their checksums
    Stopped,  // a run stopped when the user asked it to
    Internal, // the program met a state it does not expect
    // The name of an output cannot be used (a folder, a pipe, one of the inputs):
    // nothing was written, and another name may do.
    NameRefused,
    // The settings store failed; which way, `Error::detail` tells in the store's
    // own words (StoreFailure, store/StoreFailure.h).
    Store,
};

// What a missing file (ENOENT) means to a system call: the file to read is not
// there, or the folder of a file to create is not.
enum class Missing { File, Folder };

// A failure: its kind, the text the user is told, the file it is about and the
// system's own cause.
struct Error {
    ErrorKind kind = ErrorKind::Internal;
    std::string message;
    // The file it is about, where `message` is a fixed text that names none.
    std::string file;
    // What went wrong, without the file ("the disk is full (...)"); empty where
    // the message says no more.
    std::string cause;
    // A finer kind, given by the library that raised the failure: for the kind
    // Store, the number users know the store's failure by (a StoreFailure); 0
    // where there is none.
    int detail = 0;

    static Error of(ErrorKind kind, std::string message, std::string file = {}) {
        return Error{kind, std::move(message), std::move(file), {}, 0};
    }
    static Error refusedName(std::string message) {
        return of(ErrorKind::NameRefused, std::move(message));
    }
    // The failure of a system call on a file: `action` says what was being
    // done ("open", "create", "read", "write", ...), `path` names the file.
    // The kind follows `err`; a missing file (ENOENT) is PathNotFound where
    // `missing` says the call needed a folder (a file to create), else FileNotFound.
    static Error fromErrno(int err, const std::string& action, const std::string& path,
                           Missing missing = Missing::File);

    // The run stopped because the user asked it to; what it wrote stays.
    bool stopped() const { return kind == ErrorKind::Stopped; }
    // The cause where one was set apart, else the whole message.
    const std::string& causeOrMessage() const { return cause.empty() ? message : cause; }
    // The message, with the file in front where the message does not name it.
    std::string withFile() const;
};

// An Error thrown through code that cannot return it (a copy deep in a loop),
// and turned back into a value by guarded() at the edge of an engine or window.
class Failed : public std::exception {
  public:
    explicit Failed(Error error) : error_(std::move(error)) {}
    const Error& error() const { return error_; }
    const char* what() const noexcept override { return error_.message.c_str(); }

  private:
    Error error_;
};

[[noreturn]] inline void fail(Error error) {
    throw Failed(std::move(error));
}

} // namespace shardix
