#pragma once

#include <QString>

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

} // namespace shardix::globals
