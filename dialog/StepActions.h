#pragma once

#include "dialog/EngineCalls.h"
#include "dialog/OperationStep.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QDialog;

namespace shardix {

class DialogProgress;
class DriveTable;
class WindowServices;
struct DialogControls;

// The control a refused entry sends the user back to.
enum class Mend { Name, Count, Files };

// The output named in the name box: the folder shown, with its trailing "/",
// and the file in it.
struct OutputName {
    QString folder;
    QString path;
};

// A file's name as messages show it, in double quotes (quoted in Quoted.h).
QString shownQuoted(const std::string& path);
// File names as the operating system takes them.
std::string nativePath(const QString& path);
// Whether a file (not a folder) lies at `path`.
bool isFile(const QString& path);

// What a step's OK may do in the operation dialog: read the entries, run the
// checks all steps share, end the step, and run an engine with the busy
// pointer, the progress bar and Cancel as a stop. Owned by the dialog; a step
// is handed it for the length of its OK.
class StepActions {
  public:
    struct Parts {
        QDialog& dialog;
        DialogControls& controls;
        DialogProgress& progress;
        WindowServices& ui;
        DriveTable& drives;
        // Made current while an engine runs; none when empty.
        const QString& programFolder;
        const EngineCalls& engines;
    };
    explicit StepActions(Parts parts) : parts_(parts) {}

    // Runs the OK of `step`.
    void take(OperationStep& step);

    // The entries: the name box's text, the folder shown (as the folder list
    // writes it), the count as its box shows it, the choice of a checksum file.
    QString name() const;
    QString folder() const;
    QString countText() const;
    bool checksumsWanted() const;
    const EngineCalls& engines() const { return parts_.engines; }

    // Shows `message` and puts the focus on `control`, its text selected.
    void stopAt(Mend control, const QString& message);
    // False, after its message, when no file lies at `path`.
    bool requireFile(const QString& path);
    // The file named in the name box, in the folder shown; empty after its
    // message (`whenEmpty` for an empty box) when there is none.
    QString namedFile(const QString& whenEmpty);
    // True, after stopping at the name box with its message, when `check`
    // refused the name.
    bool refused(const Result<>& check);
    // The output named in the name box, in the folder shown. Lets pending
    // window events run first.
    OutputName nameOutput();
    // Whether `path` may be written: no file is there, or the user agrees to
    // replace it.
    bool mayWrite(const QString& path);
    // The files selected in the list that picks several, in the folder shown,
    // in the order the user chooses when two or more are picked; kept as the
    // selection.
    const std::vector<std::string>& pickFiles();
    const std::vector<std::string>& selection() const { return selection_; }
    void clearSelection() { selection_.clear(); }

    // Hides the dialog; the step counts as accepted only once accept() is called.
    void hide();
    // The step's input is taken: the dialog is hidden and the step accepted.
    void accept();
    // The result of the step being shown; Cancelled until it is accepted.
    StepResult result() const { return result_; }
    void resetResult() { result_ = StepResult::Cancelled; }

    // Runs `engine` with the program's folder current, then makes
    // `outputFolder` current and ends the step with the step's completion
    // message; a failure shows its own message instead, a stop brings the
    // step back for another try.
    void run(const QString& outputFolder, const std::function<Result<>(RunProgress&)>& engine);
    // As run, for an engine that joins the selection into `target`: with the
    // checksums of the manifest that lists the selected files, when one lies
    // beside them.
    void runJoin(const QString& outputFolder, const std::string& target,
                 const std::function<Result<>(RunProgress&, const Checksums* expected)>& engine);
    // A sentence told after the step's completion message when the run under
    // way, or about to start, succeeds.
    void addToCompletion(const QString& sentence) { afterCompletion_.append(sentence); }
    // Whether an engine runs: Cancel then stops it.
    bool engineRunning() const { return engineRunning_; }
    void requestStop();

  private:
    void afterRun(const Result<>& outcome, const QString& outputFolder);
    void finishRun(bool announce, const QString& outputFolder);
    void returnAfterStop(const QString& message);
    void stayAfterRefusal(const Error& error);

    Parts parts_;
    OperationStep* step_ = nullptr; // the step whose OK runs
    StepResult result_ = StepResult::Cancelled;
    bool engineRunning_ = false;
    std::vector<std::string> selection_;
    // How the output of the run under way can be completed after a stop; empty
    // when it cannot.
    std::string completesAfterStop_;
    QStringList afterCompletion_;
};

} // namespace shardix
