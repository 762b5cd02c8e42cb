#pragma once

#include "dialog/CommandSteps.h"

#include <QString>

namespace shardix {

// File > Append to File...: the truncated file, then the files that hold what
// it lacks.
class AppendSteps final : public CommandSteps {
  public:
    static constexpr int kPickTarget = 0;
    static constexpr int kAppendSources = 1;

    int stepCount() const override { return 2; }
    QString caption(int step) const override;
    StepControls controls(int step) const override;
    void ok(int step, StepContext& context) override;
    QString completionMessage(const QString& folder) const override;

  private:
    void pickTarget(StepContext& context);
    void appendSources(StepContext& context);

    QString target_; // the file to complete, as the first step found it
};

} // namespace shardix
