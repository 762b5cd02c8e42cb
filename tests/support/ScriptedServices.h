#pragma once

#include "app/WindowServices.h"

#include <QCoreApplication>
#include <QList>
#include <QQueue>
#include <QString>
#include <functional>

namespace shardix::testing {

// A window-services double: records every box, answers from a queue, and never
// builds a window. Put in place for the lifetime of the object.
class ScriptedServices : public WindowServices {
public:
    struct Box {
        QString text;
        int style = 0;
        QString title; // as shown: "Shardix!" when none was given
        int answer = 0;
        bool scripted = false; // false: answered with the default button
    };

    ScriptedServices() { setServices(this); }
    ~ScriptedServices() override { setServices(nullptr); }

    // Answers for the next boxes, in order. An unscripted box gets its default
    // button (OK, or the second button when style holds 256, else the first).
    void answerNext(int answer) { answers.enqueue(answer); }
    // A callback run when the next box is shown (before it is answered); it may
    // look at windows or press buttons. Runs once.
    void onNextBox(std::function<void(const Box&)> f) { boxHooks.enqueue(std::move(f)); }
    // Paths for the next Open dialogs; an empty text is a Cancel.
    void openFileNext(const QString& path) { openAnswers.enqueue(path); }

    int messageBox(const QString& text, int style, const QString& title) override {
        Box box{text, style, title.isEmpty() ? kAppTitle : title, 0, !answers.isEmpty()};
        if (box.scripted) {
            box.answer = answers.dequeue();
        } else {
            const int buttons = style & 0x7;
            const bool second = (style & 0x300) == 256;
            if (buttons == 1)
                box.answer = second ? 2 : 1;
            else if (buttons == 4)
                box.answer = second ? 7 : 6;
            else
                box.answer = 1;
        }
        boxes.append(box);
        if (!boxHooks.isEmpty())
            boxHooks.dequeue()(box);
        return box.answer;
    }

    void setBusy(bool busy) override {
        busy_ = busy;
        busyChanges.append(busy);
    }
    bool isBusy() const override { return busy_; }

    void pumpEvents() override {
        ++pumps;
        QCoreApplication::processEvents();
    }

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

    QList<Box> boxes;
    QList<bool> busyChanges;
    QList<QPair<QString, QString>> openDialogs;
    QStringList urls;
    bool openUrlResult = true;
    int pumps = 0;

private:
    QQueue<int> answers;
    QQueue<std::function<void(const Box&)>> boxHooks;
    QQueue<QString> openAnswers;
    bool busy_ = false;
};

} // namespace shardix::testing
