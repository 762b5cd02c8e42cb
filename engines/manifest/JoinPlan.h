#pragma once

#include "engines/manifest/SetChecksums.h"
#include "engines/names/PieceSet.h"
#include "errors/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace shardix {

// What joining the set of one piece, or of a folder, takes: the set, the list
// that checks it and the name of the joined file, with every problem found
// before anything is written. The one planner of a join from one piece.
struct JoinPlan {
    PieceSet set;
    // The list that the joined bytes are checked against, if any.
    std::optional<SetChecksums> checks;
    // The joined file's name in the set's folder: the whole file that the list
    // names, or else the set's base name. Nothing when neither tells.
    std::optional<std::string> outputName;
    // The set's problems, the list's, and the lists beside the pieces that
    // cannot be read.
    std::vector<SetProblem> problems;
    // What does not keep the set from being joined but is told: the list's
    // notes, other lists that list the pieces too.
    std::vector<std::string> notes;

    bool joinable() const { return problems.empty() && !set.members.empty(); }
};

// Finds the set of `pieceOrFolder`, and the checksum list `listPath` or, when
// none is given, the best one beside the pieces; none at all when not
// `checked`. Pieces that the list names may be of any size (a set cut by
// lines): the list checks them. Every list beside the pieces that cannot be
// read is a problem, unless not `checked`, and so is a list named that checks
// nothing of the set.
JoinPlan planJoin(const std::string& pieceOrFolder,
                  const std::optional<std::string>& listPath = std::nullopt, bool checked = true,
                  const PieceSetOptions& setOptions = {});

// The set's pieces for a message: "dir/xaa" .. "dir/xaj" (10 pieces).
std::string sampleOf(const PieceSet& set);

// Why the joined bytes may not go to `target`, whatever the user says: it is
// one of the pieces, a file that a reading of its folder's names counts as a
// piece, the list the pieces are checked against, or a file that list lists
// other than as the joined file. Nothing when they may.
std::optional<std::string> targetRefusal(const std::string& target, const JoinPlan& plan);

} // namespace shardix

namespace shardix {

// What a join of files given in order (assemble, append, the desktop
// program's Assemble and Append) is checked against.
struct ListedChecks {
    std::string manifestPath; // empty for none
    Checksums expected;       // from that list
};

// What the tool adds to refusals: how to choose a list, how to type TARGET.
struct ChecksHints {
    std::string choose;      // after a list beside the files that cannot be chosen
    std::string targetFirst; // after a TARGET that is one of the listed pieces
};

// The list that governs a join of `inputs`, in order, into `target`: the one
// `named`, or else the one beside them that lists them (findManifest); none
// when not `checked` or when no list lists them. Refuses a list beside them
// that cannot be chosen or read, a target that is one of the pieces it lists
// or the list itself, and inputs that are not the pieces it lists, all of
// them in its order.
Result<ListedChecks> checksFor(const std::vector<std::string>& inputs, const std::string& target,
                               const std::string& named, bool checked,
                               const ChecksHints& hints = {});

enum class JoinKind { Assemble, Append };

// The order in which typed files are joined: as given; in number order
// (--sort); or, by default, as given where a list governs them and else only
// when numbered pieces are given in number order.
enum class PieceOrder { AsGiven, Sorted, Numbered };

// Files typed on a command line rather than picked in a list: a glob may take
// in a checksum list, TARGET may be typed last, among the pieces, and numbered
// pieces may come in the shell's order.
struct TypedFiles {
    JoinKind kind = JoinKind::Assemble;
    PieceOrder order = PieceOrder::Numbered;
    std::string synopsis; // how the command is typed: "assemble TARGET INPUT..."
};

// A join of files given in order, as asked.
struct ListedJoin {
    std::string target;
    std::vector<std::string> inputs;
    std::string manifest; // the list named; empty: the one beside them that lists them
    bool checked = true;  // false: no list at all
    ChecksHints hints;
    std::optional<TypedFiles> typed; // none: picked in a list, in the order joined
};

// A join of files given in order that passed its checks.
struct ListedPlan {
    std::vector<std::string> inputs; // in the order they are joined
    std::string manifestPath;        // the list they are checked against; empty for none
    Checksums expected;              // from that list

    // What the joined bytes must match: nothing without a list.
    const Checksums* checks() const { return manifestPath.empty() ? nullptr : &expected; }
};

// The one planner of a join of files given in order, deciding before anything
// is read: typed files are ordered and refused where TARGET is one of them (by
// any name) or a numbered piece among them, where a checksum list is among
// them, or numbered pieces are missing, given twice or out of number order;
// for all, the list that governs them, through checksFor.
Result<ListedPlan> planListed(ListedJoin join);

// The refusal of a target that is one of the inputs (also through a link).
std::string targetIsAnInput(const std::string& target);

// Why `target` cannot take the files of `fileList` (it is one of them, a pipe,
// a socket or a disk device), or nothing when it can.
Result<> refusedTarget(const std::vector<std::string>& fileList, const std::string& target);

// Why `target` cannot be appended to from `sources`: it is one of them (by any
// name), a pipe, a socket, a folder or a disk device. Nothing when it can.
Result<> refusedAppendTarget(const std::vector<std::string>& sources, const std::string& target);

} // namespace shardix
