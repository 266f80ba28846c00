#include "AFXResourceMissingStatus.h"

#include "platform/Hash.h"

PLATFORM_DEFINE_CLASS(AFXResourceMissingStatus, AFXResourceStatus,
                      [] { return std::make_shared<AFXResourceMissingStatus>(); })

std::shared_ptr<BRClassReflection> AFXResourceMissingStatus::makeReflection() {
    return BRReflection<AFXResourceStatus>()->copy();
}

bool AFXResourceMissingStatus::isEqual(const platform::Object& other) const {
    return dynamic_cast<const AFXResourceMissingStatus*>(&other) != nullptr;
}

std::uint64_t AFXResourceMissingStatus::hash() const {
    return platform::Hash::string(className());
}
