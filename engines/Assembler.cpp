#include "engines/Assembler.h"

#include "engines/AppError.h"
#include "engines/EngineUi.h"
#include "engines/FileReader.h"

#include <algorithm>
#include <climits>

namespace shardix {

bool assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                   EngineUi& ui, std::int64_t pieceSize) {
    // Creating the target empties it: if it is one of the inputs, that input
    // would be lost before it is read. Refuse before anything is written.
    for (const std::string& entry : fileList) {
        if (sameFile(entry, target)) {
            ui.setBusy(false);
            ui.messageBox("\"" + target +
                              "\" is one of the files to be assembled.  Assembling into it "
                              "would destroy it.  Please choose another name for the assembled "
                              "file.",
                          MsgStyle::Ok);
            return false;
        }
    }

    FileHandle output;
    try {
        const int count =
            static_cast<int>(std::clamp<std::size_t>(fileList.size(), 1, INT_MAX));
        ui.setProgressMin(1);
        ui.setProgressMax(count);
        ui.setProgressValue(1);
        ui.setProgressVisible(true);
        int value = 1;

        output = createOutput(target);
        for (const std::string& entry : fileList) {
            ui.pumpEvents();
            FileContents input = getFileContents(entry, 1, ui);
            if (!input.theMessage.empty()) {
                ui.messageBox(input.theMessage, MsgStyle::Ok);
                ui.setBusy(false);
                output.close(); // keeps the inputs written before this one
                return false;
            }
            copyRange(input.file, 0, input.fileLength, output, ui, pieceSize);
            if (count > value)
                ui.setProgressValue(++value);
        }
        output.close();
        ui.setProgressValue(count);
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
