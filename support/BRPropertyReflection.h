#pragma once

#include "platform/Class.h"
#include "platform/Value.h"
#include "platform/ValueTransformer.h"

#include <QList>
#include <QString>

#include <memory>

// One coded property of a class: its key (the getter's name, used for
// coding and for key-value coding), the classes allowed when decoding it, the
// value it takes when an archive lacks it, and an optional transformer
// applied before encoding and reversed after decoding. Immutable; two
// reflections are equal when their keys are.
class BRPropertyReflection {
public:
    using Classes = QList<const platform::Class*>;

    static std::shared_ptr<const BRPropertyReflection>
    makeWithKey(const QString& key, const Classes& objectClasses, const platform::Value& defaultValue = {},
                std::shared_ptr<const platform::ValueTransformer> valueTransformer = nullptr);

    const QString& key() const { return key_; }
    // The key as archives write it, made once.
    const QByteArray& encodedKey() const { return encodedKey_; }
    const Classes& objectClasses() const { return objectClasses_; }
    const platform::Value& defaultValue() const { return defaultValue_; }
    const std::shared_ptr<const platform::ValueTransformer>& valueTransformer() const {
        return valueTransformer_;
    }

    bool operator==(const BRPropertyReflection& other) const { return key_ == other.key_; }
    std::uint64_t hash() const;

private:
    BRPropertyReflection() = default;

    QString key_;
    QByteArray encodedKey_;
    Classes objectClasses_;
    platform::Value defaultValue_;
    std::shared_ptr<const platform::ValueTransformer> valueTransformer_;
};
