#pragma once

#include "platform/ValueTransformer.h"

// Keeps a file reference URL (a platform::FileReferenceURL object) out of
// archives: it travels as the file path URL of the item's present path and
// is turned back into a reference when read, so the item can be followed
// after it moves. A reference that no longer resolves, or a path where
// nothing exists any more, becomes null.
class AFXFileReferenceURLToFilePathURLValueTransformer : public platform::ValueTransformer {
public:
    platform::Value transformedValue(const platform::Value& value) const override;
    platform::Value reverseTransformedValue(const platform::Value& value) const override;
};
