#pragma once

#include <QString>

namespace shardix {

// Message-box styles: buttons + icon + default button, added together.
namespace MessageStyle {
constexpr int Ok = 0;
constexpr int OkCancel = 1;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Information = 64;
constexpr int SecondIsDefault = 256;
} // namespace MessageStyle

// The button the user pressed.
namespace MessageAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MessageAnswer

// The titles of the program's windows and boxes: its name, the main window's
// explanations of failures, and the questions the user decides.
inline const QString kAppTitle = QStringLiteral("Shardix!");
inline const QString kSorryTitle = QStringLiteral("Shardix! - Sorry...");
inline const QString kChoiceTitle = QStringLiteral("Shardix! - It's your choice...");

} // namespace shardix
