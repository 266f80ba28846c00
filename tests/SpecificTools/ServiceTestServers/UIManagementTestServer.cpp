#include "UIManagementTestServer.h"

#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Services/UIManagement/AFXUIManagementRequests.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/ValueClasses.h"

#include <algorithm>

using namespace Qt::StringLiterals;
using platform::Value;

namespace {

Value appIdentifiers(const QList<std::shared_ptr<AFXCodedApp>>& apps) {
    QList<std::int64_t> identifiers;
    for (const auto& app : apps) {
        identifiers << app->identifier();
    }
    std::sort(identifiers.begin(), identifiers.end());
    Value::Array values;
    for (const std::int64_t identifier : identifiers) {
        values << Value(identifier);
    }
    return Value(values);
}

} // namespace

std::shared_ptr<UIManagementTestServer>
UIManagementTestServer::make(const std::shared_ptr<AFXServiceID>& serviceID,
                             const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                             const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note) {
    return std::shared_ptr<UIManagementTestServer>(
        new UIManagementTestServer(serviceID, adaptor, factory, std::move(note)));
}

UIManagementTestServer::UIManagementTestServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
    const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note)
    : AFXUIManagementServer(serviceID, adaptor, factory), note_(std::move(note)) {}

std::shared_ptr<AFXCustomerID> UIManagementTestServer::customerID() {
    return AFXCustomerID::makeWithAccountName(u"ada@example.com"_s, AFXEnvironmentID::defaultEnvironmentID());
}

QStringList
UIManagementTestServer::bundleIdentifiers(const QList<std::shared_ptr<AFXRunningApplication>>& applications) {
    QStringList identifiers;
    for (const auto& application : applications) {
        identifiers << application->bundleIdentifier();
    }
    identifiers.sort();
    return identifiers;
}

QString UIManagementTestServer::encodeFields(const Value::Dictionary& fields) {
    return QString::fromLatin1(
        platform::KeyedArchiver::archivedDataWithRootObject(Value(fields)).value_or(QByteArray()).toBase64());
}

std::optional<Value::Dictionary> UIManagementTestServer::decodeFields(const QString& encoded) {
    const auto value = platform::KeyedUnarchiver::unarchivedObjectOfClasses(
        platform::ValueClasses::propertyListClasses(), QByteArray::fromBase64(encoded.toLatin1()));
    if (!value || value->kind() != Value::Kind::Dictionary) {
        return std::nullopt;
    }
    return value->toDictionary();
}

void UIManagementTestServer::record(const QString& operation, const Value::Dictionary& fields) const {
    note_(u"seen"_s, operation + u' ' + encodeFields(fields));
}

void UIManagementTestServer::fetchCredentialsWithAccountName(
    const QString& accountName, const std::shared_ptr<AFXRunningApplication>& application,
    AFXCustomerCredentialsCallback callback) {
    record(u"fetchCredentials"_s,
           {{u"accountName"_s, accountName},
            {u"runningApplication"_s, application ? application->bundleIdentifier() : Value()}});
    callback(BRValueOrError<std::shared_ptr<AFXCustomerCredentials>>::makeWithValue(
        AFXCustomerCredentials::makeWithCustomerID(customerID(), u"token-1"_s)));
}

void UIManagementTestServer::presentError(const platform::Error& error, AFXUIManagementCallback callback) {
    record(u"presentError"_s, {{u"domain"_s, error.domain()}, {u"code"_s, error.code()}});
    callback();
}

void UIManagementTestServer::presentUserNotificationOfKind(std::uint64_t kind) {
    record(u"presentUserNotificationOfKind"_s, {{u"kind"_s, kind}});
}

void UIManagementTestServer::presentUserNotificationOfBrandNewApps(
    const QList<std::shared_ptr<AFXCodedApp>>& apps) {
    record(u"presentUserNotificationOfBrandNewApps"_s, {{u"brandNewApps"_s, appIdentifiers(apps)}});
}

void UIManagementTestServer::presentUserNotificationOfUpdatedApps(
    const QList<std::shared_ptr<AFXCodedApp>>& apps) {
    record(u"presentUserNotificationOfUpdatedApps"_s, {{u"updatedApps"_s, appIdentifiers(apps)}});
}

void UIManagementTestServer::proposeToUpdateRunningApplications(
    const QList<std::shared_ptr<AFXRunningApplication>>& applications, bool withUserNotification,
    const QByteArray& data, AFXQuittedApplicationsCallback callback) {
    record(u"proposeToUpdateRunningApplications"_s,
           {{u"runningApplications"_s, bundleIdentifiers(applications)},
            {u"showUserNotification"_s, withUserNotification},
            {u"additionalNotificationData"_s, data}});
    QList<std::shared_ptr<AFXRunningApplication>> quitted;
    for (const auto& application : applications) {
        if (application->processIdentifier() % 2) {
            quitted << application;
        }
    }
    callback(quitted);
}

void UIManagementTestServer::proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback) {
    record(u"proposeToUninstallKestrel"_s, {});
    callback(true);
}

void UIManagementTestServer::pokeWithCallback(AFXUIManagementCallback callback) {
    record(u"poke"_s, {});
    callback();
}

void UIManagementTestServer::presentAboutWindowWithCallback(AFXUIManagementCallback callback) {
    record(u"presentAboutWindow"_s, {});
    callback();
}

void UIManagementTestServer::askUserForConsumptiveInternetUsageWithReason(
    std::uint64_t reason, AFXUIManagementFlagCallback callback) {
    record(u"askUserForConsumptiveInternetUsage"_s, {{u"reason"_s, reason}});
    callback(true);
}

void UIManagementTestServer::openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback) {
    record(u"openOnlineHelp"_s, {});
    callback(true);
}

void UIManagementTestServer::openFeedbackFormWithCallback(AFXUIManagementCallback callback) {
    record(u"openFeedbackForm"_s, {});
    callback();
}

void UIManagementTestServer::openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer,
                                                    bool startingWithTrialPaymentPage,
                                                    AFXUIManagementFlagCallback callback) {
    record(u"openCustomerWebAccount"_s, {{u"customer"_s, customer ? customer->accountName() : Value()},
                                         {u"openAddPaymentPage"_s, startingWithTrialPaymentPage}});
    callback(true);
}

void UIManagementTestServer::changeStatusItemVisibilityToState(bool isVisible,
                                                               AFXUIManagementFlagCallback callback) {
    record(u"changeStatusItemVisibility"_s, {{u"isVisible"_s, isVisible}});
    callback(isVisible);
}

void UIManagementTestServer::presentTerminationWindowWithReason(std::int64_t reason,
                                                                AFXTerminationWindowCallback callback) {
    record(u"presentTerminationWindow"_s, {{u"reason"_s, reason}});
    callback(false, {QUrl(u"file:///Applications/Orbit%20Notes.app"_s)});
}
