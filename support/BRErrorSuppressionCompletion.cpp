#include "BRErrorSuppressionCompletion.h"

PLATFORM_DEFINE_CLASS(BRErrorSuppressionCompletion, platform::Object, nullptr)

std::shared_ptr<BRErrorSuppressionCompletion> BRErrorSuppressionCompletion::make(Block block) {
    std::shared_ptr<BRErrorSuppressionCompletion> completion(new BRErrorSuppressionCompletion);
    completion->block_ = std::move(block);
    return completion;
}

void BRErrorSuppressionCompletion::callWithState(std::int64_t state) const {
    if (block_) {
        block_(state);
    }
}
