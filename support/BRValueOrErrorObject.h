#pragma once

#include "BRValueOrError.h"
#include "platform/Object.h"

#include <memory>
#include <optional>

// The result holder as an object, for the wire: archived as class
// "BRValueOrError" with the value under "value" or the error under "error".
// Decoding allows any archivable object as the value (the receiving
// interface's own class list decides which replies it accepts) and an error
// as the error; an archive with both or neither is refused.
class BRValueOrErrorObject : public platform::Object {
public:
    static const platform::Class* staticClass();
    const platform::Class* objectClass() const override { return staticClass(); }

    static std::shared_ptr<BRValueOrErrorObject> makeWithHolder(BRAnyValueOrError holder);
    // The holder inside an archived value, when the value is one.
    static std::optional<BRAnyValueOrError> holderOf(const platform::Value& value);

    const BRAnyValueOrError& holder() const { return *holder_; }

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

    bool supportsSecureCoding() const override { return true; }
    void encodeWithCoder(platform::KeyedArchiver& coder) const override;
    bool initWithCoder(platform::KeyedUnarchiver& coder) override;

private:
    BRValueOrErrorObject() = default;
    std::optional<BRAnyValueOrError> holder_;
};
