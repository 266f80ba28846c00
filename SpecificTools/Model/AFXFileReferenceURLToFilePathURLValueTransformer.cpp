#include "AFXFileReferenceURLToFilePathURLValueTransformer.h"

#include "platform/FileReferenceURL.h"

platform::Value
AFXFileReferenceURLToFilePathURLValueTransformer::transformedValue(const platform::Value& value) const {
    const auto reference = value.toObject<platform::FileReferenceURL>();
    if (!reference) {
        return {};
    }
    const QUrl url = reference->filePathURL();
    return url.isEmpty() ? platform::Value() : platform::Value(url);
}

platform::Value AFXFileReferenceURLToFilePathURLValueTransformer::reverseTransformedValue(
    const platform::Value& value) const {
    if (value.kind() != platform::Value::Kind::URL) {
        return {};
    }
    return platform::Value(platform::FileReferenceURL::makeWithFilePathURL(value.toURL()));
}
