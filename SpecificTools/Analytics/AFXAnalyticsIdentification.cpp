#include "AFXAnalyticsIdentification.h"

#include "platform/Bundle.h"
#include "platform/StringFormat.h"
#include "support/BRSystemInfo.h"

#include <QCoreApplication>
#include <QThread>

namespace {

QString sizeText(const QSize& size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

struct DisplaySizes {
    std::mutex mutex;
    AFXAnalyticsIdentification::DisplaySizesProvider provider;
};

DisplaySizes& displaySizes() {
    static DisplaySizes sizes;
    return sizes;
}

} // namespace

void AFXAnalyticsIdentification::setDisplaySizesProvider(DisplaySizesProvider provider) {
    std::lock_guard lock(displaySizes().mutex);
    displaySizes().provider = std::move(provider);
}

std::shared_ptr<AFXAnalyticsIdentification>
AFXAnalyticsIdentification::makeWithApplicationName(const QString& applicationName) {
    return std::shared_ptr<AFXAnalyticsIdentification>(new AFXAnalyticsIdentification(applicationName));
}

AFXAnalyticsIdentification::AFXAnalyticsIdentification(QString applicationName)
    : applicationName_(std::move(applicationName)) {}

QString AFXAnalyticsIdentification::applicationVersion() const {
    std::call_once(versionOnce_, [this] {
        const platform::Value version =
            platform::Bundle::mainBundle()->objectForInfoDictionaryKey(QStringLiteral("CFBundleVersion"));
        applicationVersion_ =
            version.kind() == platform::Value::Kind::String ? version.toString() : QStringLiteral("Unknown");
    });
    return applicationVersion_;
}

QString AFXAnalyticsIdentification::userAgentString() const {
    std::call_once(userAgentOnce_, [this] {
        const QStringList parts = BRSystemInfo::OSVersion().split(u'.');
        const auto part = [&](qsizetype index) { return long(parts.value(index).toLong()); };
        userAgentString_ =
            platform::stringWithFormat(QStringLiteral("%@/%@ (Macintosh; Intel Mac OS X %ld_%ld_%ld)"),
                                       applicationName_, applicationVersion(), part(0), part(1), part(2));
    });
    return userAgentString_;
}

QString AFXAnalyticsIdentification::systemInfo() const {
    std::call_once(systemInfoOnce_, [this] {
        std::pair<QSize, QSize> sizes{QSize(0, 0), QSize(0, 0)};
        const QCoreApplication* application = QCoreApplication::instance();
        if (application && QThread::currentThread() == application->thread()) {
            DisplaySizesProvider provider;
            {
                std::lock_guard lock(displaySizes().mutex);
                provider = displaySizes().provider;
            }
            if (provider) {
                sizes = provider();
            }
        }
        const auto& [screen, window] = sizes;
        systemInfo_ =
            QStringLiteral("&sr=%1&vp=%2&ul=%3")
                .arg(sizeText(screen), sizeText(window), BRSystemInfo::preferredLocales(1).value(0));
    });
    return systemInfo_;
}

QString AFXAnalyticsIdentification::primaryMACAddress() const {
    std::call_once(macOnce_, [this] { primaryMACAddress_ = BRSystemInfo::MACAddress(); });
    return primaryMACAddress_;
}
