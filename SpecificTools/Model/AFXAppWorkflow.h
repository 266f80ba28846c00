#pragma once

#include "AFXBaseMutableModelObject.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>

// The desktop client's progress in installing one app, as the installer
// reads it: state 0, nothing is being installed; 1, installing, with
// `fractionCompleted` (0 to 1) as the progress; 2, installed.
class AFXAppWorkflow : public AFXBaseMutableModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXAppWorkflow)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();

    static std::shared_ptr<AFXAppWorkflow> makeWithAppID(std::int64_t appID, const QUrl& installURL);

    std::int64_t appID() const { return appID_; }
    std::int64_t state() const { return state_; }
    void setState(std::int64_t state) { state_ = state; }
    QUrl temporaryAppURL() const { return temporaryAppURL_; }
    void setTemporaryAppURL(const QUrl& url) { temporaryAppURL_ = url; }
    QUrl appURL() const { return appURL_; }
    double fractionCompleted() const { return fractionCompleted_; }
    // Kept between 0 and 1.
    void setFractionCompleted(double fractionCompleted);

    // The object under which changes of this workflow are announced:
    // "<app ID> - <app path>".
    QString objectForNotification() const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXAppWorkflow() = default;
    void setAppID(std::int64_t appID) { appID_ = appID; }
    void setAppURL(const QUrl& url) { appURL_ = url; }

    std::int64_t appID_ = 0;
    std::int64_t state_ = 0;
    QUrl temporaryAppURL_;
    QUrl appURL_;
    double fractionCompleted_ = 0;
};
