#include "dialog/commands/AppendSteps.h"

#include "dialog/StepContext.h"
#include "engines/io/FileIo.h"
#include "engines/operations/Appender.h"
#include "platform/PathText.h"

#include <QFileInfo>

#include <string>

namespace shardix {

namespace {

const QString kNameFileToAppendTo =
    QStringLiteral("Please select/enter a name of a file to append to.");
const QString kPickFilesToAppendFrom = QStringLiteral("Please select file(s) to append from.");

} // namespace

QString AppendSteps::caption(int step) const {
    return step == kPickTarget ? QStringLiteral("Select DIR and/or file to append TO")
                               : QStringLiteral("Select DIR and/or file(s) to append FROM");
}

StepControls AppendSteps::controls(int step) const {
    if (step == kPickTarget)
        return {.emptiesName = true, .hidesProgress = true, .nameStartsAnewInEachFolder = true};
    return {.pick = FilePick::Several};
}

void AppendSteps::ok(int step, StepContext& context) {
    if (step == kPickTarget)
        return pickTarget(context);
    appendSources(context);
}

QString AppendSteps::completionMessage(const QString& folder) const {
    return appearsInFolder(QStringLiteral("processed file"), folder, QStringLiteral("file"));
}

void AppendSteps::pickTarget(StepContext& context) {
    const QString named = context.namedFile(kNameFileToAppendTo);
    if (named.isEmpty())
        return;
    // A pipe or a device would take the bytes away, or wait for a reader.
    if (context.refused(refusedOutput(nativePath(named))))
        return;
    context.hide();
    target_ = context.nameOutput().path;
    // The file may have gone meanwhile: then there is nothing to append to.
    if (isFile(target_))
        context.accept();
}

void AppendSteps::appendSources(StepContext& context) {
    if (context.pickFiles().empty())
        return context.stopAt(Entry::Files, kPickFilesToAppendFrom);
    const std::string target = nativePath(target_);
    const qint64 before = QFileInfo(target_).size();
    if (!context.startRun())
        return;
    const Result<ListedPlan> plan = context.beginJoin(target);
    const Result<> appended = plan.ok()
                                  ? appendFile(context.selection(), target, context.progress(),
                                               {.expected = plan->checks()})
                                  : Result<>(plan.error());
    if (appended.ok() && QFileInfo(target_).size() == before)
        context.addToCompletion(QStringLiteral("%1 was already complete: nothing was appended.")
                                    .arg(shownQuoted(target)));
    // Named as the folder list writes a folder, whichever folder the files
    // appended from lie in.
    context.endJoin(appended, plan, folderOf(target_));
}

} // namespace shardix
