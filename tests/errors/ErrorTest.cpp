#include "errors/Error.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace shardix;

namespace {

// The kind follows the errno value, whatever the action is called; a missing
// file is the folder's fault only where the caller says that it needed one.
TEST(FromErrno, TheKindFollowsTheErrnoValueAndTheMessageKeepsTheCause) {
    const std::pair<int, ErrorKind> kinds[] = {
        {EACCES, ErrorKind::PermissionDenied}, {EPERM, ErrorKind::PermissionDenied},
        {EROFS, ErrorKind::PermissionDenied},  {ENOSPC, ErrorKind::DiskFull},
        {EDQUOT, ErrorKind::DiskFull},         {EBUSY, ErrorKind::FileBusy},
        {ETXTBSY, ErrorKind::FileBusy},        {EIO, ErrorKind::DeviceIo},
        {EMFILE, ErrorKind::TooManyFiles},     {ENFILE, ErrorKind::TooManyFiles},
        {ENOTDIR, ErrorKind::FileAccess},      {ELOOP, ErrorKind::FileAccess}};
    for (const char* action : {"create", "open for appending", "read", "write"})
        for (const auto& [err, kind] : kinds)
            EXPECT_EQ(Error::fromErrno(err, action, "/a").kind, kind) << action << " " << err;
    for (const char* action : {"create", "open", "create a new file beside"}) {
        EXPECT_EQ(Error::fromErrno(ENOENT, action, "/a").kind, ErrorKind::FileNotFound);
        EXPECT_EQ(Error::fromErrno(ENOENT, action, "/a", Missing::Folder).kind,
                  ErrorKind::PathNotFound);
    }
    const Error full = Error::fromErrno(ENOSPC, "write", "/mnt/p\n1");
    EXPECT_EQ(full.cause, "the disk is full (No space left on device)");
    EXPECT_EQ(full.message, "Cannot write '/mnt/p'$'\\n''1': " + full.cause + ".");
    EXPECT_EQ(Error::refusedName("no").kind, ErrorKind::NameRefused);
}

} // namespace
