#include "dialog/commands/AssembleSteps.h"

#include "dialog/StepContext.h"
#include "engines/operations/Assembler.h"
#include "platform/PathText.h"

#include <string>

namespace shardix {

namespace {

const QString kPickFilesToAssemble = QStringLiteral("Please select fileS to assemble.");
const QString kNameTheAssembled =
    QStringLiteral("Please enter/select a name for the assembled file.");

} // namespace

QString AssembleSteps::caption(int step) const {
    return step == kPickPieces ? QStringLiteral("Select DIR and/or files to ASSEMBLE")
                               : QStringLiteral("Select DIR and/or enter NAME for assembled file");
}

StepControls AssembleSteps::controls(int step) const {
    if (step == kPickPieces)
        return {.pick = FilePick::Several, .lists = ListStart::FolderShown, .hidesProgress = true};
    return {.lists = ListStart::FolderShown, .emptiesName = true, .namesOutput = true};
}

void AssembleSteps::ok(int step, StepContext& context) {
    if (step == kPickPieces)
        return pickPieces(context);
    joinPieces(context);
}

QString AssembleSteps::completionMessage(const QString& folder) const {
    return appearsInFolder(QStringLiteral("assembled file"), folder, QStringLiteral("file"));
}

void AssembleSteps::pickPieces(StepContext& context) {
    if (context.pickFiles().size() < 2)
        return context.stopAt(Entry::Files, kPickFilesToAssemble);
    context.accept();
}

void AssembleSteps::joinPieces(StepContext& context) {
    if (context.name().isEmpty())
        return context.stopAt(Entry::Name, kNameTheAssembled);
    const OutputName output = context.nameOutput();
    const std::string target = nativePath(output.path);
    // A name that cannot take the output is refused before the user is asked
    // whether to replace the file.
    if (context.refused(refusedTarget(context.selection(), target)) ||
        !context.mayWrite(output.path) || !context.startRun())
        return;
    const Result<ListedPlan> plan = context.beginJoin(target);
    const Result<> joined = plan.ok()
                                ? assembleFiles(context.selection(), target, context.progress(),
                                                {.expected = plan->checks()})
                                : Result<>(plan.error());
    // Named as the folder list writes it: with no trailing "/".
    context.endJoin(joined, plan, context.folder());
}

} // namespace shardix
