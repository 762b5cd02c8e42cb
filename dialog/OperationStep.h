#pragma once

#include <QString>

#include <vector>

namespace shardix {

class StepActions;

// Which file list a step picks from: the one that picks one file, or the one
// that picks several, which lies over the name box.
enum class FilePick { One, Several };

// Where a step's lists start when it is shown.
enum class ListStart {
    DriveFolder, // the chosen drive's current folder: where the user works, or the last output's
    FolderShown, // the folder the folder list shows already
};

// What the dialog shows for a step and how its controls behave. Whatever is
// not asked for here is as a command's first step wants it.
struct StepControls {
    FilePick pick = FilePick::One;
    ListStart lists = ListStart::DriveFolder;
    bool emptiesName = false;   // the name box starts empty
    bool hidesProgress = false; // the last run's bar and its label hidden
    bool asksCount = false;     // the number of segments, and the choice of a checksum file
    // The name box names the step's output: it has the focus when the step is
    // shown, and an output that the engine refuses by its name brings the user
    // back to it.
    bool namesOutput = false;
    // Each folder chosen puts "*.*" back in the name box: a file is looked for.
    bool nameStartsAnewInEachFolder = false;
};

// One step of a command: its caption (the dialog's title and the text of its
// bottom row), the controls it shows and what its OK does.
class OperationStep {
  public:
    virtual ~OperationStep() = default;

    virtual QString caption() const = 0;
    virtual StepControls controls() const = 0;
    // OK, once the name box is known to hold no path: checks the step's input,
    // then ends the step with it or runs the command's engine; or stops at the
    // control to mend, with a message.
    virtual void ok(StepActions& dialog) = 0;
    // The message that ends a run whose output went to `folder`; steps that
    // run nothing need none.
    virtual QString completionMessage(const QString& folder) const {
        (void)folder;
        return {};
    }
};

// A command's steps, in the order the user meets them; each is shown once the
// one before it was accepted. The objects keep what a later step needs from an
// earlier one.
class CommandSteps {
  public:
    virtual ~CommandSteps() = default;
    virtual std::vector<OperationStep*> steps() = 0;
};

// How a step shown ended: its input taken, or cancelled (Cancel, Escape, the
// close control).
enum class StepResult { Accepted, Cancelled };

} // namespace shardix
