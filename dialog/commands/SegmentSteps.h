#pragma once

#include "dialog/CommandSteps.h"

#include <QString>

namespace shardix {

// File > Segment File...: the file to cut, then the folder and base name of
// its segments and how many there are to be.
class SegmentSteps final : public CommandSteps {
  public:
    static constexpr int kPickSource = 0;
    static constexpr int kCutIntoPieces = 1;

    int stepCount() const override { return 2; }
    QString caption(int step) const override;
    StepControls controls(int step) const override;
    void ok(int step, StepContext& context) override;
    QString completionMessage(const QString& folder) const override;

  private:
    void pickSource(StepContext& context);
    void cutIntoPieces(StepContext& context);

    // The file to cut, as the first step found it.
    QString sourceFolder_;
    QString sourceName_;
};

} // namespace shardix
