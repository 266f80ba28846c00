#pragma once

#include "SpecificTools/Errors/AFXErrors.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <mutex>
#include <optional>

namespace platform {
class Bundle;
}

// The destination of an agent bundle named `name`: the user's Application
// Support folder + "Kestrel/LaunchAgents/" + name.
QUrl AFXAgentGetDestinationURL(const QString& name);

// An agent application that a host bundle carries under
// "Contents/Library/LaunchServices/", installed as a per-user launch agent:
// copied to the user's Application Support, its property list written to
// "~/Library/LaunchAgents" with program arguments that start the copy as a
// server ("-xpcServer"), its quarantine cleared, and loaded or unloaded
// with "/bin/launchctl".
//
// The lazily made parts (source bundle, executable URL) are made once under
// a lock, so one agent may be used from several threads; the file
// operations themselves are not serialised.
class AFXAgent {
public:
    // The arguments the installed agent is started with.
    static const QStringList ServerInstanceArguments; // {"-xpcServer"}
    // The launch agent label `isLoaded` asks about, whatever the agent.
    static const QString LoadedLabel; // "com.kestrel.DesktopClient.KestrelAgent"
    // `wantsUpdate` compares an installed agent's version with this one.
    static const QString ProductVersion; // "1.9.8"

    // A null `containerBundleURL` means the running program's main bundle.
    static std::shared_ptr<AFXAgent> make(const QString& name, const QUrl& containerBundleURL = {});
    std::shared_ptr<AFXAgent> copy() const;

    const QString& name() const { return name_; }
    const QUrl& containerBundleURL() const { return containerBundleURL_; }
    const QString& oldName() const { return oldName_; }
    void setOldName(const QString& oldName) { oldName_ = oldName; }

    std::shared_ptr<platform::Bundle> containerBundle() const;
    // Null when the host carries no agent bundle of that name.
    std::shared_ptr<platform::Bundle> sourceBundle() const;

    QUrl bundleSourceURL() const;
    std::optional<QString> bundleID() const;
    std::optional<QUrl> plistSourceURL() const;
    QUrl bundleDestinationURL() const;
    std::optional<QUrl> plistDestinationURL() const;
    std::shared_ptr<platform::Bundle> bundleAtDestination() const;
    std::optional<QUrl> agentExecutableURL() const;
    std::optional<QString> agentExecutablePath() const;

    // Copy, then write the property list, then clear the quarantine; the
    // first failing step ends it and its error is the result's.
    bool installWithError(AFXOptionalError* error = nullptr);
    bool copyWithError(AFXOptionalError* error = nullptr);
    bool repairConfigWithError(AFXOptionalError* error = nullptr);
    bool removeFromQuarantine(AFXOptionalError* error = nullptr);

    bool isLoaded() const;
    bool wantsUpdate() const;

    static void loadAgents(const QList<std::shared_ptr<AFXAgent>>& agents);
    static void unloadAgents(const QList<std::shared_ptr<AFXAgent>>& agents);
    // Runs "/bin/launchctl" with the arguments and every agent's
    // destination property list, waits for it, and logs a failure.
    static void launchctlPerformOperationWithArguments(const QStringList& arguments,
                                                       const QList<std::shared_ptr<AFXAgent>>& agents);

private:
    AFXAgent(QString name, QUrl containerBundleURL);

    const QString name_;
    const QUrl containerBundleURL_;
    QString oldName_;

    mutable std::once_flag sourceBundleOnce_;
    mutable std::shared_ptr<platform::Bundle> sourceBundle_;
};
