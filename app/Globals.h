#pragma once

#include <QDateTime>
#include <QString>

#include <string>
#include <vector>

// Program-wide state shared by the windows.
namespace shardix::globals {

// The last message box put through the shared message-box state.
inline QString msgPrompt;
inline int msgStyle = 0;
inline QString msgTitle;
inline int msgAnswer = 0;

// The folder that holds the settings store, always ending with exactly one "/",
// and the store's full path.
inline QString appFolder;
inline QString dbPath;

// The operation dialog's state that outlives one step: the selected-files list
// (full paths, in reading order) and how many entries were selected, the date of
// the file last probed (null when it was not found), the overwrite answer ("Y" or
// "N"), the key of the engine last run ("cut", "paste" or "add"), and the move
// flag, which Cancel empties.
inline std::vector<std::string> fileList;
inline int fileCount = 0;
inline QDateTime fileDate;
inline QString theAnswer;
inline QString opMode;
inline QString moveMode;

} // namespace shardix::globals
