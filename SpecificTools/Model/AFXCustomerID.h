#pragma once

#include "AFXBaseModelObject.h"
#include "AFXEnvironmentID.h"
#include "platform/Value.h"

#include <QString>

#include <memory>

// A store account: its name and the environment it belongs to.
class AFXCustomerID : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCustomerID)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXCustomerID>
    makeWithAccountName(const QString& accountName, const std::shared_ptr<AFXEnvironmentID>& environmentID);
    // From the stored form; none unless "accountName" and "environment" are strings.
    static std::shared_ptr<AFXCustomerID> makeWithUserDefaultsValue(const platform::Value& value);

    QString accountName() const { return accountName_; }
    std::shared_ptr<AFXEnvironmentID> environmentID() const { return environmentID_; }

    // {"accountName": …, "environment": the environment ID's stored form}
    platform::Value::Dictionary userDefaultsValue() const;
    // "<account name> - <environment's stored form>"
    QString userDefaultsKey() const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXCustomerID() = default;
    bool isValidAfterDecoding() const override { return environmentID_ != nullptr; }
    void setAccountName(const QString& accountName) { accountName_ = accountName; }
    void setEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID) {
        environmentID_ = environmentID;
    }

    QString accountName_;
    std::shared_ptr<AFXEnvironmentID> environmentID_;
};
