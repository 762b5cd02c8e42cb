#include "dialog/commands/SegmentSteps.h"

#include "dialog/StepContext.h"
#include "engines/io/FileIo.h"
#include "engines/names/CountText.h"
#include "engines/names/PiecePolicy.h"
#include "engines/operations/Segmenter.h"
#include "platform/PathText.h"

#include <optional>
#include <string>

namespace shardix {

namespace {

const QString kPickFileToSegment = QStringLiteral("Please select/enter a file to segment.");
const QString kCountAboveOne =
    QStringLiteral("The number of file segments must be greater than one.  Please enter a "
                   "number greater than one.");

} // namespace

QString SegmentSteps::caption(int step) const {
    return step == kPickSource
               ? QStringLiteral("Select DIR and/or file to SEGMENT")
               : QStringLiteral("Select DIR and/or enter BASE name for each segment");
}

StepControls SegmentSteps::controls(int step) const {
    if (step == kPickSource)
        return {.emptiesName = true, .hidesProgress = true};
    return {.asksCount = true, .namesOutput = true};
}

void SegmentSteps::ok(int step, StepContext& context) {
    if (step == kPickSource)
        return pickSource(context);
    cutIntoPieces(context);
}

QString SegmentSteps::completionMessage(const QString& folder) const {
    return appearsInFolder(QStringLiteral("file sections"), folder, QStringLiteral("files"));
}

void SegmentSteps::pickSource(StepContext& context) {
    if (context.namedFile(kPickFileToSegment).isEmpty())
        return;
    sourceFolder_ = context.folder();
    sourceName_ = context.name();
    context.accept();
}

void SegmentSteps::cutIntoPieces(StepContext& context) {
    // The count as the box shows it: one number, or none. A box that shows
    // "1 3" (a digit taken out of the middle) is refused, never read as 13.
    const std::optional<int> count = parseCount(context.countText().toStdString());
    if (!count || *count < 2)
        return context.stopAt(Entry::Count, kCountAboveOne);
    const QString source = withSlash(sourceFolder_) + sourceName_;
    if (!context.requireFile(source))
        return;
    const OutputName output = context.nameOutput();
    const QString first = output.path + QLatin1Char('1');
    if (context.refused(refusedOutput(nativePath(first))) || !context.mayWrite(first))
        return;
    const std::string basePath = nativePath(output.path);
    SegmentOptions options;
    options.writeManifest = context.checksumsWanted();
    options.writer = "Shardix! (shardix)";
    if (options.writeManifest)
        context.addToCompletion(QStringLiteral("The checksums of the pieces were written to %1.")
                                    .arg(shownQuoted(manifestPathFor(basePath))));
    if (!context.startRun())
        return;
    const Result<> cut =
        segmentFile(nativePath(source), basePath, *count, context.progress(), options);
    context.endRun(cut, output.folder);
}

} // namespace shardix
