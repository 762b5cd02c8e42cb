#pragma once

#include "platform/WindowServices.h"

#include <QCoreApplication>
#include <QQueue>
#include <QStringList>

#include <functional>
#include <ostream>

namespace shardix::testing {

// A style as "<buttons>[|<icon>][|Second]": "YesNo|Question|Second", "Ok".
inline QString styleText(MessageStyle style) {
    static const char* const buttons[] = {"Ok", "OkCancel", "YesNo"};
    static const char* const icons[] = {"", "|Critical", "|Question", "|Information", "|Warning"};
    return QString::fromLatin1(buttons[static_cast<int>(style.buttons)]) +
           QString::fromLatin1(icons[static_cast<int>(style.icon)]) +
           (style.byDefault == MessageDefault::Second ? QStringLiteral("|Second") : QString());
}

// A window-services double that tests hand to the windows: records every box
// and answers from a queue, never building a window. An unscripted box gets its
// default button: OK, or the second button when the style names it, else the first.
class ScriptedServices : public WindowServices {
  public:
    struct Box {
        QString text;
        MessageStyle style;
        QString title; // as shown: "Shardix!" when none was given
        MessageAnswer answer = MessageAnswer::Ok;
    };

    void answerNext(MessageAnswer answer) { answers.enqueue(answer); }
    // Paths for the next Open dialogs; an empty text is a Cancel.
    void openFileNext(const QString& path) { openAnswers.enqueue(path); }

    MessageAnswer messageBox(const QString& text, MessageStyle style,
                             const QString& title) override {
        const MessageAnswer byDefault = choicesOf(style.buttons).byDefault(style.byDefault);
        boxes.append({text, style, title.isEmpty() ? kAppTitle : title,
                      answers.isEmpty() ? byDefault : answers.dequeue()});
        if (whileShown)
            whileShown();
        return boxes.back().answer;
    }
    void setBusy(bool busy) override { busyChanges.append(busy_ = busy); }
    bool isBusy() const override { return busy_; }
    void pumpEvents() override { QCoreApplication::processEvents(); }
    QString getOpenFileName(const QString& title, const QString& folder) override {
        openDialogs.append({title, folder});
        return openAnswers.isEmpty() ? QString() : openAnswers.dequeue();
    }
    bool openUrl(const QString& url) override {
        urls.append(url);
        return openUrlResult;
    }

    QStringList boxTexts() const {
        QStringList texts;
        for (const Box& b : boxes)
            texts.append(b.text);
        return texts;
    }
    // Every box so far as "<style> <title>: <text>", the style as styleText writes it.
    QStringList shown() const {
        QStringList all;
        for (const Box& b : boxes)
            all.append(QStringLiteral("%1 %2: %3").arg(styleText(b.style), b.title, b.text));
        return all;
    }

    QList<Box> boxes;
    QList<bool> busyChanges;
    QList<QPair<QString, QString>> openDialogs;
    QStringList urls;
    bool openUrlResult = true;
    // Played while a box is up, as the window system would: a real box takes
    // the activation from the window that showed it.
    std::function<void()> whileShown;

  private:
    QQueue<MessageAnswer> answers;
    QQueue<QString> openAnswers;
    bool busy_ = false;
};

} // namespace shardix::testing

namespace shardix {
// Styles in failure reports, as styleText writes them.
inline void PrintTo(const MessageStyle& style, std::ostream* os) {
    *os << testing::styleText(style).toStdString();
}
} // namespace shardix
