#pragma once

#include "app/Form1.h"
#include "app/Globals.h"
#include "dialog/Form3.h"
#include "dialog/ListControls.h"
#include "tests/support/ScriptedServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
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

inline const QString kReorder = u"If the order in which the segments were created was changed by "
                                "the file system, they should be SORTED.  Should Shardix! "
                                "RE-ORDER the selected files?"_s;

// Plays one script each time the operation dialog is shown, once it is up. A
// script that leaves the dialog shown is followed by Cancel; a showing without a
// script left is cancelled at once and counts as unexpected.
class StepScripts : public QObject {
public:
    explicit StepScripts(Form3& dialog) : dialog_(dialog) { dialog.installEventFilter(this); }
    void then(std::function<void(Form3&)> script) { scripts_.append(std::move(script)); }
    qsizetype unexpected() const { return showings - leftShown.size(); }

    int showings = 0;
    QList<bool> leftShown; // per script: still shown when it had run

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &dialog_ || event->type() != QEvent::Show)
            return false;
        ++showings;
        auto script = scripts_.isEmpty() ? nullptr : scripts_.takeFirst();
        QTimer::singleShot(0, &dialog_, [this, script] {
            if (script) {
                dialog_.activateWindow(); // focus events reach an active window only
                EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog_));
                script(dialog_);
                leftShown.append(dialog_.isVisible());
            }
            if (dialog_.isVisible())
                dialog_.Command2_Click();
        });
        return false;
    }

private:
    Form3& dialog_;
    QList<std::function<void(Form3&)>> scripts_;
};

// A fresh folder per test, the program folder inside it made current, scripted
// boxes, and the program-wide state of the dialog put back afterwards.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        root = tmp_.path();
        globals::appFolder = folder(u"app"_s) + u'/';
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
    QString at(const QString& name) const { return root + u'/' + name; }
    QString folder(const QString& name) const {
        EXPECT_TRUE(QDir().mkpath(at(name)));
        return at(name);
    }
    QString write(const QString& name, const QByteArray& bytes) const {
        QFile f(at(name));
        EXPECT_TRUE(QDir().mkpath(QFileInfo(f).path()) && f.open(QIODevice::WriteOnly));
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
    // The message that ends a run whose output went to `dir`.
    static QString completion(const QString& what, const QString& dir, const QString& files) {
        return u"The "_s + what + u" should appear in this folder: "_s + dir +
               u".  You might have to refresh the folder (hit F5) to see the "_s + files + u'.';
    }

    // Clicks the entries `names` of a shown file list, holding `keys`.
    static void click(FileList* list, const QStringList& names, Qt::KeyboardModifiers keys = {}) {
        for (const QString& name : names) {
            const auto found = list->findItems(name, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << name.toStdString();
            list->scrollToItem(found.first());
            QTest::mouseClick(list->viewport(), Qt::LeftButton, keys,
                              list->visualItemRect(found.first()).center());
        }
    }
    static void ok(Form3& f) { QTest::mouseClick(f.Command1, Qt::LeftButton); }
    // OK with `name` in the name box and `count` in the count box; notes the
    // control that has the focus then.
    void okWith(Form3& f, const QString& name, const QString& count = u"2"_s) {
        f.Text1->setText(name);
        f.MaskEdBox1->setText(count);
        ok(f);
        focus.append(f.focusWidget());
    }

    // A step: into folder `dir`, then OK with `name` and `count`.
    std::function<void(Form3&)> okIn(const QString& dir, const QString& name,
                                     const QString& count = u"2"_s) {
        return [=, this](Form3& f) {
            f.Dir1->setPath(dir);
            okWith(f, name, count);
        };
    }

    QString root;
    ScriptedServices boxes;
    QList<QWidget*> focus;

private:
    QTemporaryDir tmp_;
    QString savedFolder_ = QDir::currentPath();
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

    std::unique_ptr<Form1> window; // goes after the scripts
    Form3* d = nullptr;
    std::unique_ptr<StepScripts> steps;
};

} // namespace shardix::testing
