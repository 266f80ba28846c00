#pragma once

// Environments, customers and outcomes the service tests send, answer and show.

#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "platform/Error.h"

#include <QDateTime>
#include <QUrl>

#include <memory>
#include <optional>

namespace service_test_values {

inline std::shared_ptr<AFXEnvironment> testEnvironment(const std::shared_ptr<AFXEnvironmentID>& identifier) {
    auto manifest = AFXEndpointsManifest::make();
    manifest->setName(QStringLiteral("Test"));
    manifest->setOriginURL(QUrl(QStringLiteral("https://manifest.test/endpoints.json")));
    const QUrl folder(QStringLiteral("file:///tmp/folder"));
    return AFXEnvironment::makeWithIdentifier(identifier, manifest, folder, folder, folder, folder);
}

inline std::shared_ptr<AFXCustomerID> testCustomerID(const QString& accountName) {
    return AFXCustomerID::makeWithAccountName(accountName, AFXEnvironmentID::defaultEnvironmentID());
}

// A customer subscribed for the next thirty days.
inline std::shared_ptr<AFXCustomer> testCustomer(const QString& accountName) {
    AFXCustomer::Fields fields;
    fields.identifier = testCustomerID(accountName);
    fields.backendID = accountName;
    fields.subscriptionExpirationDate = QDateTime::currentDateTimeUtc().addDays(30);
    return AFXCustomer::makeWithFields(std::move(fields));
}

// An error callback's outcome as text.
inline QString describeError(const std::optional<platform::Error>& error) {
    return error ? QStringLiteral("error %1 %2").arg(error->domain()).arg(error->code())
                 : QStringLiteral("done");
}

} // namespace service_test_values
