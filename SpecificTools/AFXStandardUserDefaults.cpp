#include "AFXStandardUserDefaults.h"

#include "platform/Bundle.h"

std::shared_ptr<platform::UserDefaults> afx_standardUserDefaults() {
    const QString domain = QStringLiteral("com.kestrel.DesktopClient");
    if (platform::Bundle::mainBundle()->bundleIdentifier() == domain) {
        return platform::UserDefaults::standard();
    }
    return platform::UserDefaults::makeWithSuiteName(domain);
}
