#include "BRBundleInfo.h"

#include "platform/Bundle.h"

namespace {

std::optional<QString> stringValue(const platform::Value::Dictionary& info, const QString& key) {
    const auto it = info.constFind(key);
    if (it == info.cend() || it->kind() != platform::Value::Kind::String) {
        return std::nullopt;
    }
    return it->toString();
}

std::optional<QString> stringValue(const QUrl& bundleURL, const QString& key) {
    const auto info = BRInfoDictionaryForBundleAtURL(bundleURL);
    return info ? stringValue(*info, key) : std::nullopt;
}

const QString kShortVersionKey = QStringLiteral("CFBundleShortVersionString");
const QString kVersionKey = QStringLiteral("CFBundleVersion");
const QString kNameKey = QStringLiteral("CFBundleName");
const QString kIdentifierKey = QStringLiteral("CFBundleIdentifier");

} // namespace

std::optional<platform::Value::Dictionary> BRInfoDictionaryForBundleAtURL(const QUrl& bundleURL) {
    const auto bundle = platform::Bundle::bundleWithURL(bundleURL);
    if (!bundle || bundle->infoDictionary().isEmpty()) {
        return std::nullopt;
    }
    return bundle->infoDictionary();
}

std::optional<QString> BRShortVersionStringFromInfoDictionary(const platform::Value::Dictionary& info) {
    return stringValue(info, kShortVersionKey);
}

std::optional<QString> BRShortVersionStringFromBundleAtURL(const QUrl& bundleURL) {
    return stringValue(bundleURL, kShortVersionKey);
}

std::optional<QString> BRVersionStringFromInfoDictionary(const platform::Value::Dictionary& info) {
    return stringValue(info, kVersionKey);
}

std::optional<QString> BRVersionStringFromBundleAtURL(const QUrl& bundleURL) {
    return stringValue(bundleURL, kVersionKey);
}

std::optional<QString> BRNameFromInfoDictionary(const platform::Value::Dictionary& info) {
    return stringValue(info, kNameKey);
}

std::optional<QString> BRNameFromBundleAtURL(const QUrl& bundleURL) {
    return stringValue(bundleURL, kNameKey);
}

std::optional<QString> BRBundleIDFromInfoDictionry(const platform::Value::Dictionary& info) {
    return stringValue(info, kIdentifierKey);
}

std::optional<QString> BRBundleIDFromBundleAtURL(const QUrl& bundleURL) {
    return stringValue(bundleURL, kIdentifierKey);
}
