#pragma once

#include "dialog/DialogEngineUi.h"
#include "dialog/DriveTable.h"
#include "engines/Failure.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace shardix {

class DriveList;
class FileList;
class FolderList;
class NameBox;

// The step captions: the dialog's only notion of the step it serves.
namespace caption {
inline const QString kSegmentFile = QStringLiteral("Select DIR and/or file to SEGMENT");
inline const QString kSegmentBase =
    QStringLiteral("Select DIR and/or enter BASE name for each segment");
inline const QString kAssembleFiles = QStringLiteral("Select DIR and/or files to ASSEMBLE");
inline const QString kAssembleName =
    QStringLiteral("Select DIR and/or enter NAME for assembled file");
inline const QString kAppendTo = QStringLiteral("Select DIR and/or file to append TO");
inline const QString kAppendFrom = QStringLiteral("Select DIR and/or file(s) to append FROM");
inline const QString kCopyTo = QStringLiteral("Select destination to COPY to");
inline const QString kMoveTo = QStringLiteral("Select destination to MOVE to");
} // namespace caption

// The operation dialog: every file command is set up, checked and run here.
// Created once, then only shown and hidden; the caption tells the step.
class Form3 : public QDialog {
    Q_OBJECT
  public:
    // The engine calls of a run. Tests may put others in their place.
    struct EngineCalls {
        std::function<RunResult(const std::string& source, const std::string& basePath, int count,
                                RunProgress& progress)>
            segment;
        std::function<RunResult(const std::vector<std::string>& fileList, const std::string& target,
                                RunProgress& progress)>
            assemble;
        std::function<RunResult(const std::vector<std::string>& sources, const std::string& target,
                                RunProgress& progress)>
            append;
    };

    explicit Form3(QWidget* parent = nullptr, DriveTable drives = DriveTable());

    QString caption() const { return windowTitle(); }
    // The caption is also shown inside the dialog, where no window manager cuts
    // it short.
    void setCaption(const QString& text);

    // Shows the dialog modally; returns when it is hidden.
    void showModal();

    // The OK action and Cancel.
    void Command1_Click();
    void Command2_Click();

    void Dir1_Change();
    void Dir1_GotFocus();

    // True while an engine run (or the OK handler leading to it) is under way.
    bool isRunning() const { return running_; }

    void setEngineCalls(EngineCalls calls) { engines_ = std::move(calls); }
    DriveTable& drives() { return drives_; }

    DriveList* Drive1;
    FolderList* Dir1;
    FileList* File1;
    FileList* File2;
    NameBox* Text1;
    NameBox* MaskEdBox1;
    QPushButton* Command1;
    QPushButton* Command2;
    QListWidget* List1;
    QLabel* Label1;
    QProgressBar* ProgressBar1;
    QLabel* Label2;
    QLabel* instruction; // the step's caption, in the row of the progress bar

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

  private:
    QWidget* owner() const;
    void settleActivation();
    void Form_Activate();
    // Brings the folder list up to date (a step shown, the program active again).
    void refreshFolders();
    void Drive1_Change();
    void File1_Click();
    void File1_DblClick();
    void File2_Click();
    void File2_DblClick();

    void okSteps();
    void segmentStep1();
    void segmentStep2();
    void assembleStep1();
    void assembleStep2();
    void appendStep1();
    void appendStep2();
    void run(const QString& key, const std::function<RunResult()>& engine);
    void showCompletion(bool announce);
    void stopAt(QWidget* control, const QString& message);
    // The file named in Text1 exists in the folder shown (fullPath, fileDate);
    // otherwise its message has been shown.
    bool namedFileExists(const QString& whenEmpty);

    void checkDir(const QString& theDir, const QString& theFile);
    void checkForFile(const QString& itIs);
    void checkDestiny(const QString& itIs);
    void getAnswer();
    void getFiles();

    DriveTable drives_;
    DialogEngineUi engineUi_;
    EngineCalls engines_;
    bool running_ = false;

    QString fullPath_;
    QString srcDir_;
    QString srcName_;
    QString destDir_;
    QString destPath_;
    QString theMessage_;
};

} // namespace shardix
