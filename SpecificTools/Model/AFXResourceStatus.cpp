#include "AFXResourceStatus.h"

PLATFORM_DEFINE_CLASS(AFXResourceStatus, AFXBaseModelObject, nullptr)

std::shared_ptr<BRClassReflection> AFXResourceStatus::makeReflection() {
    return BRReflection<AFXBaseModelObject>()->copy();
}

std::shared_ptr<AFXResourceStatus>
AFXResourceStatus::mergeOldStatus(const std::shared_ptr<AFXResourceStatus>& oldStatus,
                                  const std::shared_ptr<AFXResourceStatus>& newStatus) {
    const std::int64_t oldPriority = oldStatus ? oldStatus->priority() : 0;
    const std::int64_t newPriority = newStatus ? newStatus->priority() : 0;
    return oldPriority > newPriority ? oldStatus : newStatus;
}
