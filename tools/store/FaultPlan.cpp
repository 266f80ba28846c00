#include "FaultPlan.h"

std::optional<qint64> FaultPlan::claimDrop(qint64 bodySize) {
    if (drops_.isEmpty() || bodySize <= drops_.first()) {
        return std::nullopt;
    }
    return drops_.takeFirst();
}
