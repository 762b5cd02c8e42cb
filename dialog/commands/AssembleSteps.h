#pragma once

#include "dialog/OperationStep.h"
#include "dialog/StepActions.h"
#include "engines/operations/Assembler.h"
#include "platform/PathText.h"

#include <string>
#include <vector>

namespace shardix {

// File > Assemble Files...: the files to join, in the folder shown, then the
// name of the joined file. Both steps go on in the folder the user is in.
class AssembleSteps final : public CommandSteps {
  public:
    std::vector<OperationStep*> steps() override { return {&parts_, &whole_}; }
    OperationStep& parts() { return parts_; }
    OperationStep& whole() { return whole_; }

  private:
    static inline const QString kPickFilesToAssemble =
        QStringLiteral("Please select fileS to assemble.");
    static inline const QString kNameTheAssembled =
        QStringLiteral("Please enter/select a name for the assembled file.");

    class PickParts final : public OperationStep {
      public:
        QString caption() const override {
            return QStringLiteral("Select DIR and/or files to ASSEMBLE");
        }
        StepControls controls() const override {
            return {
                .pick = FilePick::Several, .lists = ListStart::FolderShown, .hidesProgress = true};
        }
        void ok(StepActions& dialog) override {
            if (dialog.pickFiles().size() < 2)
                return dialog.stopAt(Mend::Files, kPickFilesToAssemble);
            dialog.accept();
        }
    };

    class JoinParts final : public OperationStep {
      public:
        QString caption() const override {
            return QStringLiteral("Select DIR and/or enter NAME for assembled file");
        }
        StepControls controls() const override {
            return {.lists = ListStart::FolderShown, .emptiesName = true, .namesOutput = true};
        }
        void ok(StepActions& dialog) override {
            if (dialog.name().isEmpty())
                return dialog.stopAt(Mend::Name, kNameTheAssembled);
            const OutputName output = dialog.nameOutput();
            const std::string target = nativePath(output.path);
            // A name that cannot take the output is refused before the user is
            // asked whether to replace the file.
            if (dialog.refused(refusedTarget(dialog.selection(), target)) ||
                !dialog.mayWrite(output.path))
                return;
            // Named as the folder list writes it: with no trailing "/".
            dialog.runJoin(dialog.folder(), target,
                           [&](RunProgress& progress, const Checksums* expected) {
                               return dialog.engines().assemble(dialog.selection(), target,
                                                                progress, expected);
                           });
        }
        QString completionMessage(const QString& folder) const override {
            return QStringLiteral("The assembled file should appear in this folder: ") +
                   shownPath(folder) +
                   QStringLiteral(".  You might have to refresh the folder (hit F5) to see the "
                                  "file.");
        }
    };

    PickParts parts_;
    JoinParts whole_;
};

} // namespace shardix
