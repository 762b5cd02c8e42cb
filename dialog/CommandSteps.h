#pragma once

#include "platform/PathText.h"

#include <QString>

namespace shardix {

class StepContext;

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
    bool asksCount = false;     // the number of pieces, and the choice of a checksum file
    // The name box names the step's output: it has the focus when the step is
    // shown, and an output that the engine refuses by its name brings the user
    // back to it.
    bool namesOutput = false;
    // Each folder chosen puts "*.*" back in the name box: a file is looked for.
    bool nameStartsAnewInEachFolder = false;
};

// A command of the operation dialog: its steps, numbered from 0 in the order
// the user meets them, each shown once the one before it was accepted. The
// object keeps what a later step needs from an earlier one.
class CommandSteps {
  public:
    virtual ~CommandSteps() = default;

    virtual int stepCount() const = 0;
    // The step's caption: the dialog's title and the text of its bottom row.
    virtual QString caption(int step) const = 0;
    virtual StepControls controls(int step) const = 0;
    // OK at `step`, once the name box is known to hold no path: checks the
    // step's input, then ends the step with it or runs the command's engine;
    // or stops at the control to mend, with a message.
    virtual void ok(int step, StepContext& context) = 0;
    // The message that ends the command's run, whose output went to `folder`.
    virtual QString completionMessage(const QString& folder) const = 0;
};

// The words every command's completion message shares: "The WHAT should
// appear in this folder: FOLDER.  You might have to refresh the folder (hit
// F5) to see the SEEN."
inline QString appearsInFolder(const QString& what, const QString& folder, const QString& seen) {
    return QStringLiteral("The ") + what + QStringLiteral(" should appear in this folder: ") +
           shownPath(folder) +
           QStringLiteral(".  You might have to refresh the folder (hit F5) to see the ") + seen +
           QStringLiteral(".");
}

// How a step shown ended: its input taken, or cancelled (Cancel, Escape, the
// close control).
enum class StepResult { Accepted, Cancelled };

} // namespace shardix
