#include "engines/manifest/JoinPlan.h"

#include "engines/io/FileIdentity.h"
#include "engines/io/FileIo.h"
#include "engines/manifest/ChecksumFile.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/ManifestMatch.h"
#include "engines/manifest/ManifestSearch.h"
#include "engines/names/PieceNumbers.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

namespace shardix {

namespace {

Error refusal(std::string message) {
    return Error::of(ErrorKind::Refused, std::move(message));
}

// A glob such as p* takes in p.sha256 beside p1 .. pn: its text would be
// joined in without a word.
Result<> refusedChecksumList(const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        if (isChecksumListName(input.substr(input.find_last_of('/') + 1)))
            return refusal(shardix::quoted(input) +
                           " is a list of checksums, not a piece to join; leave it out (it is "
                           "found beside the pieces, or give it with --manifest).");
    }
    return {};
}

// The output typed last: a TARGET that is itself a numbered piece among the
// inputs.
Result<> refusedPieceTarget(const TypedFiles& typed, const std::string& target,
                            const std::vector<std::string>& inputs) {
    const auto base = pieceBaseOf(target, inputs);
    if (!base)
        return {};
    return refusal(
        "TARGET " + shardix::quoted(target) + " is itself a piece of " + shardix::quoted(*base) +
        ", like the " + (typed.kind == JoinKind::Assemble ? "INPUTs" : "SOURCEs") +
        ": TARGET comes first (shardix-cli " + typed.synopsis + ").  Nothing was written.");
}

// Why the files typed cannot be joined as they stand, before anything is read;
// sorted ones are put in number order first.
Result<> refusedTyped(const TypedFiles& typed, const std::string& target,
                      std::vector<std::string>& inputs) {
    Result<> refused = typed.kind == JoinKind::Assemble ? refusedTarget(inputs, target)
                                                        : refusedAppendTarget(inputs, target);
    if (refused.ok())
        refused = refusedChecksumList(inputs);
    if (!refused.ok())
        return refused;
    if (typed.order == PieceOrder::Sorted) {
        orderByNumber(inputs);
        if (Result<> missing = missingPieces(inputs); !missing.ok())
            return missing;
    }
    return refusedPieceTarget(typed, target, inputs);
}

// Numbered pieces without a list are joined in number order unless told
// otherwise.
Result<> refusedOrder(const std::vector<std::string>& inputs) {
    if (Result<> order = outOfNumberOrder(inputs); !order.ok())
        return refusal(order.error().message +
                       "  Give --sort to join them in number order, or --as-given to join them "
                       "in the order given.");
    return {};
}

} // namespace

Result<ListedPlan> planListed(ListedJoin join) {
    if (join.typed) {
        if (Result<> refused = refusedTyped(*join.typed, join.target, join.inputs); !refused.ok())
            return refused.error();
    }
    Result<ListedChecks> checks =
        checksFor(join.inputs, join.target, join.manifest, join.checked, join.hints);
    if (!checks.ok())
        return checks.error();
    ListedPlan plan{std::move(join.inputs), std::move(checks.value().manifestPath),
                    std::move(checks.value().expected)};
    if (plan.manifestPath.empty() && join.typed && join.typed->order == PieceOrder::Numbered) {
        if (Result<> order = refusedOrder(plan.inputs); !order.ok())
            return order.error();
    }
    return plan;
}

Result<ListedChecks> checksFor(const std::vector<std::string>& inputs, const std::string& target,
                               const std::string& named, bool checked, const ChecksHints& hints) {
    ListedChecks checks;
    if (!checked)
        return checks;
    if (named.empty()) {
        Result<std::string> found = findManifest(inputs);
        if (!found.ok())
            return Error::of(ErrorKind::Refused, found.error().message + hints.choose);
        checks.manifestPath = std::move(found).value();
    } else {
        checks.manifestPath = named;
    }
    if (checks.manifestPath.empty())
        return checks;
    // The output typed last, among the pieces.
    const Result<Manifest> manifest = Manifest::read(checks.manifestPath);
    if (!sameFile(target, checks.manifestPath) && manifest.ok() &&
        manifestListsAsPiece(*manifest, checks.manifestPath, target))
        return Error::refusedName(shardix::quoted(target) + " is one of the pieces that " +
                                  shardix::quoted(checks.manifestPath) +
                                  " lists: it is not written over." + hints.targetFirst +
                                  "  Nothing was written.");
    Result<Checksums> expected = expectedForJoin(checks.manifestPath, inputs, target);
    if (!expected.ok())
        return expected.error();
    checks.expected = std::move(expected).value();
    return checks;
}

std::string targetIsAnInput(const std::string& target) {
    return shardix::quoted(target) +
           " is one of the files to be assembled.  Assembling into it would destroy it.  "
           "Please choose another name for the assembled file.";
}

Result<> refusedTarget(const std::vector<std::string>& fileList, const std::string& target) {
    // Writing the target changes it: if it is one of the inputs, by any name,
    // that input would be lost before it is read.
    for (const std::string& entry : fileList) {
        if (!sameFile(entry, target))
            continue;
        return Error::refusedName(entry == target
                                      ? targetIsAnInput(target)
                                      : oneFile(target, entry) + ": " + targetIsAnInput(target));
    }
    return refusedOutput(target);
}

Result<> refusedAppendTarget(const std::vector<std::string>& sources, const std::string& target) {
    // Appending to a source, by any name, would grow it while it is read.
    for (const std::string& source : sources) {
        if (sameFile(source, target))
            return Error::refusedName(
                (source == target ? shardix::quoted(target) + " is one of the files to append from"
                                  : oneFile(target, source)) +
                ": appending to it would change what is read.  Nothing was appended.");
    }
    return refusedOutput(target);
}

} // namespace shardix
