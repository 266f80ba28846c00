#pragma once

#include "AFXBaseMutableModelObject.h"
#include "AFXEndpoint.h"
#include "platform/Error.h"
#include "platform/Value.h"

#include <QString>
#include <QUrl>

#include <memory>

class AFXEnvironment;
class AFXEnvironmentID;

// The named endpoints of an environment, as its endpoints manifest (a JSON
// document) lists them, and the URL the manifest came from.
class AFXEndpointsManifest : public AFXBaseMutableModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXEndpointsManifest)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXEndpointsManifest> make();

    // Fills the manifest from the decoded JSON document:
    //   {"data": {"attributes": {"name": …},
    //             "relationships": {"endpoints": [
    //                 {"data": {"id": "customer" | "store" | "reporting" | "recommendations",
    //                           "attributes": {"base_url": …, "self_sufficient": 0 | 1}}}, …]}}}
    // Endpoints of other identifiers are skipped. Fails with the JSON
    // reader's first error, or with the corrupted-manifest error when an
    // endpoint has no base URL or one that is not a URL.
    bool setupWithJSON(const platform::Value& json, platform::Error* error = nullptr);

    // The environment of the identifier with this manifest and the folders of
    // this Mac, which are made when missing.
    std::shared_ptr<AFXEnvironment>
    makeEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& identifier) const;

    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    QUrl originURL() const { return originURL_; }
    void setOriginURL(const QUrl& originURL) { originURL_ = originURL; }
    std::shared_ptr<AFXEndpoint> endpointForCustomerAPI() const { return customer_; }
    void setEndpointForCustomerAPI(const std::shared_ptr<AFXEndpoint>& e) { customer_ = e; }
    std::shared_ptr<AFXEndpoint> endpointForStoreAPI() const { return store_; }
    void setEndpointForStoreAPI(const std::shared_ptr<AFXEndpoint>& e) { store_ = e; }
    std::shared_ptr<AFXEndpoint> endpointForUsageReportingAPI() const { return reporting_; }
    void setEndpointForUsageReportingAPI(const std::shared_ptr<AFXEndpoint>& e) { reporting_ = e; }
    std::shared_ptr<AFXEndpoint> endpointForRecommendationsAPI() const { return recommendations_; }
    void setEndpointForRecommendationsAPI(const std::shared_ptr<AFXEndpoint>& e) { recommendations_ = e; }

private:
    AFXEndpointsManifest() = default;

    QString name_;
    QUrl originURL_;
    std::shared_ptr<AFXEndpoint> customer_;
    std::shared_ptr<AFXEndpoint> store_;
    std::shared_ptr<AFXEndpoint> reporting_;
    std::shared_ptr<AFXEndpoint> recommendations_;
};
