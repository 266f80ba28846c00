#pragma once

#include "AFXBaseModelObject.h"
#include "AFXCustomerID.h"

#include <QString>

#include <memory>

// An account and its authorisation token.
class AFXCustomerCredentials : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCustomerCredentials)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXCustomerCredentials>
    makeWithCustomerID(const std::shared_ptr<AFXCustomerID>& customerID, const QString& authToken);

    std::shared_ptr<AFXCustomerID> customerID() const { return customerID_; }
    QString authToken() const { return authToken_; }

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;

private:
    AFXCustomerCredentials() = default;
    bool isValidAfterDecoding() const override { return customerID_ != nullptr; }
    void setCustomerID(const std::shared_ptr<AFXCustomerID>& v) { customerID_ = v; }
    void setAuthToken(const QString& v) { authToken_ = v; }

    std::shared_ptr<AFXCustomerID> customerID_;
    QString authToken_;
};
