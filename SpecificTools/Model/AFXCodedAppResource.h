#pragma once

#include "AFXCodedResource.h"

#include <cstdint>

class AFXCodedApp;

// A resource that belongs to one app of the store.
class AFXCodedAppResource : public AFXCodedResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedAppResource)

public:
    AFXCodedAppResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    // As AFXCodedResource's maker, for a resource of class T (this class or
    // a subclass), with `appID` taken from the app.
    template <typename T = AFXCodedAppResource>
    static std::shared_ptr<T> resourceWithDownloadURL(const QUrl& downloadURL, const AFXCodedApp& app) {
        auto resource = std::make_shared<T>();
        resource->setupWithDownloadURLAndApp(downloadURL, app, {});
        return resource;
    }

    std::int64_t appID() const { return appID_; }
    void setAppID(std::int64_t appID) { appID_ = appID; }

protected:
    void setupWithDownloadURLAndApp(const QUrl& downloadURL, const AFXCodedApp& app,
                                    const QString& hashedSuffix);

private:
    std::int64_t appID_ = 0;
};
