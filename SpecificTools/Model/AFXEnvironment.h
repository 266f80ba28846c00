#pragma once

#include "AFXBaseMutableModelObject.h"
#include "AFXEndpointsManifest.h"
#include "AFXEnvironmentID.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// A resolved environment: its identifier, its endpoints and the folders of
// this Mac that belong to it. Environments are equal when their identifiers are.
class AFXEnvironment : public AFXBaseMutableModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXEnvironment)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXEnvironment>
    makeWithIdentifier(const std::shared_ptr<AFXEnvironmentID>& identifier,
                       const std::shared_ptr<AFXEndpointsManifest>& endpointsManifest,
                       const QUrl& URLForAppsDirectory, const QUrl& URLForPersistentDirectory,
                       const QUrl& URLForResourcesDirectory, const QUrl& URLForTeasersDirectory);

    std::shared_ptr<AFXEnvironmentID> identifier() const { return identifier_; }
    void setIdentifier(const std::shared_ptr<AFXEnvironmentID>& identifier) { identifier_ = identifier; }
    std::shared_ptr<AFXEndpointsManifest> endpointsManifest() const { return endpointsManifest_; }
    void setEndpointsManifest(const std::shared_ptr<AFXEndpointsManifest>& m) { endpointsManifest_ = m; }
    // Where the desktop client places vendor apps.
    QUrl URLForAppsDirectory() const { return apps_; }
    void setURLForAppsDirectory(const QUrl& URL) { apps_ = URL; }
    // The client's databases of this environment.
    QUrl URLForPersistentDirectory() const { return persistent_; }
    void setURLForPersistentDirectory(const QUrl& URL) { persistent_ = URL; }
    // Downloaded resources of this environment.
    QUrl URLForResourcesDirectory() const { return resources_; }
    void setURLForResourcesDirectory(const QUrl& URL) { resources_ = URL; }
    // Where teaser apps live.
    QUrl URLForTeasersDirectory() const { return teasers_; }
    void setURLForTeasersDirectory(const QUrl& URL) { teasers_ = URL; }

    // The manifest's name.
    QString name() const;
    // None for the default environment, else "<name> (<manifest host>)".
    std::optional<QString> displayName() const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXEnvironment() = default;
    bool isValidAfterDecoding() const override { return identifier_ && endpointsManifest_; }

    std::shared_ptr<AFXEnvironmentID> identifier_;
    std::shared_ptr<AFXEndpointsManifest> endpointsManifest_;
    QUrl apps_;
    QUrl persistent_;
    QUrl resources_;
    QUrl teasers_;
};
