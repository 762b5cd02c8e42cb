#pragma once

#include "platform/WindowServices.h"

#include <QCoreApplication>
#include <QQueue>
#include <QStringList>

#include <functional>

namespace shardix::testing {

// A window-services double that tests hand to the windows: records every box
// and answers from a queue, never building a window. An unscripted box gets its
// default button: OK, or the second button when the style names it, else the first.
class ScriptedServices : public WindowServices {
  public:
    struct Box {
        QString text;
        int style = 0;
        QString title; // as shown: "Shardix!" when none was given
        int answer = 0;
    };

    void answerNext(int answer) { answers.enqueue(answer); }
    // Paths for the next Open dialogs; an empty text is a Cancel.
    void openFileNext(const QString& path) { openAnswers.enqueue(path); }

    int messageBox(const QString& text, int style, const QString& title) override {
        const int buttons = style & 0x7, second = (style & 0x300) == MessageStyle::SecondIsDefault;
        const int byDefault = buttons == MessageStyle::OkCancel ? MessageAnswer::Ok + second
                              : buttons == MessageStyle::YesNo  ? MessageAnswer::Yes + second
                                                                : MessageAnswer::Ok;
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
    // Every box so far as "<style> <title>: <text>".
    QStringList shown() const {
        QStringList all;
        for (const Box& b : boxes)
            all.append(QStringLiteral("%1 %2: %3").arg(b.style).arg(b.title, b.text));
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
    QQueue<int> answers;
    QQueue<QString> openAnswers;
    bool busy_ = false;
};

} // namespace shardix::testing
