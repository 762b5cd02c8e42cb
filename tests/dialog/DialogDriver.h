#pragma once

#include "app/Form1.h"
#include "app/Globals.h"
#include "dialog/Form3.h"
#include "dialog/ListControls.h"
#include "tests/support/ScriptedServices.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QQueue>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Texts in failure reports.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace shardix::testing {

using namespace Qt::StringLiterals;

// Plays one script each time the operation dialog is shown, once it is up. A
// showing without a script left is cancelled and counted as unexpected; a
// script that leaves the dialog shown is followed by Cancel and counted.
class StepScripts : public QObject {
public:
    explicit StepScripts(Form3& dialog) : dialog_(dialog) { dialog.installEventFilter(this); }

    void then(std::function<void(Form3&)> script) { scripts_.enqueue(std::move(script)); }

    int showings = 0;
    int unexpected = 0;
    QList<bool> leftShown; // per script: still shown when it had run

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &dialog_ && event->type() == QEvent::Show) {
            ++showings;
            if (scripts_.isEmpty()) {
                ++unexpected;
                QTimer::singleShot(0, &dialog_, [this] { dialog_.Command2_Click(); });
            } else {
                auto script = scripts_.dequeue();
                QTimer::singleShot(0, &dialog_, [this, script] {
                    // Focus events reach an active window only.
                    dialog_.activateWindow();
                    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog_));
                    script(dialog_);
                    leftShown.append(dialog_.isVisible());
                    if (dialog_.isVisible())
                        dialog_.Command2_Click();
                });
            }
        }
        return false;
    }

private:
    Form3& dialog_;
    QQueue<std::function<void(Form3&)>> scripts_;
};

// A fresh folder per test, the program folder inside it made current, scripted
// boxes, and the program-wide state of the dialog put back afterwards.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedFolder_ = QDir::currentPath();
        ASSERT_TRUE(tmp_.isValid());
        root = tmp_.path();
        QDir(root).mkpath(QStringLiteral("app"));
        globals::appFolder = root + QStringLiteral("/app/");
        QDir::setCurrent(globals::appFolder);
        globals::fileList.clear();
        globals::fileCount = 0;
        globals::fileDate = QDateTime();
        globals::opMode.clear();
    }
    void TearDown() override {
        QDir::setCurrent(savedFolder_);
        globals::appFolder.clear();
    }

    // Paths below the test's folder.
    QString at(const QString& name) const { return root + QLatin1Char('/') + name; }
    QString folder(const QString& name) const {
        QDir().mkpath(at(name));
        return at(name);
    }
    QString write(const QString& name, const QByteArray& bytes) const {
        QFile f(at(name));
        QDir().mkpath(QFileInfo(f).path());
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Bytes that differ from piece to piece, so that a piece out of place shows.
    static QByteArray pattern(int size) {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
        return bytes;
    }

    // Clicks the entry `name` of a shown file list (with control: adds it to the
    // selection).
    static void click(FileList* list, const QString& name,
                      Qt::KeyboardModifiers keys = Qt::NoModifier) {
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->scrollToItem(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, keys,
                          list->visualItemRect(found.first()).center());
    }
    static void select(FileList* list, const QStringList& names) {
        for (const QString& name : names)
            click(list, name, Qt::ControlModifier);
    }

    QString root;
    ScriptedServices boxes;

private:
    QTemporaryDir tmp_;
    QString savedFolder_;
};

// The main window with its operation dialog, whose showings play scripts.
class CommandTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        window = std::make_unique<Form1>();
        d = &window->form3();
        steps = std::make_unique<StepScripts>(*d);
    }
    void TearDown() override {
        steps.reset();
        window.reset();
        DialogTest::TearDown();
    }

    std::unique_ptr<Form1> window;
    Form3* d = nullptr;
    std::unique_ptr<StepScripts> steps;
};

} // namespace shardix::testing
