#pragma once

#include <QString>

namespace shardix {

// The steps of the file commands, two each, in the order the user meets them.
enum class Step {
    SegmentFile,   // the file to cut
    SegmentBase,   // where the pieces go, their base name and how many
    AssembleFiles, // the pieces to join
    AssembleName,  // the joined file's folder and name
    AppendTo,      // the truncated file
    AppendFrom,    // the files it is completed from
};

// How a step shown ended: its input taken, or cancelled (Cancel, Escape, the
// close control).
enum class StepResult { Accepted, Cancelled };

// The caption of a step, in the dialog's title and in its bottom row.
QString captionOf(Step step);

// Whether the step picks several files (in the list that covers the name box).
bool picksSeveralFiles(Step step);

} // namespace shardix
