#include "dialog/Step.h"

namespace shardix {

QString captionOf(Step step) {
    switch (step) {
    case Step::SegmentFile:
        return QStringLiteral("Select DIR and/or file to SEGMENT");
    case Step::SegmentBase:
        return QStringLiteral("Select DIR and/or enter BASE name for each segment");
    case Step::AssembleFiles:
        return QStringLiteral("Select DIR and/or files to ASSEMBLE");
    case Step::AssembleName:
        return QStringLiteral("Select DIR and/or enter NAME for assembled file");
    case Step::AppendTo:
        return QStringLiteral("Select DIR and/or file to append TO");
    case Step::AppendFrom:
        return QStringLiteral("Select DIR and/or file(s) to append FROM");
    }
    return {};
}

bool picksSeveralFiles(Step step) {
    return step == Step::AssembleFiles || step == Step::AppendFrom;
}

} // namespace shardix
