#pragma once

#include <QString>

#include <array>
#include <cstddef>

namespace shardix {

// A message box's buttons, its icon and which of its buttons Enter presses,
// each named; combined with |, for instance
//   MessageButtons::YesNo | MessageIcon::Question | MessageDefault::Second.
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageIcon { None, Critical, Question, Information, Warning };
enum class MessageDefault { First, Second };

// The button the user pressed.
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageStyle {
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
    MessageDefault byDefault = MessageDefault::First;

    constexpr MessageStyle() = default;
    // A style of one part, the others as a plain box has them: OK, no icon.
    constexpr MessageStyle(MessageButtons b) : buttons(b) {}
    constexpr MessageStyle(MessageIcon i) : icon(i) {}
    constexpr MessageStyle(MessageDefault d) : byDefault(d) {}

    friend constexpr bool operator==(const MessageStyle&, const MessageStyle&) = default;
};

constexpr MessageStyle operator|(MessageStyle style, MessageButtons buttons) {
    style.buttons = buttons;
    return style;
}
constexpr MessageStyle operator|(MessageStyle style, MessageIcon icon) {
    style.icon = icon;
    return style;
}
constexpr MessageStyle operator|(MessageStyle style, MessageDefault byDefault) {
    style.byDefault = byDefault;
    return style;
}

// The answers of a box's buttons, in the order the user reads them: one or two.
struct MessageChoices {
    std::array<MessageAnswer, 2> answers;
    std::size_t count;

    // The answer of the last button: Escape's (Cancel or No, never Yes).
    constexpr MessageAnswer last() const { return answers[count - 1]; }
    // The answer of the button Enter presses.
    constexpr MessageAnswer byDefault(MessageDefault which) const {
        return which == MessageDefault::Second && count > 1 ? answers[1] : answers[0];
    }
};

constexpr MessageChoices choicesOf(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::OkCancel:
        return {{MessageAnswer::Ok, MessageAnswer::Cancel}, 2};
    case MessageButtons::YesNo:
        return {{MessageAnswer::Yes, MessageAnswer::No}, 2};
    case MessageButtons::Ok:
        break;
    }
    return {{MessageAnswer::Ok, MessageAnswer::Ok}, 1};
}

// The titles of the program's windows and boxes: its name, the main window's
// explanations of failures, and the questions the user decides.
inline const QString kAppTitle = QStringLiteral("Shardix!");
inline const QString kSorryTitle = QStringLiteral("Shardix! - Sorry...");
inline const QString kChoiceTitle = QStringLiteral("Shardix! - It's your choice...");

} // namespace shardix
