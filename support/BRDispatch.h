#pragma once

#include "platform/DispatchQueue.h"

#include <QString>

#include <functional>
#include <memory>

// Queue routines every component uses.

// A queue labelled "com.brindle." + name, serial unless `concurrent`, of the
// given quality, running its work as work of `target` when one is given.
std::shared_ptr<platform::DispatchQueue> BRBuildDispatchQueue(const QString& name,
                                                              platform::QualityOfService qos,
                                                              std::shared_ptr<platform::DispatchQueue> target,
                                                              bool concurrent);
// A component's private serial queue: "com.brindle.<name>.internal-queue", utility quality.
std::shared_ptr<platform::DispatchQueue> BRBuildInternalDispatchQueue(const QString& name);

// Runs the block asynchronously on the main queue.
void BRInteractWithUI(std::function<void()> block);

// These document the queue a routine expects to run on; they check nothing.
inline void BRAssertOnQueue(const std::shared_ptr<platform::DispatchQueue>&) {}
inline void BRAssertOnMainQueue() {}
inline void BRAssertOnBackgroundQueue() {}
