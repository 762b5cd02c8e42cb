#pragma once

#include "dialog/OperationStep.h"
#include "dialog/StepActions.h"
#include "engines/io/FileIo.h"
#include "platform/PathText.h"

#include <QFileInfo>

#include <string>
#include <vector>

namespace shardix {

// File > Append to File...: the truncated file, then the files that hold what
// it lacks.
class AppendSteps final : public CommandSteps {
  public:
    std::vector<OperationStep*> steps() override { return {&target_, &sources_}; }
    OperationStep& target() { return target_; }
    OperationStep& sources() { return sources_; }

  private:
    static inline const QString kNameFileToAppendTo =
        QStringLiteral("Please select/enter a name of a file to append to.");
    static inline const QString kPickFilesToAppendFrom =
        QStringLiteral("Please select file(s) to append from.");

    class PickTarget final : public OperationStep {
      public:
        explicit PickTarget(QString& target) : target_(target) {}
        QString caption() const override {
            return QStringLiteral("Select DIR and/or file to append TO");
        }
        StepControls controls() const override {
            return {.emptiesName = true, .hidesProgress = true, .nameStartsAnewInEachFolder = true};
        }
        void ok(StepActions& dialog) override {
            const QString named = dialog.namedFile(kNameFileToAppendTo);
            if (named.isEmpty())
                return;
            // A pipe or a device would take the bytes away, or wait for a reader.
            if (dialog.refused(refusedOutput(nativePath(named))))
                return;
            dialog.hide();
            target_ = dialog.nameOutput().path;
            // The file may have gone meanwhile: then there is nothing to append to.
            if (isFile(target_))
                dialog.accept();
        }

      private:
        QString& target_;
    };

    class AppendFromSources final : public OperationStep {
      public:
        explicit AppendFromSources(const QString& target) : target_(target) {}
        QString caption() const override {
            return QStringLiteral("Select DIR and/or file(s) to append FROM");
        }
        StepControls controls() const override { return {.pick = FilePick::Several}; }
        void ok(StepActions& dialog) override {
            if (dialog.pickFiles().empty())
                return dialog.stopAt(Mend::Files, kPickFilesToAppendFrom);
            const std::string target = nativePath(target_);
            const qint64 before = QFileInfo(target_).size();
            // Named as the folder list writes a folder, whichever folder the
            // files appended from lie in.
            dialog.runJoin(
                folderOf(target_), target, [&](RunProgress& progress, const Checksums* expected) {
                    Result<> appended =
                        dialog.engines().append(dialog.selection(), target, progress, expected);
                    if (appended.ok() && QFileInfo(target_).size() == before)
                        dialog.addToCompletion(
                            QStringLiteral("%1 was already complete: nothing was appended.")
                                .arg(shownQuoted(target)));
                    return appended;
                });
        }
        QString completionMessage(const QString& folder) const override {
            return QStringLiteral("The processed file should appear in this folder: ") +
                   shownPath(folder) +
                   QStringLiteral(".  You might have to refresh the folder (hit F5) to see the "
                                  "file.");
        }

      private:
        const QString& target_;
    };

    QString toComplete_; // the file to complete, as the first step found it
    PickTarget target_{toComplete_};
    AppendFromSources sources_{toComplete_};
};

} // namespace shardix
