#pragma once

#include "AFXBaseModelObject.h"
#include "AFXCustomerID.h"
#include "AFXCustomerSubscriptionStateValueTransformer.h"
#include "AFXMachineInfo.h"
#include "platform/Value.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

// The account signed in on this Mac. Customers are equal when their
// identifiers are.
class AFXCustomer : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCustomer)

public:
    struct Fields {
        std::shared_ptr<AFXCustomerID> identifier;
        QString backendID;
        QString token;
        AFXCustomerSubscriptionState subscriptionState = AFXCustomerSubscriptionStateUndefined;
        std::optional<QDateTime> subscriptionExpirationDate;
        std::optional<QDateTime> startNotificationDate;
        std::optional<QDateTime> gracePeriodExpirationDate;
        // This Mac's when none is given.
        std::shared_ptr<AFXMachineInfo> machineInfo;
        bool hasPaymentInfo = false;
    };

    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXCustomer> makeWithFields(Fields fields);
    // From the stored form (see `userDefaultsValue`) and the token kept apart
    // from it. None unless "backendID" is a string and
    // "subscriptionExpirationDate" a date; a missing or unreadable
    // "machineInfo" is replaced by this Mac's.
    static std::shared_ptr<AFXCustomer> makeWithToken(const QString& token,
                                                      const std::shared_ptr<AFXCustomerID>& customerID,
                                                      const platform::Value& userDefaultsValue);

    std::shared_ptr<AFXCustomerID> identifier() const { return f_.identifier; }
    QString backendID() const { return f_.backendID; }
    QString token() const { return f_.token; }
    AFXCustomerSubscriptionState subscriptionState() const { return f_.subscriptionState; }
    std::optional<QDateTime> subscriptionExpirationDate() const { return f_.subscriptionExpirationDate; }
    std::optional<QDateTime> startNotificationDate() const { return f_.startNotificationDate; }
    std::optional<QDateTime> gracePeriodExpirationDate() const { return f_.gracePeriodExpirationDate; }
    std::shared_ptr<AFXMachineInfo> machineInfo() const { return f_.machineInfo; }
    bool hasPaymentInfo() const { return f_.hasPaymentInfo; }

    QString accountName() const { return f_.identifier ? f_.identifier->accountName() : QString(); }
    std::shared_ptr<AFXEnvironmentID> environmentID() const {
        return f_.identifier ? f_.identifier->environmentID() : nullptr;
    }

    // The form the desktop client keeps, without the token: the customer
    // ID's stored form plus "backendID", "subscriptionState" (its string),
    // "subscriptionExpirationDate", "hasPaymentInfo" and, when present,
    // "startNotificationDate", "gracePeriodExpirationDate" and "machineInfo"
    // (keyed-archive data).
    platform::Value::Dictionary userDefaultsValue() const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXCustomer() = default;
    bool isValidAfterDecoding() const override { return f_.identifier != nullptr; }
    void setIdentifier(const std::shared_ptr<AFXCustomerID>& v) { f_.identifier = v; }
    void setBackendID(const QString& v) { f_.backendID = v; }
    void setToken(const QString& v) { f_.token = v; }
    void setSubscriptionState(AFXCustomerSubscriptionState v) { f_.subscriptionState = v; }
    void setSubscriptionExpirationDate(const std::optional<QDateTime>& v) {
        f_.subscriptionExpirationDate = v;
    }
    void setStartNotificationDate(const std::optional<QDateTime>& v) { f_.startNotificationDate = v; }
    void setGracePeriodExpirationDate(const std::optional<QDateTime>& v) { f_.gracePeriodExpirationDate = v; }
    void setMachineInfo(const std::shared_ptr<AFXMachineInfo>& v) { f_.machineInfo = v; }
    void setHasPaymentInfo(bool v) { f_.hasPaymentInfo = v; }

    Fields f_;
};
