#pragma once

namespace platform {

// Quality-of-service classes of work submitted to dispatch queues, from the
// most to the least urgent. They order the global queues; our worker pool
// serves every class from one set of threads.
enum class QualityOfService {
    UserInteractive,
    UserInitiated,
    Default,
    Utility,
    Background,
};

const char* qualityOfServiceName(QualityOfService qos);

} // namespace platform
