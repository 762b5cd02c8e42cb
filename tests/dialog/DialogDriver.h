#pragma once

#include "app/MainWindow.h"
#include "app/Session.h"
#include "dialog/DriveList.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/NameBox.h"
#include "dialog/OperationDialog.h"
#include "platform/PathText.h"
#include "tests/support/ScriptedServices.h"

#include <QAction>
#include <QCheckBox>
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

// The dialog's controls, found by their names.
template <typename Control> Control* control(const QWidget& dialog, const char* name) {
    auto* found = dialog.findChild<Control*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}
inline DriveList* driveList(const QWidget& d) {
    return control<DriveList>(d, "driveList");
}
inline FolderList* folderList(const QWidget& d) {
    return control<FolderList>(d, "folderList");
}
// The list that picks one file, and the one that picks several.
inline FileList* fileList(const QWidget& d) {
    return control<FileList>(d, "fileList");
}
inline FileList* multiFileList(const QWidget& d) {
    return control<FileList>(d, "multiFileList");
}
inline NameBox* nameBox(const QWidget& d) {
    return control<NameBox>(d, "nameBox");
}
inline NameBox* countBox(const QWidget& d) {
    return control<NameBox>(d, "countBox");
}
inline QCheckBox* checksumBox(const QWidget& d) {
    return control<QCheckBox>(d, "checksumBox");
}
inline QPushButton* okButton(const QWidget& d) {
    return control<QPushButton>(d, "okButton");
}
inline QPushButton* cancelButton(const QWidget& d) {
    return control<QPushButton>(d, "cancelButton");
}
inline QProgressBar* progressBar(const QWidget& d) {
    return control<QProgressBar>(d, "progressBar");
}
inline QLabel* workingLabel(const QWidget& d) {
    return control<QLabel>(d, "workingLabel");
}

// Scripted boxes whose event pump plays `duringRun` while a run keeps the
// pointer busy, as if the user's input arrived there, with the number of that
// pump in the run (from 1).
class RunServices : public ScriptedServices {
  public:
    void pumpEvents() override {
        if (isBusy() && duringRun)
            duringRun(++runPumps);
        ScriptedServices::pumpEvents();
    }
    std::function<void(int)> duringRun;
    int runPumps = 0;
};

// Plays one script each time the operation dialog is shown, once it is up. A
// script that leaves the dialog shown is followed by Cancel; a showing without a
// script left is cancelled at once and counts as unexpected.
class StepScripts : public QObject {
  public:
    explicit StepScripts(OperationDialog& dialog) : dialog_(dialog) {
        dialog.installEventFilter(this);
    }
    void then(std::function<void(OperationDialog&)> script) { scripts_.append(std::move(script)); }
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
                dialog_.reject();
        });
        return false;
    }

  private:
    OperationDialog& dialog_;
    QList<std::function<void(OperationDialog&)>> scripts_;
};

// A fresh folder per test, the program folder inside it made current, scripted
// boxes, and the current folder put back afterwards.
class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        root = tmp_.path();
        appFolder = folder(u"app"_s) + u'/';
        QDir::setCurrent(appFolder);
    }
    void TearDown() override { QDir::setCurrent(savedFolder_); }

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
    static void ok(OperationDialog& f) { QTest::mouseClick(okButton(f), Qt::LeftButton); }
    // OK with `name` in the name box and `count` in the count box; notes the
    // control that has the focus then.
    void okWith(OperationDialog& f, const QString& name, const QString& count = u"2"_s) {
        nameBox(f)->setText(name);
        countBox(f)->setText(count);
        ok(f);
        focus.append(f.focusWidget());
    }

    // A step: into folder `dir`, then OK with `name` and `count`.
    std::function<void(OperationDialog&)> okIn(const QString& dir, const QString& name,
                                               const QString& count = u"2"_s) {
        return [=, this](OperationDialog& f) {
            EXPECT_TRUE(folderList(f)->setPath(dir).ok());
            okWith(f, name, count);
        };
    }

    QString root;
    QString appFolder; // the program's folder, ending with "/"
    RunServices boxes;
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
        session.folder = appFolder;
        window = std::make_unique<MainWindow>(session);
        d = &window->operationDialog();
        steps = std::make_unique<StepScripts>(*d);
    }
    // Runs the menu command whose action is named `name`.
    void command(const char* name) {
        auto* action = window->findChild<QAction*>(QLatin1String(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }

    Session session{boxes, {}, std::nullopt};
    std::unique_ptr<MainWindow> window; // goes after the scripts
    OperationDialog* d = nullptr;
    std::unique_ptr<StepScripts> steps;
};

inline const QString kSegmentsCaption = u"Select DIR and/or enter BASE name for each segment"_s;

// File > Segment File...: a file of 1000 bytes in src/, an empty folder out/.
class SegmentCommand : public CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        source = write(u"src/movie"_s, whole);
        out = folder(u"out"_s);
    }
    // Step 1: `first` in the file's folder, then the file clicked and OK. Step 2,
    // the focus on the selected name: in `out`, the name erased, then `last`.
    void segment(std::function<void(OperationDialog&)> last,
                 std::function<void(OperationDialog&)> first = {}) {
        steps->then([this, first](OperationDialog& f) {
            EXPECT_TRUE(folderList(f)->setPath(at(u"src"_s)).ok());
            if (first)
                first(f);
            click(fileList(f), {u"movie"_s});
            EXPECT_EQ(nameBox(f)->text(), u"movie"_s);
            ok(f);
        });
        steps->then([this, last](OperationDialog& f) {
            EXPECT_TRUE(countBox(f)->isVisible());
            EXPECT_EQ(f.focusWidget(), nameBox(f));
            EXPECT_EQ(nameBox(f)->selectedText(), u"movie"_s);
            EXPECT_TRUE(folderList(f)->setPath(out).ok());
            QTest::keyClick(nameBox(f), Qt::Key_Backspace);
            last(f);
        });
        command("segmentFileCommand");
    }

    const QByteArray whole = pattern(1000);
    QString source;
    QString out;
};

} // namespace shardix::testing
