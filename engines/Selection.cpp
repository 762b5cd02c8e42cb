#include "engines/Selection.h"

#include "engines/EngineUi.h"
#include "engines/Messages.h"

#include <algorithm>

namespace shardix {

namespace {

// Length in characters (UTF-8 code points) of a file name.
std::size_t nameLength(const std::string& name) {
    return static_cast<std::size_t>(std::count_if(name.begin(), name.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

Selection orderSelection(const std::string& srcDir, const std::vector<std::string>& selectedNames,
                         EngineUi& ui) {
    Selection result;
    result.fileCount = static_cast<int>(selectedNames.size());

    std::vector<std::string> names = selectedNames;
    if (names.size() >= 2) {
        result.sortAnswer =
            ui.messageBox(msg::kReorderQuestion, MsgStyle::YesNo + MsgStyle::Question,
                          msg::kChoiceTitle) == MsgAnswer::Yes
                ? MsgAnswer::Yes
                : MsgAnswer::No;
        // Names of one base name differ only in their trailing number, and the
        // list shows names of one length in number order: a stable ordering by
        // length puts segments 1 .. 999 in number order. Nothing is left out.
        if (result.sortAnswer == MsgAnswer::Yes)
            std::stable_sort(names.begin(), names.end(),
                             [](const std::string& a, const std::string& b) {
                                 return nameLength(a) < nameLength(b);
                             });
    }

    result.fileList.reserve(names.size());
    for (const std::string& name : names)
        result.fileList.push_back(srcDir + name);
    return result;
}

} // namespace shardix
