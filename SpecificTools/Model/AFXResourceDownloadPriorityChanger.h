#pragma once

#include <cstdint>

// Changes the download priority of one resource while it waits or
// downloads (0 low, 1 normal, 2 high).
class AFXResourceDownloadPriorityChanger {
public:
    virtual ~AFXResourceDownloadPriorityChanger() = default;

    virtual std::uint64_t priority() const = 0;
    virtual void setPriority(std::uint64_t priority) = 0;
};
