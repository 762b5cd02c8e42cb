#pragma once

#include "platform/Twips.h"

// Where the operation dialog's controls lie, in twips: the drive and folder
// lists on the left, the file lists and the name box on the right, the buttons
// and the count below them, the progress bar in the bottom row.
namespace shardix::DialogLayout {

constexpr QSize kClientSize = twipsSize(5652, 4248);

constexpr QRect kDriveList = twipsRect(240, 240, 2775, 315);
constexpr QRect kFolderList = twipsRect(240, 720, 2775, 2340);
constexpr QRect kFileList = twipsRect(3240, 240, 2175, 2184);
// The list that picks several files reaches down over the name box's row.
constexpr QRect kMultiFileList = twipsRect(3240, 240, 2175, 3540);
// The choice of a checksum file, below the file list, which makes room for it.
constexpr QRect kChecksumBox = twipsRect(3240, 2355, 2175, 285);
constexpr int kChecksumRoom = twips(330);
constexpr QRect kNameBox = twipsRect(3240, 2685, 2175, 375);

constexpr QRect kOkButton = twipsRect(240, 3240, 975, 375);
constexpr QRect kCancelButton = twipsRect(2040, 3240, 975, 375);
constexpr QRect kCountLabel = twipsRect(3360, 3315, 1455, 255);
constexpr QRect kCountBox = twipsRect(4800, 3240, 615, 375);

constexpr QRect kWorkingLabel = twipsRect(480, 3840, 975, 255);
constexpr QRect kProgressBar = twipsRect(1440, 3840, 3615, 255);
// The step's caption, in the row of the progress bar while no run is under way.
constexpr QRect kInstruction = twipsRect(240, 3840, 5172, 255);

} // namespace shardix::DialogLayout
