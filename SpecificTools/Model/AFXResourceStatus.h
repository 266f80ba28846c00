#pragma once

#include "AFXBaseModelObject.h"

#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>

// Where a resource's download stands. Statuses are immutable; a resource
// replaces its status rather than changing it.
class AFXResourceStatus : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXResourceStatus)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();

    // When two sources report a status, the more advanced one wins.
    virtual std::int64_t priority() const = 0;
    virtual std::optional<QUrl> downloadedResourceURL() const = 0;

    // The old status if its priority is strictly higher, else the new one
    // (an absent status has priority 0).
    static std::shared_ptr<AFXResourceStatus>
    mergeOldStatus(const std::shared_ptr<AFXResourceStatus>& oldStatus,
                   const std::shared_ptr<AFXResourceStatus>& newStatus);

protected:
    AFXResourceStatus() = default;
};
