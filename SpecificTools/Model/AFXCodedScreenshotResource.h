#pragma once

#include "AFXCodedAppResource.h"

// A screenshot shown on the app's page.
class AFXCodedScreenshotResource : public AFXCodedAppResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedScreenshotResource)

public:
    AFXCodedScreenshotResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    QString screenshotsServiceIdentifier() const { return screenshotsServiceIdentifier_; }
    void setScreenshotsServiceIdentifier(const QString& identifier) {
        screenshotsServiceIdentifier_ = identifier;
    }

    AFXResourceKind kind() const override { return AFXResourceKindScreenshot; }

private:
    QString screenshotsServiceIdentifier_;
};
