#include "engines/FileReader.h"

#include "engines/AppError.h"
#include "engines/EngineUi.h"
#include "engines/Messages.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shardix {

FileContents getFileContents(const std::string& srcFile, std::int64_t divisions, EngineUi& ui) {
    FileContents result;
    ui.setBusy(true);

    // Existence test: a regular file that can be opened. The file stays open
    // from here on, so that what is measured is what is copied.
    struct stat st {};
    int fd = -1;
    if (::stat(srcFile.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            fd = ::open(srcFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        result.theMessage = msg::kNoSuchFile;
        ui.setBusy(false);
        return result;
    }
    result.file = FileHandle(fd, srcFile);

    try {
        // Measure the file that was opened (not the name, which may change hands).
        struct stat opened {};
        if (::fstat(fd, &opened) != 0)
            throw AppError::fromErrno(errno, "measure", srcFile);
        result.fileLength = opened.st_size;
    } catch (const AppError& e) {
        result.file = FileHandle();
        result.theMessage = dialogHandleError(ui, e);
        return result;
    }

    // An empty file is handed back with no message: it adds nothing.
    if (result.fileLength == 0)
        return result;

    if (divisions > result.fileLength) {
        result.theMessage = msg::kPartsGreaterThanWhole;
        result.file = FileHandle();
        return result;
    }
    return result;
}

} // namespace shardix
