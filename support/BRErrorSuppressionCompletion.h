#pragma once

#include "platform/Object.h"

#include <cstdint>
#include <functional>
#include <memory>

// The block an error's suppression check box settings carry in their user
// info: told the check box's state (1 checked, 0 unchecked) once the alert
// has closed.
class BRErrorSuppressionCompletion : public platform::Object {
    PLATFORM_DECLARE_CLASS()

public:
    using Block = std::function<void(std::int64_t state)>;

    static std::shared_ptr<BRErrorSuppressionCompletion> make(Block block);

    void callWithState(std::int64_t state) const;

private:
    BRErrorSuppressionCompletion() = default;

    // Set once at creation; never changed afterwards.
    Block block_;
};
