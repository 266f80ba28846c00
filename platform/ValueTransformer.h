#pragma once

#include "Value.h"

namespace platform {

// Turns a value into another form and back, for storing a property in a
// form other than its own.
class ValueTransformer {
public:
    virtual ~ValueTransformer() = default;
    virtual Value transformedValue(const Value& value) const = 0;
    virtual Value reverseTransformedValue(const Value& value) const = 0;
};

} // namespace platform
