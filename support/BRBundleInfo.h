#pragma once

#include "platform/Value.h"

#include <QString>
#include <QUrl>

#include <optional>

// Values of a bundle's information dictionary. Each answers nothing when the
// bundle or its value is missing or the value is not a string.

// The bundle's Info.plist as a dictionary; nothing without a bundle folder
// or a readable, non-empty one.
std::optional<platform::Value::Dictionary> BRInfoDictionaryForBundleAtURL(const QUrl& bundleURL);

std::optional<QString> BRShortVersionStringFromInfoDictionary(const platform::Value::Dictionary& info);
std::optional<QString> BRShortVersionStringFromBundleAtURL(const QUrl& bundleURL);

std::optional<QString> BRVersionStringFromInfoDictionary(const platform::Value::Dictionary& info);
std::optional<QString> BRVersionStringFromBundleAtURL(const QUrl& bundleURL);

std::optional<QString> BRNameFromInfoDictionary(const platform::Value::Dictionary& info);
std::optional<QString> BRNameFromBundleAtURL(const QUrl& bundleURL);

std::optional<QString> BRBundleIDFromInfoDictionry(const platform::Value::Dictionary& info);
std::optional<QString> BRBundleIDFromBundleAtURL(const QUrl& bundleURL);
