#include "BRDispatch.h"

std::shared_ptr<platform::DispatchQueue> BRBuildDispatchQueue(const QString& name,
                                                              platform::QualityOfService qos,
                                                              std::shared_ptr<platform::DispatchQueue> target,
                                                              bool concurrent) {
    platform::DispatchQueue::Attributes attributes;
    attributes.concurrent = concurrent;
    attributes.qos = qos;
    return platform::DispatchQueue::make(QStringLiteral("com.brindle.") + name, attributes,
                                         std::move(target));
}

std::shared_ptr<platform::DispatchQueue> BRBuildInternalDispatchQueue(const QString& name) {
    return BRBuildDispatchQueue(QStringLiteral("%1.internal-queue").arg(name),
                                platform::QualityOfService::Utility, nullptr, false);
}

void BRInteractWithUI(std::function<void()> block) {
    platform::DispatchQueue::main()->async(std::move(block));
}
