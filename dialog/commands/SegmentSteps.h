#pragma once

#include "dialog/OperationStep.h"
#include "dialog/StepActions.h"
#include "engines/io/FileIo.h"
#include "engines/names/Count.h"
#include "engines/names/PiecePolicy.h"
#include "engines/operations/Segmenter.h"
#include "platform/PathText.h"

#include <optional>
#include <string>
#include <vector>

namespace shardix {

// File > Segment File...: the file to cut, then the folder and base name of
// its segments and how many there are to be.
class SegmentSteps final : public CommandSteps {
  public:
    std::vector<OperationStep*> steps() override { return {&source_, &segments_}; }
    OperationStep& source() { return source_; }
    OperationStep& segments() { return segments_; }

  private:
    static inline const QString kPickFileToSegment =
        QStringLiteral("Please select/enter a file to segment.");
    static inline const QString kCountAboveOne =
        QStringLiteral("The number of file segments must be greater than one.  Please enter a "
                       "number greater than one.");

    // The file to cut, as the first step found it.
    struct Source {
        QString folder;
        QString name;
    };

    class PickSource final : public OperationStep {
      public:
        explicit PickSource(Source& picked) : picked_(picked) {}
        QString caption() const override {
            return QStringLiteral("Select DIR and/or file to SEGMENT");
        }
        StepControls controls() const override {
            return {.emptiesName = true, .hidesProgress = true};
        }
        void ok(StepActions& dialog) override {
            if (dialog.namedFile(kPickFileToSegment).isEmpty())
                return;
            picked_ = {dialog.folder(), dialog.name()};
            dialog.accept();
        }

      private:
        Source& picked_;
    };

    class CutIntoSegments final : public OperationStep {
      public:
        explicit CutIntoSegments(const Source& picked) : picked_(picked) {}
        QString caption() const override {
            return QStringLiteral("Select DIR and/or enter BASE name for each segment");
        }
        StepControls controls() const override { return {.asksCount = true, .namesOutput = true}; }
        void ok(StepActions& dialog) override {
            // The count as the box shows it: one number, or none. A box that shows
            // "1 3" (a digit taken out of the middle) is refused, never read as 13.
            const std::optional<int> count = parseCount(dialog.countText().toStdString());
            if (!count || *count < 2)
                return dialog.stopAt(Mend::Count, kCountAboveOne);
            const QString source = withSlash(picked_.folder) + picked_.name;
            if (!dialog.requireFile(source))
                return;
            const OutputName output = dialog.nameOutput();
            const QString first = output.path + QLatin1Char('1');
            if (dialog.refused(refusedOutput(nativePath(first))) || !dialog.mayWrite(first))
                return;
            const std::string sourcePath = nativePath(source);
            const std::string basePath = nativePath(output.path);
            SegmentOptions options;
            options.writeManifest = dialog.checksumsWanted();
            options.writer = "Shardix! (shardix)";
            if (options.writeManifest)
                dialog.addToCompletion(
                    QStringLiteral("The checksums of the pieces were written to %1.")
                        .arg(shownQuoted(manifestPathFor(basePath))));
            dialog.run(output.folder, [&](RunProgress& progress) {
                return dialog.engines().segment(sourcePath, basePath, *count, progress, options);
            });
        }
        QString completionMessage(const QString& folder) const override {
            return QStringLiteral("The file sections should appear in this folder: ") +
                   shownPath(folder) +
                   QStringLiteral(".  You might have to refresh the folder (hit F5) to see the "
                                  "files.");
        }

      private:
        const Source& picked_;
    };

    Source picked_;
    PickSource source_{picked_};
    CutIntoSegments segments_{picked_};
};

} // namespace shardix
