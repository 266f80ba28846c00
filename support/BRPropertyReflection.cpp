#include "BRPropertyReflection.h"

#include "BRAssertions.h"
#include "platform/Hash.h"
#include "platform/KeyedArchiver.h"

std::shared_ptr<const BRPropertyReflection>
BRPropertyReflection::makeWithKey(const QString& key, const Classes& objectClasses,
                                  const platform::Value& defaultValue,
                                  std::shared_ptr<const platform::ValueTransformer> valueTransformer) {
    BRParameterAssertText(!key.isEmpty(), "key");
    std::shared_ptr<BRPropertyReflection> reflection(new BRPropertyReflection);
    reflection->key_ = key;
    reflection->encodedKey_ = platform::KeyedArchiver::encodedKey(key);
    reflection->objectClasses_ = objectClasses;
    reflection->defaultValue_ = defaultValue;
    reflection->valueTransformer_ = std::move(valueTransformer);
    return reflection;
}

std::uint64_t BRPropertyReflection::hash() const {
    return platform::Hash::string(key_);
}
