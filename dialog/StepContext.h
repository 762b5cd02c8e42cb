#pragma once

#include "dialog/CommandSteps.h"
#include "engines/manifest/JoinPlan.h"
#include "errors/Result.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class QDialog;

namespace shardix {

class DialogProgress;
class DriveTable;
class RunProgress;
struct DialogControls;

// The control a refused entry sends the user back to.
enum class Entry { Name, Count, Files };

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

// What a step's OK works in: the dialog's entries, the checks all steps
// share, the end of the step, and a run of an engine with the busy pointer,
// the progress bar and Cancel as a stop. Owned by the operation dialog, which
// tells it the step shown.
class StepContext {
  public:
    // `programFolder` is made current while an engine runs; none when empty.
    StepContext(QDialog& dialog, DialogControls& controls, DialogProgress& progress,
                DriveTable& drives, QString programFolder);

    // The step shown: its command and how its controls behave.
    void showing(const CommandSteps* command, const StepControls& controls);

    // The entries: the name box's text, the folder shown (as the folder list
    // writes it), the count as its box shows it, the choice of a checksum file.
    QString name() const;
    QString folder() const;
    QString countText() const;
    bool checksumsWanted() const;

    // Shows `message` and puts the focus on `control`, its text selected.
    void stopAt(Entry control, const QString& message);
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

    // A run: startRun(), then the engine with progress(), then endRun() with
    // what the engine gave. The program's folder is current while the engine
    // runs (false, after its message, when it cannot be entered: no run then);
    // then `outputFolder` is made current and the step ends with the command's
    // completion message. A failure shows its own message instead, a refusal
    // before anything was written and a stop bring the step back.
    bool startRun();
    RunProgress& progress();
    void endRun(const Result<>& outcome, const QString& outputFolder);
    // Within a run that joins the selection into `target`: the plan of the
    // engines' one planner (the manifest that lists the selected files, when
    // one lies beside them, and its checksums). endJoin() ends the run.
    Result<ListedPlan> beginJoin(const std::string& target);
    void endJoin(const Result<>& joined, const Result<ListedPlan>& plan,
                 const QString& outputFolder);
    // A sentence told after the completion message when the run under way, or
    // about to start, succeeds.
    void addToCompletion(const QString& sentence) { afterCompletion_.append(sentence); }
    // Whether an engine runs: Cancel then stops it.
    bool engineRunning() const { return engineRunning_; }
    void requestStop();

  private:
    void tellOutcome(const Result<>& outcome, const QString& outputFolder);
    void finishRun(bool announce, const QString& outputFolder);
    void returnAfterStop(const QString& message);
    void stayAfterRefusal(const Error& error);

    QDialog& dialog_;
    DialogControls& controls_;
    DialogProgress& progress_;
    DriveTable& drives_;
    const QString programFolder_;
    const CommandSteps* command_ = nullptr; // the command of the step shown
    StepControls shown_;                    // how the step shown behaves
    StepResult result_ = StepResult::Cancelled;
    bool engineRunning_ = false;
    std::vector<std::string> selection_;
    // How the output of the run under way can be completed after a stop; empty
    // when it cannot.
    std::string completesAfterStop_;
    QStringList afterCompletion_;
};

} // namespace shardix
