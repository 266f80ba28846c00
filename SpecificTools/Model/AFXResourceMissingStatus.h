#pragma once

#include "AFXResourceStatus.h"

// Nothing of the resource is on the disk.
class AFXResourceMissingStatus : public AFXResourceStatus {
    AFX_DECLARE_MODEL_CLASS(AFXResourceMissingStatus)

public:
    AFXResourceMissingStatus() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    std::int64_t priority() const override { return 1; }
    std::optional<QUrl> downloadedResourceURL() const override { return std::nullopt; }

    // Every missing status says the same thing.
    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
};
