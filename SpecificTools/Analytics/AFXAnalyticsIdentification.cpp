#include "AFXAnalyticsIdentification.h"

#include "platform/Bundle.h"
#include "platform/StringFormat.h"
#include "support/BRSystemInfo.h"

#include <QApplication>
#include <QScreen>
#include <QThread>
#include <QWidget>

namespace {

QString sizeText(const QSize& size) {
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

} // namespace

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
        QSize screen(0, 0), window(0, 0);
        const auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (application && QThread::currentThread() == application->thread()) {
            if (const QScreen* primary = QGuiApplication::primaryScreen()) {
                screen = primary->size();
            }
            if (const QWidget* main = QApplication::activeWindow()) {
                window = main->size();
            }
        }
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
