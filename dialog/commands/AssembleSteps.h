#pragma once

#include "dialog/CommandSteps.h"

#include <QString>

namespace shardix {

// File > Assemble Files...: the files to join, in the folder shown, then the
// name of the joined file. Both steps go on in the folder the user is in.
class AssembleSteps final : public CommandSteps {
  public:
    static constexpr int kPickPieces = 0;
    static constexpr int kJoinPieces = 1;

    int stepCount() const override { return 2; }
    QString caption(int step) const override;
    StepControls controls(int step) const override;
    void ok(int step, StepContext& context) override;
    QString completionMessage(const QString& folder) const override;

  private:
    static void pickPieces(StepContext& context);
    static void joinPieces(StepContext& context);
};

} // namespace shardix
