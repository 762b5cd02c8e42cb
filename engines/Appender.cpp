#include "engines/Appender.h"

#include "engines/AppError.h"
#include "engines/EngineUi.h"
#include "engines/FileReader.h"

#include <algorithm>
#include <climits>

namespace shardix {

bool appendFile(const std::vector<std::string>& sources, const std::string& target, EngineUi& ui,
                std::int64_t pieceSize) {
    FileHandle output;
    try {
        const int n = static_cast<int>(std::clamp<std::size_t>(sources.size(), 1, INT_MAX));
        const int max = n == 1 ? 2 : n;
        ui.setProgressMin(1);
        ui.setProgressMax(max);
        ui.setProgressValue(1);
        ui.setProgressVisible(true);
        int value = 1;

        // The target's length; a missing or unreadable target counts as empty.
        const std::int64_t targetLength = getFileContents(target, 1, ui).fileLength;

        // Search for the source in which the target ends. The sources before it
        // are only measured.
        std::size_t index = 0;
        std::int64_t before = 0; // bytes of the whole before the source examined
        FileContents found;
        for (; index < sources.size(); ++index) {
            ui.pumpEvents();
            found = getFileContents(sources[index], 1, ui);
            if (!found.theMessage.empty()) {
                ui.messageBox(found.theMessage, MsgStyle::Ok);
                ui.setBusy(false);
                return false; // nothing has been written
            }
            if (targetLength < before + found.fileLength)
                break;
            before += found.fileLength;
        }

        if (index < sources.size()) {
            output = openForAppend(target);
            std::int64_t start = targetLength - before; // 0-based
            for (;;) {
                ui.pumpEvents();
                // Exactly the length measured when the source was taken up, so a
                // source that is also the target never feeds itself.
                copyRange(found.file, start, found.fileLength - start, output, ui, pieceSize);
                start = 0;
                const bool more = ++index < sources.size();
                if (more) {
                    found = getFileContents(sources[index], 1, ui);
                    if (!found.theMessage.empty()) {
                        ui.messageBox(found.theMessage, MsgStyle::Ok);
                        ui.setBusy(false);
                        output.close(); // the bytes appended before stay
                        return false;
                    }
                }
                value = n == 1 ? max : std::min(value + 1, max);
                ui.setProgressValue(value);
                if (!more)
                    break;
            }
            output.close();
        }

        ui.setProgressValue(max);
        ui.setBusy(false);
        return true;
    } catch (const AppError& e) {
        const std::string theMessage = dialogHandleError(ui, e);
        ui.messageBox(theMessage, MsgStyle::Ok);
        output = FileHandle();
        return false;
    }
}

} // namespace shardix
