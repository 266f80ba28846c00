#pragma once

#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// Who sends analytics: the application's name and version, the user agent
// of its posts, the screen, window and language it runs with, and the
// machine's primary MAC address. Each is worked out once, on first use, and
// may be read from any thread.
class AFXAnalyticsIdentification {
public:
    static std::shared_ptr<AFXAnalyticsIdentification>
    makeWithApplicationName(const QString& applicationName);

    // The sizes of the screen and of the main window, as a program with a
    // user interface knows them: it sets this once as it starts, and it is
    // asked on the interface's thread only. Programs without one leave it
    // unset and do not load the interface's libraries for it.
    using DisplaySizesProvider = std::function<std::pair<QSize, QSize>()>;
    static void setDisplaySizesProvider(DisplaySizesProvider provider);

    const QString& applicationName() const { return applicationName_; }
    // The main bundle's "CFBundleVersion", or "Unknown".
    QString applicationVersion() const;
    // "<name>/<version> (Macintosh; Intel Mac OS X <major>_<minor>_<patch>)"
    QString userAgentString() const;
    // "&sr=<screen>&vp=<window>&ul=<language>", sizes as "<width>x<height>".
    // The screen and the main window are only looked at on the thread of
    // the user interface; worked out elsewhere, or without a display sizes
    // provider, both are "0x0".
    QString systemInfo() const;
    QString primaryMACAddress() const;

private:
    explicit AFXAnalyticsIdentification(QString applicationName);

    const QString applicationName_;
    mutable std::once_flag versionOnce_, userAgentOnce_, systemInfoOnce_, macOnce_;
    mutable QString applicationVersion_, userAgentString_, systemInfo_, primaryMACAddress_;
};
