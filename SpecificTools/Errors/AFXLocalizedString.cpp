#include "AFXLocalizedString.h"

#include "platform/Bundle.h"

namespace {
// The framework's bundle: its resources are compiled into the program.
const QString kFrameworkBundlePath = QStringLiteral(":/Kestrel.framework");
} // namespace

QString AFXKestrelInterfaceLocalizedString(const QString& key, const char*) {
    static const auto bundle = platform::Bundle::bundleWithPath(kFrameworkBundlePath);
    return bundle ? bundle->localizedStringForKey(key, key, QStringLiteral("Localizable")) : key;
}
